// A watch-list refresh on a thread of its own, so that a window's event loop never waits for
// the console. The thread refreshes a copy of the list under the exchange claim; the owner takes
// the readings back on its own thread once told the refresh has finished.
#pragma once

#include <functional>
#include <optional>

#include "link/operation_thread.h"
#include "live/watch_list.h"

namespace zemlo::live {

class BackgroundRefresh {
 public:
  ~BackgroundRefresh() { thread_.Join(); }

  // Starts refreshing a copy of `list`. False (skip this turn) while the previous refresh runs
  // or another exchange holds the link. `finished` runs on the refreshing thread and must not
  // block: it tells the owner to call Apply.
  bool Begin(const WatchList& list, std::function<void()> finished);
  bool Running() const { return thread_.Running(); }

  // Waits for the refresh and gives `list` its readings. Nothing when the entries changed in
  // the meantime (an edit, a lock, an entry added): the next turn reads them anew.
  std::optional<RefreshOutcome> Apply(WatchList& list);

 private:
  OperationThread thread_;
  WatchList copy_;
  RefreshOutcome outcome_ = RefreshOutcome::Failed;
};

}  // namespace zemlo::live
