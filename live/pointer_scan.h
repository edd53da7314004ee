// Finds pointer chains that lead to an object the game moves: every `[[base] + o1] + ... + on`
// that reaches the object's address in each of several snapshots of main memory, with the base
// at the same place in all of them. A chain that holds across snapshots taken around a reload is
// one a watch entry can follow for good.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zemlo::live {

struct PointerSnapshot {
  uint32_t start = 0x80000000u;  // console address of memory[0]
  std::vector<uint8_t> memory;
  uint32_t target = 0;  // where the object was when this snapshot was taken
};

// Read as a watch entry reads it: `base` holds a pointer, each offset is added to the pointer
// just read; all but the last sum are read as pointers in turn.
struct PointerChain {
  uint32_t base = 0;
  std::vector<int32_t> offsets;
  bool operator==(const PointerChain&) const = default;
};

struct PointerScanOptions {
  int depth = 3;  // most pointers read, 1..kMaxPointerDepth
  uint32_t maxOffset = 0x1000;
  bool negativeOffsets = false;  // offsets from -maxOffset on as well
  // A scan with one snapshot, or a loose limit on noisy memory, can find millions; the best
  // ones are kept.
  size_t maxChains = 100'000;
};

inline constexpr int kMaxPointerDepth = 4;

struct PointerScanResult {
  std::vector<PointerChain> chains;  // best first: fewer pointers, then smaller offsets
  bool truncated = false;            // more chains existed than were kept
  bool stopped = false;              // `progress` asked to stop; nothing was kept
};

// Told each level finished, 1..depth; false stops the scan there.
using LevelProgress = std::function<bool(int level)>;

// The chains that reach each snapshot's target. `progress` may be empty.
PointerScanResult ScanPointers(const std::vector<PointerSnapshot>& snapshots,
                               const PointerScanOptions& options,
                               const LevelProgress& progress = {});

// Where `chain` leads in `snapshot`, or nothing when a pointer on the way falls outside it.
std::optional<uint32_t> FollowChain(const PointerChain& chain, const PointerSnapshot& snapshot);

// The order chains are kept in: fewer pointers first, then the smaller largest offset, then
// the smaller sum of offsets, then by address.
bool ChainBefore(const PointerChain& a, const PointerChain& b);

// `"address": "80900020", "pointerOffsets": ["10", "1C8", "4"]`, the watch file's form.
std::string ChainJson(const PointerChain& chain);

}  // namespace zemlo::live
