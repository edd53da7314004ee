// The shared formatters and builders, and the invariants every word must keep.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/ppc_disasm.h"
#include "tests/disasm/decode_helper.h"

namespace zemlo {
namespace {

std::string imm(std::int32_t value, bool always_hex, bool is_signed) {
  return std::string(format_imm16(value, always_hex, is_signed).view());
}

TEST(FormatImm16, DecimalOnlyWithinPlusMinus256) {
  EXPECT_EQ(imm(5, false, true), "5");
  EXPECT_EQ(imm(-8, false, true), "-8");
  EXPECT_EQ(imm(256, false, true), "256");
  EXPECT_EQ(imm(-256, false, false), "-256");
  EXPECT_EQ(imm(257, false, true), "0x0101");
  EXPECT_EQ(imm(-257, false, true), "-0x0101");
  EXPECT_EQ(imm(0x1234, false, true), "0x1234");
}

TEST(FormatImm16, SignOnlyWhenSignedAndBit15Set) {
  EXPECT_EQ(imm(-32768, false, true), "-0x8000");
  EXPECT_EQ(imm(0xFFF0, false, false), "0xFFF0");  // zero-extended
  EXPECT_EQ(imm(-512, false, false), "0xFE00");    // sign-extended, printed as its pattern
  EXPECT_EQ(imm(32768, false, false), "0x8000");   // the magnitude of subi's largest value
  EXPECT_EQ(imm(5, true, false), "0x0005");
  EXPECT_EQ(imm(-1, true, true), "-0x0001");
  EXPECT_EQ(imm(-1, true, false), "0xFFFF");
  EXPECT_EQ(imm(0, true, false), "0x0000");
}

TEST(FormatOffset12, PositiveDecimalUpTo128NegativeAlwaysHex) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "0"},         {1, "1"},          {128, "128"},      {129, "0x081"},
      {0x7FF, "0x7FF"}, {0x800, "-0x800"}, {0xFF8, "-0x008"}, {0xFFF, "-0x001"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(format_offset12(value).view(), text) << value;
}

TEST(EmitOperands, SeparatorsOnlyBetweenShownOperandsAndCrPrefix) {
  PpcDisasmRecord r;
  r.word = 0x7C641A14;  // rD 3, rA 4, rB 3
  emit_operands(r, "x", OperandForm::X, kShowSecond | kShowThird);
  EXPECT_EQ(r.operands.view(), "r4, r3");
  r.operands.clear();
  emit_operands(r, "x", OperandForm::Z, kShowAll);
  EXPECT_EQ(r.operands.view(), "r4, r3, r3");
  r.operands.clear();
  r.word = 0x2F81FFFF;  // crfD 7, rA 1, SIMM -1
  emit_operands(r, "x", OperandForm::D, kWithCrf | kShowSecond | kWithImm | kIsSigned);
  EXPECT_EQ(r.operands.view(), "cr7, sp, -1");
  r.operands.clear();
  emit_operands(r, "x", OperandForm::S, kShowFirst | kWithImm | kAlwaysHex);
  EXPECT_EQ(r.operands.view(), "sp, 0xFFFF");
  r.operands.clear();
  r.word = 0x7C22680C;                                         // frD 1, rA 2, rB 13
  emit_operands(r, "x", OperandForm::F, kShowAll | kWithImm);  // no immediate in F
  EXPECT_EQ(r.operands.view(), "fr1, sd2, sd1");
}

TEST(Disassemble, NullRecordIsIgnoredAndRecordIsReusable) {
  ppc_disassemble(nullptr);
  PpcDisasmRecord r;
  r.word = 0x7C0802A6;
  ppc_disassemble(&r);
  EXPECT_EQ(r.mnemonic.view(), "mflr");
  r.word = 0;
  ppc_disassemble(&r);
  EXPECT_TRUE(r.mnemonic.empty());
  EXPECT_TRUE(r.operands.empty());
}

// Every word: within both limits, operands never without a mnemonic. Random words plus every
// extended key of the grouped opcodes with random fields.
TEST(Disassemble, EveryTextFitsAndUndecodableMeansBothEmpty) {
  constexpr std::uint32_t kGrouped[] = {4, 19, 31, 59, 63};
  std::mt19937 rng(1234);
  PpcDisasmRecord r;
  std::size_t longest_mnemonic = 0, longest_operands = 0;
  for (int i = 0; i < 400000; ++i) {
    r.address = rng();
    r.word = rng();
    if (i & 1) r.word = (r.word & 0x03FFFFFFu) | (kGrouped[i % 5] << 26);
    ppc_disassemble(&r);
    ASSERT_EQ(std::strlen(r.mnemonic.c_str()), r.mnemonic.size());
    ASSERT_EQ(std::strlen(r.operands.c_str()), r.operands.size());
    ASSERT_FALSE(r.mnemonic.empty() && !r.operands.empty()) << std::hex << r.word;
    longest_mnemonic = std::max(longest_mnemonic, r.mnemonic.size());
    longest_operands = std::max(longest_operands, r.operands.size());
  }
  EXPECT_LE(longest_mnemonic, 11u);
  EXPECT_LE(longest_operands, 24u);
}

TEST(Disassemble, ReentrantAcrossThreads) {
  std::vector<std::uint32_t> words(50000);
  std::mt19937 rng(99);
  for (auto& w : words) w = rng();
  auto run = [&](std::vector<std::string>& out) {
    for (std::uint32_t w : words) out.push_back(asm_line(0x80000000, w));
  };
  std::vector<std::string> expected, a, b;
  run(expected);
  std::thread t1(run, std::ref(a)), t2(run, std::ref(b));
  t1.join();
  t2.join();
  EXPECT_EQ(a, expected);
  EXPECT_EQ(b, expected);
}

TEST(AsmLine, FixedLayoutAndThreeBlanksForUndecodable) {
  EXPECT_EQ(asm_line(0x80003100, 0x38600001), "0x80003100  0x38600001  li r3, 1");
  EXPECT_EQ(asm_line(0x00000000, 0x00000000), "0x00000000  0x00000000   ");
  EXPECT_EQ(asm_line(0x80003100, 0x4E800020), "0x80003100  0x4E800020  blr ");
}

}  // namespace
}  // namespace zemlo
