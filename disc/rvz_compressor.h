// The groups of an RVZ file made on a few threads at once: each group is encoded (packed and
// compressed) by whichever thread is free, and handed on to be written in the order it came, so
// the file is the same whatever the number of threads. At most `limit` groups are between
// Submit and the written file, which bounds the memory whatever the disc's size.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zemlo::disc {

// A group on its way: what the writer put in, and what encoding made of it for writing.
struct RvzGroup {
  uint64_t start = 0;               // on the disc, or in a Wii partition's plain data
  std::vector<uint8_t> bytes;       // the disc's bytes
  std::vector<uint64_t> ends;       // where padding may start within them
  std::vector<uint8_t> exceptions;  // a Wii partition's hash exception lists, serialized
  std::vector<uint8_t> stored;
  uint32_t sizeWord = 0;  // the group entry's stored size, with its compressed flag
  uint32_t packedSize = 0;
};

class RvzCompressor {
 public:
  // Runs on the pool's threads, several at once; `worker` (below `workers`) tells which, for state
  // of its own. False fails the file.
  using Encode = std::function<bool(RvzGroup& group, size_t worker)>;
  // Runs on one thread at a time, group after group in order. False fails the file.
  using Write = std::function<bool(const RvzGroup& group)>;

  RvzCompressor(size_t workers, size_t limit, Encode encode, Write write);
  // Drops what is still queued.
  ~RvzCompressor();
  RvzCompressor(const RvzCompressor&) = delete;
  RvzCompressor& operator=(const RvzCompressor&) = delete;

  // A group whose buffers a written group left behind, or a new one.
  RvzGroup Recycled();
  // Waits while `limit` groups are on their way; false once encoding or writing failed.
  bool Submit(RvzGroup group);
  // Lets every submitted group be written (or, abandoning, drops those not yet started), then
  // ends the threads; false when a group failed.
  bool Stop(bool abandon);

 private:
  struct Slot {
    RvzGroup group;
    bool encoded = false;  // ready to be written
  };

  void Work(size_t worker);
  // With the lock held: writes the groups at the front that are ready, unless another thread is.
  void WriteReady(std::unique_lock<std::mutex>& lock);

  const size_t limit_;
  const Encode encode_;
  const Write write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> slots_;  // in disc order; slots keep their place while others come and go
  size_t queued_ = 0;       // the last of slots_ that no thread has taken yet
  size_t onTheirWay_ = 0;   // slots_ plus the group being written
  std::vector<RvzGroup> recycled_;
  bool writing_ = false;
  bool closing_ = false;
  bool abandoned_ = false;
  bool failed_ = false;
  std::vector<std::thread> threads_;  // last: they use all of the above
};

// How many threads encode: the machine's cores, at least one.
size_t RvzWorkerCount();

}  // namespace zemlo::disc
