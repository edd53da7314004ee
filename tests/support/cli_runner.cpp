#include "tests/support/cli_runner.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/support/child_process.h"

namespace zemlo::testing {
namespace {

std::string TakeFile(const std::string& path) {
  std::stringstream text;
  {
    std::ifstream in(path, std::ios::binary);
    text << in.rdbuf();
  }
  std::filesystem::remove(path);
  return text.str();
}

// A name no other test process picks at the same time.
std::string TempFileName(const char* stream) {
  static std::mt19937_64 random{std::random_device{}()};
  return (std::filesystem::temp_directory_path() /
          ("zemlo-run-" + std::to_string(random()) + "." + stream))
      .string();
}

}  // namespace

CliRun RunProgram(const std::string& program, const std::string& arguments) {
  const std::string out = TempFileName("out");
  const std::string err = TempFileName("err");
  CliRun run;
  {
    ChildProcess child(program, SplitArguments(arguments), out, err);
    run.status = child.Wait();
  }
  run.out = TakeFile(out);
  run.err = TakeFile(err);
  return run;
}

}  // namespace zemlo::testing
