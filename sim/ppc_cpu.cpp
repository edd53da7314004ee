#include "sim/ppc_cpu.h"

#include <bit>
#include <cstring>

#include "disasm/ppc_flow.h"

namespace zemlo::sim {
namespace {

constexpr uint32_t kMirrors[] = {0x80000000u, 0xC0000000u};
constexpr uint32_t kXerCarry = 0x20000000u;
constexpr uint32_t kXerSummaryOverflow = 0x80000000u;
constexpr uint32_t kSprXer = 1, kSprLr = 8, kSprCtr = 9;

uint8_t* Locate(std::span<uint8_t> memory, uint32_t address, uint32_t size) {
  for (uint32_t base : kMirrors) {
    const uint32_t offset = address - base;
    if (address >= base && offset < memory.size() && size <= memory.size() - offset) {
      return memory.data() + offset;
    }
  }
  return nullptr;
}

uint64_t LoadBE(const uint8_t* bytes, uint32_t size) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
  return value;
}

void StoreBE(uint8_t* bytes, uint32_t size, uint64_t value) {
  for (uint32_t i = size; i-- > 0; value >>= 8) bytes[i] = static_cast<uint8_t>(value);
}

uint32_t Mask(uint32_t mb, uint32_t me) {
  const uint32_t fromMb = 0xFFFFFFFFu >> mb;
  const uint32_t toMe = 0xFFFFFFFFu << (31 - me);
  return mb <= me ? (fromMb & toMe) : (fromMb | toMe);
}

void SetCrField(PpcContext& c, uint32_t field, int order, bool summary) {
  const uint32_t bits = (order < 0 ? 8u : order > 0 ? 4u : 2u) | (summary ? 1u : 0u);
  const uint32_t shift = (7 - field) * 4;
  c.cr = (c.cr & ~(0xFu << shift)) | (bits << shift);
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

void RecordCr0(PpcContext& c, uint32_t value) {
  SetCrField(c, 0, Order(static_cast<int32_t>(value), 0), (c.xer & kXerSummaryOverflow) != 0);
}

void SetCarry(PpcContext& c, bool carry) {
  c.xer = carry ? (c.xer | kXerCarry) : (c.xer & ~kXerCarry);
}

uint32_t AddCarrying(PpcContext& c, uint32_t a, uint32_t b, uint32_t carryIn) {
  const uint64_t sum = uint64_t{a} + b + carryIn;
  SetCarry(c, sum > 0xFFFFFFFFu);
  return static_cast<uint32_t>(sum);
}

double AsSingle(double value) {
  return static_cast<double>(static_cast<float>(value));
}

// A load or store of one instruction: its address, width and kind, checked against the DABR
// before memory is touched.
struct MemoryOp {
  uint32_t address = 0;
  uint32_t size = 0;
  bool store = false;
  bool isFloat = false;
  bool update = false;
  bool signExtend = false;
  bool single = false;  // a float moved as 4 bytes
};

// The D-form and indexed memory instructions, by primary opcode and by extended opcode.
bool DecodeDForm(uint32_t op, MemoryOp& m) {
  struct Row {
    uint32_t op;
    uint32_t size;
    bool store, isFloat, update, signExtend;
  };
  static constexpr Row kRows[] = {
      {32, 4, false, false, false, false}, {33, 4, false, false, true, false},
      {34, 1, false, false, false, false}, {35, 1, false, false, true, false},
      {36, 4, true, false, false, false},  {37, 4, true, false, true, false},
      {38, 1, true, false, false, false},  {39, 1, true, false, true, false},
      {40, 2, false, false, false, false}, {41, 2, false, false, true, false},
      {42, 2, false, false, false, true},  {43, 2, false, false, true, true},
      {44, 2, true, false, false, false},  {45, 2, true, false, true, false},
      {48, 4, false, true, false, false},  {49, 4, false, true, true, false},
      {50, 8, false, true, false, false},  {51, 8, false, true, true, false},
      {52, 4, true, true, false, false},   {53, 4, true, true, true, false},
      {54, 8, true, true, false, false},   {55, 8, true, true, true, false},
  };
  for (const Row& row : kRows) {
    if (row.op != op) continue;
    m = {0,
         row.size,
         row.store,
         row.isFloat,
         row.update,
         row.signExtend,
         row.isFloat && row.size == 4};
    return true;
  }
  return false;
}

bool DecodeIndexed(uint32_t xo, MemoryOp& m) {
  struct Row {
    uint32_t xo;
    uint32_t size;
    bool store, update, signExtend;
  };
  static constexpr Row kRows[] = {
      {23, 4, false, false, false}, {55, 4, false, true, false},   {87, 1, false, false, false},
      {119, 1, false, true, false}, {279, 2, false, false, false}, {311, 2, false, true, false},
      {343, 2, false, false, true}, {375, 2, false, true, true},   {151, 4, true, false, false},
      {183, 4, true, true, false},  {215, 1, true, false, false},  {247, 1, true, true, false},
      {407, 2, true, false, false}, {439, 2, true, true, false},
  };
  for (const Row& row : kRows) {
    if (row.xo != xo) continue;
    m = {0, row.size, row.store, false, row.update, row.signExtend, false};
    return true;
  }
  return false;
}

}  // namespace

bool PpcCpu::CheckData(uint32_t address, bool store, CpuOutcome& outcome) const {
  const uint32_t dabr = breakpoints.dabr;
  const bool translated = (dabr & 4u) != 0;
  const bool kindMatches = store ? (dabr & 2u) != 0 : (dabr & 1u) != 0;
  if (!translated || !kindMatches || (address & ~7u) != (dabr & ~7u)) return false;
  outcome = {CpuEvent::DataBreak, address, store};
  return true;
}

CpuOutcome PpcCpu::Step(std::span<uint8_t> memory) {
  const uint32_t pc = context.pc;
  if ((breakpoints.iabr & 3u) == 3u && (pc & ~3u) == (breakpoints.iabr & ~3u)) {
    return {CpuEvent::InstructionBreak};
  }
  const uint8_t* fetched = Locate(memory, pc, 4);
  if (!fetched) return {CpuEvent::BadAddress, pc, false};
  const uint32_t word = static_cast<uint32_t>(LoadBE(fetched, 4));
  PpcContext c = context;
  c.pc = pc + 4;
  const uint32_t op = word >> 26;
  const uint32_t rd = (word >> 21) & 31u, ra = (word >> 16) & 31u, rb = (word >> 11) & 31u;
  const int32_t simm = static_cast<int16_t>(word & 0xFFFFu);
  const uint32_t uimm = word & 0xFFFFu;
  const bool record = (word & 1u) != 0;
  const uint32_t raOr0 = ra ? c.gpr[ra] : 0;
  auto& gpr = c.gpr;
  const CpuOutcome undefined{CpuEvent::Undefined};

  MemoryOp access;
  bool isAccess = false;
  if (DecodeDForm(op, access)) {
    isAccess = true;
    access.address = raOr0 + static_cast<uint32_t>(simm);
  } else if (op == 31 && DecodeIndexed((word >> 1) & 0x3FFu, access)) {
    isAccess = true;
    access.address = raOr0 + gpr[rb];
  }
  if (isAccess) {
    if (access.update && ra == 0) return undefined;
    CpuOutcome outcome;
    if (CheckData(access.address, access.store, outcome)) return outcome;
    uint8_t* bytes = Locate(memory, access.address, access.size);
    if (!bytes) return {CpuEvent::BadAddress, access.address, access.store};
    if (access.store) {
      uint64_t value = gpr[rd];
      if (access.isFloat) {
        value = access.single ? std::bit_cast<uint32_t>(static_cast<float>(c.fpr[rd]))
                              : std::bit_cast<uint64_t>(c.fpr[rd]);
      }
      StoreBE(bytes, access.size, value);
    } else {
      const uint64_t value = LoadBE(bytes, access.size);
      if (!access.isFloat) {
        gpr[rd] = access.signExtend ? static_cast<uint32_t>(static_cast<int16_t>(value))
                                    : static_cast<uint32_t>(value);
      } else if (access.single) {
        c.fpr[rd] = std::bit_cast<float>(static_cast<uint32_t>(value));
      } else {
        c.fpr[rd] = std::bit_cast<double>(value);
      }
    }
    if (access.update) gpr[ra] = access.address;
    context = c;
    return {};
  }

  switch (op) {
    case 7:  // mulli
      gpr[rd] = gpr[ra] * static_cast<uint32_t>(simm);
      break;
    case 8:  // subfic
      gpr[rd] = AddCarrying(c, ~gpr[ra], static_cast<uint32_t>(simm), 1);
      break;
    case 10:  // cmpli
      SetCrField(c, rd >> 2, Order(gpr[ra], uimm), (c.xer & kXerSummaryOverflow) != 0);
      break;
    case 11:  // cmpi
      SetCrField(c, rd >> 2, Order(static_cast<int32_t>(gpr[ra]), simm),
                 (c.xer & kXerSummaryOverflow) != 0);
      break;
    case 12:  // addic
    case 13:  // addic.
      gpr[rd] = AddCarrying(c, gpr[ra], static_cast<uint32_t>(simm), 0);
      if (op == 13) RecordCr0(c, gpr[rd]);
      break;
    case 14:  // addi
      gpr[rd] = raOr0 + static_cast<uint32_t>(simm);
      break;
    case 15:  // addis
      gpr[rd] = raOr0 + (uimm << 16);
      break;
    case 16:
    case 18:
      break;  // branches below
    case 19:
      if (((word >> 1) & 0x3FFu) == 150) break;  // isync: nothing to wait for here
      if (((word >> 1) & 0x3FFu) != 16 && ((word >> 1) & 0x3FFu) != 528) return undefined;
      break;
    case 20:    // rlwimi
    case 21: {  // rlwinm
      const uint32_t mask = Mask((word >> 6) & 31u, (word >> 1) & 31u);
      const uint32_t rotated = std::rotl(gpr[rd], static_cast<int>(rb));
      gpr[ra] = op == 21 ? (rotated & mask) : ((rotated & mask) | (gpr[ra] & ~mask));
      if (record) RecordCr0(c, gpr[ra]);
      break;
    }
    case 24:
      gpr[ra] = gpr[rd] | uimm;
      break;
    case 25:
      gpr[ra] = gpr[rd] | (uimm << 16);
      break;
    case 26:
      gpr[ra] = gpr[rd] ^ uimm;
      break;
    case 27:
      gpr[ra] = gpr[rd] ^ (uimm << 16);
      break;
    case 28:
      gpr[ra] = gpr[rd] & uimm;
      RecordCr0(c, gpr[ra]);
      break;
    case 29:
      gpr[ra] = gpr[rd] & (uimm << 16);
      RecordCr0(c, gpr[ra]);
      break;
    case 31: {
      const uint32_t xo = (word >> 1) & 0x3FFu;
      const uint32_t s = gpr[rd], a = gpr[ra], b = gpr[rb];
      const uint32_t spr = ra | (rb << 5);
      bool logical = true;  // the result goes to rA
      uint32_t result = 0;
      switch (xo) {
        case 0:  // cmp
          SetCrField(c, rd >> 2, Order(static_cast<int32_t>(a), static_cast<int32_t>(b)),
                     (c.xer & kXerSummaryOverflow) != 0);
          logical = false;
          break;
        case 32:  // cmpl
          SetCrField(c, rd >> 2, Order(a, b), (c.xer & kXerSummaryOverflow) != 0);
          logical = false;
          break;
        case 19:  // mfcr
          gpr[rd] = c.cr;
          logical = false;
          break;
        case 24:
          result = (b & 32u) ? 0 : s << (b & 31u);
          break;  // slw
        case 536:
          result = (b & 32u) ? 0 : s >> (b & 31u);
          break;  // srw
        case 26:
          result = static_cast<uint32_t>(std::countl_zero(s));
          break;  // cntlzw
        case 28:
          result = s & b;
          break;
        case 60:
          result = s & ~b;
          break;
        case 124:
          result = ~(s | b);
          break;
        case 284:
          result = ~(s ^ b);
          break;
        case 316:
          result = s ^ b;
          break;
        case 412:
          result = s | ~b;
          break;
        case 444:
          result = s | b;
          break;
        case 476:
          result = ~(s & b);
          break;
        case 922:
          result = static_cast<uint32_t>(static_cast<int16_t>(s));
          break;  // extsh
        case 954:
          result = static_cast<uint32_t>(static_cast<int8_t>(s));
          break;     // extsb
        case 792:    // sraw
        case 824: {  // srawi
          const uint32_t shift = xo == 824 ? rb : (b & 63u);
          const int32_t value = static_cast<int32_t>(s);
          result = shift > 31 ? static_cast<uint32_t>(value >> 31)
                              : static_cast<uint32_t>(value >> shift);
          const uint32_t lost = shift > 31 ? s : (shift ? s & ((1u << shift) - 1) : 0);
          SetCarry(c, value < 0 && lost != 0);
          break;
        }
        case 339:  // mfspr
        case 467:  // mtspr
          logical = false;
          if (spr != kSprLr && spr != kSprCtr && spr != kSprXer) return undefined;
          if (xo == 339) {
            gpr[rd] = spr == kSprLr ? c.lr : spr == kSprCtr ? c.ctr : c.xer;
          } else {
            (spr == kSprLr ? c.lr : spr == kSprCtr ? c.ctr : c.xer) = s;
          }
          break;
        default: {
          // XO-form arithmetic: the result goes to rD. Overflow recording is not run.
          if (word & 0x400u) return undefined;
          logical = false;
          const uint32_t xo9 = xo & 0x1FFu;
          switch (xo9) {
            case 266:
              result = a + b;
              break;  // add
            case 40:
              result = b - a;
              break;  // subf
            case 104:
              result = 0u - a;
              break;  // neg
            case 235:
              result = a * b;
              break;  // mullw
            case 75:
              result = static_cast<uint32_t>(
                  (int64_t{static_cast<int32_t>(a)} * static_cast<int32_t>(b)) >> 32);
              break;  // mulhw
            case 11:
              result = static_cast<uint32_t>((uint64_t{a} * b) >> 32);
              break;  // mulhwu
            case 459:
              result = b ? a / b : 0;
              break;  // divwu
            case 491:
              result =
                  (b == 0 || (a == 0x80000000u && b == 0xFFFFFFFFu))
                      ? 0
                      : static_cast<uint32_t>(static_cast<int32_t>(a) / static_cast<int32_t>(b));
              break;  // divw
            case 10:
              result = AddCarrying(c, a, b, 0);
              break;  // addc
            case 138:
              result = AddCarrying(c, a, b, (c.xer & kXerCarry) ? 1 : 0);
              break;  // adde
            case 8:
              result = AddCarrying(c, ~a, b, 1);
              break;  // subfc
            case 136:
              result = AddCarrying(c, ~a, b, (c.xer & kXerCarry) ? 1 : 0);
              break;  // subfe
            default:
              return undefined;
          }
          gpr[rd] = result;
          if (record) RecordCr0(c, result);
          break;
        }
      }
      if (logical) {
        gpr[ra] = result;
        if (record) RecordCr0(c, result);
      }
      break;
    }
    case 59:
    case 63: {
      const uint32_t xo5 = (word >> 1) & 31u;
      const uint32_t frc = (word >> 6) & 31u;
      const double a = c.fpr[ra], b = c.fpr[rb], cc = c.fpr[frc];
      auto& d = c.fpr[rd];
      const bool single = op == 59;
      // Single-precision results are rounded once, from float operands, as the hardware does.
      const float fa = static_cast<float>(a), fb = static_cast<float>(b),
                  fc = static_cast<float>(cc);
      if (op == 63 && ((word >> 1) & 0x3FFu) == 72) {
        d = b;  // fmr
      } else if (op == 63 && ((word >> 1) & 0x3FFu) == 12) {
        d = AsSingle(b);  // frsp
      } else if (op == 63 && ((word >> 1) & 0x3FFu) == 40) {
        d = -b;  // fneg
      } else if (xo5 == 18) {
        d = single ? static_cast<double>(fa / fb) : a / b;
      } else if (xo5 == 20) {
        d = single ? static_cast<double>(fa - fb) : a - b;
      } else if (xo5 == 21) {
        d = single ? static_cast<double>(fa + fb) : a + b;
      } else if (xo5 == 25) {
        d = single ? static_cast<double>(fa * fc) : a * cc;
      } else {
        return undefined;
      }
      break;
    }
    default:
      return undefined;
  }

  const FlowStep flow = ppc_flow(word, pc, {context.cr, context.ctr, context.lr});
  if (flow.isBranch) {
    if (flow.decrementsCtr) c.ctr = context.ctr - 1;
    if (flow.links) c.lr = pc + 4;
    c.pc = flow.next;
  }
  context = c;
  return {};
}

}  // namespace zemlo::sim
