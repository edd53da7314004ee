#include "disc/rvz_compressor.h"

#include <algorithm>

namespace zemlo::disc {

size_t RvzWorkerCount() {
  return std::max(1u, std::thread::hardware_concurrency());
}

RvzCompressor::RvzCompressor(size_t workers, size_t limit, Encode encode, Write write)
    : limit_(std::max<size_t>(limit, 1)), encode_(std::move(encode)), write_(std::move(write)) {
  for (size_t worker = 0; worker < std::max<size_t>(workers, 1); ++worker) {
    threads_.emplace_back([this, worker] { Work(worker); });
  }
}

RvzCompressor::~RvzCompressor() {
  Stop(true);
}

RvzGroup RvzCompressor::Recycled() {
  const std::lock_guard lock(mutex_);
  if (recycled_.empty()) return {};
  RvzGroup group = std::move(recycled_.back());
  recycled_.pop_back();
  return group;
}

bool RvzCompressor::Submit(RvzGroup group) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || onTheirWay_ < limit_; });
  if (failed_) return false;
  slots_.push_back({std::move(group)});
  ++onTheirWay_;
  ++queued_;
  changed_.notify_all();
  return true;
}

bool RvzCompressor::Stop(bool abandon) {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
    abandoned_ = abandoned_ || abandon;
    changed_.notify_all();
  }
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  const std::lock_guard lock(mutex_);
  return !failed_;
}

void RvzCompressor::Work(size_t worker) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return abandoned_ || failed_ || queued_ > 0 || closing_; });
    if (abandoned_ || failed_ || queued_ == 0) return;
    // Groups are taken in order: the ones nobody has taken are the last `queued_`.
    Slot& slot = slots_[slots_.size() - queued_--];
    lock.unlock();
    const bool ok = encode_(slot.group, worker);
    lock.lock();
    slot.encoded = true;
    if (!ok) {
      failed_ = true;
      changed_.notify_all();
      return;
    }
    WriteReady(lock);
  }
}

void RvzCompressor::WriteReady(std::unique_lock<std::mutex>& lock) {
  // Whoever finishes a group writes the run ready at the front; one writer at a time, and the
  // one writing re-checks the front after each group, so none is left behind.
  if (writing_) return;
  writing_ = true;
  while (!failed_ && !abandoned_ && !slots_.empty() && slots_.front().encoded) {
    RvzGroup group = std::move(slots_.front().group);
    slots_.pop_front();
    lock.unlock();
    const bool ok = write_(group);
    lock.lock();
    failed_ = failed_ || !ok;
    --onTheirWay_;
    // Kept for Recycled, no more than can be on their way, whoever submits without taking one.
    if (recycled_.size() < limit_) recycled_.push_back(std::move(group));
    changed_.notify_all();
  }
  writing_ = false;
}

}  // namespace zemlo::disc
