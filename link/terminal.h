// What a command-line program needs from the terminal it runs in, alike on POSIX and Windows:
// Ctrl-C, byte-exact standard streams, and whether escape codes may be drawn.
#pragma once

#include <cstdio>

namespace zemlo {

// While alive, Ctrl-C (and, with `alsoTerminate`, SIGTERM or the console window closing) calls
// `handler` instead of ending the process; the previous handling comes back afterwards. The
// handler runs in a signal handler on POSIX and on a thread of the system on Windows, so it may
// only set atomics or wake a net::Waker. One guard at a time.
class InterruptGuard {
 public:
  InterruptGuard(void (*handler)(), bool alsoTerminate);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  bool alsoTerminate_;
};

// Standard output and error write exactly the bytes given: no "\r\n" for "\n" on Windows.
void UseBinaryStandardStreams();

// A reader that goes away (`| head -1`) makes writes fail instead of ending the process, so that
// an operation under way still finishes its file and the program exits with its own status.
void IgnoreBrokenPipe();

// True when `stream` is a terminal that understands the ANSI escape codes of a progress line
// (switching a Windows console to them when it can).
bool IsEscapeCapableTerminal(std::FILE* stream);

}  // namespace zemlo
