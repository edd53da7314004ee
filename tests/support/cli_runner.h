// Runs a built program as a script would, capturing its exit status and both output streams.
#pragma once

#include <string>

namespace zemlo::testing {

struct CliRun {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` split into words as a shell would split plain words and quoted
// ones, standard input from the null device.
CliRun RunProgram(const std::string& program, const std::string& arguments);

}  // namespace zemlo::testing
