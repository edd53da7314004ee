#include "tests/support/cli_runner.h"

#include <filesystem>
#include <random>

#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

std::string TakeFile(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::filesystem::remove(path);
  return {bytes.begin(), bytes.end()};
}

}  // namespace

std::string UniqueTempPath(const std::string& suffix) {
  static std::mt19937_64 random{std::random_device{}()};
  return (std::filesystem::temp_directory_path() / ("zemlo-" + std::to_string(random()) + suffix))
      .string();
}

CliRun RunProgram(const std::string& program, const std::string& arguments) {
  const std::string out = UniqueTempPath(".out");
  const std::string err = UniqueTempPath(".err");
  const int status = ChildProcess(program, SplitArguments(arguments), out, err).Wait();
  return {status, TakeFile(out), TakeFile(err)};
}

SimServerProcess::SimServerProcess(const std::string& program, std::vector<std::string> options) {
  options.insert(options.begin(), {"--listen", "127.0.0.1:0"});
  process_ = std::make_unique<ChildProcess>(program, options);
  const std::string line = process_->ReadLine().value_or("");
  const auto colon = line.rfind(':');
  if (colon != std::string::npos) adapter_ = "tcp:127.0.0.1:" + line.substr(colon + 1);
}

SimServerProcess::~SimServerProcess() = default;

}  // namespace zemlo::testing
