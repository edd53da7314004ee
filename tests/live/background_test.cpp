// A watch-list refresh on its own thread (also run under ThreadSanitizer): its readings reach the
// owner's list, a list changed meanwhile keeps its own, and a busy link skips the turn.
#include <gtest/gtest.h>

#include <future>

#include "link/exchange_claim.h"
#include "live/background_refresh.h"
#include "live/value_type.h"
#include "tests/live/live_fixture.h"

namespace zemlo::live {
namespace {

using BackgroundRefreshTest = testing::LiveFixture;

TEST_F(BackgroundRefreshTest, HandsReadingsBackUnlessTheListChanged) {
  WatchList list;
  list.entries().push_back({.label = "health", .address = Game::kHealth, .type = ValueType::U16});
  BackgroundRefresh refresh;
  const auto refreshed = [&](bool changeMeanwhile) {
    std::promise<void> finished;
    EXPECT_TRUE(refresh.Begin(list, [&] { finished.set_value(); }));
    if (changeMeanwhile) list.entries()[0].label = "renamed";
    finished.get_future().wait();
    return refresh.Apply(list);
  };
  const auto health = [&] {
    return FormatValue(ValueType::U16, DisplayBase::Dec, list.readings().at(0).bytes.data(), 2);
  };
  EXPECT_EQ(refreshed(false), RefreshOutcome::Done);
  EXPECT_EQ(health(), "1000");
  Play(Game::kHealthDropEvery);
  EXPECT_EQ(refreshed(true), std::nullopt);
  EXPECT_EQ(health(), "1000");
  EXPECT_EQ(refreshed(false), RefreshOutcome::Done);
  EXPECT_EQ(health(), "993");

  const ExchangeClaim held = ExchangeClaim::TryClaim();
  EXPECT_FALSE(refresh.Begin(list, [] { ADD_FAILURE() << "refreshed over a held link"; }));
}

}  // namespace
}  // namespace zemlo::live
