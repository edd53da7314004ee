// The locked watch entries, kept where a long exchange can reach them: a scan holds the link
// for many seconds, and a lock that waited for it would let the value drift. The scan calls
// KeepDue between its chunks, so the locks are written at their interval all the same.
#pragma once

#include <chrono>
#include <mutex>

#include "live/watch_list.h"

namespace zemlo::live {

class LockKeeper {
 public:
  using Clock = std::chrono::steady_clock;

  // The one keeper of the process: the watch window publishes to it, scans call it.
  static LockKeeper& Instance();

  // Takes the locked entries of `list` (the others are dropped). Safe from any thread.
  void Publish(const WatchList& list);
  void SetInterval(std::chrono::milliseconds interval);

  // With the exchange claim held: reads the locked entries and writes back those that drifted,
  // when the interval has passed since the last time. False when the console did not answer.
  bool KeepDue(Clock::time_point now = Clock::now());
  bool empty();

 private:
  std::mutex mutex_;
  WatchList locks_;
  std::chrono::milliseconds interval_{100};
  Clock::time_point last_{};
};

}  // namespace zemlo::live
