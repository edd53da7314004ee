#include "extract/stream_hasher.h"

#include <algorithm>

namespace zemlo {

StreamHasher::StreamHasher() : lanes_(2) {
  lanes_[0].state = std::make_unique<DigestState>(DigestState::kMd5);
  lanes_[1].state = std::make_unique<DigestState>(DigestState::kSha1 | DigestState::kCrc32);
  for (Lane& lane : lanes_) lane.thread = std::thread(&StreamHasher::RunLane, this, std::ref(lane));
}

StreamHasher::~StreamHasher() {
  Stop();
}

void StreamHasher::Stop() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  work_.notify_all();
  for (Lane& lane : lanes_) {
    if (lane.thread.joinable()) lane.thread.join();
  }
}

void StreamHasher::Feed(const uint8_t* data, size_t size) {
  std::vector<uint8_t> chunk(data, data + size);
  {
    std::unique_lock lock(mutex_);
    space_.wait(lock, [&] { return bufferedBytes_ < kMaxBufferedBytes; });
    bufferedBytes_ += size;
    chunks_.push_back(std::move(chunk));
  }
  work_.notify_all();
}

void StreamHasher::RunLane(Lane& lane) {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return ended_ || lane.next < firstChunk_ + chunks_.size(); });
    if (lane.next >= firstChunk_ + chunks_.size()) return;  // ended, and all hashed
    // Chunks are only dropped once every lane has passed them, so this one stays put while the
    // lock is released; the deque's elements do not move when others are added at its back.
    const std::vector<uint8_t>& chunk = chunks_[lane.next - firstChunk_];
    lock.unlock();
    lane.state->Update(chunk.data(), chunk.size());
    lock.lock();
    ++lane.next;
    DropHashedChunks();
  }
}

void StreamHasher::DropHashedChunks() {
  uint64_t slowest = UINT64_MAX;
  for (const Lane& lane : lanes_) slowest = std::min(slowest, lane.next);
  bool dropped = false;
  while (firstChunk_ < slowest && !chunks_.empty()) {
    bufferedBytes_ -= chunks_.front().size();
    chunks_.pop_front();
    ++firstChunk_;
    dropped = true;
  }
  if (dropped) space_.notify_all();
}

Digests StreamHasher::Finish() {
  Stop();
  Digests digests;
  for (Lane& lane : lanes_) lane.state->Finish(digests);
  return digests;
}

}  // namespace zemlo
