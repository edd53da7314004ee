#include "link/exchange_claim.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace zemlo {
namespace {
std::atomic<bool> g_linkClaimed{false};
// Only for WaitUntilLinkFree; a claim is taken without them. Claims change per operation, not
// per packet, so the lock on release costs nothing that matters.
std::mutex g_releaseMutex;
std::condition_variable g_released;
}  // namespace

ExchangeClaim ExchangeClaim::TryClaim() {
  bool expected = false;
  return ExchangeClaim(g_linkClaimed.compare_exchange_strong(expected, true));
}

ExchangeClaim::ExchangeClaim(ExchangeClaim&& other) noexcept : held_(other.held_) {
  other.held_ = false;
}

ExchangeClaim::~ExchangeClaim() {
  if (!held_) return;
  {
    // Under the mutex, so that a waiter between its check and its sleep cannot miss the release.
    const std::lock_guard lock(g_releaseMutex);
    g_linkClaimed.store(false);
  }
  g_released.notify_all();
}

bool LinkInUse() {
  return g_linkClaimed.load();
}

bool WaitUntilLinkFree(std::chrono::milliseconds timeout) {
  std::unique_lock lock(g_releaseMutex);
  return g_released.wait_for(lock, timeout, [] { return !g_linkClaimed.load(); });
}

}  // namespace zemlo
