#include "disasm/chunk_writer.h"

#include <cerrno>

namespace zemlo {

ChunkWriter::ChunkWriter(std::FILE* out, std::size_t chunk_bytes)
    : out_(out),
      buffers_{std::vector<char>(chunk_bytes), std::vector<char>(chunk_bytes)},
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
    const std::size_t size = pending_size_;
    lock.unlock();
    const bool ok = std::fwrite(data, 1, size, out_) == size;
    const int saved_errno = errno;
    lock.lock();
    if (!ok && !failed_) {
      failed_ = true;
      failure_errno_ = saved_errno;
    }
    pending_ = nullptr;
    changed_.notify_all();
  }
}

bool ChunkWriter::submit(std::size_t size) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  if (failed_) {
    errno = failure_errno_;
    return false;
  }
  if (size == 0) return true;
  pending_ = buffers_[current_].data();
  pending_size_ = size;
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
