// The tool dialogs' progress bar (control 1024) and the three things an operation does to it:
// set the range, set the step, step. A range of 0..0 shows an empty bar, as the operations use it
// to empty the bar when they end. A running bar reads percentage, bytes, rate and time left.
#pragma once

#include <cstdint>

class QProgressBar;
class QWidget;

namespace zemlo::shell {

inline constexpr int kProgressBarId = 1024;

// Creates the bar and puts it into the shared progress slot.
QProgressBar* MakeProgressBar(QWidget* dialog);

void SetProgressRange(QProgressBar& bar, uint32_t low, uint32_t high);
void SetProgressStepSize(QProgressBar& bar, uint32_t step);
void StepProgress(QProgressBar& bar, uint32_t times);
// Bytes per step for the bar's text; set before the range.
void SetProgressStepBytes(QProgressBar& bar, uint32_t bytes);

// The clock that rates and times left are measured by, in milliseconds (UI thread).
int64_t ProgressClockMs();

// Stops the clock that rates and times left are measured by, while a message box or a file
// choice waits for the user.
class ProgressClockPause {
 public:
  ProgressClockPause();
  ~ProgressClockPause();
  ProgressClockPause(const ProgressClockPause&) = delete;
  ProgressClockPause& operator=(const ProgressClockPause&) = delete;
};

// The position and range as the operations set them (the widget shows 0..0 as 0..1).
struct ProgressState {
  int64_t low = 0;
  int64_t high = 0;
  int64_t position = 0;
};
ProgressState ReadProgress(const QProgressBar& bar);

}  // namespace zemlo::shell
