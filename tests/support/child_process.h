// Built programs started from tests the same way on POSIX and Windows: the arguments go to the
// program as they are (no shell in between; on Windows none holds a double quote), standard input
// is the null device.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zemlo::testing {

// A device whose every write fails as on a full disk, where the system has one.
std::optional<std::string> FullDevice();

// Splits a command line as a POSIX shell would for plain words and '...' or "..." quoting
// (no variables, globs or escapes inside single quotes).
std::vector<std::string> SplitArguments(const std::string& text);

class ChildProcess {
 public:
  // Standard output goes to `outPath`, or to a pipe read by ReadLine when empty; standard error
  // goes to `errPath`, or stays the test's own when empty.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outPath = {}, const std::string& errPath = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return started_; }
  // One line of the piped standard output, without its "\n"; nothing at its end.
  std::optional<std::string> ReadLine();
  // The reader of the piped standard output goes away, as `| head -1` does after its line.
  void CloseOutput();
  // Whether Interrupt and Terminate reach the child. On Windows Ctrl-Break travels only through
  // a console the test shares with the child, which a test runner (or Wine under one) lacks.
  static bool InterruptsReachChildren();
  // What Ctrl-C does: SIGINT on POSIX, Ctrl-Break to the child's own process group on Windows.
  void Interrupt();
  // A request to end: SIGTERM on POSIX, Ctrl-Break on Windows (where no other request exists).
  void Terminate();
  // The exit status once it has ended, or -1 when it did not end normally.
  int Wait();

 private:
  bool ReadByte(char* c);
  int Reap();  // waits for the end; the exit status, or -1

  bool started_ = false;
  bool waited_ = false;
  int status_ = -1;
#ifdef _WIN32
  void* process_ = nullptr;
  void* outRead_ = nullptr;
  unsigned long processId_ = 0;
#else
  int pid_ = -1;
  int outRead_ = -1;
#endif
};

}  // namespace zemlo::testing
