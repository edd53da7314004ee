#include "link/terminal.h"

#include <atomic>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#include <csignal>
#endif

namespace zemlo {
namespace {

std::atomic<void (*)()> g_handler{nullptr};
static_assert(std::atomic<void (*)()>::is_always_lock_free);

#ifdef _WIN32

std::atomic<bool> g_alsoTerminate{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  // Ctrl-Break is the interrupt that can be sent to one process group (as scripts and tests do).
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  const bool terminate = event == CTRL_CLOSE_EVENT;
  void (*handler)() = g_handler.load();
  if (!handler || !(interrupt || (terminate && g_alsoTerminate))) return FALSE;
  handler();
  return TRUE;
}

#else

struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

extern "C" void OnSignal(int) {
  if (void (*handler)() = g_handler.load()) handler();
}

#endif

}  // namespace

InterruptGuard::InterruptGuard(void (*handler)(), bool alsoTerminate)
    : alsoTerminate_(alsoTerminate) {
  g_handler = handler;
#ifdef _WIN32
  g_alsoTerminate = alsoTerminate;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previousInt);
  if (alsoTerminate) sigaction(SIGTERM, &action, &g_previousTerm);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
#else
  sigaction(SIGINT, &g_previousInt, nullptr);
  if (alsoTerminate_) sigaction(SIGTERM, &g_previousTerm, nullptr);
#endif
  g_handler = nullptr;
}

void UseBinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

void IgnoreBrokenPipe() {
#ifndef _WIN32
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
#endif
}

bool IsEscapeCapableTerminal(std::FILE* stream) {
#ifdef _WIN32
  if (!_isatty(_fileno(stream))) return false;
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (!::GetConsoleMode(console, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
  return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace zemlo
