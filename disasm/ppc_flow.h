// Where control goes after one instruction: the branch rules of the processor (conditions on CR
// and CTR, targets from the word, LR or CTR), shared by anything that runs or steps code.
#pragma once

#include <cstdint>

namespace zemlo {

struct BranchRegisters {
  std::uint32_t cr = 0;
  std::uint32_t ctr = 0;
  std::uint32_t lr = 0;
};

struct FlowStep {
  bool isBranch = false;       // b, bc, bclr or bcctr (taken or not)
  std::uint32_t next = 0;      // the address of the instruction run after this one
  bool decrementsCtr = false;  // the branch counts CTR down before testing it
  bool links = false;          // LR becomes the address after the branch
};

// The step `word` at `pc` takes with the registers as they are before it runs.
FlowStep ppc_flow(std::uint32_t word, std::uint32_t pc, const BranchRegisters& regs);

}  // namespace zemlo
