// The console answers one conversation at a time, so every exchange that may overlap another (a
// dialog's operation run off the UI thread, a live refresh on a timer, an extraction worker)
// claims the link first. A claim is never waited for without bound: a caller that finds the link
// in use skips or refuses its exchange, or waits a moment for it, so a busy console cannot stall
// the user interface.
#pragma once

#include <chrono>

namespace zemlo {

class ExchangeClaim {
 public:
  // Claims the link when it is free; test the result with `held()`.
  static ExchangeClaim TryClaim();

  ExchangeClaim(ExchangeClaim&& other) noexcept;
  ExchangeClaim& operator=(ExchangeClaim&&) = delete;
  ExchangeClaim(const ExchangeClaim&) = delete;
  ExchangeClaim& operator=(const ExchangeClaim&) = delete;
  ~ExchangeClaim();

  bool held() const { return held_; }

 private:
  explicit ExchangeClaim(bool held) : held_(held) {}
  bool held_;
};

// True while any claim is held.
bool LinkInUse();

// Sleeps until no claim is held or `timeout` has passed; true when the link was seen free. For a
// caller that must keep its own loop turning: it waits in short slices and tries to claim after
// each (another thread may claim first).
bool WaitUntilLinkFree(std::chrono::milliseconds timeout);

}  // namespace zemlo
