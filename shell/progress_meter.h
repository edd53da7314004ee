// Rate and time left of a transfer, smoothed over samples so that the figures settle instead of
// jumping with every packet, and the line a progress display shows from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zemlo::shell {

class ProgressMeter {
 public:
  // A new transfer starting at `position` (in steps) at time `nowMs`.
  void Start(int64_t nowMs, int64_t position);
  void Update(int64_t nowMs, int64_t position);

  // Steps per second; nothing until a first sample period has passed.
  std::optional<double> rate() const { return rate_; }
  std::optional<int64_t> SecondsLeft(int64_t stepsLeft) const;

 private:
  int64_t sampleMs_ = 0;
  int64_t samplePosition_ = 0;
  std::optional<double> rate_;
};

struct ProgressFigures {
  int64_t done = 0;   // steps
  int64_t total = 0;  // steps
  uint32_t stepBytes = 0;
  std::optional<double> rate;  // steps per second
  std::optional<int64_t> secondsLeft;
};

// "42% · 10.1 of 24.0 MiB · 2.0 MB/s · 0:07 left"; counts in steps where their size is unknown.
std::string ProgressLine(const ProgressFigures& figures);

}  // namespace zemlo::shell
