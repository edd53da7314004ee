// The `card` command as a user runs it, against the built-in console (a fresh card each run).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/cli_runner.h"
#include "tests/support/sim_fixture.h"

namespace {

using zemlo::testing::CliRun;

class CardCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zemlo-card-cli-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  CliRun Cli(const std::string& arguments) {
    return zemlo::testing::RunProgram(ZEMLO_CLI, "--adapter sim card " + arguments);
  }
  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

TEST_F(CardCliTest, ListPrintsTheLinesAndTheDoneMessage) {
  const CliRun run = Cli("list");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Game Save: zemlo-racer\nGame Save: puzzle_progress.dat\n"
            "Game Save: ADVENTURE_SAVE_SLOT_0123456789AB\n");
  EXPECT_EQ(run.err, "Done.: Done listing Card in Slot A\n");
}

TEST_F(CardCliTest, DownloadUploadAndErase) {
  CliRun run = Cli("download 2 -o " + Path("adv.gci"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Done Saving GCI save file\n");
  const std::vector<uint8_t> gci = zemlo::testing::ReadFileBytes(Path("adv.gci"));
  ASSERT_EQ(gci.size(), 64u + 8 * 8192);

  run = Cli("upload " + Path("adv.gci"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Memory Card Error: This filename already exists\n");

  run = Cli("erase 0");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Done Erasing Game Save\n");
  run = Cli("erase 7");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Memory Card Error: Error: No Card Acklowledgement\n");
}

TEST_F(CardCliTest, UsageErrors) {
  for (const std::string arguments :
       {"", "format", "list extra", "download 1", "download x -o f.gci", "download -1 -o f.gci",
        "erase", "erase 256", "erase 1 -o f.gci", "upload"}) {
    const CliRun run = Cli(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.out, "") << arguments;
  }
}

}  // namespace
