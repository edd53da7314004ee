#pragma once

// Runs the pieces of a round on the calling thread and one helper thread. Pieces are claimed one
// at a time, and the caller claims too: when the scheduler keeps the helper waiting (a loaded
// machine), the caller simply formats every piece itself instead of waiting for it. The caller
// waits only for a piece the helper has already claimed.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace zemlo {

class PieceTeam {
 public:
  // `piece` is called with the index of each piece, on either thread; it must not throw.
  explicit PieceTeam(std::function<void(std::size_t)> piece);
  ~PieceTeam();
  PieceTeam(const PieceTeam&) = delete;
  PieceTeam& operator=(const PieceTeam&) = delete;

  // Calls `piece` once for each of 0..count-1 and returns when every call has returned. What the
  // calls wrote is the caller's afterwards.
  void Run(std::size_t count);

 private:
  // Claims and runs pieces of `round` until none is left; returns how many it ran.
  std::size_t Work(std::uint32_t round, std::size_t count);
  void Help();

  std::function<void(std::size_t)> piece_;
  // The round number in the high half, the next unclaimed piece in the low half: a claim can
  // never take a piece of a later round than the one it was made for.
  std::atomic<std::uint64_t> claims_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t round_ = 0;
  std::size_t count_ = 0;
  std::size_t done_ = 0;
  bool stopping_ = false;
  std::thread helper_;  // last: starts after every member it reads exists
};

}  // namespace zemlo
