#include "live/lock_keeper.h"

namespace zemlo::live {

LockKeeper& LockKeeper::Instance() {
  static LockKeeper keeper;
  return keeper;
}

void LockKeeper::Publish(const WatchList& list) {
  WatchList locks;
  for (const WatchEntry& entry : list.entries())
    if (entry.locked) locks.entries().push_back(entry);
  const std::lock_guard guard(mutex_);
  locks_ = std::move(locks);
}

void LockKeeper::SetInterval(std::chrono::milliseconds interval) {
  const std::lock_guard guard(mutex_);
  interval_ = interval;
}

bool LockKeeper::empty() {
  const std::lock_guard guard(mutex_);
  return locks_.entries().empty();
}

bool LockKeeper::KeepDue(Clock::time_point now) {
  const std::lock_guard guard(mutex_);
  if (locks_.entries().empty() || now - last_ < interval_) return true;
  last_ = now;
  return locks_.RefreshClaimed() != RefreshOutcome::Failed;
}

}  // namespace zemlo::live
