// Hashes a dump beside its stream: the worker hands each accepted packet over and goes on
// reading; two hashing threads (MD5 on one, SHA-1 and CRC-32 on the other, so the slowest sum
// has a core of its own) catch up behind it. The worker waits only when the hashing threads fall
// more than kMaxBufferedBytes behind, which keeps memory bounded should the disk be faster than
// the sums.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "extract/digests.h"

namespace zemlo {

class StreamHasher {
 public:
  static constexpr size_t kMaxBufferedBytes = 16u << 20;

  StreamHasher();
  // Ends and joins the threads; the sums are then discarded unless Finish was called.
  ~StreamHasher();
  StreamHasher(const StreamHasher&) = delete;
  StreamHasher& operator=(const StreamHasher&) = delete;

  // Copies the bytes; they are hashed after every byte fed before them.
  void Feed(const uint8_t* data, size_t size);
  // Waits until every fed byte is hashed and returns the sums. Call once.
  Digests Finish();

 private:
  struct Lane {
    std::unique_ptr<DigestState> state;
    uint64_t next = 0;  // sequence number of the next chunk this lane hashes
    std::thread thread;
  };

  void RunLane(Lane& lane);
  void DropHashedChunks();  // with mutex_ held
  void Stop();

  std::mutex mutex_;
  std::condition_variable work_;   // a chunk was added, or the stream ended
  std::condition_variable space_;  // a chunk was hashed by every lane
  std::deque<std::vector<uint8_t>> chunks_;
  // Buffers of hashed chunks kept for the next ones: enough to cover kMaxBufferedBytes in
  // packets, so a steady stream allocates nothing.
  static constexpr size_t kSpareChunks = 320;
  std::vector<std::vector<uint8_t>> spare_;
  uint64_t firstChunk_ = 0;  // sequence number of chunks_.front()
  size_t bufferedBytes_ = 0;
  bool ended_ = false;
  int idleLanes_ = 0;           // lanes waiting for work_
  bool feederWaiting_ = false;  // Feed waiting for space_
  std::vector<Lane> lanes_;
};

}  // namespace zemlo
