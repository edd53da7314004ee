#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "disasm/ppc_disasm.h"

namespace zemlo::testing {

// "mnemonic operands" of a word, "mnemonic" alone when it has no operands, and "" when the
// word is undecodable (then both texts must be empty).
inline std::string decode(std::uint32_t word, std::uint64_t address = 0x80003100) {
  PpcDisasmRecord record;
  record.address = address;
  record.word = word;
  ppc_disassemble(&record);
  std::string text(record.mnemonic.view());
  if (!record.operands.empty()) text += " " + std::string(record.operands.view());
  if (record.mnemonic.empty() && !record.operands.empty()) text = "<operands without mnemonic>";
  return text;
}

struct Case {
  std::uint32_t word;
  const char* text;  // "" for undecodable
};

inline void expect_cases(std::initializer_list<Case> cases, std::uint64_t address = 0x80003100) {
  for (const Case& c : cases) {
    EXPECT_EQ(decode(c.word, address), c.text) << std::hex << std::uppercase << "word 0x" << c.word;
  }
}

}  // namespace zemlo::testing
