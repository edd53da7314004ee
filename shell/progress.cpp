#include "shell/progress.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <algorithm>
#include <limits>

#include "shell/progress_meter.h"

#include "shell/control_id.h"
#include "shell/ui_slots.h"

namespace zemlo::shell {
namespace {

constexpr char kLow[] = "rangeLow";
constexpr char kHigh[] = "rangeHigh";
constexpr char kPosition[] = "rangePosition";
constexpr char kStep[] = "stepSize";
constexpr char kStepBytes[] = "stepBytes";

// Milliseconds that count for rates: message boxes stop the clock.
struct ActiveClock {
  QElapsedTimer since;
  int64_t pausedMs = 0;
  int pauses = 0;
  QElapsedTimer pausedSince;

  int64_t Now() {
    if (!since.isValid()) since.start();
    const int64_t paused = pauses > 0 ? pausedMs + pausedSince.elapsed() : pausedMs;
    return since.elapsed() - paused;
  }
};
ActiveClock g_clock;  // UI thread only

// The meter rides on the bar, so it goes with its dialog.
class BarMeter final : public QObject {
 public:
  using QObject::QObject;
  ProgressMeter meter;
};

BarMeter& MeterOf(QProgressBar& bar) {
  if (auto* found = bar.findChild<BarMeter*>(QString(), Qt::FindDirectChildrenOnly)) return *found;
  return *new BarMeter(&bar);
}

void ShowText(QProgressBar& bar, const ProgressState& state) {
  ProgressFigures figures;
  figures.done = state.position - state.low;
  figures.total = state.high - state.low;
  figures.stepBytes = uint32_t(bar.property(kStepBytes).toUInt());
  const ProgressMeter& meter = MeterOf(bar).meter;
  figures.rate = meter.rate();
  figures.secondsLeft = meter.SecondsLeft(state.high - state.position);
  const std::string line = ProgressLine(figures);
  bar.setTextVisible(!line.empty());
  bar.setFormat(QString::fromLatin1(line.data(), qsizetype(line.size())));
}

int ToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, std::numeric_limits<int>::max()));
}

void Show(QProgressBar& bar, const ProgressState& state) {
  if (state.high <= state.low) {
    bar.setRange(0, 1);  // 0..0 would make the widget an endless busy indicator
    bar.setValue(0);
    return;
  }
  bar.setRange(ToInt(state.low), ToInt(state.high));
  bar.setValue(ToInt(state.position));
}

void Store(QProgressBar& bar, const ProgressState& state) {
  bar.setProperty(kLow, qint64(state.low));
  bar.setProperty(kHigh, qint64(state.high));
  bar.setProperty(kPosition, qint64(state.position));
  Show(bar, state);
  ShowText(bar, state);
}

}  // namespace

QProgressBar* MakeProgressBar(QWidget* dialog) {
  auto* bar = Tag(new QProgressBar(dialog), kProgressBarId);
  bar->setTextVisible(false);
  bar->setMinimumHeight(20);
  Store(*bar, {});
  bar->setProperty(kStep, 10);  // the control's own default step
  SetProgressBar(bar);
  return bar;
}

ProgressState ReadProgress(const QProgressBar& bar) {
  return {bar.property(kLow).toLongLong(), bar.property(kHigh).toLongLong(),
          bar.property(kPosition).toLongLong()};
}

void SetProgressRange(QProgressBar& bar, uint32_t low, uint32_t high) {
  ProgressState state = ReadProgress(bar);
  state.low = low;
  state.high = high;
  state.position = std::clamp<int64_t>(state.position, low, std::max<int64_t>(low, high));
  MeterOf(bar).meter.Start(g_clock.Now(), state.position);
  Store(bar, state);
}

void SetProgressStepSize(QProgressBar& bar, uint32_t step) {
  bar.setProperty(kStep, qint64(step));
}

void StepProgress(QProgressBar& bar, uint32_t times) {
  ProgressState state = ReadProgress(bar);
  const int64_t step = bar.property(kStep).toLongLong();
  const int64_t span = state.high - state.low;
  state.position += step * times;
  // Stepping past the end starts the bar over, as the native control does.
  if (span > 0 && state.position > state.high)
    state.position = state.low + (state.position - state.low) % span;
  MeterOf(bar).meter.Update(g_clock.Now(), state.position);
  Store(bar, state);
}

void SetProgressStepBytes(QProgressBar& bar, uint32_t bytes) {
  bar.setProperty(kStepBytes, bytes);
}

int64_t ProgressClockMs() {
  return g_clock.Now();
}

ProgressClockPause::ProgressClockPause() {
  g_clock.Now();
  if (g_clock.pauses++ == 0) g_clock.pausedSince.start();
}

ProgressClockPause::~ProgressClockPause() {
  if (--g_clock.pauses == 0) g_clock.pausedMs += g_clock.pausedSince.elapsed();
}

}  // namespace zemlo::shell
