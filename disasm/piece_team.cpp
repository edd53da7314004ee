#include "disasm/piece_team.h"

#include <utility>

namespace zemlo {

PieceTeam::PieceTeam(std::function<void(std::size_t)> piece)
    : piece_(std::move(piece)), helper_([this] { Help(); }) {}

PieceTeam::~PieceTeam() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

std::size_t PieceTeam::Work(std::uint32_t round, std::size_t count) {
  std::size_t ran = 0;
  std::uint64_t claim = claims_.load(std::memory_order_acquire);
  for (;;) {
    if ((claim >> 32) != round || (claim & 0xFFFFFFFFu) >= count) return ran;
    if (!claims_.compare_exchange_weak(claim, claim + 1, std::memory_order_acq_rel)) continue;
    piece_(static_cast<std::size_t>(claim & 0xFFFFFFFFu));
    ++ran;
    claim = claims_.load(std::memory_order_acquire);
  }
}

void PieceTeam::Run(std::size_t count) {
  std::uint32_t round = 0;
  {
    const std::lock_guard lock(mutex_);
    round = ++round_;
    count_ = count;
    done_ = 0;
    claims_.store(std::uint64_t{round} << 32, std::memory_order_release);
  }
  changed_.notify_one();
  const std::size_t ran = Work(round, count);
  std::unique_lock lock(mutex_);
  done_ += ran;
  changed_.wait(lock, [&] { return done_ == count; });
}

void PieceTeam::Help() {
  std::uint32_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || round_ != seen; });
    if (stopping_) return;
    seen = round_;
    const std::size_t count = count_;
    lock.unlock();
    const std::size_t ran = Work(seen, count);
    lock.lock();
    if (ran == 0) continue;
    done_ += ran;
    if (done_ == count_) changed_.notify_all();
  }
}

}  // namespace zemlo
