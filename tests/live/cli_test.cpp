// The watch and scan commands as scripts use them, against zemlo-sim's running game.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/cli_runner.h"

namespace {

using zemlo::testing::CliRun;

CliRun RunCli(const std::string& arguments) {
  return zemlo::testing::RunProgram(ZEMLO_CLI, arguments);
}

TEST(LiveCli, WatchPrintsEachEntryOnEveryRefresh) {
  const std::string path = zemlo::testing::UniqueTempPath("-watch.json");
  std::ofstream(path) << R"({"watchList":[{"label":"health","address":"80900008","typeIndex":1},
      {"groupName":"level","groupEntries":[{"label":"name","address":"80900010","typeIndex":5,
      "length":16},{"label":"coins","address":"8090000C","typeIndex":2,"pointerOffsets":["4"]}]}]})";
  const CliRun run = RunCli("--adapter sim watch " + path + " --count 2 --interval 10");
  EXPECT_EQ(run.status, 0) << run.err;
  // The group's entries, the string as long as its entry and the coins behind their pointer.
  EXPECT_EQ(run.out.substr(0, run.out.find("health", 1)),
            "health 80900008 1000\nname 80900010 WORLD 1-1\ncoins 80A00004 0\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 6);
  std::ofstream(path) << "{\"watchList\":[";
  EXPECT_EQ(RunCli("--adapter sim watch " + path).status, 1);
  std::filesystem::remove(path);
}

TEST(LiveCli, ScanSessionContinuesAcrossInvocations) {
  const zemlo::testing::SimServerProcess sim(ZEMLO_SIM);
  ASSERT_FALSE(sim.adapter().empty());
  const std::string adapter = "--adapter " + sim.adapter() + " ";
  const std::string file = zemlo::testing::UniqueTempPath("-scan.session");
  const std::string session = " --session " + file;

  EXPECT_EQ(RunCli(adapter + "hook 1").status, 0);
  EXPECT_EQ(RunCli(adapter + "freeze").status, 0);
  // Frame counter, timer, health, pointer: the first two grow while the game runs.
  CliRun run = RunCli(adapter + "scan new u32 unknown --start 80900000 --end 80900010" + session);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "4 candidates");
  EXPECT_EQ(RunCli(adapter + "unfreeze").status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  run = RunCli(adapter + "scan next increased" + session);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "2 candidates");
  EXPECT_EQ(run.out.find("80900000 "), run.out.find('\n') + 1);
  EXPECT_EQ(RunCli(adapter + "scan undo" + session).out.substr(0, 12), "4 candidates");
  EXPECT_EQ(RunCli(adapter + "scan next between 1" + session).status, 2);
  run = RunCli(adapter + "scan list" + session + " --limit 1");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  std::filesystem::remove(file);
}

// Snapshots before and after a reload of the running game find the world-level-player chain; a
// scan holds the locks of a watch file; the same locks come out as codes.
TEST(LiveCli, PointersAcrossAReloadLocksDuringAScanAndCodes) {
  const zemlo::testing::SimServerProcess sim(ZEMLO_SIM);
  ASSERT_FALSE(sim.adapter().empty());
  const std::string adapter = "--adapter " + sim.adapter() + " ";
  const std::string watch = zemlo::testing::UniqueTempPath("-live.json");
  const std::string chains = zemlo::testing::UniqueTempPath("-chains.json");
  const std::string file = zemlo::testing::UniqueTempPath("-pointers.session");
  const std::string session = " --session " + file;
  std::ofstream(watch) << R"({"watchList":[{"label":"coins","address":"8090000C",
      "pointerOffsets":["4"]}]})";
  EXPECT_EQ(RunCli(adapter + "hook 5").status, 0);  // the last of the list, Wii hooks
  // The game held still from reading where the coins are until the snapshot is taken.
  const auto coins = [&] {
    EXPECT_EQ(RunCli(adapter + "freeze").status, 0);
    return RunCli(adapter + "watch " + watch + " --count 1").out.substr(6, 8);
  };
  const std::string before = coins();
  CliRun run = RunCli(adapter + "pointers new " + before + session);
  ASSERT_EQ(run.status, 0) << run.err;
  std::string after = before;
  for (int wait = 0; wait < 60 && after == before; ++wait) {  // a level lasts ten seconds
    EXPECT_EQ(RunCli(adapter + "unfreeze").status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    after = coins();
  }
  ASSERT_NE(after, before);
  run = RunCli(adapter + "pointers add " + after + session + " --limit 100");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(R"("address": "80900020", "pointerOffsets": ["10", "1C8", "4"])"),
            std::string::npos)
      << run.out;
  run = RunCli(adapter + "pointers list" + session + " --limit 1 --to-watch " + chains);
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1),
            "\"address\": \"8090000C\", \"pointerOffsets\": [\"4\"]\n");
  EXPECT_NE(RunCli(adapter + "watch " + chains + " --count 1").out.find(" " + after + " "),
            std::string::npos);
  EXPECT_EQ(RunCli(adapter + "unfreeze").status, 0);

  std::ofstream(watch) << R"({"watchList":[{"label":"health","address":"80900008",
      "typeIndex":1,"lock":"1234"}]})";
  run = RunCli(adapter + "scan new u16 between 1227 1234 --start 80900000 --end 80900010 --lock " +
               watch + session);
  EXPECT_EQ(run.out.substr(0, run.out.find(' ', 12)), "1 candidate\n80900008") << run.err;
  run = RunCli("codes " + watch);
  EXPECT_EQ(run.out, "[Gecko]\n$health\n02900008 000004D2\n");
  for (const std::string& path : {watch, chains, file}) std::filesystem::remove(path);
}

// Ctrl-C during a long scan is its Stop, as for an extraction: status 3, the stopped message, and
// the session file left as it was (here: never written).
TEST(LiveCli, InterruptStopsAScanOrAPointerScan) {
  using zemlo::testing::ChildProcess;
  if (!ChildProcess::InterruptsReachChildren()) GTEST_SKIP() << "Ctrl-C cannot reach a child here";
  const zemlo::testing::SimServerProcess sim(ZEMLO_SIM, {"--throttle", "2000000"});
  ASSERT_FALSE(sim.adapter().empty());
  const std::string adapter = "--adapter " + sim.adapter() + " ";
  EXPECT_EQ(RunCli(adapter + "hook 1").status, 0);
  const std::string session = zemlo::testing::UniqueTempPath("-stopped.session");
  const std::string err = zemlo::testing::UniqueTempPath(".err");
  const std::string out = zemlo::testing::UniqueTempPath(".out");
  for (const auto& [command, message] : std::initializer_list<std::pair<const char*, const char*>>{
           {"scan new u32 unknown", "Scan Stopped: Scan operation stopped\n"},
           {"pointers new 80A00004", "Pointer Scan Stopped: Pointer Scan operation stopped\n"}}) {
    SCOPED_TRACE(command);
    ChildProcess cli(
        ZEMLO_CLI,
        zemlo::testing::SplitArguments(adapter + command + " --progress --session " + session),
        zemlo::testing::UniqueTempPath(".out"), err);
    std::string text;
    for (int wait = 0; wait < 600 && text.find("progress: 1%") == std::string::npos; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::stringstream read;
      read << std::ifstream(err).rdbuf();
      text = read.str();
    }
    cli.Interrupt();
    EXPECT_EQ(cli.Wait(), 3);
    std::stringstream read;
    read << std::ifstream(err).rdbuf();
    EXPECT_NE(read.str().find(message), std::string::npos) << read.str();
    EXPECT_FALSE(std::filesystem::exists(session));
  }
  for (const std::string& path : {err, out}) std::filesystem::remove(path);
}

}  // namespace
