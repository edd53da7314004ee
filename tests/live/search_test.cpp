#include <gtest/gtest.h>

#include <fstream>

#include "live/live_link.h"
#include "live/value_search.h"
#include "tests/live/live_fixture.h"

namespace zemlo::live {
namespace {

using testing::LiveFixture;

class SearchTest : public LiveFixture {
 protected:
  std::vector<uint32_t> Addresses() {
    std::vector<uint32_t> addresses;
    for (const ScanResult& result : search.Results(1000)) addresses.push_back(result.address);
    return addresses;
  }
  ValueSearch search;
};

TEST_F(SearchTest, FindsHealthAcrossMem1OnceHookedAndUndoes) {
  adapter().Quiesce();
  model().uploads.hooked = false;
  EXPECT_NE(search.First({}, {Compare::Unknown}), "");
  EXPECT_FALSE(search.started());
  EXPECT_EQ(OnlyMessage().text, "Couldn't Dump Memory. Make sure game is hooked");
  model().uploads.hooked = true;
  ASSERT_EQ(search.First({0x80000000u, 0x81800000u, ValueType::U16, true},
                         {Compare::Exact, Game::kHealthFull}, true),
            "");
  const uint64_t firstCount = search.count();
  Play(Game::kHealthDropEvery);
  ASSERT_EQ(search.Next({Compare::Decreased}), "");
  EXPECT_EQ(Addresses(), std::vector<uint32_t>{Game::kHealth});
  const ScanResult result = search.Results(1).at(0);
  EXPECT_EQ(result.current, Game::kHealthFull - Game::kHealthDrop);
  EXPECT_EQ(result.previous, Game::kHealthFull);

  Play(Game::kHealthDropEvery);
  // One candidate: its window costs far less than the range.
  EXPECT_EQ(search.NextPlan(), ReadPlan::Windows);
  const uint64_t dumped = Counters().dumpBytes;
  ASSERT_EQ(search.Next({Compare::DecreasedBy, Game::kHealthDrop}), "");
  EXPECT_EQ(Counters().dumpBytes, dumped);
  EXPECT_EQ(search.count(), 1u);
  ASSERT_EQ(search.Next({Compare::Increased}), "");
  EXPECT_EQ(search.count(), 0u);
  for (int step = 0; step < 3; ++step) ASSERT_TRUE(search.Undo());
  EXPECT_EQ(search.count(), firstCount);
  EXPECT_FALSE(search.Undo());
}

TEST_F(SearchTest, ComparisonsOnUnknownValuesAndSessionFiles) {
  // frames, timer, health + pad, pointer: an unknown start, then what each frame does to them.
  const ScanRange range{Game::kFrameCounter, Game::kFrameCounter + 16, ValueType::U32, true};
  ASSERT_EQ(search.First(range, {Compare::Unknown}), "");
  EXPECT_EQ(search.count(), 4u);
  struct Row {
    Compare compare;
    double a;
    std::vector<uint32_t> kept;
  };
  Play(1);
  const std::string path = TempPath("scan.session");
  std::string error;
  ASSERT_TRUE(search.Save(path, error));
  for (const Row& row : std::vector<Row>{
           {Compare::Changed, 0, {Game::kFrameCounter, Game::kTimer}},
           {Compare::Unchanged, 0, {Game::kHealth, Game::kPlayerPointer}},
           {Compare::IncreasedBy, 1, {Game::kFrameCounter}},
           {Compare::Between, 0, {Game::kFrameCounter}},
           {Compare::Greater, 0x80000000u, {Game::kPlayerPointer}},
       }) {
    SCOPED_TRACE(CompareName(row.compare));
    ASSERT_TRUE(search.Load(path, error)) << error;
    ASSERT_EQ(search.Next({row.compare, row.a, 5}), "");
    EXPECT_EQ(Addresses(), row.kept);
  }
  EXPECT_NE(search.Next({Compare::Unknown}), "");
  EXPECT_NE(search.First(range, {Compare::Changed}), "");

  // A damaged session is refused whole and the search in memory stays.
  std::ofstream(path, std::ios::binary | std::ios::in) << "ZLSCAN01\xff\xff";
  EXPECT_FALSE(search.Load(path, error));
  EXPECT_EQ(search.range().start, range.start);
}

}  // namespace
}  // namespace zemlo::live
