// The figures a progress display reads: a smoothed rate, the time left from it, and the line.
#include "shell/progress_meter.h"

#include <gtest/gtest.h>

namespace zemlo::shell {
namespace {

TEST(ProgressMeterTest, SmoothsTheRateAndCountsTimeLeftFromIt) {
  ProgressMeter meter;
  meter.Start(1000, 0);
  meter.Update(1100, 50);  // too soon for a sample
  EXPECT_FALSE(meter.rate());
  meter.Update(1500, 100);  // 200 steps/s
  EXPECT_DOUBLE_EQ(*meter.rate(), 200.0);
  meter.Update(2000, 300);  // 400 steps/s moves the rate only part of the way
  EXPECT_DOUBLE_EQ(*meter.rate(), 260.0);
  EXPECT_EQ(meter.SecondsLeft(520), 2);
  EXPECT_EQ(meter.SecondsLeft(521), 3);
  meter.Start(5000, 0);
  EXPECT_FALSE(meter.SecondsLeft(10));
}

TEST(ProgressMeterTest, LineShowsPercentBytesRateAndTimeLeft) {
  const struct {
    ProgressFigures figures;
    const char* line;
  } cases[] = {
      {{0, 0, 4096, {}, {}}, ""},
      {{3, 12, 0x8000, {}, {}}, "25% \xB7 96.0 KiB of 384.0 KiB"},
      {{16, 384, 0x10000, 32.0, 3725},
       "4% \xB7 1.0 MiB of 24.0 MiB \xB7 2.0 MiB/s \xB7 1:02:05 left"},
      {{7, 10, 0, 1.5, 2}, "70% \xB7 7 of 10 \xB7 1.5/s \xB7 0:02 left"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLine(c.figures), c.line);
}

}  // namespace
}  // namespace zemlo::shell
