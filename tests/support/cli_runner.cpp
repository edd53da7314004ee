#include "tests/support/cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

std::string MakeTempFile() {
  std::string path = (std::filesystem::temp_directory_path() / "zemlo-run-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd >= 0) close(fd);
  return path;
}

}  // namespace

CliRun RunProgram(const std::string& program, const std::string& arguments) {
  const std::string out = MakeTempFile();
  const std::string err = MakeTempFile();
  const std::string command = program + " " + arguments + " >" + out + " 2>" + err + " </dev/null";
  const int raw = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = TakeFile(out);
  run.err = TakeFile(err);
  return run;
}

}  // namespace zemlo::testing
