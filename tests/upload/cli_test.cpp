#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/cli_runner.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using Outcome = testing::CliRun;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  // Each run is its own process with a fresh simulated console.
  Outcome Run(const std::string& arguments) {
    return testing::RunProgram(ZEMLO_CLI, "--adapter sim " + arguments);
  }

  std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("zemlo-upload-cli-" + std::to_string(getpid()));
};

TEST_F(CliTest, CommandsEndToEnd) {
  testing::WriteFileBytes(Path("game.dol"), std::vector<uint8_t>(5000, 0x5A));
  const std::string file = " " + Path("game.dol");
  struct Row {
    std::string arguments;
    int status;
    std::string err;
  };
  const std::vector<Row> rows{
      {"poke 80003100 12345678", 0, ""},
      {"poke 80003100 1234", 1, "Range Error: Poke Value is not DWORD size\n"},
      {"fill 80001000 80002000", 0, ""},
      {"fill 80001000 80000FFF", 1,
       "Range Error: End address should be higher than the Start address\n"},
      {"hook 5", 0, "Done.: If hooked, remote debugger and screen shot tool will be active\n"},
      {"hook 6", 2, ""},
      {"memory bin 80003100", 2, ""},
      {"upload dol" + file, 0, "Done.: DOL File Loaded\n"},
      {"upload exe" + file, 2, ""},
      {"upload-code 80003100" + file, 0, "Done.: Code Uploaded\n"},
      {"upload-code 8000310" + file, 1, "Range Error: Memory address incorrect size\n"},
      {"flash-firmware" + file, 0,
       "Done.: Flash file loaded to memory, check console for progress\n"},
      {"dump-memory 80000000 80010000 -o " + Path("dump.bin"), 0,
       "Done.: Finished dumping Memory to file\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = Run(row.arguments);
    EXPECT_EQ(outcome.status, row.status);
    if (row.status != 2) {
      EXPECT_EQ(outcome.err, row.err);
    }
  }
  const auto dump = testing::ReadFileBytes(Path("dump.bin"));
  ASSERT_EQ(dump.size(), 0x10000u);
  EXPECT_EQ(std::string(dump.begin(), dump.begin() + 6), "GZLE01");

  const Outcome page = Run("memory hex 80000000");
  EXPECT_EQ(std::count(page.out.begin(), page.out.end(), '\n'), 25);
  EXPECT_EQ(page.out.substr(0, 44), "0x80000000 47 5A 4C 45 30 31 00 00 GZLE01..\n");
}

}  // namespace
}  // namespace zemlo
