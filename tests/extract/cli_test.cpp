// zemlo-cli's extraction commands end to end through `--adapter sim`, including Ctrl-C.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "extract/dat_catalog.h"
#include "protocol/file_sha1.h"
#include "tests/support/child_process.h"
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

  // Runs the command line; with `interruptOnceWritten` set, sends Ctrl-C as soon as that file
  // has data (the worker is streaming, so Ctrl-C is Stop Extract by then).
  CliRun Cli(const std::string& arguments, const std::string& interruptOnceWritten = {}) {
    const std::string out = Path("stdout"), err = Path("stderr");
    CliRun run;
    {
      ChildProcess cli(ZEMLO_CLI, SplitArguments("--adapter sim " + arguments), out, err);
      if (!interruptOnceWritten.empty()) {
        auto written = [&] {
          std::error_code error;
          const auto size = std::filesystem::file_size(interruptOnceWritten, error);
          return !error && size > 0;
        };
        for (int i = 0; i < 600 && !written(); ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        cli.Interrupt();
      }
      run.status = cli.Wait();
    }
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

 private:
  std::filesystem::path dir_;
};

TEST_F(ExtractCliTest, LowLevelDumpWritesTheFile) {
  const CliRun run = Cli("lowlevel drive-eram -o '" + Path("eram.bin") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Finished dumping Gamecube Drive ERAM\ndetail: SHA-1: " +
                         FileSha1Hex(Path("eram.bin")) + "\n");
  EXPECT_EQ(std::filesystem::file_size(Path("eram.bin")), 262'144u);
}

TEST_F(ExtractCliTest, InterruptStopsTheExtraction) {
  if (!ChildProcess::InterruptsReachChildren()) {
    GTEST_SKIP() << "Ctrl-C is not deliverable to a child here";
  }
  const char* const cases[][3] = {
      {"extract-disc wii-dual", "DVD Stopped: DVD Extract operation stopped\n", "61440"},
      {"dump-nand 2112", "DVD Stopped: NAND Extract operation stopped\n", "2112"}};
  for (const auto& [command, message, unit] : cases) {
    SCOPED_TRACE(command);
    const std::string image = Path(std::string("image") + unit);
    const CliRun run = Cli(std::string(command) + " -o '" + image + "'", image);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find(message), std::string::npos);
    // Only whole packets or pages, the ones accepted before the stop.
    EXPECT_EQ(std::filesystem::file_size(image) % std::stoul(unit), 0u);
  }
}

TEST_F(ExtractCliTest, DiscVerdictAndSumsOnStandardOutput) {
  std::FILE* dat = std::fopen(Path("other.dat").c_str(), "w");
  std::fputs("<datafile><header><name>Other</name><version>2</version></header></datafile>", dat);
  std::fclose(dat);
  dat = std::fopen(Path("broken.dat").c_str(), "w");
  std::fputs("<datafile", dat);
  std::fclose(dat);
  const CliRun run = Cli("extract-disc gamecube -o '" + Path("gc.iso") + "' --dat '" +
                         Path("other.dat") + "' --dat '" + Path("broken.dat") + "'");
  if (!kDatFilesSupported) {
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(std::string("detail: ") + kDatFilesUnsupported), std::string::npos);
    return;
  }
  EXPECT_EQ(run.status, 0);
  for (const std::string& line : std::vector<std::string>{
           "Finished Extracting Game\n", "not in DAT (Other 2)\n",
           "DAT error: " + Path("broken.dat"), "SHA-1: " + FileSha1Hex(Path("gc.iso")) + "\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
  EXPECT_NE(Slurp(Path("gc.iso.txt")).find("Verified: no (not in DAT (Other 2))\n"),
            std::string::npos);
}

}  // namespace
}  // namespace zemlo::testing
