// The console answers one conversation at a time, so every exchange that may overlap another (a
// dialog's operation run off the UI thread, a live refresh on a timer, an extraction worker)
// claims the link first. A claim is never waited for: a caller that finds the link in use skips
// or refuses its exchange, so a busy console cannot stall the user interface.
#pragma once

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

}  // namespace zemlo
