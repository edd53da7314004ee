#include <gtest/gtest.h>

#include <cstdio>

#include "debugger/hex_parse.h"
#include "debugger/memory_view.h"

namespace zemlo {
namespace {

// The C library's "%x" on the first 8 characters is the reference for every box text.
TEST(HexParse, ReadsLikeScanfOnTheFirstEightCharacters) {
  for (const char* text :
       {"80003100", "8000310",    "  1f",        "+0x1F",    "-1",       "-0000001",
        "0x",       "0X7fffffff", "0xz",         "zzzzzzzz", "",         "-",
        "+",        " ",          "123456789",   "1234567z", "deadBEEF", "\t\nABC",
        "00x5",     "ffffffff1",  "0x123456789", "-fffffff"}) {
    SCOPED_TRACE(text);
    char field[9] = {};
    std::snprintf(field, sizeof field, "%s", text);
    unsigned int expected = 0;
    const bool parsed = std::sscanf(field, "%x", &expected) == 1;
    const std::optional<uint32_t> value = ParseHexPrefix(text);
    ASSERT_EQ(value.has_value(), parsed);
    if (parsed) {
      EXPECT_EQ(*value, expected);
    }
  }
}

// An address text without a number is refused: the poke's, the view's and the code upload's tests.
TEST(HexParse, InputCountsCharactersNotBytes) {
  HexInput input;
  input.Take("8000310\xC3\xA9");  // eight characters, nine bytes
  EXPECT_TRUE(input.HasEightCharacters());
  EXPECT_EQ(input.value, 0x8000310u);
}

TEST(MemoryLines, HexLineShowsPrintableCharactersOnly) {
  const uint8_t bytes[] = {0x41, 0x20, 0x7F, 0x42, 0x00, 0x7E, 0x2E, 0xFF};
  EXPECT_EQ(FormatHexLine(0x80003100, bytes), "0x80003100 41 20 7F 42 00 7E 2E FF A .B.~..");
}

}  // namespace
}  // namespace zemlo
