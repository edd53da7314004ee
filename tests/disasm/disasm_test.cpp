// What our texts look like where objdump cannot tell us (the differential test compares values
// and mnemonics only, and reads names through our own tables): decimal or hex, register,
// special-register and condition names, and the forms objdump does not decode. Short forms with
// fixed names are the differential test's; the fixed line layout is the file streamer's. Then the
// invariants every word must keep, whatever it decodes to, and the file streamer behind the disasm
// command.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/disasm_file.h"
#include "disasm/ppc_disasm.h"
#include "tests/support/child_process.h"

namespace zemlo {
namespace {

// "mnemonic operands" of a word, "" when it is undecodable.
std::string decode(std::uint32_t word, std::uint32_t address = 0x80003100) {
  const std::string text = asm_line(address, word).substr(24);
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

TEST(KnownAnswers, ShortFormsNumbersAndNames) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      // add family: li/lis/subi only where they read better; decimal within +-256
      {0x3860FFFF, "li r3, -1"},
      {0x3C608000, "lis r3, 0x8000"},
      {0x3863FFF8, "subi r3, r3, 8"},
      {0x38218000, "subi sp, sp, 0x8000"},
      {0x3463FFFF, "subic. r3, r3, 1"},
      {0x38640101, "addi r3, r4, 0x0101"},
      {0x2064FEFF, "subfic r3, r4, -0x0101"},
      // logical immediates always in hex
      {0x7460FFFF, "andis. r0, r3, 0xFFFF"},
      // compares name the CR field only when it is not cr0
      {0x2F83FFFF, "cmpwi cr7, r3, -1"},
      {0x2803FFFF, "cmplwi r3, 0xFFFF"},
      {0x28000100, "cmplwi r0, 256"},
      // traps: named conditions, signedness of the immediate follows TO
      {0x7FE00008, "trap"},  // one word, too rare for the differential test's sample
      {0x0C83FF00, "tweqi r3, -256"},
      {0x0C83FE00, "tweqi r3, 0xFE00"},
      {0x0E03FE00, "twlti r3, -0x0200"},
      {0x0C43FE00, "twllti r3, 0xFE00"},
      // rotates: mask bounds in decimal
      {0x5C60243F, "rlwnm. r0, r3, r4, 16, 31"},
      // D forms: blank before the parenthesis, sp/sd1/sd2 names
      {0x9421FF00, "stwu sp, -256 (sp)"},
      {0x806D8000, "lwz r3, -0x8000 (sd1)"},
      {0xDFE20100, "stfdu fr31, 256 (sd2)"},
      // branches: targets in eight hex digits, wrapping; one name from each condition table (the
      // differential test reads the names through those tables); CR fields; the generic form
      {0x4BFFFFFE, "ba 0xFFFFFFFC"},
      {0x4200FFF8, "bdnz+ 0x800030F8"},
      {0x40860020, "bne- cr1, 0x80003120"},
      {0x4300000C, "bc 24, 0, 0x8000310C"},
      // condition-register fields by name
      {0x4C8C0000, "mcrf cr1, cr3"},
      // special registers: names where known, numbers otherwise
      {0x7C7A8AA6, "mfspr r3, 570"},
      {0x7C70E3A6, "mtspr GQR0, r3"},
      {0x7C6D42E6, "mftbu r3"},  // objdump's 750 table has no mftb: no comparison there
      {0x7C6862E6, "mftb r3, 392"},
      {0x7C680120, "mtcrf 0x80, r3"},
      // floating point and paired singles
      {0xFC821800, "fcmpu 1, fr2, fr3"},
      {0xFDFE158E, "mtfsf 0xFF, fr2"},
      {0x10021900, "ps_cmpu0 cr0, fr2, fr3"},  // bits 8-10 ignored
      {0x100327ED, "dcbz_l r3, r4"},           // Rc ignored
      // quantized D forms: 12-bit offsets, decimal up to 128, negative always hex
      {0xE0440080, "psq_l fr2, 128 (r4), 0, 0"},
      {0xE0440081, "psq_l fr2, 0x081 (r4), 0, 0"},
      {0xE0440800, "psq_l fr2, -0x800 (r4), 0, 0"},
      {0xF3E17FF8, "psq_st fr31, -0x008 (sp), 0, 7"},
  };
  for (const auto& [word, text] : cases) EXPECT_EQ(decode(word), text) << std::hex << word;
  EXPECT_EQ(decode(0x4BFFFFF8, 0x4), "b 0xFFFFFFFC");
  EXPECT_EQ(decode(0x48000010, 0xFFFFFFF8), "b 0x00000008");
}

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
  const auto run = [&] {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < expected.size(); ++i)
      out.push_back(asm_line(words[i].first, words[i].second));
    return out;
  };
  auto a = std::async(std::launch::async, run), b = std::async(std::launch::async, run);
  EXPECT_EQ(a.get(), expected);
  EXPECT_EQ(b.get(), expected);
}

// The file streamer behind the disasm command.

namespace fs = std::filesystem;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

const fs::path kInput =
    fs::temp_directory_path() / ("zemlo_disasm_" + std::to_string(std::random_device{}()) + ".bin");
const struct Cleanup {
  ~Cleanup() { fs::remove(kInput); }
} kCleanup;

std::string Input(const std::string& bytes) {
  std::ofstream(kInput, std::ios::binary) << bytes;
  return kInput.string();
}

// What the streamer wrote, or "failed: <reason>".
std::string Streamed(const std::string& input, std::uint32_t base) {
  File out(std::tmpfile(), std::fclose);
  std::string error;
  const bool ok = DisassembleFile(input, base, out.get(), &error);
  std::string text(static_cast<std::size_t>(std::ftell(out.get())), '\0');
  std::rewind(out.get());
  text.resize(std::fread(text.data(), 1, text.size(), out.get()));
  return ok ? text : "failed: " + error + text;
}

TEST(DisassembleFile, BigEndianWordsWrappingAddressesPartialTailAndAFullDevice) {
  EXPECT_EQ(
      Streamed(Input(std::string("\x38\x60\x00\x01\0\0\0\0\x4B\xFF\xFF\xFC\x12", 13)), 0xFFFFFFFC),
      "0xFFFFFFFC  0x38600001  li r3, 1\n"
      "0x00000000  0x00000000   \n"
      "0x00000004  0x4BFFFFFC  b 0x00000000\n");
  EXPECT_EQ(Streamed(Input(""), 0), "");
  const std::string absent = Streamed(kInput.string() + ".absent", 0);
  EXPECT_TRUE(absent.starts_with("failed: ") && absent.find(".bin.absent") != std::string::npos);
  // Many rounds, each formatted in pieces on two threads, and a partial tail: every whole word's
  // line, in order.
  std::string bytes((std::size_t{3} << 19) + 6, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 9));
  std::string expected;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + i);
    expected += asm_line(
        0x80000000u + static_cast<std::uint32_t>(i),
        std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3]);
    expected += '\n';
  }
  EXPECT_TRUE(Streamed(Input(bytes), 0x80000000) == expected);

  // A full device is a failure, not a success. Without a full device, a stream opened for reading
  // refuses every write just the same.
  const std::optional<std::string> device = testing::FullDevice();
  const std::string input = Input(std::string(3u << 20, 0x60));
  File full(device ? std::fopen(device->c_str(), "wb") : std::fopen(input.c_str(), "rb"),
            std::fclose);
  ASSERT_TRUE(full);
  std::string error;
  EXPECT_FALSE(DisassembleFile(input, 0, full.get(), &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

}  // namespace
}  // namespace zemlo
