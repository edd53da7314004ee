// Debian's gdb-multiarch in batch mode against the simulated game through zemlo-cli gdbserver,
// over TCP to zemlo-sim and with the console inside the stub's own process. Skipped where
// gdb-multiarch is not installed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/cli_runner.h"

namespace {

using zemlo::testing::ChildProcess;
using zemlo::testing::CliRun;
using zemlo::testing::RunProgram;
using zemlo::testing::UniqueTempPath;

std::string FindGdb() {
#ifndef _WIN32
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(path, dir, ':');) {
    const std::filesystem::path candidate = std::filesystem::path(dir) / "gdb-multiarch";
    if (!dir.empty() && std::filesystem::exists(candidate)) return candidate.string();
  }
#endif
  return {};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every "$N = 0x..." gdb printed, in order.
std::vector<uint32_t> Printed(const std::string& output) {
  std::vector<uint32_t> values;
  const std::regex pattern(R"(\$\d+ = 0x([0-9a-f]+))");
  for (std::sregex_iterator it(output.begin(), output.end(), pattern), end; it != end; ++it) {
    values.push_back(static_cast<uint32_t>(std::stoul((*it)[1].str(), nullptr, 16)));
  }
  return values;
}

// The 64 bytes from 0x80900000 as `x/16wx` shows them and as `memory hex` does.
std::vector<uint32_t> GdbWords(const std::string& output) {
  std::vector<uint32_t> words;
  const std::regex line(R"(0x809000[0-3]0:((\s+0x[0-9a-f]{8}){4}))");
  for (std::sregex_iterator it(output.begin(), output.end(), line), end; it != end; ++it) {
    std::istringstream values((*it)[1].str());
    for (std::string word; values >> word;) words.push_back(std::stoul(word, nullptr, 16));
  }
  return words;
}
std::vector<uint32_t> HexWords(const std::string& lines) {
  std::vector<uint32_t> words;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line) && words.size() < 16;) {
    std::istringstream bytes(line.substr(11, 23));
    for (int w = 0; w < 2; ++w) {
      uint32_t word = 0;
      for (int b = 0; b < 4; ++b) {
        std::string byte;
        bytes >> byte;
        word = word << 8 | std::stoul(byte, nullptr, 16);
      }
      words.push_back(word);
    }
  }
  return words;
}

// The stub as a script starts it, every packet logged; stopped with Ctrl-C.
class Stub {
 public:
  Stub(const std::string& adapter, const std::string& log)
      : log_(log),
        process_(ZEMLO_CLI,
                 {"--adapter", adapter, "gdbserver", "--listen", "127.0.0.1:0", "--log", log}) {
    const std::string line = process_.ReadLine().value_or("");
    if (line.starts_with("listening on ")) address_ = line.substr(13);
  }
  ~Stub() { Stop(); }
  void Stop() {
    if (stopped_) return;
    stopped_ = true;
    process_.Interrupt();
    process_.Wait();
  }
  const std::string& address() const { return address_; }
  std::string Log() const { return ReadText(log_); }
  size_t Count(const std::string& line) const {
    std::istringstream in(Log());
    size_t count = 0;
    for (std::string text; std::getline(in, text);) count += text == line;
    return count;
  }

 private:
  std::string log_;
  ChildProcess process_;
  std::string address_;
  bool stopped_ = false;
};

class GdbTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    gdb_ = FindGdb();
    if (gdb_.empty()) GTEST_SKIP() << "gdb-multiarch is not installed";
  }
  void TearDown() override {
    for (const std::string& path : files_) std::filesystem::remove(path);
  }
  std::string File(const std::string& suffix, const std::string& text = {}) {
    files_.push_back(UniqueTempPath(suffix));
    std::ofstream(files_.back(), std::ios::binary) << text;
    return files_.back();
  }
  // gdb's arguments: the script zemlo-cli generates, then `commands`.
  std::vector<std::string> GdbArguments(const Stub& stub, const std::string& commands) {
    const CliRun init =
        RunProgram(ZEMLO_CLI, "gdbserver --print-gdbinit --listen " + stub.address());
    EXPECT_EQ(init.status, 0);
    return {"-q",
            "-batch",
            "-nx",
            "-x",
            File("-init.gdb", init.out),
            "-x",
            File("-commands.gdb", commands)};
  }
  std::string RunGdb(const Stub& stub, const std::string& commands) {
    const std::string out = File("-gdb.out");
    ChildProcess gdb(gdb_, GdbArguments(stub, commands), out, out);
    gdb.Wait();
    return ReadText(out);
  }

  std::string gdb_;
  std::vector<std::string> files_;
};

// Breakpoint on the health routine, finish, ten steps, a watch on health, a variable set, a
// watch on the frame counter, and detach.
constexpr char kSession[] = R"(x/16wx 0x80900000
x/8i $pc
hbreak *0x80800180
continue
p/x $pc
p/x $lr
delete
finish
p/x $pc
)"
                            R"(stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
stepi
p/x $pc
watch *(unsigned short*)0x80900008
continue
p/x $pc
delete
set var *(unsigned short*)0x80900008 = 4321
p/x *(unsigned short*)0x80900008
watch *(unsigned int*)0x80900000
continue
delete
detach
)";

TEST_P(GdbTest, DebugsTheRunningGame) {
  const bool overTcp = GetParam();
  std::unique_ptr<zemlo::testing::SimServerProcess> sim;
  std::string adapter = "sim";
  std::string before;
  if (overTcp) {
    sim = std::make_unique<zemlo::testing::SimServerProcess>(ZEMLO_SIM);
    adapter = sim->adapter();
    ASSERT_FALSE(adapter.empty());
    ASSERT_EQ(RunProgram(ZEMLO_CLI, "--adapter " + adapter + " freeze").status, 0);
    before = RunProgram(ZEMLO_CLI, "--adapter " + adapter + " memory hex 80900000").out;
  }
  Stub stub(adapter, File("-packets.log"));
  ASSERT_FALSE(stub.address().empty());

  const std::string output = RunGdb(stub, kSession);
  SCOPED_TRACE(output);
  const std::vector<uint32_t> words = GdbWords(output);
  ASSERT_EQ(words.size(), 16u);
  if (overTcp) {
    EXPECT_EQ(words, HexWords(before));
  }
  EXPECT_EQ(std::count(output.begin(), output.end(), '\t') >= 8, true);
  EXPECT_TRUE(std::regex_search(output, std::regex(R"(=> 0x[0-9a-f]{8}:\t\S+)")));

  const std::vector<uint32_t> values = Printed(output);
  ASSERT_EQ(values.size(), 15u);
  EXPECT_EQ(values[0], 0x80800180u);  // the health routine
  EXPECT_EQ(values[1], 0x8080004Cu);  // called from the frame loop
  EXPECT_EQ(values[2], 0x8080004Cu);  // finish: back in the caller
  // The call into the player routine, then one instruction at a time (a branch not taken).
  const std::vector<uint32_t> steps(values.begin() + 3, values.begin() + 13);
  EXPECT_EQ(steps, (std::vector<uint32_t>{0x80800200u, 0x80800204u, 0x80800208u, 0x8080020Cu,
                                          0x80800210u, 0x80800214u, 0x80800218u, 0x8080021Cu,
                                          0x80800220u, 0x80800224u}));
  EXPECT_EQ(values[13], 0x808001B8u);  // after the health store
  EXPECT_EQ(values[14], 4321u);
  const std::regex healthChange(R"(Old value = (\d+)\nNew value = (\d+))");
  std::smatch change;
  ASSERT_TRUE(std::regex_search(output, change, healthChange));
  const int oldHealth = std::stoi(change[1]), newHealth = std::stoi(change[2]);
  EXPECT_TRUE(newHealth == oldHealth - 7 || (oldHealth <= 7 && newHealth == 1000));
  const std::string log = stub.Log();
  EXPECT_NE(log.find("-> T05hwbreak:;"), std::string::npos);
  EXPECT_NE(log.find("-> T05watch:80900008;"), std::string::npos);
  EXPECT_NE(log.find("-> T05watch:80900000;"), std::string::npos);

  // Ctrl-C freezes the running game; detach leaves it running.
  const size_t resumes = stub.Count("<- vCont;c");
  const std::string out = File("-interrupt.out");
  ChildProcess gdb(gdb_,
                   GdbArguments(stub,
                                "continue\np/x *(unsigned int*)0x80900000\nshell sleep 0.2\n"
                                "p/x *(unsigned int*)0x80900000\ndetach\n"),
                   out, out);
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       stub.Count("<- vCont;c") == resumes && std::chrono::steady_clock::now() < until;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  gdb.Interrupt();
  EXPECT_EQ(gdb.Wait(), 0);
  const std::string interrupted = ReadText(out);
  EXPECT_NE(interrupted.find("Program received signal SIGINT"), std::string::npos) << interrupted;
  const std::vector<uint32_t> frames = Printed(interrupted);
  ASSERT_EQ(frames.size(), 2u) << interrupted;
  EXPECT_EQ(frames[0], frames[1]);
  stub.Stop();
  EXPECT_EQ(log.find("\n-> E"), std::string::npos);
  EXPECT_EQ(stub.Log().find("\n-> E"), std::string::npos);
  if (!overTcp) return;

  // What gdb set is in the console's memory, and the game ran on after the detach.
  const std::string hex = "--adapter " + adapter + " memory hex 80900000";
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       HexWords(RunProgram(ZEMLO_CLI, hex).out)[0] == frames[1];) {
    ASSERT_LT(std::chrono::steady_clock::now(), until);
  }
  ASSERT_EQ(RunProgram(ZEMLO_CLI, "--adapter " + adapter + " freeze").status, 0);
  const uint32_t health = HexWords(RunProgram(ZEMLO_CLI, hex).out)[2] >> 16;
  EXPECT_TRUE(health <= 4321 && health > 1000 && (4321 - health) % 7 == 0) << health;
}

INSTANTIATE_TEST_SUITE_P(Adapters, GdbTest, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Tcp" : "InProcess"; });

}  // namespace
