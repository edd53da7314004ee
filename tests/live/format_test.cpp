// The live tools' pure parts: read windows, value texts, watch files and symbol maps.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <tuple>

#include "disasm/asm_line.h"
#include "disasm/symbol_map.h"
#include "live/value_type.h"
#include "live/watch_file.h"
#include "live/window_plan.h"

namespace zemlo::live {
namespace {

TEST(WindowPlan, FewestWindowsCoverEverySpan) {
  // The spans to read, and the starts of the windows that cover them.
  const std::vector<std::pair<std::vector<Span>, std::vector<uint32_t>>> rows{
      {{{0x80000010, 4}, {0x80000000, 4}, {0x800000C0, 8}}, {0x80000000}},  // neighbours share
      {{{0x80000000, 4}, {0x800000C8, 1}}, {0x80000000, 0x800000C8}},       // one byte past
      {{{0x80000000, 4}, {0x800000C6, 4}}, {0x80000000, 0x800000C8}},       // straddling
      {{{0x80001000, 450}}, {0x80001000, 0x800010C8, 0x80001190}},          // long span
      {{{0xFFFFFFF0, 16}}, {0xFFFFFFF0}},                                   // top of memory
  };
  for (const auto& [spans, starts] : rows) EXPECT_EQ(PlanWindows(spans), starts);
}

TEST(ValueType, FormatAndParseEachType) {
  // A value's type, the base it is shown in, its bytes and its text.
  const std::vector<std::tuple<ValueType, DisplayBase, std::vector<uint8_t>, const char*>> rows{
      {ValueType::U16, DisplayBase::Dec, {0x03, 0xE8}, "1000"},
      {ValueType::S16, DisplayBase::Dec, {0xFF, 0xFE}, "-2"},
      {ValueType::S8, DisplayBase::Hex, {0xFE}, "FE"},
      {ValueType::U32, DisplayBase::Oct, {0, 0, 0, 8}, "10"},
      {ValueType::U8, DisplayBase::Bin, {5}, "101"},
      {ValueType::F32, DisplayBase::Hex, {0x3F, 0xC0, 0, 0}, "1.5"},
      {ValueType::F64, DisplayBase::Dec, {0xC0, 0x04, 0, 0, 0, 0, 0, 0}, "-2.5"},
      {ValueType::String, DisplayBase::Dec, {'H', 'P', 0, 0}, "HP"},
      {ValueType::Bytes, DisplayBase::Hex, {0xDE, 0xAD, 0x01}, "DE AD 01"},
  };
  for (const auto& [type, base, bytes, text] : rows) {
    const auto length = static_cast<uint32_t>(bytes.size());
    EXPECT_EQ(FormatValue(type, base, bytes.data(), length), text);
    EXPECT_EQ(ParseValue(type, base, text, length), bytes) << text;
  }
  const std::pair<ValueType, const char*> refused[] = {
      {ValueType::U8, "256"},  {ValueType::U16, "-1"}, {ValueType::S8, "-129"},
      {ValueType::U32, "12z"}, {ValueType::F32, "x"},  {ValueType::String, "far too long"}};
  for (const auto& [type, text] : refused) {
    EXPECT_FALSE(ParseValue(type, DisplayBase::Dec, text, 4)) << text;
  }
}

TEST(WatchFile, ReadsGroupsAndRefusesBrokenFiles) {
  std::vector<WatchEntry> entries;
  StructTypes structs;
  std::string error;
  ASSERT_TRUE(ParseWatchJson(
      R"({"watchList":[{"label":"hp","address":"80900008","typeIndex":1,"unsigned":false,
          "baseIndex":1,"lock":"3E8"},{"groupName":"player","groupEntries":[{"label":"coins",
          "address":"0x8090000C","pointerOffsets":["10","-4"]},
          {"label":"name","address":"80900010","typeIndex":5,"length":16}]},
          {"label":"hp","symbol":"player_health","typeIndex":1},{"address":"80900020",
          "typeIndex":6}]})",
      entries, structs, error))
      << error;
  ASSERT_EQ(entries.size(), 5u);
  // What a field left out reads as: 4 bytes unsigned, decimal, unlocked, one byte of an array.
  EXPECT_EQ(std::tie(entries[1].type, entries[1].base, entries[1].locked),
            std::tuple(ValueType::U32, DisplayBase::Dec, false));
  EXPECT_EQ(entries[4], (WatchEntry{.address = 0x80900020, .type = ValueType::Bytes, .length = 1}));
  EXPECT_EQ(entries[3].symbol, "player_health");
  EXPECT_EQ(entries[0].type, ValueType::S16);
  EXPECT_EQ(entries[0].base, DisplayBase::Hex);
  EXPECT_EQ(entries[1].group, "player");
  EXPECT_EQ(entries[1].address, 0x8090000Cu);
  EXPECT_EQ(entries[1].pointerOffsets, (std::vector<uint32_t>{0x10, 0xFFFFFFFC}));
  EXPECT_TRUE(entries[0].locked);
  EXPECT_EQ(entries[0].lockedBytes, (std::vector<uint8_t>{0x03, 0xE8}));

  std::vector<WatchEntry> again;
  ASSERT_TRUE(ParseWatchJson(WatchJson(entries, structs), again, structs, error));
  EXPECT_EQ(again, entries);
  // The fields a user edits by hand come back as the same entry, but for its group.
  for (WatchEntry entry : entries) {
    WatchEntry edited;
    ASSERT_TRUE(ParseEntryFields(EntryFields(entry), edited, error)) << error;
    entry.group.clear();
    EXPECT_EQ(edited, entry);
  }
  WatchEntry edited;
  EXPECT_FALSE(ParseEntryFields(R"("address": "80000000"}, {"address": "1")", edited, error));

  for (const char* broken :
       {R"({"watchList":[{"label":"x","address":"8090000")", R"({"list":[]})",
        R"({"watchList":[{"address":"zz"}]})", R"({"watchList":[{"symbol":7}]})",
        R"({"watchList":[{"address":"80000000","typeIndex":7}]})",
        R"({"watchList":[{"address":"80000000","typeIndex":5,"length":100000}]})",
        R"({"watchList":[{"address":"80000000","pointerOffsets":["q"]}]})",
        R"({"watchList":[{"address":"80000000","lock":"many"}]})"}) {
    SCOPED_TRACE(broken);
    EXPECT_FALSE(ParseWatchJson(broken, again, structs, error));
    EXPECT_TRUE(again.empty());
    EXPECT_FALSE(error.empty());
  }
}

// Struct types and arrays as the other memory tools write them: types in groups, padding, a
// nested struct behind a pointer, an array of structs; and ours read back as written.
TEST(WatchFile, StructsAndArraysRoundTripBothWays) {
  const char* theirs = R"({"watchList":[
      {"label":"world","address":"80900020","typeIndex":7,"unsigned":false,"baseIndex":0,
       "structName":"game::World","pointerOffsets":["0"]},
      {"label":"items","address":"80C00000","typeIndex":10,"unsigned":false,"baseIndex":0,
       "containerCount":3,"containerEntry":{"label":"No label","address":"80000000",
       "typeIndex":7,"unsigned":false,"baseIndex":0,"structName":"Item"}}],
    "structDefs":{"rootNode":[
      {"groupName":"game","expanded":true,"groupChildren":[
        {"structName":"World","struct":{"label":"World","length":20,"fieldList":[
          {"offset":0,"length":16},
          {"offset":16,"length":4,"entry":{"label":"level","address":"0","typeIndex":2,
           "unsigned":true,"baseIndex":1,"pointerOffsets":["0"]}}]}}]},
      {"structName":"Item","struct":{"label":"Item","length":6,"fieldList":[
        {"offset":0,"length":2,"entry":{"label":"id","address":"80000000","typeIndex":1,
         "unsigned":true,"baseIndex":1,"absoluteBranch":false}},
        {"offset":2,"length":4,"entry":{"label":"qty","address":"80000000","typeIndex":2,
         "unsigned":false,"baseIndex":0}}]}}]}})";
  const std::string theirTypes = R"({"watchList":[{"address":"80003100","typeIndex":8},
      {"address":"80900000","typeIndex":9}]})";
  std::vector<WatchEntry> entries, again;
  StructTypes structs, structsAgain;
  std::string error;
  ASSERT_TRUE(ParseWatchJson(theirs, entries, structs, error)) << error;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, EntryKind::Struct);
  EXPECT_EQ(entries[0].structName, "game::World");
  EXPECT_EQ(EntryTypeName(entries[1]), "Item[3]");
  ASSERT_EQ(structs.size(), 2u);
  ASSERT_EQ(structs[0].fields.size(), 1u);  // the padding is only a gap
  EXPECT_EQ(structs[0].fields[0].offset, 16u);
  EXPECT_EQ(structs[0].fields[0].entry.pointerOffsets, std::vector<uint32_t>{0});
  EXPECT_EQ(structs[1].fields[1].entry.type, ValueType::S32);
  EXPECT_EQ(EntrySize(entries[1], structs), 18u);

  const std::string ours = WatchJson(entries, structs);
  ASSERT_TRUE(ParseWatchJson(ours, again, structsAgain, error)) << error;
  EXPECT_EQ(again, entries);
  EXPECT_EQ(structsAgain, structs);
  // What they look for: the types in their groups, a field's size, and no "pointerOffsets" on
  // an entry without pointers (they would take it for a pointer of no levels).
  const auto document = nlohmann::json::parse(ours);
  const auto& group = document["structDefs"]["rootNode"][0];
  EXPECT_EQ(group["groupName"], "game");
  EXPECT_EQ(group["groupChildren"][0]["struct"]["fieldList"][0]["length"], 4);
  EXPECT_EQ(document["watchList"][1]["containerEntry"]["structName"], "Item");
  EXPECT_FALSE(document["watchList"][1].contains("pointerOffsets"));
  EXPECT_EQ(document["structDefs"]["rootNode"][1]["struct"]["length"], 6);

  // An instruction and an 8-byte integer: shown as ours, written back as theirs.
  ASSERT_TRUE(ParseWatchJson(theirTypes, entries, structs, error)) << error;
  EXPECT_EQ(entries[1].size(), 8u);
  EXPECT_EQ(nlohmann::json::parse(WatchJson(entries, structs))["watchList"][0]["typeIndex"], 8);

  // Refused: a count past the bound, an array with no element, a field with no offset.
  for (const char* broken :
       {R"({"watchList":[{"address":"80000000","typeIndex":10,"containerCount":99999,
            "containerEntry":{}}]})",
        R"({"watchList":[{"address":"80000000","typeIndex":10,"containerCount":2}]})",
        R"({"watchList":[],"structDefs":{"rootNode":[{"structName":"A","struct":{"label":"A",
            "fieldList":[{"entry":{}}]}}]}})"}) {
    EXPECT_FALSE(ParseWatchJson(broken, again, structsAgain, error)) << broken;
    EXPECT_TRUE(structsAgain.empty());
  }
}

TEST(SymbolMap, BothFormatsNameTargetsAndFunctionStarts) {
  const char* emulatorMap =
      ".text section layout\n80003200 00000040 80003200 0 game_main\n"
      ".data section layout\n80400000 00000010 80400000 0 table\n";
  const char* linkerMap =
      ".init section layout\n  Starting        Virtual\n  address  Size   address\n"
      "  -----------------------\n  00000000 000024 80003100  4 .init \tstart.o\n"
      "  UNUSED   000088 ........ OSGetStackPointer os.a OSContext.c\n"
      ".text section layout\n  00000100 000040 80003200  4 game_main \tmain.o\n"
      ".data section layout\n  00000000 000010 80400000 table \tmain.o\n"
      "Memory map:\n       .init  80003100 00000024 00000100\n";
  // An instruction's address and word, and what the map adds to its line.
  const std::vector<std::tuple<uint32_t, uint32_t, const char*>> rows{
      {0x80003250, 0x4BFFFFB1, " <game_main>"},      // bl back to the start
      {0x80003100, 0x48000108, " <game_main+0x8>"},  // b into the body
      {0x80009000, 0x41820010, ""},                  // beq to no symbol
      {0x80003200, 0x7C0802A6, "  ; game_main:"},    // mflr at the start
      {0x80400000, 0x00000000, ""},                  // data is not a function
  };
  for (const char* text : {emulatorMap, linkerMap}) {
    SymbolMap map;
    ASSERT_TRUE(map.Parse(text));
    ASSERT_EQ(map.symbols().size(), 2u);
    for (const auto& [address, word, suffix] : rows) {
      const std::string line = asm_line(address, word);
      EXPECT_EQ(map.Annotate(line, address, word), line + suffix) << text;
    }
  }
  EXPECT_FALSE(SymbolMap().Parse("80003200 00000040 80003200 0 outside_a_layout\n"));
}

}  // namespace
}  // namespace zemlo::live
