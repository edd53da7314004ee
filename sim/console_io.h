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
  // Waits for one byte from the client; when it is `expected`, `data` goes out behind it at once,
  // as if written the moment the byte came (`sent` says whether it went). A link that can send it
  // without waking the console saves a hand-over per packet of a stream. False as Read and Write.
  virtual bool ReadThenWrite(uint8_t& byte, uint8_t expected, const void* data, size_t count,
                             bool& sent) {
    sent = false;
    if (!Read(&byte, 1)) return false;
    if (byte != expected) return true;
    sent = true;
    return Write(data, count);
  }
  // A stream's next packets, posted ahead: each goes out the moment the client answers `expected`
  // to the packet before it, without the console having to wake for it. The buffer stays the
  // console's to keep untouched until the packet after it has gone out (or the stream moved on).
  // False when this link does not post ahead; the console then uses ReadThenWrite.
  virtual bool Post(uint8_t, const void*, size_t) { return false; }
  // The oldest posted packet's fate, waiting for it if need be: `sent` when an `expected` answer
  // sent it; otherwise every posted packet is dropped. `byte` is the answer either way.
  // False when the link closed.
  virtual bool Settle(uint8_t& byte, bool& sent) {
    sent = false;
    return Read(&byte, 1);
  }
  // The console takes this long before its next step (a drive retrying, a slowed console). A link
  // that keeps its own clock for the console counts it there too.
  virtual void Pause(std::chrono::microseconds duration) { std::this_thread::sleep_for(duration); }
};

}  // namespace zemlo::sim
