// The exchanges the live tools are built from: a 200-byte window (0x31), a word poke (0x03) and a
// range dump (0x04). The caller holds an ExchangeClaim for the whole of a refresh or scan, so
// nothing else talks to the console in between. Window reads and pokes stay silent, because a
// refresh repeats them many times a second: the caller decides what a failure means.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace zemlo::live {

inline constexpr uint32_t kWindowSize = 200;

// MEM1 and MEM2 as the console maps them cached; a pointer outside both is not followed.
bool IsConsolePointer(uint32_t address);

// Reads kWindowSize bytes from `address` into `out`. False when the exchange did not complete.
bool ReadWindow(uint32_t address, uint8_t* out);

// Writes one big-endian word. False when the command did not go out whole.
bool PokeWord(uint32_t address, uint32_t value);

// Dumps [start, start + count) into `out` (resized), with the dump's own messages on failure.
bool DumpRange(uint32_t start, uint32_t count, std::vector<uint8_t>& out);

// What went over the link, counted for tests and the benchmark; refreshes run on threads of
// their own.
struct LinkCounters {
  std::atomic<uint64_t> windows{0};
  std::atomic<uint64_t> pokes{0};
  std::atomic<uint64_t> dumpBytes{0};
};
LinkCounters& Counters();

}  // namespace zemlo::live
