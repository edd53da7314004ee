#include "live/background_refresh.h"

#include <utility>

namespace zemlo::live {

bool BackgroundRefresh::Begin(const WatchList& list, std::function<void()> finished) {
  if (thread_.Running()) return false;
  thread_.Join();
  copy_ = list;
  return thread_.Begin([this] { outcome_ = copy_.RefreshClaimed(); }, std::move(finished)) ==
         OperationThread::Start::Started;
}

std::optional<RefreshOutcome> BackgroundRefresh::Apply(WatchList& list) {
  thread_.Join();
  if (copy_.entries() != list.entries() || copy_.structs() != list.structs()) return std::nullopt;
  list = std::move(copy_);
  copy_ = WatchList();
  return outcome_;
}

}  // namespace zemlo::live
