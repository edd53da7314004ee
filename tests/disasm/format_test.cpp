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

// Within both text limits, operands never without a mnemonic, a record reusable after any word;
// the same lines from two threads at once. Random words plus random fields under every grouped
// opcode.
TEST(Disassemble, EveryTextFitsUndecodableMeansBothEmptyAndThreadsAgree) {
  ppc_disassemble(nullptr);
  constexpr std::uint32_t kGrouped[] = {4, 19, 31, 59, 63};
  std::mt19937 rng(1234);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> words(400000);  // address, word
  std::vector<std::string> expected;
  PpcDisasmRecord r;
  for (std::size_t i = 0; i < words.size(); ++i) {
    r.address = words[i].first = rng();
    r.word = words[i].second = (i & 1) ? (rng() & 0x03FFFFFFu) | (kGrouped[i % 5] << 26) : rng();
    ppc_disassemble(&r);
    ASSERT_EQ(std::strlen(r.mnemonic.c_str()), r.mnemonic.size());
    ASSERT_EQ(std::strlen(r.operands.c_str()), r.operands.size());
    ASSERT_FALSE(r.mnemonic.empty() && !r.operands.empty()) << std::hex << r.word;
    ASSERT_LE(r.mnemonic.size(), 11u);
    ASSERT_LE(r.operands.size(), 24u);
    if (i < 50000) expected.push_back(asm_line(r.address, r.word));
  }
  auto run = [&](std::vector<std::string>& out) {
    for (std::size_t i = 0; i < expected.size(); ++i)
      out.push_back(asm_line(words[i].first, words[i].second));
  };
  std::vector<std::string> a, b;
  std::thread t1(run, std::ref(a)), t2(run, std::ref(b));
  t1.join();
  t2.join();
  EXPECT_EQ(a, expected);
  EXPECT_EQ(b, expected);
}

}  // namespace
}  // namespace zemlo
