// Invariants every word must keep, whatever it decodes to.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/ppc_disasm.h"

namespace zemlo {
namespace {

// Within both text limits, operands never without a mnemonic, a record reusable after any word.
// Random words plus random fields under every grouped opcode.
TEST(Disassemble, EveryTextFitsAndUndecodableMeansBothEmpty) {
  ppc_disassemble(nullptr);
  constexpr std::uint32_t kGrouped[] = {4, 19, 31, 59, 63};
  std::mt19937 rng(1234);
  PpcDisasmRecord r;
  for (int i = 0; i < 400000; ++i) {
    r.address = rng();
    r.word = rng();
    if (i & 1) r.word = (r.word & 0x03FFFFFFu) | (kGrouped[i % 5] << 26);
    ppc_disassemble(&r);
    ASSERT_EQ(std::strlen(r.mnemonic.c_str()), r.mnemonic.size());
    ASSERT_EQ(std::strlen(r.operands.c_str()), r.operands.size());
    ASSERT_FALSE(r.mnemonic.empty() && !r.operands.empty()) << std::hex << r.word;
    ASSERT_LE(r.mnemonic.size(), 11u);
    ASSERT_LE(r.operands.size(), 24u);
  }
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

}  // namespace
}  // namespace zemlo
