#include "disasm/chunk_writer.h"

#include <cerrno>
#include <memory>

namespace zemlo {

ChunkWriter::ChunkWriter(std::FILE* out, std::size_t chunk_bytes)
    : out_(out),
      buffers_{std::make_unique_for_overwrite<char[]>(chunk_bytes),
               std::make_unique_for_overwrite<char[]>(chunk_bytes)},
      thread_([this] { run(); }) {}

ChunkWriter::~ChunkWriter() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_ == nullptr; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ChunkWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ != nullptr || stopping_; });
    if (pending_ == nullptr) return;
    const char* data = pending_;
    lock.unlock();
    // The sizes stay put: the caller waits for pending_ to clear before it queues again.
    bool ok = true;
    int saved_errno = 0;
    for (const std::size_t size : pending_sizes_) {
      if (ok && size != 0 && std::fwrite(data, 1, size, out_) != size) {
        ok = false;
        saved_errno = errno;
      }
      data += pending_stride_;
    }
    lock.lock();
    if (!ok && !failed_) {
      failed_ = true;
      failure_errno_ = saved_errno;
    }
    pending_ = nullptr;
    changed_.notify_all();
  }
}

bool ChunkWriter::submit(std::span<const std::size_t> sizes, std::size_t stride) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  if (failed_) {
    errno = failure_errno_;
    return false;
  }
  bool empty = true;
  for (const std::size_t size : sizes) empty = empty && size == 0;
  if (empty) return true;
  pending_ = buffers_[current_].get();
  pending_sizes_.assign(sizes.begin(), sizes.end());
  pending_stride_ = stride;
  current_ ^= 1;
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool ChunkWriter::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  if (failed_) errno = failure_errno_;
  return !failed_;
}

}  // namespace zemlo
