// The watch list and the value search against the simulated console's game, stepped by the test
// frame by frame, with the link connected.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <tuple>

#include "disasm/symbol_map.h"
#include "link/bytes.h"
#include "link/exchange_claim.h"
#include "live/background_refresh.h"
#include "live/gecko_codes.h"
#include "live/live_link.h"
#include "live/lock_keeper.h"
#include "live/pointer_session.h"
#include "live/value_search.h"
#include "live/watch_list.h"
#include "sim/game_model.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::live {
namespace {

using Game = sim::GameModel;

class LiveTest : public zemlo::testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    model().game.clockDriven = false;
    model().uploads.hooked = true;
    ASSERT_EQ(Connect(), 1);
  }
  void Play(uint64_t frames) {
    adapter().Quiesce();
    model().game.Step(model().MemorySpan(), frames);
  }
  static WatchEntry Entry(const char* label, uint32_t address, ValueType type,
                          std::vector<uint32_t> offsets = {}) {
    return {.label = label, .address = address, .type = type, .pointerOffsets = std::move(offsets)};
  }
  // The watch list's reading at `index` as the window shows it, or why there is none.
  std::string Value(size_t index) {
    const WatchReading& reading = list.readings().at(index);
    return reading.valid ? FormatValue(list.entries()[index].type, DisplayBase::Dec,
                                       reading.bytes.data(), list.entries()[index].length)
                         : reading.error;
  }
  std::vector<uint32_t> Addresses() {
    std::vector<uint32_t> addresses;
    for (const ScanResult& result : search.Results(1000)) addresses.push_back(result.address);
    return addresses;
  }
  WatchList list;
  ValueSearch search;
};

TEST_F(LiveTest, FollowsTheRunningGameLocksAndEdits) {
  list.entries() = {Entry("health", Game::kHealth, ValueType::U16),
                    Entry("frames", Game::kFrameCounter, ValueType::U32),
                    Entry("coins", Game::kPlayerPointer, ValueType::U32, {Game::kPlayerCoins}),
                    Entry("stale", Game::kFrameCounter, ValueType::U32, {0}),
                    Entry("letter", Game::kLevelName + 1, ValueType::U8),
                    Entry("deep coins", Game::kWorldPointer, ValueType::U32,
                          {Game::kWorldLevel, Game::kLevelPlayer, Game::kPlayerCoins})};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), "1000");
  EXPECT_EQ(list.readings()[2].resolved, Game::kPlayerAreas + Game::kPlayerCoins);
  EXPECT_EQ(Value(3), "invalid pointer at step 1 (0x00000000)");
  EXPECT_EQ(list.readings()[5].resolved, list.readings()[2].resolved);
  // Health, frames and the name sit in one window; each step of the deepest chain costs a round.
  EXPECT_EQ(list.lastWindowCount(), 4u);

  Play(Game::kLevelFrames);
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(1), "600");
  EXPECT_TRUE(list.readings()[0].changed);
  EXPECT_EQ(Value(0), std::to_string(1000 - 16 * Game::kHealthDrop));
  // The level reloaded: the structure moved and the chain follows it.
  EXPECT_EQ(list.readings()[2].resolved,
            Game::kPlayerAreas + Game::kPlayerAreaStride + Game::kPlayerCoins);
  EXPECT_EQ(Value(2), "30");
  EXPECT_EQ(list.readings()[5].resolved, list.readings()[2].resolved);

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

  // An entry named by a data symbol follows the map loaded last.
  list.entries() = {Entry("named", 0, ValueType::U32)};
  list.entries()[0].symbol = "frame_count";
  SetLoadedSymbolMap(std::nullopt);
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), "no symbol frame_count in the loaded map");
  for (const uint32_t address : {Game::kFrameCounter, Game::kPlayerPointer}) {
    const std::string at = [&] {
      char text[12];
      std::snprintf(text, sizeof text, "%08X", address);
      return std::string(text);
    }();
    SymbolMap map;
    ASSERT_TRUE(map.Parse(".data section layout\n" + at + " 00000004 " + at + " 0 frame_count\n"));
    SetLoadedSymbolMap(std::move(map));
    ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
    EXPECT_EQ(list.readings()[0].resolved, address);
  }
  SetLoadedSymbolMap(std::nullopt);
}

// The window's refresh runs on a thread of its own (also under ThreadSanitizer): its readings
// reach the list unless the list changed meanwhile. While the link is busy neither way of
// refreshing sends anything.
TEST_F(LiveTest, BackgroundRefreshHandsReadingsBackUnlessTheListChanged) {
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

// The game's world, level and player as struct types, nested through their pointers: the fields
// follow a reload and cost the windows the same values as flat entries cost; an array counted
// by a field follows that field, up to its bound.
TEST_F(LiveTest, StructsFollowTheGameInTheWindowsOfFlatEntries) {
  const auto field = [](const char* label, uint32_t offset, WatchEntry entry) {
    entry.label = label;
    return StructField{offset, std::move(entry)};
  };
  const auto pointerTo = [](const char* type) {
    return WatchEntry{.pointerOffsets = {0}, .kind = EntryKind::Struct, .structName = type};
  };
  list.structs() = {
      {"World", 0x14, {field("level", Game::kWorldLevel, pointerTo("Level"))}},
      {"Level",
       0x1CC,
       {field("number", Game::kLevelNumber, {}),
        field("player", Game::kLevelPlayer, pointerTo("Player"))}},
      {"Player",
       12,
       {field("level", Game::kPlayerLevel, {}), field("coins", Game::kPlayerCoins, {}),
        field("x", Game::kPlayerX, {.type = ValueType::F32})}},
      {"Bag",
       4 + 8 * 2,
       {field("count", 0, {.type = ValueType::U16}), field("items", 4,
                                                           {.kind = EntryKind::Array,
                                                            .element = {{.type = ValueType::U16}},
                                                            .count = 8,
                                                            .countField = "count"})}}};
  WatchEntry world = pointerTo("World");
  world.address = Game::kWorldPointer;
  constexpr uint32_t kBag = 0x80C00000u;
  list.entries() = {world, {.address = kBag, .kind = EntryKind::Struct, .structName = "Bag"}};
  uint8_t* memory = model().memory.data() - 0x80000000u;
  const auto put16 = [&](uint32_t at, uint32_t value) {
    memory[at] = static_cast<uint8_t>(value >> 8);
    memory[at + 1] = static_cast<uint8_t>(value);
  };
  for (uint32_t i = 0; i < 8; ++i) put16(kBag + 4 + 2 * i, 10 + i);
  // The bag's count, and the items it shows.
  for (const auto& [count, shown] :
       std::vector<std::pair<uint16_t, size_t>>{{3, 3}, {5, 5}, {999, 8}}) {
    adapter().Quiesce();
    put16(kBag, count);
    ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
    const WatchReading* items = list.FieldReading(1, {1});
    ASSERT_TRUE(items && items->valid);
    EXPECT_EQ(items->fields.size(), shown);
    EXPECT_EQ(items->fields.back().resolved, kBag + 4 + 2 * (shown - 1));
  }
  for (int reload = 0; reload < 2; ++reload) {
    ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
    const WatchReading* coins = list.FieldReading(0, {0, 1, 1});
    ASSERT_TRUE(coins && coins->valid) << list.Line(0);
    EXPECT_EQ(coins->resolved, model().game.PlayerAddress() + Game::kPlayerCoins);
    EXPECT_EQ(list.FieldEntry(0, {0, 1, 1})->label, "coins");
    Play(Game::kLevelFrames);
  }
  EXPECT_NE(list.Line(0).find("\n    player "), std::string::npos) << list.Line(0);
  EXPECT_EQ(list.EditFieldClaimed(1, {1, 2}, "77"), "");
  adapter().Quiesce();
  EXPECT_EQ(memory[kBag + 8] << 8 | memory[kBag + 9], 77);
  const size_t structWindows = (list.entries().pop_back(), list.Refresh(), list.lastWindowCount());
  // The same values as flat entries, each following the same pointers.
  list.entries() = {Entry("number", Game::kWorldPointer, ValueType::U32, {Game::kWorldLevel, 0}),
                    Entry("coins", Game::kWorldPointer, ValueType::U32,
                          {Game::kWorldLevel, Game::kLevelPlayer, Game::kPlayerCoins}),
                    Entry("x", Game::kWorldPointer, ValueType::F32,
                          {Game::kWorldLevel, Game::kLevelPlayer, Game::kPlayerX})};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(list.lastWindowCount(), structWindows);
  // A value running past the top of memory ends the refresh rather than being asked for forever.
  list.entries() = {Entry("top", 0xFFFFFFFEu, ValueType::U32)};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  EXPECT_EQ(Value(0), "not read");
}

TEST_F(LiveTest, FindsHealthAcrossMem1OnceHookedAndUndoes) {
  adapter().Quiesce();
  model().uploads.hooked = false;
  EXPECT_NE(search.First({}, {Compare::Unknown}), "");
  EXPECT_FALSE(search.started());
  EXPECT_EQ(OnlyMessage(),
            testing::Box("Couldn't Dump Memory. Make sure game is hooked", "USB Error"));
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

TEST_F(LiveTest, ComparisonsOnUnknownValuesAndSessionFiles) {
  // frames, timer, health + pad, pointer: an unknown start, then what each frame does to them.
  const ScanRange range{Game::kFrameCounter, Game::kFrameCounter + 16, ValueType::U32, true};
  ASSERT_EQ(search.First(range, {Compare::Unknown}), "");
  EXPECT_EQ(search.count(), 4u);
  Play(1);
  const std::string path = TempPath("scan.session");
  std::string error;
  ASSERT_TRUE(search.Save(path, error));
  // Each comparison, its value, and the candidates it keeps.
  for (const auto& [compare, a, kept] :
       std::vector<std::tuple<Compare, double, std::vector<uint32_t>>>{
           {Compare::Changed, 0, {Game::kFrameCounter, Game::kTimer}},
           {Compare::Unchanged, 0, {Game::kHealth, Game::kPlayerPointer}},
           {Compare::IncreasedBy, 1, {Game::kFrameCounter}},
           {Compare::Between, 0, {Game::kFrameCounter}},
           {Compare::Greater, 0x80000000u, {Game::kPlayerPointer}},
       }) {
    SCOPED_TRACE(CompareName(compare));
    ASSERT_TRUE(search.Load(path, error)) << error;
    ASSERT_EQ(search.Next({compare, a, 5}), "");
    EXPECT_EQ(Addresses(), kept);
  }
  EXPECT_NE(search.Next({Compare::Unknown}), "");
  EXPECT_NE(search.First(range, {Compare::Changed}), "");

  // A damaged session is refused whole and the search in memory stays.
  std::ofstream(path, std::ios::binary | std::ios::in) << "ZLSCAN01\xff\xff";
  EXPECT_FALSE(search.Load(path, error));
  EXPECT_EQ(search.range().start, range.start);
  // A range as long as one value holds that one value.
  ASSERT_EQ(
      search.First({Game::kTimer, Game::kTimer + 4, ValueType::U32, true}, {Compare::Unknown}), "");
  EXPECT_EQ(search.count(), 1u);
}

// Snapshots around reloads of the game: the chains kept hold in each, the global pointer is the
// best, and the world-level-player chain is among them.
TEST_F(LiveTest, PointerScanKeepsTheChainsThatSurviveReloads) {
  PointerSession session;
  const auto coins = [&] { return model().game.PlayerAddress() + Game::kPlayerCoins; };
  for (int reload = 0; reload < 3; ++reload) {
    PointerSnapshot snapshot;
    ASSERT_EQ(TakeSnapshot(coins(), snapshot), "");
    session.snapshots.push_back(std::move(snapshot));
    session.Rescan();
    Play(Game::kLevelFrames);
  }
  PointerSnapshot now;
  ASSERT_EQ(TakeSnapshot(coins(), now), "");
  std::vector<std::string> chains;
  for (const PointerChain& chain : session.chains) {
    chains.push_back(ChainJson(chain));
    EXPECT_EQ(FollowChain(chain, now), coins()) << chains.back();
  }
  ASSERT_FALSE(chains.empty());
  EXPECT_EQ(chains[0], R"("address": "8090000C", "pointerOffsets": ["4"])");

  // A full session is written and read back; one snapshot more is refused, the file kept.
  const std::string path = TempPath("pointers.session");
  std::string error;
  session.snapshots.assign(kMaxPointerSnapshots, {0x80000000u, std::vector<uint8_t>(8), 0});
  EXPECT_TRUE(session.full());
  ASSERT_TRUE(session.Save(path, error));
  session.snapshots.push_back(session.snapshots[0]);
  EXPECT_FALSE(session.Save(path, error));
  ASSERT_TRUE(session.Load(path, error)) << error;
  EXPECT_EQ(session.snapshots.size(), kMaxPointerSnapshots);
  EXPECT_NE(std::find(chains.begin(), chains.end(),
                      R"("address": "80900020", "pointerOffsets": ["10", "1C8", "4"])"),
            chains.end());
}

// The game plays on while a scan reads health's range in chunks: the lock keeps health where it
// was put, so the scan finds it there; a stop leaves the results as they were.
TEST_F(LiveTest, LocksHoldBetweenScanChunksAndAStopKeepsTheResults) {
  list.entries() = {Entry("health", Game::kHealth, ValueType::U16)};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  ASSERT_EQ(list.Lock(0, true, "1234"), "");
  LockKeeper& keeper = LockKeeper::Instance();
  keeper.SetInterval(std::chrono::milliseconds(0));
  const ScanRange range{Game::kHealth + 8 - 3 * ValueSearch::kChunkBytes, Game::kHealth + 8,
                        ValueType::U16, true};
  const auto playing = [&](uint64_t, uint64_t) {
    Play(Game::kHealthDropEvery);
    return true;
  };
  for (const bool locked : {false, true}) {
    keeper.Publish(locked ? list : WatchList());
    ASSERT_EQ(search.First(range, {Compare::Exact, 1234}, false, playing), "");
    EXPECT_EQ(Addresses(), locked ? std::vector<uint32_t>{Game::kHealth} : std::vector<uint32_t>{});
  }
  // Between chunks the locks are written once their interval has passed, not before.
  const auto health = [&] {
    adapter().Quiesce();
    return ReadBE32(&model().MemorySpan()[Game::kHealth - 0x80000000u]) >> 16;
  };
  keeper.SetInterval(std::chrono::hours(1));
  const auto later = LockKeeper::Clock::now() + std::chrono::hours(2);
  for (const auto& [at, held] : std::vector<std::pair<LockKeeper::Clock::time_point, bool>>{
           {later, true},
           {later + std::chrono::minutes(59), false},
           {later + std::chrono::hours(1), true}}) {
    Play(Game::kHealthDropEvery);
    const ExchangeClaim claim = ExchangeClaim::TryClaim();
    ASSERT_TRUE(claim.held());
    EXPECT_TRUE(keeper.KeepDue(at));
    EXPECT_EQ(health() == 1234, held);
  }
  keeper.SetInterval(std::chrono::milliseconds(0));
  keeper.Publish(WatchList());
  EXPECT_EQ(
      search.First(range, {Compare::Unknown}, false, [](uint64_t, uint64_t) { return false; }),
      kScanStopped);
  EXPECT_EQ(Addresses(), std::vector<uint32_t>{Game::kHealth});
}

// What a code handler does with the code types the export writes, on a copy of MEM1.
void ApplyCodes(const std::vector<CodeLine>& lines, std::vector<uint8_t>& memory) {
  const auto at = [&](uint32_t address) { return &memory.at(address - 0x80000000u); };
  uint32_t pointer = 0x80000000u;
  for (const auto& [first, second] : lines) {
    const uint32_t type = first >> 24 & 0xFE;
    if (first == 0x48000000u) {
      pointer = ReadBE32(at(second));
    } else if (first == 0x58010000u) {
      pointer = ReadBE32(at(pointer + second));
    } else if (type == 0xE0) {
      pointer = 0x80000000u;
    } else {
      const uint32_t address = (type & 0x10 ? pointer : 0x80000000u) + (first & 0x01FFFFFF);
      const uint32_t size = 1u << (type & 0x0F) / 2;
      for (uint32_t i = 0; i < size; ++i) *at(address + i) = uint8_t(second >> 8 * (size - 1 - i));
    }
  }
}

TEST_F(LiveTest, CodesFromLocksWriteWhatTheLocksWrite) {
  list.entries() = {Entry("health", Game::kHealth, ValueType::U16),
                    Entry("letter", Game::kLevelName + 1, ValueType::U8),
                    Entry("timer", Game::kTimer, ValueType::F32),
                    Entry("high", 0x81000002u, ValueType::U16),
                    Entry("deep coins", Game::kWorldPointer, ValueType::U32,
                          {Game::kWorldLevel, Game::kLevelPlayer, Game::kPlayerCoins})};
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  const char* values[] = {"1234", "88", "2.5", "4660", "99"};
  for (size_t i = 0; i < list.entries().size(); ++i) ASSERT_EQ(list.Lock(i, true, values[i]), "");
  adapter().Quiesce();
  const std::span<uint8_t> memory = model().MemorySpan();
  std::vector<uint8_t> coded(memory.begin(), memory.begin() + (24 << 20));
  std::vector<std::string> skipped;
  EXPECT_NE(GeckoSection(list.entries(), skipped).find("$deep coins\n48000000 80900020\n"),
            std::string::npos);
  EXPECT_TRUE(skipped.empty());
  for (const WatchEntry& entry : list.entries()) {
    std::string error;
    ApplyCodes(LockCode(entry, error), coded);
  }
  ASSERT_EQ(list.Refresh(), RefreshOutcome::Done);
  adapter().Quiesce();
  EXPECT_TRUE(std::equal(coded.begin(), coded.end(), memory.begin()));
  EXPECT_EQ(ReadBE32(&coded[Game::kTimer - 0x80000000u]), 0x40200000u);
}

}  // namespace
}  // namespace zemlo::live
