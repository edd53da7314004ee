// The file streamer behind the disasm command.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disasm/disasm_file.h"

namespace zemlo {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

class DisassembleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zemlo_disasm_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write_input(const std::vector<unsigned char>& bytes) {
    const fs::path path = dir_ / "in.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // Runs the streamer into a temporary file and returns what it wrote.
  std::string run(const std::string& input, std::uint32_t base, bool* ok, std::string* error) {
    const fs::path out_path = dir_ / "out.txt";
    {
      std::unique_ptr<std::FILE, FileCloser> out(std::fopen(out_path.c_str(), "wb"));
      *ok = DisassembleFile(input, base, out.get(), error);
    }
    std::ifstream in(out_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(DisassembleFileTest, BigEndianWordsWrappingAddressesAndPartialTailIgnored) {
  const std::string input =
      write_input({0x38, 0x60, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x4B, 0xFF, 0xFF, 0xFC, 0x12});
  bool ok = false;
  std::string error;
  EXPECT_EQ(run(input, 0xFFFFFFFC, &ok, &error),
            "0xFFFFFFFC  0x38600001  li r3, 1\n"
            "0x00000000  0x00000000   \n"
            "0x00000004  0x4BFFFFFC  b 0x00000000\n");
  EXPECT_TRUE(ok) << error;
}

TEST_F(DisassembleFileTest, LargeFileMatchesWordByWordAcrossBufferBoundaries) {
  // More than one input buffer, with a size that leaves a partial word at the end.
  std::vector<unsigned char> bytes((std::size_t{3} << 19) + 6);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
  bool ok = false;
  std::string error;
  const std::string text = run(write_input(bytes), 0x80000000, &ok, &error);
  ASSERT_TRUE(ok) << error;
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, bytes.size() / 4);
  EXPECT_EQ(text.rfind("\n0x80180000  0x", text.size() - 2) != std::string::npos, true);
}

TEST_F(DisassembleFileTest, MissingFileFailsWithOneLineReason) {
  bool ok = true;
  std::string error;
  const std::string text = run((dir_ / "absent.bin").string(), 0, &ok, &error);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(text.empty());
  EXPECT_NE(error.find("absent.bin"), std::string::npos);
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST_F(DisassembleFileTest, FullDeviceIsAFailureNotASuccess) {
  std::unique_ptr<std::FILE, FileCloser> full(std::fopen("/dev/full", "wb"));
  if (!full) GTEST_SKIP() << "/dev/full is not available";
  std::vector<unsigned char> bytes(std::size_t{3} << 20, 0x60);  // several output chunks
  std::string error;
  EXPECT_FALSE(DisassembleFile(write_input(bytes), 0, full.get(), &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

TEST_F(DisassembleFileTest, EmptyFileWritesNothing) {
  bool ok = false;
  std::string error;
  EXPECT_EQ(run(write_input({}), 0, &ok, &error), "");
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace zemlo
