// zemlo-cli's extraction commands end to end through `--adapter sim`, including Ctrl-C.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "extract/dat_catalog.h"
#include "extract/disc_extractor.h"
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

// The selection line reaches a pipe as it is listed, while the run goes on. Ctrl-C then, wherever
// the run is (the handshake or the stream), is Stop Extract: status 3 and only whole packets or
// pages kept. A reader that goes away instead ends nothing: the image is written in full and the
// status is the run's own.
TEST_F(ExtractCliTest, InterruptOrAClosedPipeDuringTheExtraction) {
  if (!ChildProcess::InterruptsReachChildren()) GTEST_SKIP() << "Ctrl-C cannot reach a child here";
  const struct {
    const char* command;
    bool interrupt;
    int status;
    const char* message;
    uint64_t unit;  // the image holds a whole number of these
  } cases[] = {
      {"extract-disc gamecube", true, 3, "DVD Stopped: DVD Extract operation stopped\n", 61440},
      {"dump-nand 2112 --keys KEYS", true, 3, "DVD Stopped: NAND Extract operation stopped\n",
       2112},
      {"extract-disc gamecube", false, 0, "", DiscKinds()[0].imageSize()},
  };
  std::ofstream(TempPath("keys.bin"), std::ios::binary) << std::string(1024, '\0');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const std::string image = TempPath("image");
    std::string command = c.command;
    if (const size_t keys = command.find("KEYS"); keys != std::string::npos) {
      command.replace(keys, 4, "'" + TempPath("keys.bin") + "'");
    }
    ChildProcess cli(ZEMLO_CLI, SplitArguments("--adapter sim " + command + " -o '" + image + "'"),
                     "", TempPath("err"));
    ASSERT_TRUE(cli.ReadLine().has_value());
    if (c.interrupt) {
      cli.Interrupt();
      while (cli.ReadLine()) {
      }
    } else {
      cli.CloseOutput();
    }
    EXPECT_EQ(cli.Wait(), c.status);
    const std::vector<uint8_t> err = ReadFileBytes(TempPath("err"));
    EXPECT_NE(std::string(err.begin(), err.end()).find(c.message), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(image) % c.unit, 0u);
    if (!c.interrupt) {
      EXPECT_EQ(std::filesystem::file_size(image), c.unit);
    }
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
