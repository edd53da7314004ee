/* A self-contained mix of the code a game binary is made of (integer bookkeeping, strings,
 * tables, sorting, floating-point vector and matrix work, state machines), compiled for the
 * 750 only to give the disassembly benchmark a realistic instruction mix. Never executed. */

#include <stddef.h>
#include <stdint.h>

typedef struct {
  float x, y, z;
} vec3;

typedef struct {
  float m[4][4];
} mat4;

typedef struct entity {
  vec3 position, velocity;
  float radius, mass;
  uint32_t flags;
  int16_t health, armor;
  struct entity* next;
  void (*think)(struct entity*, float);
} entity;

static uint32_t rng_state = 0x12345678u;

uint32_t rng_next(void) {
  rng_state ^= rng_state << 13;
  rng_state ^= rng_state >> 17;
  rng_state ^= rng_state << 5;
  return rng_state;
}

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size) {
  crc = ~crc;
  while (size--) {
    crc ^= *data++;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t fnv1a(const char* s) {
  uint32_t h = 2166136261u;
  while (*s) h = (h ^ (uint8_t)*s++) * 16777619u;
  return h;
}

size_t str_length(const char* s) {
  const char* p = s;
  while (*p) p++;
  return (size_t)(p - s);
}

int str_compare(const char* a, const char* b) {
  while (*a && *a == *b) a++, b++;
  return (uint8_t)*a - (uint8_t)*b;
}

char* str_copy(char* dst, const char* src, size_t cap) {
  size_t i = 0;
  if (cap == 0) return dst;
  for (; i + 1 < cap && src[i]; i++) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

int format_int(char* out, int value, int base) {
  char tmp[34];
  int n = 0, len = 0;
  unsigned v = value < 0 && base == 10 ? (unsigned)-value : (unsigned)value;
  do {
    int d = (int)(v % (unsigned)base);
    tmp[n++] = (char)(d < 10 ? '0' + d : 'a' + d - 10);
    v /= (unsigned)base;
  } while (v);
  if (value < 0 && base == 10) out[len++] = '-';
  while (n) out[len++] = tmp[--n];
  out[len] = 0;
  return len;
}

int parse_int(const char* s, int* out) {
  int sign = 1, value = 0, digits = 0;
  while (*s == ' ' || *s == '\t') s++;
  if (*s == '-') sign = -1, s++;
  for (; *s >= '0' && *s <= '9'; s++, digits++) value = value * 10 + (*s - '0');
  *out = sign * value;
  return digits;
}

void sort_u32(uint32_t* a, int n) {
  for (int gap = n / 2; gap > 0; gap /= 2) {
    for (int i = gap; i < n; i++) {
      uint32_t t = a[i];
      int j = i;
      for (; j >= gap && a[j - gap] > t; j -= gap) a[j] = a[j - gap];
      a[j] = t;
    }
  }
}

static void swap_entities(entity** a, entity** b) {
  entity* t = *a;
  *a = *b;
  *b = t;
}

void sort_by_distance(entity** list, int n, vec3 eye) {
  for (int i = 1; i < n; i++) {
    for (int j = i; j > 0; j--) {
      vec3 a = list[j - 1]->position, b = list[j]->position;
      float da = (a.x - eye.x) * (a.x - eye.x) + (a.y - eye.y) * (a.y - eye.y) +
                 (a.z - eye.z) * (a.z - eye.z);
      float db = (b.x - eye.x) * (b.x - eye.x) + (b.y - eye.y) * (b.y - eye.y) +
                 (b.z - eye.z) * (b.z - eye.z);
      if (da <= db) break;
      swap_entities(&list[j - 1], &list[j]);
    }
  }
}

vec3 vec3_add(vec3 a, vec3 b) { return (vec3){a.x + b.x, a.y + b.y, a.z + b.z}; }
vec3 vec3_scale(vec3 a, float s) { return (vec3){a.x * s, a.y * s, a.z * s}; }
float vec3_dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
vec3 vec3_cross(vec3 a, vec3 b) {
  return (vec3){a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

static float inv_sqrt(float x) {
  union {
    float f;
    uint32_t i;
  } u = {x};
  float half = 0.5f * x;
  u.i = 0x5F3759DFu - (u.i >> 1);
  u.f = u.f * (1.5f - half * u.f * u.f);
  return u.f * (1.5f - half * u.f * u.f);
}

vec3 vec3_normalize(vec3 a) {
  float len2 = vec3_dot(a, a);
  return len2 > 1e-12f ? vec3_scale(a, inv_sqrt(len2)) : a;
}

void mat4_mul(mat4* out, const mat4* a, const mat4* b) {
  mat4 r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                  a->m[i][3] * b->m[3][j];
  *out = r;
}

vec3 mat4_transform(const mat4* m, vec3 v) {
  float w = m->m[3][0] * v.x + m->m[3][1] * v.y + m->m[3][2] * v.z + m->m[3][3];
  float iw = w != 0.0f ? 1.0f / w : 1.0f;
  return (vec3){(m->m[0][0] * v.x + m->m[0][1] * v.y + m->m[0][2] * v.z + m->m[0][3]) * iw,
                (m->m[1][0] * v.x + m->m[1][1] * v.y + m->m[1][2] * v.z + m->m[1][3]) * iw,
                (m->m[2][0] * v.x + m->m[2][1] * v.y + m->m[2][2] * v.z + m->m[2][3]) * iw};
}

void mat4_perspective(mat4* m, float fov_tan, float aspect, float near_z, float far_z) {
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) m->m[i][j] = 0.0f;
  m->m[0][0] = 1.0f / (aspect * fov_tan);
  m->m[1][1] = 1.0f / fov_tan;
  m->m[2][2] = -(far_z + near_z) / (far_z - near_z);
  m->m[2][3] = -2.0f * far_z * near_z / (far_z - near_z);
  m->m[3][2] = -1.0f;
}

double integrate(double (*f)(double), double a, double b, int steps) {
  double h = (b - a) / steps, sum = 0.5 * (f(a) + f(b));
  for (int i = 1; i < steps; i++) sum += f(a + i * h);
  return sum * h;
}

double poly_eval(const double* c, int n, double x) {
  double r = 0.0;
  while (n--) r = r * x + c[n];
  return r;
}

int collide(entity* a, entity* b) {
  vec3 d = {b->position.x - a->position.x, b->position.y - a->position.y,
            b->position.z - a->position.z};
  float r = a->radius + b->radius;
  float dist2 = vec3_dot(d, d);
  if (dist2 >= r * r) return 0;
  vec3 n = vec3_normalize(d);
  float rel = vec3_dot((vec3){b->velocity.x - a->velocity.x, b->velocity.y - a->velocity.y,
                              b->velocity.z - a->velocity.z},
                       n);
  if (rel > 0.0f) return 0;
  float j = -1.8f * rel / (1.0f / a->mass + 1.0f / b->mass);
  a->velocity = vec3_add(a->velocity, vec3_scale(n, -j / a->mass));
  b->velocity = vec3_add(b->velocity, vec3_scale(n, j / b->mass));
  return 1;
}

void step_world(entity* head, float dt) {
  for (entity* e = head; e; e = e->next) {
    if (e->flags & 1u) continue;
    e->velocity.y -= 9.81f * dt;
    e->position = vec3_add(e->position, vec3_scale(e->velocity, dt));
    if (e->position.y < 0.0f) {
      e->position.y = -e->position.y;
      e->velocity.y = -e->velocity.y * 0.6f;
    }
    if (e->think) e->think(e, dt);
  }
  for (entity* a = head; a; a = a->next)
    for (entity* b = a->next; b; b = b->next)
      if (collide(a, b)) a->flags |= 4u, b->flags |= 4u;
}

int apply_damage(entity* e, int amount, int kind) {
  switch (kind) {
    case 0: amount -= e->armor / 2; break;
    case 1: amount *= 2; break;
    case 2: amount = amount * 3 / 4; break;
    case 3: if (e->flags & 8u) amount = 0; break;
    case 4: amount += (int)(rng_next() % 7u); break;
    case 5: e->armor = (int16_t)(e->armor > amount ? e->armor - amount : 0); amount /= 3; break;
    default: break;
  }
  if (amount < 0) amount = 0;
  e->health = (int16_t)(e->health - amount);
  if (e->health <= 0) {
    e->flags |= 2u;
    return 1;
  }
  return 0;
}

typedef struct {
  uint32_t keys[256];
  int32_t values[256];
  uint8_t used[256];
} table;

int table_put(table* t, uint32_t key, int32_t value) {
  uint32_t i = (key * 2654435761u) >> 24;
  for (int probe = 0; probe < 256; probe++, i = (i + 1) & 255u) {
    if (!t->used[i] || t->keys[i] == key) {
      t->used[i] = 1;
      t->keys[i] = key;
      t->values[i] = value;
      return 1;
    }
  }
  return 0;
}

int table_get(const table* t, uint32_t key, int32_t* value) {
  uint32_t i = (key * 2654435761u) >> 24;
  for (int probe = 0; probe < 256 && t->used[i]; probe++, i = (i + 1) & 255u) {
    if (t->keys[i] == key) {
      *value = t->values[i];
      return 1;
    }
  }
  return 0;
}

uint64_t mul_div(uint64_t a, uint32_t b, uint32_t c) { return c ? a * b / c : 0; }

int64_t fixed_mul(int64_t a, int64_t b) { return (a * b) >> 16; }

uint32_t bit_reverse(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

int count_bits(uint32_t v) {
  int n = 0;
  while (v) v &= v - 1, n++;
  return n;
}

void blend_rgba(uint8_t* dst, const uint8_t* src, int pixels) {
  for (int i = 0; i < pixels; i++, dst += 4, src += 4) {
    unsigned a = src[3], ia = 255u - a;
    dst[0] = (uint8_t)((src[0] * a + dst[0] * ia) / 255u);
    dst[1] = (uint8_t)((src[1] * a + dst[1] * ia) / 255u);
    dst[2] = (uint8_t)((src[2] * a + dst[2] * ia) / 255u);
    dst[3] = (uint8_t)(a + dst[3] * ia / 255u);
  }
}

void mix_audio(int16_t* out, const int16_t* a, const int16_t* b, int n, float gain) {
  for (int i = 0; i < n; i++) {
    float s = (a[i] + b[i]) * gain;
    if (s > 32767.0f) s = 32767.0f;
    if (s < -32768.0f) s = -32768.0f;
    out[i] = (int16_t)s;
  }
}

enum token { T_END, T_NUM, T_PLUS, T_MINUS, T_MUL, T_DIV, T_LP, T_RP, T_BAD };

static enum token next_token(const char** s, int* value) {
  while (**s == ' ') (*s)++;
  char c = **s;
  if (!c) return T_END;
  (*s)++;
  switch (c) {
    case '+': return T_PLUS;
    case '-': return T_MINUS;
    case '*': return T_MUL;
    case '/': return T_DIV;
    case '(': return T_LP;
    case ')': return T_RP;
    default:
      if (c >= '0' && c <= '9') {
        *value = c - '0';
        while (**s >= '0' && **s <= '9') *value = *value * 10 + (*(*s)++ - '0');
        return T_NUM;
      }
      return T_BAD;
  }
}

int eval_rpn(const char* s) {
  int stack[32], sp = 0, v = 0;
  for (;;) {
    enum token t = next_token(&s, &v);
    if (t == T_END || t == T_BAD) break;
    if (t == T_NUM) {
      if (sp < 32) stack[sp++] = v;
      continue;
    }
    if (sp < 2) return 0;
    int b = stack[--sp], a = stack[--sp];
    stack[sp++] = t == T_PLUS ? a + b : t == T_MINUS ? a - b : t == T_MUL ? a * b : b ? a / b : 0;
  }
  return sp ? stack[sp - 1] : 0;
}

void memory_fill(void* dst, int value, size_t n) {
  uint8_t* p = dst;
  while (n && ((uintptr_t)p & 3u)) *p++ = (uint8_t)value, n--;
  uint32_t w = (uint8_t)value * 0x01010101u;
  for (; n >= 16; n -= 16, p += 16) {
    ((uint32_t*)p)[0] = w;
    ((uint32_t*)p)[1] = w;
    ((uint32_t*)p)[2] = w;
    ((uint32_t*)p)[3] = w;
  }
  while (n--) *p++ = (uint8_t)value;
}

void memory_copy(void* dst, const void* src, size_t n) {
  uint8_t* d = dst;
  const uint8_t* s = src;
  if (d < s) {
    while (n--) *d++ = *s++;
  } else {
    d += n, s += n;
    while (n--) *--d = *--s;
  }
}
