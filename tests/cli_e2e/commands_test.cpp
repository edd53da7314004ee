// Each zemlo-cli command run in-process against the simulated console: what reaches the console,
// what the user reads, and the exit status.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/cli_command.h"
#include "cli/cli_ui.h"
#include "link/link.h"
#include "protocol/firmware.h"
#include "tests/support/cli_runner.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

std::string Drain(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

class CliCommandsTest : public SimFixture {
 protected:
  // Parses `line` as main() does for a well-formed command line and runs the handler.
  CliRun Run(const std::string& line) {
    std::istringstream words(line);
    std::string name, word;
    words >> name;
    const auto& table = cli::CommandTable();
    const auto command = std::ranges::find(table, name, &cli::CliCommand::name);
    if (command == table.end()) return {-1, "", "no command " + name};
    cli::CliArgs args;
    while (words >> word) {
      if (word == "-o") {
        words >> args.output;
      } else if (std::ranges::find(command->options, word) != command->options.end()) {
        words >> args.options[word];
      } else if (word.starts_with("--")) {
        args.flags.insert(word);
      } else {
        args.args.push_back(word);
      }
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status;
    {
      cli::CliUi ui(out, err);
      InstallUi(&ui);
      if (!args.output.empty()) ui.SetSaveFile(args.output);
      status = command->run(args, ui);
      if (status == cli::kExitFromMessages) status = ui.failureShown() ? 1 : 0;
      InstallUi(&this->ui());
    }
    return {status, Drain(out), Drain(err)};
  }
};

// The first line on standard error (the detail lines are the CLI contract test's; a failure's
// status, the contract test's too).
TEST_F(CliCommandsTest, EachCommandReachesTheConsole) {
  WriteFileBytes(TempPath("game.dol"), std::vector<uint8_t>(5000, 0x5A));
  const std::string dol = " " + TempPath("game.dol");
  const std::string out = " -o " + TempPath("out.bin");
  // A symbol map names the function that starts on the page.
  std::ofstream(TempPath("game.map"))
      << ".text section layout\n80003100 00000040 80003100 0 main\n";
  const std::string breakpointSet = "Done.: Breakpoint Set, Once hit the game will freeze";
  const struct {
    std::string line;
    std::string err;
    std::vector<uint8_t> sentPrefix;
    size_t outLines = 0;
    std::string outStart = "";
  } rows[] = {
      {"freeze", "", {0x06}},
      {"memory asm 80003100 --map " + TempPath("game.map"), "", Wire(0x31, {0x80003100}), 25,
       "0x80003100  0x7C0802A6  mflr r0  ; main:\n"},  // before the poke
      {"unfreeze", "", {0x07}},
      {"stop", "", {0xBA}},
      {"poke 80003100 12345678", "", Wire(0x03, {0x80003100, 0x12345678})},
      {"fill 80001000 80002000", "", Wire(0x35, {0x80001000, 0x80002000})},
      {"dump-memory 80000000 80010000" + out, "Done.: Finished dumping Memory to file",
       Wire(0x04, {0x80000000, 0x80010000})},
      {"memory hex 80000000", "", Wire(0x31, {0x80000000}), 25,
       "0x80000000 47 5A 4C 45 30 31 00 00 GZLE01..\n"},
      {"dabr 80001234 --read --write", breakpointSet, Bytes({0x09, 0x80, 0x00, 0x12, 0x37})},
      {"dabr 80001234 --write", breakpointSet, Bytes({0x09, 0x80, 0x00, 0x12, 0x36})},
      {"iabr 80003100", breakpointSet, Bytes({0x10, 0x80, 0x00, 0x31, 0x03})},
      {"registers", "", {0x30}, 40},
      {"grab" + out, "Done.: Screen grabbed ok", {0x11}},
      {"upload dol" + dol, "Done.: DOL File Loaded", {}},
      {"flash-firmware" + dol, std::string("Done.: ") + kMsgFirmwareLoaded, {}},
      {"upload-code 80003100" + dol, "Done.: Code Uploaded", Wire(0x41, {0x80003100, 5000})},
      {"card list", "Done.: Done listing Card in Slot A", {0x15}, 3},
      {"card erase 1", "Done.: Done Erasing Game Save", {0x17, 0x01}},
      {"card download 2" + out, "Done.: Done Saving GCI save file", {0x16, 0x02}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    model().card = sim::CardModel();
    const CliRun outcome = Run(row.line);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), row.err);
    EXPECT_EQ(static_cast<size_t>(std::ranges::count(outcome.out, '\n')), row.outLines);
    EXPECT_TRUE(outcome.out.starts_with(row.outStart)) << outcome.out;
    std::vector<uint8_t> sent = Sent();
    EXPECT_FALSE(sent.empty());
    sent.resize(std::min(sent.size(), row.sentPrefix.size()));
    EXPECT_EQ(sent, row.sentPrefix);
  }
}

#ifndef _WIN32
// On a terminal the bar is drawn, cleared before a message, and finished with its line when the
// operation empties it.
TEST(CliProgress, DrawnOnATerminalAndEndedWithANewLine) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pty";
  fcntl(master, F_SETFL, O_NONBLOCK);
  const auto seen = [master] {
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  };
  std::FILE* err = fdopen(slave, "w");
  {
    cli::CliUi ui(stdout, err);
    ui.ProgressSetRange(0, 4);
    for (int i = 0; i < 4; ++i) ui.ProgressStep();
    ui.ProgressSetRange(0, 0);
    const std::string done = seen();
    EXPECT_NE(done.find("100%"), std::string::npos) << done;
    EXPECT_TRUE(done.ends_with("\r\n")) << done;
    ui.ProgressSetRange(0, 2);
    ui.ProgressStep();
    ui.ShowMessage("text", "Done.", MessageIcon::None, MessageOwner::None, "");
    const std::string cleared = seen();
    EXPECT_NE(cleared.find(" 50%"), std::string::npos) << cleared;
    EXPECT_TRUE(cleared.ends_with("\r\033[KDone.: text\r\n")) << cleared;
  }
  std::fclose(err);
  close(master);
}
#endif  // a pseudo-terminal is a POSIX device

}  // namespace
}  // namespace zemlo::testing
