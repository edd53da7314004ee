#include "tests/support/child_process.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
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
  while (ReadByte(&c)) {
    if (c == '\n') return line;
    line += c;
  }
  return line.empty() ? std::nullopt : std::optional(line);
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

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

std::wstring Widen(const std::string& text) {
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

constexpr char kNullDevice[] = "NUL";

HANDLE OpenInheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(Widen(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::optional<std::string> FullDevice() {
  return std::nullopt;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outPath, const std::string& errPath) {
  std::wstring commandLine = Quote(Widen(program));
  for (const std::string& argument : arguments) commandLine += L" " + Quote(Widen(argument));

  HANDLE in = OpenInheritable(kNullDevice, false);
  HANDLE out = INVALID_HANDLE_VALUE;
  if (outPath.empty()) {
    // Only the child's end is inherited.
    if (!::CreatePipe(&outRead_, &out, nullptr, 0)) outRead_ = nullptr;
    ::SetHandleInformation(out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  } else {
    out = OpenInheritable(outPath, true);
  }
  HANDLE err = errPath.empty() ? ::GetStdHandle(STD_ERROR_HANDLE) : OpenInheritable(errPath, true);

  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW),
                       .dwFlags = STARTF_USESTDHANDLES,
                       .hStdInput = in,
                       .hStdOutput = out,
                       .hStdError = err};
  PROCESS_INFORMATION info{};
  // Its own process group, so that Ctrl-Break reaches it and not the test.
  started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                              CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info) != 0;
  if (started_) {
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    ::CloseHandle(info.hThread);
  }
  ::CloseHandle(in);
  ::CloseHandle(out);
  if (!errPath.empty()) ::CloseHandle(err);
}

ChildProcess::~ChildProcess() {
  if (started_ && !waited_) {
    ::TerminateProcess(process_, 1);
    Wait();
  }
  if (process_) ::CloseHandle(process_);
  if (outRead_) ::CloseHandle(outRead_);
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

std::optional<std::string> FullDevice() {
  if (::access("/dev/full", W_OK) != 0) return std::nullopt;
  return "/dev/full";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outPath, const std::string& errPath) {
  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outPath.empty()) {
    if (::pipe(pipeFds) == 0) {
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
      posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
      posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    }
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!errPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  started_ = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  pid_ = pid;
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
