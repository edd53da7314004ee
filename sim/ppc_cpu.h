// A small PowerPC interpreter for the code the simulated game runs: integer arithmetic and logic,
// compares, byte/half/word loads and stores with their update and indexed forms, the branches,
// LR and CTR, and the few floating-point instructions a game uses to turn counts into floats.
// It checks the two hardware breakpoints as the processor does: the instruction address
// breakpoint before each fetch, the data address breakpoint on each load or store against the
// aligned doubleword.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zemlo::sim {

struct PpcContext {
  std::array<uint32_t, 32> gpr{};
  std::array<double, 32> fpr{};
  uint32_t pc = 0;
  uint32_t cr = 0;
  uint32_t lr = 0;
  uint32_t ctr = 0;
  uint32_t xer = 0;
};

enum class CpuEvent {
  Ran,               // one instruction completed
  InstructionBreak,  // the IABR matched the fetch; nothing ran
  DataBreak,         // the DABR matched an access; the instruction did not complete
  Undefined,         // a word this interpreter does not run; nothing ran
  BadAddress,        // an access outside main memory; the instruction did not complete
};

struct CpuOutcome {
  CpuEvent event = CpuEvent::Ran;
  uint32_t dataAddress = 0;  // the effective address of a data break or bad access
  bool store = false;        // that access was a store
};

// The breakpoint words as the processor holds them. IABR: address | 2 (enable) | 1 (translated
// fetches, as games run). DABR: doubleword address | 4 (translated accesses) | 2 (writes) |
// 1 (reads). 0 disables either.
struct BreakpointRegisters {
  uint32_t iabr = 0;
  uint32_t dabr = 0;
};

class PpcCpu {
 public:
  PpcContext context;
  BreakpointRegisters breakpoints;

  // Runs the instruction at context.pc against `memory` (main memory from 0x80000000 on, also
  // seen at 0xC0000000). On anything but Ran the context is as it was before the instruction.
  CpuOutcome Step(std::span<uint8_t> memory);

 private:
  bool CheckData(uint32_t address, bool store, CpuOutcome& outcome) const;
};

}  // namespace zemlo::sim
