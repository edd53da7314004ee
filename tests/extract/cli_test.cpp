// zemlo-cli's extraction commands end to end through `--adapter sim`, including Ctrl-C.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "extract/dat_catalog.h"
#include "protocol/file_sha1.h"
#include "tests/support/child_process.h"
#include "tests/support/cli_runner.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

class ExtractCliTest : public SimFixture {
 protected:
  CliRun Cli(const std::string& arguments) {
    return RunProgram(ZEMLO_CLI, "--adapter sim " + arguments);
  }
};

TEST_F(ExtractCliTest, LowLevelDumpWritesTheFile) {
  const CliRun run = Cli("lowlevel drive-eram -o '" + TempPath("eram.bin") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Done.: Finished dumping Gamecube Drive ERAM\ndetail: SHA-1: " +
                         FileSha1Hex(TempPath("eram.bin")) + "\n");
}

// Ctrl-C once the image has data: the worker is streaming, so it is Stop Extract by then.
TEST_F(ExtractCliTest, InterruptStopsTheExtraction) {
  if (!ChildProcess::InterruptsReachChildren()) GTEST_SKIP() << "Ctrl-C cannot reach a child here";
  const char* const cases[][3] = {
      {"extract-disc wii-dual", "DVD Stopped: DVD Extract operation stopped\n", "61440"},
      {"dump-nand 2112", "DVD Stopped: NAND Extract operation stopped\n", "2112"}};
  for (const auto& [command, message, unit] : cases) {
    SCOPED_TRACE(command);
    const std::string image = TempPath(std::string("image") + unit);
    ChildProcess cli(
        ZEMLO_CLI, SplitArguments(std::string("--adapter sim ") + command + " -o '" + image + "'"),
        TempPath("out"), TempPath("err"));
    std::error_code error;  // the image not yet created
    for (int i = 0; i < 600 && (std::filesystem::file_size(image, error) == 0 || error); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cli.Interrupt();
    EXPECT_EQ(cli.Wait(), 3);
    const std::vector<uint8_t> err = ReadFileBytes(TempPath("err"));
    EXPECT_NE(std::string(err.begin(), err.end()).find(message), std::string::npos);
    // Only whole packets or pages, the ones accepted before the stop.
    EXPECT_EQ(std::filesystem::file_size(image) % std::stoul(unit), 0u);
  }
}

TEST_F(ExtractCliTest, DatOptionsReachTheVerdictOnStandardOutput) {
  std::ofstream(TempPath("other.dat"))
      << "<datafile><header><name>Other</name><version>2</version></header></datafile>";
  std::ofstream(TempPath("broken.dat")) << "<datafile";
  const CliRun run = Cli("extract-disc gamecube -o '" + TempPath("gc.iso") + "' --dat '" +
                         TempPath("other.dat") + "' --dat '" + TempPath("broken.dat") + "'");
  if (!kDatFilesSupported) {
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(std::string("detail: ") + kDatFilesUnsupported), std::string::npos);
    return;
  }
  EXPECT_EQ(run.status, 0);
  for (const std::string& line :
       {std::string("not in DAT (Other 2)\n"), "DAT error: " + TempPath("broken.dat")}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace zemlo::testing
