#pragma once

// Writes large chunks to a stream on a thread of its own, so that the kernel's copy of one chunk
// overlaps the formatting of the next. Two buffers take turns: the caller fills one while the
// other is being written. A chunk may be handed over as pieces spaced evenly in the buffer, so
// that several threads can each fill a piece of their own.

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace zemlo {

class ChunkWriter {
 public:
  ChunkWriter(std::FILE* out, std::size_t chunk_bytes);
  ~ChunkWriter();  // waits for the write in flight
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;

  // The buffer to fill; holds chunk_bytes bytes.
  [[nodiscard]] char* buffer() { return buffers_[current_].get(); }

  // Queues the first `size` bytes of buffer() and switches to the other buffer, after waiting
  // for the previous chunk. False once any write has failed (errno then tells why).
  bool submit(std::size_t size) { return submit(std::span<const std::size_t>(&size, 1), 0); }
  // The same for pieces: piece i is sizes[i] bytes at buffer() + i * stride, written in order.
  bool submit(std::span<const std::size_t> sizes, std::size_t stride);

  // Waits for the chunk in flight; false if any write failed.
  bool finish();

 private:
  void run();

  std::FILE* out_;
  // Not zero-filled: every byte written out was formatted first, and clearing megabytes up
  // front costs a pass over them.
  std::unique_ptr<char[]> buffers_[2];
  int current_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  const char* pending_ = nullptr;  // chunk handed to the thread, null when it is idle
  std::vector<std::size_t> pending_sizes_;
  std::size_t pending_stride_ = 0;
  bool stopping_ = false;
  bool failed_ = false;
  int failure_errno_ = 0;
  std::thread thread_;  // last: starts after every member it reads exists
};

}  // namespace zemlo
