#include "shell/progress_meter.h"

#include <cmath>
#include <cstdio>

namespace zemlo::shell {
namespace {

// Shorter periods let a single slow packet swing the figures.
constexpr int64_t kSampleMs = 250;
// Weight of the newest period in the smoothed rate.
constexpr double kNewWeight = 0.3;

std::string Format(const char* format, auto... values) {
  char text[64];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Amount(double bytes) {
  if (bytes >= 1024.0 * 1024.0) return Format("%.1f MiB", bytes / (1024.0 * 1024.0));
  if (bytes >= 1024.0) return Format("%.1f KiB", bytes / 1024.0);
  return Format("%.0f bytes", bytes);
}

std::string Duration(int64_t seconds) {
  if (seconds >= 3600)
    return Format("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return Format("%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
}

}  // namespace

void ProgressMeter::Start(int64_t nowMs, int64_t position) {
  sampleMs_ = nowMs;
  samplePosition_ = position;
  rate_.reset();
}

void ProgressMeter::Update(int64_t nowMs, int64_t position) {
  const int64_t elapsed = nowMs - sampleMs_;
  if (elapsed < kSampleMs) return;
  const double latest = double(position - samplePosition_) * 1000.0 / double(elapsed);
  rate_ = rate_ ? *rate_ + kNewWeight * (latest - *rate_) : latest;
  sampleMs_ = nowMs;
  samplePosition_ = position;
}

std::optional<int64_t> ProgressMeter::SecondsLeft(int64_t stepsLeft) const {
  if (!rate_ || *rate_ <= 0.0) return std::nullopt;
  return static_cast<int64_t>(std::ceil(double(stepsLeft) / *rate_));
}

std::string ProgressLine(const ProgressFigures& figures) {
  if (figures.total <= 0) return {};
  std::string line = Format("%lld%%", static_cast<long long>(figures.done * 100 / figures.total));
  if (figures.stepBytes != 0) {
    const double bytes = figures.stepBytes;
    line += " \xB7 " + Amount(double(figures.done) * bytes) + " of " +
            Amount(double(figures.total) * bytes);
    if (figures.rate) line += " \xB7 " + Amount(*figures.rate * bytes) + "/s";
  } else {
    line += Format(" \xB7 %lld of %lld", static_cast<long long>(figures.done),
                   static_cast<long long>(figures.total));
    if (figures.rate) line += Format(" \xB7 %.1f/s", *figures.rate);
  }
  if (figures.secondsLeft) line += " \xB7 " + Duration(*figures.secondsLeft) + " left";
  return line;
}

}  // namespace zemlo::shell
