#include "link/exchange_claim.h"

#include <atomic>

namespace zemlo {
namespace {
std::atomic<bool> g_linkClaimed{false};
}  // namespace

ExchangeClaim ExchangeClaim::TryClaim() {
  bool expected = false;
  return ExchangeClaim(g_linkClaimed.compare_exchange_strong(expected, true));
}

ExchangeClaim::ExchangeClaim(ExchangeClaim&& other) noexcept : held_(other.held_) {
  other.held_ = false;
}

ExchangeClaim::~ExchangeClaim() {
  if (held_) g_linkClaimed.store(false);
}

bool LinkInUse() {
  return g_linkClaimed.load();
}

}  // namespace zemlo
