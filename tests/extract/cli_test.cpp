// zemlo-cli's extraction commands end to end through `--adapter sim`, including Ctrl-C.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return {bytes.begin(), bytes.end()};
}

class ExtractCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zemlo-extract-cli-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  // Runs the command line; with `interruptAfter` set, sends SIGINT that many seconds in.
  CliRun Cli(const std::string& arguments, const char* interruptAfter = nullptr) {
    const std::string out = Path("stdout"), err = Path("stderr");
    std::string command = std::string("'") + ZEMLO_CLI + "' --adapter sim " + arguments + " >'" +
                          out + "' 2>'" + err + "'";
    if (interruptAfter) {
      command =
          command + " & pid=$!; sleep " + interruptAfter + "; kill -INT $pid; wait $pid; exit $?";
    }
    const int raw = std::system(("sh -c \"" + Escape(command) + "\"").c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

 private:
  static std::string Escape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
      if (c == '"' || c == '$' || c == '\\') escaped += '\\';
      escaped += c;
    }
    return escaped;
  }

  std::filesystem::path dir_;
};

TEST_F(ExtractCliTest, LowLevelDumpWritesTheFile) {
  const CliRun run = Cli("lowlevel drive-eram -o '" + Path("eram.bin") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Finished dumping Gamecube Drive ERAM\n");
  EXPECT_EQ(std::filesystem::file_size(Path("eram.bin")), 262'144u);
}

TEST_F(ExtractCliTest, UnknownKindsAreUsageErrors) {
  EXPECT_EQ(Cli("extract-disc dvd -o x").status, 2);
  EXPECT_EQ(Cli("dump-nand 4096 -o x").status, 2);
  EXPECT_EQ(Cli("lowlevel flash -o x").status, 2);
}

TEST_F(ExtractCliTest, InterruptStopsADiscExtraction) {
  const CliRun run = Cli("extract-disc wii-dual -o '" + Path("dual.iso") + "'", "1");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out.rfind("Wii Game Selected (Dual Layer)\n", 0), 0u);
  EXPECT_NE(run.err.find("DVD Stopped: DVD Extract operation stopped\n"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(Path("dual.iso")) % 61440, 0u);
}

TEST_F(ExtractCliTest, InterruptStopsANandDump) {
  const CliRun run = Cli("dump-nand 2112 -o '" + Path("nand.bin") + "'", "1");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("DVD Stopped: NAND Extract operation stopped\n"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(Path("nand.bin")) % 2112, 0u);
}

}  // namespace
}  // namespace zemlo::testing
