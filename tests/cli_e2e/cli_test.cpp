// zemlo-cli as scripts see it: exit statuses and what goes to which stream. The console served by
// zemlo-sim over TCP across invocations is the live commands' test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "link/driver_d2xx.h"
#include "link/shared_library.h"
#include "protocol/file_sha1.h"
#include "tests/support/cli_runner.h"

namespace {

using zemlo::testing::CliRun;

CliRun RunCli(const std::string& arguments) {
  return zemlo::testing::RunProgram(ZEMLO_CLI, arguments);
}

TEST(CliContract, ExitStatusesAndStreams) {
  for (const char* command : {"freeze", "connect"}) {
    const CliRun run = RunCli(std::string("--adapter sim ") + command);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }

  // Nothing listens on the discard port: the connect message with where and why, then the
  // command's own refusal.
  CliRun refused = RunCli("--adapter tcp:127.0.0.1:9 freeze");
  EXPECT_EQ(refused.status, 1);
  const std::string reason = "detail: no connection to 127.0.0.1:9: ";  // the system's words follow
  const size_t end = refused.err.find('\n', refused.err.find(reason));
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(refused.err.substr(0, refused.err.find(reason) + reason.size()),
            "USB ERROR: Error: Couldn't connect to USB Zemlo. Please check connection\n" + reason);
  EXPECT_GT(end, refused.err.find(reason) + reason.size());
  EXPECT_EQ(refused.err.substr(end + 1),
            "detail: is the simulated console running there? Start it with: zemlo-sim --listen "
            "127.0.0.1:9\n"
            "Error: You must first connect USB Zemlo in USB Menu\n");
  EXPECT_EQ(RunCli("--adapter tcp:127.0.0.1:9 connect").status, 1);

  // Usage errors: the raw ones, then commands that reach the simulated console's adapter.
  std::vector<std::string> usages{"", "no-such-command", "--adapter bogus freeze"};
  for (const char* command : {"poke 80003100",
                              "dump-memory 80000000 80000010",
                              "freeze extra",
                              "hook 6",
                              "memory bin 80003100",
                              "upload exe f",
                              "card",
                              "card format",
                              "card list extra",
                              "card download 1",
                              "card download x -o f.gci",
                              "card erase",
                              "card erase 256",
                              "card erase 99999999999",
                              "card erase 1 -o f.gci",
                              "card upload",
                              "extract-disc gamecube -o f --format zip",
                              "extract-disc gamecube -o f --split-size 0",
                              "extract-disc gamecube -o f --format rvz --split",
                              "extract-disc gamecube -o f --level 23",
                              "extract-disc gamecube -o f.rvz --chunk-size 40000",
                              "convert f"}) {
    usages.push_back(std::string("--adapter sim ") + command);
  }
  for (const std::string& usage : usages) {
    SCOPED_TRACE(usage);
    CliRun run = RunCli(usage);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err, "");
  }
}

TEST(CliContract, NewcomerHelpDetailsAndProgressLines) {
  for (const std::string usage : {"dump-memory START END -o FILE", "dump-nand 2048|2112 -o FILE"}) {
    const CliRun help = RunCli(usage.substr(0, usage.find(' ')) + " --help");
    EXPECT_NE(help.out.find("Usage: zemlo-cli [--adapter ADAPTER] " + usage), std::string::npos)
        << help.out;
    EXPECT_EQ(help.out.find("args"), std::string::npos) << help.out;
  }

  EXPECT_EQ(RunCli("--adapter sim memory hex 8000310").err,
            "Range Error: Memory address is incorrect size\n"
            "detail: exactly 8 hexadecimal digits are needed, e.g. 80003100 (no 0x)\n");
  EXPECT_NE(RunCli("--adapter auto freeze").err.find("detail: no adapter was found; --adapter sim"),
            std::string::npos);

  // A name of its own: suites of other checkouts run at the same time and share the folder.
  const auto path = std::filesystem::temp_directory_path() /
                    ("zemlo-cli-progress-" + std::to_string(std::random_device{}()) + ".bin");
  // 128 packets: every percent once, and nothing without --progress.
  const std::string dump = "--adapter sim dump-memory 80000000 80800000 -o " + path.string();
  const std::string dumped = RunCli(dump).err;
  EXPECT_EQ(dumped, "Done.: Finished dumping Memory to file\ndetail: SHA-1: " +
                        zemlo::FileSha1Hex(path.string()) + "\n");
  std::string lines;
  for (int percent = 0; percent <= 100; ++percent)
    lines += "progress: " + std::to_string(percent) + "%\n";
  EXPECT_EQ(RunCli(dump + " --progress").err, lines + dumped);
  std::filesystem::remove(path);
}

// `auto` takes the vendor's library where its installer leaves it: beside the program on Windows,
// on the library path elsewhere. What the program then reads is the console behind the library.
TEST(CliContract, AutoTakesTheVendorLibraryBesideTheProgram) {
  namespace fs = std::filesystem;
  const fs::path folder = zemlo::testing::UniqueTempPath("-d2xx");
  fs::create_directories(folder);
  fs::copy_file(ZEMLO_FAKE_D2XX, folder / zemlo::D2xxLibraryNames().front());
#ifdef _WIN32
  const fs::path program = folder / fs::path(ZEMLO_CLI).filename();
  fs::copy_file(ZEMLO_CLI, program);
  _putenv_s(zemlo::kD2xxLibraryVariable, "");
#else
  const fs::path program = ZEMLO_CLI;
  ::setenv("LD_LIBRARY_PATH", folder.c_str(), 1);
  ::unsetenv(zemlo::kD2xxLibraryVariable);
#endif
  const std::string dump = "dump-memory 80000000 80010000 -o ";
  const CliRun found =
      zemlo::testing::RunProgram(program.string(), dump + (folder / "found.bin").string());
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_EQ(found.err, RunCli("--adapter sim " + dump + (folder / "sim.bin").string()).err);
  fs::remove_all(folder);
}

// The listing itself is the file streamer's test.
TEST(CliContract, DisasmNeedsNoAdapter) {
  const auto path = std::filesystem::temp_directory_path() / "zemlo-cli-disasm.bin";
  std::ofstream(path, std::ios::binary) << std::string("\x4E\x80\x00\x20\x00", 5);
  CliRun run = RunCli("--adapter tcp:127.0.0.1:9 disasm " + path.string() + " --base FFFFFFFC");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "0xFFFFFFFC  0x4E800020  blr \n");
  EXPECT_EQ(RunCli("disasm " + path.string() + " --base zz").status, 2);
  EXPECT_EQ(RunCli("disasm /no/such/file").status, 1);
  std::filesystem::remove(path);
}

// Split and joined again offline; the files written are the lines on standard output.
TEST(CliContract, ConvertNeedsNoAdapter) {
  const std::filesystem::path folder = zemlo::testing::UniqueTempPath("-convert");
  std::filesystem::create_directories(folder);
  const std::string image((1 << 16) + 5, 'z');
  std::ofstream(folder / "disc.iso", std::ios::binary) << image;
  const std::string split = (folder / "split.iso").string();
  CliRun run = RunCli("--adapter tcp:127.0.0.1:9 convert " + (folder / "disc.iso").string() + " " +
                      split + " --split-size 32768");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string part = (folder / "split.part").string();
  EXPECT_EQ(run.out, part + "0.iso\n" + part + "1.iso\n" + part + "2.iso\n");
  run = RunCli("convert " + part + "0.iso " + (folder / "back.iso").string());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(zemlo::FileSha1Hex((folder / "back.iso").string()),
            zemlo::FileSha1Hex((folder / "disc.iso").string()));
  EXPECT_EQ(RunCli("convert /no/such.iso " + split).status, 1);
  std::filesystem::remove_all(folder);
}

TEST(CliContract, VersionNamesReleaseAndCommit) {
  for (const auto& [program, name] :
       {std::pair{ZEMLO_CLI, "zemlo-cli"}, {ZEMLO_SIM, "zemlo-sim"}}) {
    const CliRun run = zemlo::testing::RunProgram(program, "--version");
    EXPECT_EQ(run.status, 0);
    // help2man reads the first line as name and version.
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex(std::string("^") + name +
                            " [0-9]+\\.[0-9]+\ncommit ([0-9a-f]{12}(-dirty)?|unknown)\n")))
        << run.out;
  }
}

#ifdef ZEMLO_CLI_COMPLETION
// What bash offers for the words typed so far, in a folder with a file and a subfolder.
TEST(CliCompletion, CommandsOptionsChoicesAndFiles) {
  const std::filesystem::path folder = zemlo::testing::UniqueTempPath("-completion");
  std::filesystem::create_directories(folder / "dats");
  std::ofstream(folder / "game.iso").put('\0');
  const struct {
    const char* typed;
    const char* offered;
  } rows[] = {
      {"zemlo-cli ex", "extract-disc"},
      {"zemlo-cli --v", "--version"},
      {"zemlo-cli --adapter ", "sim tcp: ftdi d2xx auto"},
      {"zemlo-cli --adapter sim extract-disc wii", "wii-single wii-dual"},
      {"zemlo-cli --adapter tcp:127.0.0.1:5 card d", "download"},
      {"zemlo-cli card download 1 -", "--help --progress -o --output"},
      {"zemlo-cli dabr 80003100 --", "--help --progress --read --write --output"},
      {"zemlo-cli upload dol g", "game.iso"},
      {"zemlo-cli upload g", ""},
      {"zemlo-cli extract-disc gamecube -o g", "game.iso"},
      {"zemlo-cli extract-disc gamecube --dat-folder ", "dats"},
      {"zemlo-cli disasm code.bin --base ", ""},
      {"zemlo-cli poke 80003100 ", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    const CliRun run = zemlo::testing::RunProgram(
        "/bin/bash",
        "-c 'source \"$1\"; cd \"$2\"; COMP_LINE=$3; COMP_POINT=${#COMP_LINE}; _zemlo_cli; "
        "echo \"${COMPREPLY[*]}\"' - " ZEMLO_CLI_COMPLETION " '" +
            folder.string() + "' '" + row.typed + "'");
    EXPECT_EQ(run.out, std::string(row.offered) + "\n");
    EXPECT_EQ(run.err, "");
  }
  std::filesystem::remove_all(folder);
}
#endif

}  // namespace
