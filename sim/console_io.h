// The console side of the byte link, as the console-side program sees it: blocking reads and
// writes that fail only when the link has gone away. Handlers of the simulated console are
// written against this, so they run the same over the in-process channel and over TCP.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zemlo::sim {

class ConsoleIo {
 public:
  virtual ~ConsoleIo() = default;
  // Waits until `count` bytes have come from the client. False when the link closed first.
  virtual bool Read(void* buffer, size_t count) = 0;
  // False when the link has closed.
  virtual bool Write(const void* buffer, size_t count) = 0;
};

}  // namespace zemlo::sim
