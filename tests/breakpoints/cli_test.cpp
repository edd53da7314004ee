#include <gtest/gtest.h>

#include <sys/wait.h>
#include "tests/support/cli_runner.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using zemlo::testing::CliRun;

class DebuggerCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zemlo-cli-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  CliRun Cli(const std::string& arguments) {
    return zemlo::testing::RunProgram(ZEMLO_CLI, "--adapter sim " + arguments);
  }

  std::filesystem::path dir_;
};

TEST_F(DebuggerCliTest, RegistersPrintFortyLabelledLinesInWordOrder) {
  const CliRun run = Cli("registers");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::istringstream lines(run.out);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 40u);
  EXPECT_EQ(all[0], "CR: 22000084");
  EXPECT_EQ(all[8], "(SP) R1: 8173FE60");
  EXPECT_EQ(all[39], "LR: 800063A0");
}

TEST_F(DebuggerCliTest, BreakpointsReportThroughMessagesAndExitStatus) {
  const std::string ranges =
      "\nCached memory is 0x80000000 to 0x817fffff\nUncached memory is 0xC0000000 to "
      "0xC17fffff\nHardware Registers are 0xCC000000 to 0xCC008000\n";
  const struct {
    const char* arguments;
    int status;
    std::string err;
  } rows[] = {
      {"dabr 80001234 --read --write", 0, "Done.: Breakpoint Set, Once hit the game will freeze\n"},
      {"dabr 80001234", 1, "Range Error: Please select which type of breakpoint for the address\n"},
      {"iabr CC008001", 1, "Range Error: IABR Address is out of range" + ranges},
  };
  for (const auto& row : rows) {
    const CliRun run = Cli(row.arguments);
    EXPECT_EQ(run.status, row.status) << row.arguments;
    EXPECT_EQ(run.err, row.err) << row.arguments;
  }
}

TEST_F(DebuggerCliTest, GrabWritesTheFileNamedByOutput) {
  const std::filesystem::path file = dir_ / "screen.bmp";
  const CliRun run = Cli("grab -o " + file.string());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Screen grabbed ok\n");
  EXPECT_EQ(std::filesystem::file_size(file), 860214u);
}

}  // namespace
