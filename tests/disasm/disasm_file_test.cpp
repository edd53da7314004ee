// The file streamer behind the disasm command.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "disasm/disasm_file.h"
#include "tests/support/child_process.h"

namespace zemlo {
namespace {

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
  // Several buffers and a partial tail: one line per whole word, the last at its address.
  std::string bytes((std::size_t{3} << 19) + 6, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 9));
  const std::string text = Streamed(Input(bytes), 0x80000000);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(bytes.size() / 4));
  EXPECT_NE(text.rfind("\n0x80180000  0x", text.size() - 2), std::string::npos);

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
