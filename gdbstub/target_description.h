// What the stub tells gdb about the target: the register set in the order of its `g` packet, the
// memory map, and the gdb script that connects to the stub.
#pragma once

#include <cstdint>
#include <string>

#include "debugger/breakpoints.h"

namespace zemlo::gdb {

// target.xml: a powerpc:750 with the core registers and the floating-point ones.
const std::string& TargetXml();
// The memory map: MEM1 and its uncached mirror, MEM2, and the hardware registers.
std::string MemoryMapXml();

// The `g` packet from a register block; what the block lacks (FPRs, MSR, FPSCR) is unavailable.
std::string RegisterPacket(const RegisterValues& block);
// One register by gdb's number for `p`; empty for a number outside the set.
std::string RegisterText(const RegisterValues& block, uint32_t number);

// Words of the block gdb's registers come from.
inline constexpr int kBlockCr = 0, kBlockXer = 1, kBlockCtr = 2, kBlockDsisr = 3, kBlockDar = 4,
                     kBlockSrr0 = 5, kBlockGpr0 = 7, kBlockLr = 39;

// The gdb script: architecture, byte order, the one breakpoint and watchpoint, the connection.
std::string GdbInit(const std::string& hostPort);

}  // namespace zemlo::gdb
