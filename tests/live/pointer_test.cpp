// The pointer scanner on small hand-made memories: which chains hold across snapshots, under
// which limits, and in which order.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "link/bytes.h"
#include "live/pointer_scan.h"

namespace zemlo::live {
namespace {

using Words = std::initializer_list<std::pair<uint32_t, uint32_t>>;  // address, value

PointerSnapshot Memory(uint32_t target, Words words) {
  PointerSnapshot snapshot{0x80000000u, std::vector<uint8_t>(0x10000), target};
  for (const auto& [address, value] : words)
    WriteBE32(&snapshot.memory[address - 0x80000000u], value);
  return snapshot;
}

// A world object that stays, a level object and a player that move on a reload; the old level
// object is left behind still pointing at the old player.
const PointerSnapshot kBefore = Memory(0x80003004, {{0x80000100, 0x80001000},
                                                    {0x80001010, 0x80002000},
                                                    {0x800021C8, 0x80003000},
                                                    {0x80000200, 0x80003000},
                                                    {0x80000300, 0x80003020}});
const PointerSnapshot kAfter = Memory(0x80004244, {{0x80000100, 0x80001000},
                                                   {0x80001010, 0x80002860},
                                                   {0x800021C8, 0x80003000},
                                                   {0x80002A28, 0x80004240},
                                                   {0x80000200, 0x80004240},
                                                   {0x80000300, 0x80004260}});
// A third snapshot in which the direct pointer was not updated.
const PointerSnapshot kStale = Memory(0x80005004, {{0x80000100, 0x80001000},
                                                   {0x80001010, 0x80002000},
                                                   {0x800021C8, 0x80005000},
                                                   {0x80000200, 0x80004240},
                                                   {0x80000300, 0x80005020}});

TEST(PointerScan, ChainsThatHoldInEverySnapshotBestFirst) {
  const std::string direct = R"("address": "80000200", "pointerOffsets": ["4"])";
  const std::string deep = R"("address": "80000100", "pointerOffsets": ["10", "1C8", "4"])";
  const std::string behind = R"("address": "80000300", "pointerOffsets": ["-1C"])";
  // Inside the world object, which stays put: as good a base as the global pointer.
  const std::string mid = R"("address": "80001010", "pointerOffsets": ["1C8", "4"])";
  struct Row {
    const char* what;
    std::vector<PointerSnapshot> snapshots;
    PointerScanOptions options;
    std::vector<std::string> chains;
  };
  const std::vector<Row> rows{
      {"across a reload", {kBefore, kAfter}, {}, {direct, mid, deep}},
      {"too shallow", {kBefore, kAfter}, {.depth = 2}, {direct, mid}},
      {"offsets too small", {kBefore, kAfter}, {.maxOffset = 0x1C4}, {direct}},
      {"signed offsets",
       {kBefore, kAfter},
       {.depth = 1, .negativeOffsets = true},
       {direct, behind}},
      {"a third snapshot", {kBefore, kAfter, kStale}, {}, {mid, deep}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> found;
    for (const PointerChain& chain : ScanPointers(row.snapshots, row.options).chains)
      found.push_back(ChainJson(chain));
    EXPECT_EQ(found, row.chains) << row.what;
  }
  // A pointer on the way outside the snapshot ends the chain.
  EXPECT_EQ(FollowChain({0x80000100, {0x10, 0x1C8, 4}}, kAfter), 0x80004244u);
  EXPECT_EQ(FollowChain({0x80000100, {0x10, 0x1C8, 4}}, Memory(0, {{0x80000100, 0x90000000}})),
            std::nullopt);
}

}  // namespace
}  // namespace zemlo::live
