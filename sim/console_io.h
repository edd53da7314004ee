// The console side of the byte link, as the console-side program sees it: blocking reads and
// writes that fail only when the link has gone away. Handlers of the simulated console are
// written against this, so they run the same over the in-process channel and over TCP.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace zemlo::sim {

class ConsoleIo {
 public:
  virtual ~ConsoleIo() = default;
  // Waits until `count` bytes have come from the client. False when the link closed first.
  virtual bool Read(void* buffer, size_t count) = 0;
  // False when the link has closed.
  virtual bool Write(const void* buffer, size_t count) = 0;
  // The link has closed or the server stops: nothing written from now on arrives. Asked from any
  // thread, so that long work (a disc's set-up) can give up early.
  virtual bool Gone() { return false; }
  // The console takes this long before its next step (a drive retrying, a slowed console). A link
  // that keeps its own clock for the console counts it there too.
  virtual void Pause(std::chrono::microseconds duration) { std::this_thread::sleep_for(duration); }
};

}  // namespace zemlo::sim
