// The console as the stub sees it, through the debugger's operations over the adapter: memory in
// 200-byte windows and 32-bit pokes, freeze and unfreeze, the two breakpoint registers and the
// register block. Each call claims the link for its exchanges, unless the target holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "debugger/breakpoints.h"
#include "link/exchange_claim.h"

namespace zemlo::gdb {

// Where the console can be read and where a breakpoint may go: MEM1 (also uncached), MEM2 and
// the hardware registers. `last` is inclusive.
struct MemoryRegion {
  uint32_t first;
  uint32_t last;
};
inline constexpr MemoryRegion kMemoryRegions[] = {
    {0x80000000u, 0x817FFFFFu},
    {0x90000000u, 0x93FFFFFFu},
    {0xC0000000u, 0xC17FFFFFu},
    {0xCC000000u, 0xCC008000u},
};
// The region holding all of [address, address + count), if one does.
std::optional<MemoryRegion> RegionOf(uint32_t address, uint32_t count);

class ConsoleTarget {
 public:
  virtual ~ConsoleTarget() = default;
  // False when the console did not answer or the range is outside every region.
  virtual bool Read(uint32_t address, uint32_t count, std::vector<uint8_t>& out);
  // Read-modify-write of the words the range touches, one poke per word.
  virtual bool Write(uint32_t address, const std::vector<uint8_t>& bytes);
  virtual bool Freeze();
  virtual bool Unfreeze();
  // The word as the processor takes it; 0 clears.
  virtual bool SetIabr(uint32_t word);
  virtual bool SetDabr(uint32_t word);
  virtual std::optional<RegisterValues> Registers();

  // Keeps the link claimed until Release, so that no other tool's exchange (its own breakpoint,
  // a freeze) comes between gdb's requests. False when another tool kept the link past the wait.
  bool Hold();
  void Release() { held_.reset(); }

 private:
  // Claims the link for one call into `claim`, or leaves it empty while the target holds it;
  // false when the link stayed in use.
  bool ClaimFor(std::optional<ExchangeClaim>& claim);

  std::optional<ExchangeClaim> held_;
};

}  // namespace zemlo::gdb
