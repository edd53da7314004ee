#include "disasm/ppc_flow.h"

namespace zemlo {
namespace {

constexpr std::uint32_t kBoAlways = 16;
constexpr std::uint32_t kBoIfTrue = 8;
constexpr std::uint32_t kBoNoDecrement = 4;
constexpr std::uint32_t kBoCtrZero = 2;

std::int32_t SignExtend(std::uint32_t value, int bits) {
  const std::uint32_t sign = 1u << (bits - 1);
  return static_cast<std::int32_t>((value ^ sign) - sign);
}

// Whether a conditional branch is taken; `ctr` is the value after any decrement.
bool Taken(std::uint32_t bo, std::uint32_t bi, std::uint32_t cr, std::uint32_t ctr) {
  const bool ctrOk = (bo & kBoNoDecrement) || ((ctr != 0) != ((bo & kBoCtrZero) != 0));
  const bool bit = ((cr >> (31 - bi)) & 1u) != 0;
  const bool conditionOk = (bo & kBoAlways) || bit == ((bo & kBoIfTrue) != 0);
  return ctrOk && conditionOk;
}

}  // namespace

FlowStep ppc_flow(std::uint32_t word, std::uint32_t pc, const BranchRegisters& regs) {
  FlowStep step;
  step.next = pc + 4;
  const std::uint32_t primary = word >> 26;
  const bool absolute = (word & 2u) != 0;
  step.links = (word & 1u) != 0;
  if (primary == 18) {
    step.isBranch = true;
    const std::int32_t offset = SignExtend(word & 0x03FFFFFCu, 26);
    step.next = absolute ? static_cast<std::uint32_t>(offset) : pc + offset;
    return step;
  }
  const std::uint32_t xo = (word >> 1) & 0x3FFu;
  const bool viaLr = primary == 19 && xo == 16;
  const bool viaCtr = primary == 19 && xo == 528;
  if (primary != 16 && !viaLr && !viaCtr) {
    step.links = false;
    return step;
  }
  step.isBranch = true;
  const std::uint32_t bo = (word >> 21) & 31u;
  const std::uint32_t bi = (word >> 16) & 31u;
  // bcctr cannot count its own target down; the processor leaves CTR alone there.
  step.decrementsCtr = !(bo & kBoNoDecrement) && !viaCtr;
  const std::uint32_t ctr = step.decrementsCtr ? regs.ctr - 1 : regs.ctr;
  if (!Taken(viaCtr ? (bo | kBoNoDecrement) : bo, bi, regs.cr, ctr)) return step;
  if (viaLr) {
    step.next = regs.lr & ~3u;
  } else if (viaCtr) {
    step.next = regs.ctr & ~3u;
  } else {
    const std::int32_t offset = SignExtend(word & 0xFFFCu, 16);
    step.next = absolute ? static_cast<std::uint32_t>(offset) : pc + offset;
  }
  return step;
}

}  // namespace zemlo
