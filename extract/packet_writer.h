// Writes a dump's accepted packets on a thread of its own, so that the stream does not wait for
// the disk: the reader receives each packet straight into a slot of a ring, hands the slot over
// and answers the console at once; the writing thread takes every slot handed over so far and
// writes each run of consecutive ones with one call. The reader waits only when the ring is full,
// the writer only when it is empty, and each is woken only when the other actually waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zemlo {

class PacketWriter {
 public:
  // Takes the bytes in order; false when they could not be stored.
  using Sink = std::function<bool(const uint8_t* data, size_t count)>;

  // Slots hold `slotBytes` of data each; a slot may be filled `trailerBytes` further (a packet's
  // checksum), which spills into the next slot's space and is never written.
  PacketWriter(size_t slotBytes, size_t trailerBytes, Sink sink);
  // Writes what was handed over, then ends the thread.
  ~PacketWriter();
  PacketWriter(const PacketWriter&) = delete;
  PacketWriter& operator=(const PacketWriter&) = delete;

  // Allocates the ring and starts the thread; false when either could not be had.
  bool Start();

  // The slot to fill next, waiting while the ring is full; the same slot until it is committed.
  uint8_t* Slot();
  // Hands the slot over with its first `count` bytes (at most slotBytes) to be written.
  void Commit(size_t count);
  // Waits until everything handed over is written; false when a write failed. The writer takes
  // nothing more after a failure.
  bool Drain();
  // A write has failed (the reader should stop streaming).
  bool failed() const { return failed_.load(std::memory_order_acquire); }

  static constexpr size_t kSlots = 64;

 private:
  void Run();
  size_t FreeSlots() const { return kSlots - queued_ - writing_; }  // with mutex_ held

  const size_t slotBytes_;
  const size_t trailerBytes_;
  Sink sink_;
  std::unique_ptr<uint8_t[]> ring_;
  std::vector<size_t> counts_ = std::vector<size_t>(kSlots);
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable work_;   // slots were handed over, or the writer is told to end
  std::condition_variable space_;  // slots were written and are free again
  size_t next_ = 0;                // the slot the reader fills, by index
  size_t first_ = 0;               // the oldest slot handed over and not yet written
  size_t queued_ = 0;              // handed over, waiting for the writer
  size_t writing_ = 0;             // taken by the writer, being written
  bool writerIdle_ = false;
  bool readerWaiting_ = false;
  bool ending_ = false;
  std::atomic<bool> failed_{false};
};

}  // namespace zemlo
