#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zemlo-upload-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  Outcome Run(const std::string& arguments) {
    const std::string command = std::string(ZEMLO_CLI) + " --adapter sim " + arguments + " >" +
                                Path("out") + " 2>" + Path("err");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(Path("out")), ReadText(Path("err"))};
  }

  std::filesystem::path dir_;
};

TEST_F(CliTest, MemoryPokeFillAndHook) {
  Outcome page = Run("memory hex 80000000");
  EXPECT_EQ(page.status, 0);
  EXPECT_EQ(page.err, "");
  EXPECT_EQ(std::count(page.out.begin(), page.out.end(), '\n'), 25);
  EXPECT_EQ(page.out.substr(0, 43), "0x80000000 47 5A 4C 45 30 31 00 00 GZLE01..");

  const Outcome code = Run("memory asm 80003100");
  EXPECT_EQ(code.out.substr(0, 14), "0x80003100  0x");
  EXPECT_EQ(std::count(code.out.begin(), code.out.end(), '\n'), 25);
  EXPECT_EQ(Run("memory bin 80003100").status, 2);
  EXPECT_EQ(Run("poke 80003100 12345678").status, 0);
  Outcome shortValue = Run("poke 80003100 1234");
  EXPECT_EQ(shortValue.status, 1);
  EXPECT_EQ(shortValue.err, "Range Error: Poke Value is not DWORD size\n");
  EXPECT_EQ(Run("fill 80001000 80000FFF").err,
            "Range Error: End address should be higher than the Start address\n");
  EXPECT_EQ(Run("fill 80001000 80002000").status, 0);

  Outcome hook = Run("hook 5");
  EXPECT_EQ(hook.status, 0);
  EXPECT_EQ(hook.err, "Done.: If hooked, remote debugger and screen shot tool will be active\n");
  EXPECT_EQ(Run("hook 6").status, 2);
  EXPECT_EQ(Run("hook x").status, 2);
}

TEST_F(CliTest, DumpAndUploads) {
  Outcome dump = Run("dump-memory 80000000 80010000 -o " + Path("dump.bin"));
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.err, "Done.: Finished dumping Memory to file\n");
  const auto bytes = testing::ReadFileBytes(Path("dump.bin"));
  ASSERT_EQ(bytes.size(), 0x10000u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GZLE01");

  testing::WriteFileBytes(Path("game.dol"), std::vector<uint8_t>(5000, 0x5A));
  EXPECT_EQ(Run("upload dol " + Path("game.dol")).err, "Done.: DOL File Loaded\n");
  EXPECT_EQ(Run("upload exe " + Path("game.dol")).status, 2);
  EXPECT_EQ(Run("upload-code 80003100 " + Path("game.dol")).err, "Done.: Code Uploaded\n");
  Outcome shortAddress = Run("upload-code 8000310 " + Path("game.dol"));
  EXPECT_EQ(shortAddress.status, 1);
  EXPECT_EQ(shortAddress.err, "Range Error: Memory address incorrect size\n");
  EXPECT_EQ(Run("flash-firmware " + Path("game.dol")).status, 0);
  EXPECT_EQ(Run("flash-firmware " + Path("missing.zml")).err,
            "File Error: Error: fopen file error\n");
}

}  // namespace
}  // namespace zemlo
