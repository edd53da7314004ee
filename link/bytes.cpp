#include "link/bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zemlo {

uint32_t ByteSum(const uint8_t* buffer, int32_t count) {
  // Every packet of a disc goes through here, so it is summed a vector at a time. The sum wraps
  // modulo 2^32 whichever order the bytes are added in.
  uint32_t sum = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  // psadbw adds eight bytes into each 64-bit half; four accumulators hide its latency. A half
  // grows by at most 2040 per step, so 2^31 bytes stay well inside 64 bits.
  const __m128i zero = _mm_setzero_si128();
  const auto sad = [&](int32_t at) {
    return _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + at)), zero);
  };
  __m128i total0 = zero, total1 = zero, total2 = zero, total3 = zero;
  for (; i + 64 <= count; i += 64) {
    total0 = _mm_add_epi64(total0, sad(i));
    total1 = _mm_add_epi64(total1, sad(i + 16));
    total2 = _mm_add_epi64(total2, sad(i + 32));
    total3 = _mm_add_epi64(total3, sad(i + 48));
  }
  const __m128i pairs = _mm_add_epi64(_mm_add_epi64(total0, total1), _mm_add_epi64(total2, total3));
  sum = static_cast<uint32_t>(_mm_cvtsi128_si32(pairs)) +
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(pairs, pairs)));
#else
  // Sixteen running sums the compiler can keep in one vector register.
  constexpr int32_t kLanes = 16;
  uint32_t lanes[kLanes] = {};
  for (; i + kLanes <= count; i += kLanes) {
    for (int32_t lane = 0; lane < kLanes; ++lane) lanes[lane] += buffer[i + lane];
  }
  for (uint32_t lane : lanes) sum += lane;
#endif
  for (; i < count; ++i) sum += buffer[i];
  return sum;
}

}  // namespace zemlo
