#include <gtest/gtest.h>

#include <future>

#include "link/exchange_claim.h"
#include "live/background_refresh.h"
#include "live/live_link.h"
#include "live/watch_list.h"
#include "tests/live/live_fixture.h"

namespace zemlo::live {
namespace {

using testing::LiveFixture;

class WatchTest : public LiveFixture {
 protected:
  static WatchEntry Entry(const char* label, uint32_t address, ValueType type,
                          std::vector<uint32_t> offsets = {}) {
    return {.label = label, .address = address, .type = type, .pointerOffsets = std::move(offsets)};
  }
  std::string Value(size_t index) {
    const WatchReading& reading = list.readings().at(index);
    return reading.valid ? FormatValue(list.entries()[index].type, DisplayBase::Dec,
                                       reading.bytes.data(), list.entries()[index].length)
                         : reading.error;
  }
  WatchList list;
};

TEST_F(WatchTest, FollowsTheRunningGameLocksAndEdits) {
  list.entries() = {Entry("health", Game::kHealth, ValueType::U16),
                    Entry("frames", Game::kFrameCounter, ValueType::U32),
                    Entry("coins", Game::kPlayerPointer, ValueType::U32, {Game::kPlayerCoins}),
                    Entry("stale", Game::kFrameCounter, ValueType::U32, {0}),
                    Entry("letter", Game::kLevelName + 1, ValueType::U8)};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), "1000");
  EXPECT_EQ(list.readings()[2].resolved, Game::kPlayerAreas + Game::kPlayerCoins);
  EXPECT_EQ(Value(3), "invalid pointer at step 1 (0x00000000)");
  // Health, frames and the name sit in one window; the pointer costs a second round.
  EXPECT_EQ(list.lastWindowCount(), 2u);

  Play(Game::kLevelFrames);
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(1), "600");
  EXPECT_TRUE(list.readings()[0].changed);
  EXPECT_EQ(Value(0), std::to_string(1000 - 16 * Game::kHealthDrop));
  // The level reloaded: the structure moved and the chain follows it.
  EXPECT_EQ(list.readings()[2].resolved,
            Game::kPlayerAreas + Game::kPlayerAreaStride + Game::kPlayerCoins);
  EXPECT_EQ(Value(2), "30");

  // A lock holds its value while the game plays on; an edit keeps the neighbouring bytes.
  EXPECT_EQ(list.Lock(0, true, "1234"), "");
  for (int round = 0; round < 3; ++round) {
    Play(Game::kHealthDropEvery);
    ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  }
  EXPECT_EQ(list.Edit(4, "65"), "");
  adapter().Quiesce();
  const uint8_t* memory = model().memory.data() - 0x80000000u;
  EXPECT_EQ(memory[Game::kHealth] << 8 | memory[Game::kHealth + 1], 1234);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory + Game::kLevelName), 9), "WARLD 1-2");
  EXPECT_EQ(list.Edit(0, "70000"), "not a value of type u16");
  list.Lock(0, false);
  Play(Game::kHealthDropEvery);
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), std::to_string(1234 - Game::kHealthDrop));
}

// The window's refresh runs on a thread of its own (also under ThreadSanitizer): its readings
// reach the list unless the list changed meanwhile. While the link is busy neither way of
// refreshing sends anything.
TEST_F(WatchTest, BackgroundRefreshHandsReadingsBackUnlessTheListChanged) {
  list.entries() = {Entry("health", Game::kHealth, ValueType::U16)};
  BackgroundRefresh refresh;
  const auto refreshed = [&](bool changeMeanwhile) {
    std::promise<void> finished;
    EXPECT_TRUE(refresh.Begin(list, [&] { finished.set_value(); }));
    if (changeMeanwhile) list.entries()[0].label = "renamed";
    finished.get_future().wait();
    return refresh.Apply(list);
  };
  EXPECT_EQ(refreshed(false), RefreshOutcome::Done);
  Play(Game::kHealthDropEvery);
  EXPECT_EQ(refreshed(true), std::nullopt);
  EXPECT_EQ(Value(0), "1000");
  EXPECT_EQ(refreshed(false), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), "993");
  const ExchangeClaim held = ExchangeClaim::TryClaim();
  ASSERT_TRUE(held.held());
  Sent();
  EXPECT_EQ(list.Refresh(), RefreshOutcome::Busy);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(refresh.Begin(list, [] { ADD_FAILURE() << "refreshed over a held link"; }));
}

}  // namespace
}  // namespace zemlo::live
