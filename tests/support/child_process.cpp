#include "tests/support/child_process.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace zemlo::testing {

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> words;
  std::optional<std::string> word;  // set once a word has begun, even as an empty ''
  char quote = 0;
  for (const char c : text) {
    if (quote ? c == quote : c == '\'' || c == '"') {
      quote = quote ? 0 : c;
      word = word.value_or("");
    } else if (!quote && (c == ' ' || c == '\t' || c == '\n')) {
      if (word) words.push_back(std::move(*word));
      word.reset();
    } else {
      word = word.value_or("") + c;
    }
  }
  if (word) words.push_back(std::move(*word));
  return words;
}

std::optional<std::string> ChildProcess::ReadLine() {
  std::string line;
  char c = 0;
  bool read = false;
  while ((read = ReadByte(&c)) && c != '\n') line += c;
  return read || !line.empty() ? std::optional(line) : std::nullopt;
}

std::optional<std::string> FullDevice() {
#ifndef _WIN32
  if (::access("/dev/full", W_OK) == 0) return "/dev/full";
#endif
  return std::nullopt;
}

int ChildProcess::Wait() {
  if (started_ && !waited_) {
    status_ = Reap();
    waited_ = true;
  }
  return status_;
}

#ifdef _WIN32

namespace {

// One argument as the C runtime's parser gives it back: the tests pass no double quote, nor a
// blank in an argument that ends in a backslash, which would need escaping.
std::wstring Quote(const std::wstring& argument) {
  const bool plain = !argument.empty() && argument.find_first_of(L" \t\n\v") == std::wstring::npos;
  return plain ? argument : L"\"" + argument + L"\"";
}

std::wstring Widen(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end())).wstring();
}

HANDLE OpenInheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(Widen(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outPath, const std::string& errPath) {
  std::wstring commandLine = Quote(Widen(program));
  for (const std::string& argument : arguments) commandLine += L" " + Quote(Widen(argument));

  STARTUPINFOW io{.cb = sizeof(STARTUPINFOW), .dwFlags = STARTF_USESTDHANDLES};
  io.hStdInput = OpenInheritable("NUL", false);
  io.hStdOutput = outPath.empty() ? INVALID_HANDLE_VALUE : OpenInheritable(outPath, true);
  if (outPath.empty()) {
    // Only the child's end is inherited.
    if (!::CreatePipe(&outRead_, &io.hStdOutput, nullptr, 0)) outRead_ = nullptr;
    ::SetHandleInformation(io.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  io.hStdError =
      errPath.empty() ? ::GetStdHandle(STD_ERROR_HANDLE) : OpenInheritable(errPath, true);
  PROCESS_INFORMATION info{};
  // Its own process group, so that Ctrl-Break reaches it and not the test.
  started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                              CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &io, &info) != 0;
  process_ = info.hProcess;  // all null when it did not start
  processId_ = info.dwProcessId;
  ::CloseHandle(info.hThread);
  ::CloseHandle(io.hStdInput);
  ::CloseHandle(io.hStdOutput);
  if (!errPath.empty()) ::CloseHandle(io.hStdError);
}

ChildProcess::~ChildProcess() {
  if (started_ && !waited_) {
    ::TerminateProcess(process_, 1);
    Wait();
  }
  if (process_) ::CloseHandle(process_);
  if (outRead_) ::CloseHandle(outRead_);
}

void ChildProcess::CloseOutput() {
  if (outRead_) ::CloseHandle(outRead_);
  outRead_ = nullptr;
}

bool ChildProcess::ReadByte(char* c) {
  DWORD got = 0;
  return outRead_ && ::ReadFile(outRead_, c, 1, &got, nullptr) && got == 1;
}

bool ChildProcess::InterruptsReachChildren() {
  return false;
}

void ChildProcess::Interrupt() {
  if (started_) ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, processId_);
}

void ChildProcess::Terminate() {
  Interrupt();
}

int ChildProcess::Reap() {
  ::WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  return ::GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
}

#else

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outPath, const std::string& errPath) {
  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const auto create = [&](int fd, const std::string& path) {
    posix_spawn_file_actions_addopen(&actions, fd, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  };
  if (!outPath.empty()) {
    create(STDOUT_FILENO, outPath);
  } else if (::pipe(pipeFds) == 0) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  }
  if (!errPath.empty()) create(STDERR_FILENO, errPath);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  started_ = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (pipeFds[1] >= 0) ::close(pipeFds[1]);
  outRead_ = pipeFds[0];
}

ChildProcess::~ChildProcess() {
  if (started_ && !waited_) {
    ::kill(pid_, SIGKILL);
    Wait();
  }
  if (outRead_ >= 0) ::close(outRead_);
}

void ChildProcess::CloseOutput() {
  if (outRead_ >= 0) ::close(outRead_);
  outRead_ = -1;
}

bool ChildProcess::ReadByte(char* c) {
  return outRead_ >= 0 && ::read(outRead_, c, 1) == 1;
}

bool ChildProcess::InterruptsReachChildren() {
  return true;
}

void ChildProcess::Interrupt() {
  if (started_) ::kill(pid_, SIGINT);
}

void ChildProcess::Terminate() {
  if (started_) ::kill(pid_, SIGTERM);
}

int ChildProcess::Reap() {
  int raw = 0;
  while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

#endif

}  // namespace zemlo::testing
