#include "shell/parent_console.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace zemlo::shell {

#ifdef _WIN32

namespace {

bool g_attached = false;

// A stream the shell redirected to a file or a pipe already has a handle, and stays with it.
bool LeadsSomewhere(DWORD stream) {
  const HANDLE handle = ::GetStdHandle(stream);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void AttachParentConsole() {
  const bool out = LeadsSomewhere(STD_OUTPUT_HANDLE);
  const bool err = LeadsSomewhere(STD_ERROR_HANDLE);
  if ((out && err) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  g_attached = true;
  if (!out) std::freopen("CONOUT$", "w", stdout);
  if (!err) std::freopen("CONOUT$", "w", stderr);
}

void ReleaseParentConsole() {
  if (!g_attached) return;
  std::fflush(stdout);
  std::fflush(stderr);
  ::FreeConsole();
  g_attached = false;
}

#else

void AttachParentConsole() {}
void ReleaseParentConsole() {}

#endif

}  // namespace zemlo::shell
