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
  std::vector<uint8_t> chunk;
  {
    std::unique_lock lock(mutex_);
    if (bufferedBytes_ >= kMaxBufferedBytes) {
      feederWaiting_ = true;
      space_.wait(lock, [&] { return bufferedBytes_ < kMaxBufferedBytes; });
      feederWaiting_ = false;
    }
    bufferedBytes_ += size;
    if (!spare_.empty()) {
      chunk = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  // Copied outside the lock, into a buffer that held an earlier chunk: fresh memory for every
  // packet cost a page fault per page, which took more time than the copy.
  chunk.assign(data, data + size);
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    chunks_.push_back(std::move(chunk));
    wake = idleLanes_ > 0;
  }
  if (wake) work_.notify_all();
}

void StreamHasher::RunLane(Lane& lane) {
  std::vector<const std::vector<uint8_t>*> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!ended_ && lane.next == firstChunk_ + chunks_.size()) {
      ++idleLanes_;
      work_.wait(lock, [&] { return ended_ || lane.next < firstChunk_ + chunks_.size(); });
      --idleLanes_;
    }
    if (lane.next >= firstChunk_ + chunks_.size()) return;  // ended, and all hashed
    // Everything fed so far in one go, so the lock and the wake-ups are per batch, not per
    // packet. Chunks are only dropped once every lane has passed them, so these stay put while
    // the lock is released; a deque's elements do not move when others are added at its back.
    batch.clear();
    for (uint64_t at = lane.next; at < firstChunk_ + chunks_.size(); ++at) {
      batch.push_back(&chunks_[at - firstChunk_]);
    }
    lock.unlock();
    for (const std::vector<uint8_t>* chunk : batch)
      lane.state->Update(chunk->data(), chunk->size());
    lock.lock();
    lane.next += batch.size();
    DropHashedChunks();
  }
}

void StreamHasher::DropHashedChunks() {
  uint64_t slowest = UINT64_MAX;
  for (const Lane& lane : lanes_) slowest = std::min(slowest, lane.next);
  bool dropped = false;
  while (firstChunk_ < slowest && !chunks_.empty()) {
    bufferedBytes_ -= chunks_.front().size();
    if (spare_.size() < kSpareChunks) spare_.push_back(std::move(chunks_.front()));
    chunks_.pop_front();
    ++firstChunk_;
    dropped = true;
  }
  if (dropped && feederWaiting_) space_.notify_all();
}

Digests StreamHasher::Finish() {
  Stop();
  Digests digests;
  for (Lane& lane : lanes_) lane.state->Finish(digests);
  return digests;
}

}  // namespace zemlo
