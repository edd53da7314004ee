// The end of a driver wait: a read or write time-out measured from the start of the call.
#pragma once

#include <chrono>
#include <cstdint>

namespace zemlo {

class Deadline {
 public:
  explicit Deadline(uint32_t timeoutMs)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

  // Milliseconds left, rounded up so that a wait never ends just before the deadline; 0 once
  // it has passed.
  int RemainingMs() const {
    const auto left = end_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  }

  bool Passed() const { return std::chrono::steady_clock::now() >= end_; }

 private:
  std::chrono::steady_clock::time_point end_;
};

}  // namespace zemlo
