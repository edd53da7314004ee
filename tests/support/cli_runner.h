// Runs a built program as a script would, capturing its exit status and both output streams.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zemlo::testing {

struct CliRun {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` split into words as a shell would split plain words and quoted
// ones, standard input from the null device.
CliRun RunProgram(const std::string& program, const std::string& arguments);

// A path in the temporary folder that no other test process picks at the same time.
std::string UniqueTempPath(const std::string& suffix);

class ChildProcess;

// zemlo-sim listening on a free local port, as scripts start it; killed with this object.
class SimServerProcess {
 public:
  // `options` go to zemlo-sim after its --listen (a --throttle, say).
  explicit SimServerProcess(const std::string& program, std::vector<std::string> options = {});
  ~SimServerProcess();
  // "tcp:127.0.0.1:PORT"; empty when it did not start or print its port.
  const std::string& adapter() const { return adapter_; }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string adapter_;
};

}  // namespace zemlo::testing
