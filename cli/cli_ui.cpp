#include "cli/cli_ui.h"

#include <algorithm>
#include <chrono>

#include "debugger/memory_ops.h"
#include "protocol/upload.h"

#include "link/link.h"
#include "link/terminal.h"

namespace zemlo::cli {
namespace {

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

constexpr char kDoneCaption[] = "Done.";
constexpr char kConnectFailureCaption[] = "USB ERROR";

constexpr char kEightDigits[] = "exactly 8 hexadecimal digits are needed, e.g. 80003100 (no 0x)";

// Help for fixed messages that leave a newcomer guessing.
struct ExtraDetailEntry {
  const char* text;
  const char* detail;
};
constexpr ExtraDetailEntry kExtraDetails[] = {
    {kMsgMemoryAddressSize, kEightDigits},
    {kMsgUploadAddressSize, kEightDigits},
    {kMsgPokeValueSize, "exactly 8 hexadecimal digits are needed, e.g. 0000FFFF (no 0x)"},
};

std::string ExtraDetail(const std::string& text) {
  for (const ExtraDetailEntry& entry : kExtraDetails)
    if (text == entry.text) return entry.detail;
  return {};
}

}  // namespace

CliUi::CliUi(std::FILE* out, std::FILE* err)
    : out_(out), err_(err), progressOnTerminal_(IsEscapeCapableTerminal(err)) {}

void CliUi::ShowMessage(const std::string& text, const std::string& caption, MessageIcon,
                        MessageOwner, const std::string& given) {
  std::lock_guard lock(mutex_);
  if (progressDrawn_) {
    std::fputs("\r\033[K", err_);
    progressDrawn_ = false;
  }
  std::fflush(out_);
  std::fprintf(err_, "%s: %s\n", caption.c_str(), text.c_str());
  std::string detail = given;
  const std::string extra = caption == kConnectFailureCaption ? connectHint_ : ExtraDetail(text);
  if (!extra.empty()) detail += (detail.empty() ? "" : "\n") + extra;
  // Each line of the detail on a line of its own, so scripts can tell it from the fixed text.
  std::size_t start = 0;
  while (start < detail.size()) {
    std::size_t end = detail.find('\n', start);
    if (end == std::string::npos) end = detail.size();
    std::fprintf(err_, "detail: %.*s\n", static_cast<int>(end - start), detail.data() + start);
    start = end + 1;
  }
  std::fflush(err_);
  if (caption != kDoneCaption) failureShown_ = true;
}

std::optional<std::string> CliUi::ChooseOpenFile(const FileRequest&) {
  std::lock_guard lock(mutex_);
  return openFile_;
}

std::optional<std::string> CliUi::ChooseSaveFile(const FileRequest&) {
  std::lock_guard lock(mutex_);
  return saveFile_;
}

void CliUi::HoldProgress(bool held) {
  std::lock_guard lock(mutex_);
  progressHeld_ = held;
}

void CliUi::HeldProgressRange(uint32_t high) {
  std::lock_guard lock(mutex_);
  SetRangeLocked(high);
}

void CliUi::HeldProgressAdvance(uint32_t steps) {
  std::lock_guard lock(mutex_);
  progressStep_ = steps;
  StepLocked();
}

void CliUi::ProgressSetRange(uint32_t, uint32_t high) {
  std::lock_guard lock(mutex_);
  if (!progressHeld_) SetRangeLocked(high);
}

void CliUi::SetRangeLocked(uint32_t high) {
  if (progressDrawn_ && high == 0) {
    DrawProgress(true);
    std::fputs("\n", err_);
    progressDrawn_ = false;
  }
  progressHigh_ = high;
  progressValue_ = 0;
  progressStart_ = Now();
  progressLastDraw_ = 0;
  lastPercentLine_ = -1;
  startBytes_ = g_linkBytesTotal;
}

void CliUi::ProgressSetStep(uint32_t step) {
  std::lock_guard lock(mutex_);
  if (!progressHeld_) progressStep_ = step;
}

void CliUi::ProgressStep() {
  std::lock_guard lock(mutex_);
  if (!progressHeld_) StepLocked();
}

void CliUi::StepLocked() {
  progressValue_ += progressStep_;
  if (progressHigh_ == 0) return;
  if (!progressOnTerminal_) {
    const int64_t percent =
        int64_t(std::min<uint64_t>(progressValue_, progressHigh_) * 100 / progressHigh_);
    if (progressLines_ && percent != lastPercentLine_) {
      lastPercentLine_ = percent;
      std::fprintf(err_, "progress: %lld%%\n", static_cast<long long>(percent));
      std::fflush(err_);
    }
    return;
  }
  const double now = Now();
  if (now - progressLastDraw_ < 0.1 && progressValue_ < progressHigh_) return;
  progressLastDraw_ = now;
  DrawProgress(false);
}

void CliUi::DrawProgress(bool) {
  if (!progressOnTerminal_ || progressHigh_ == 0) return;
  const double fraction =
      std::min(1.0, static_cast<double>(progressValue_) / static_cast<double>(progressHigh_));
  const double elapsed = std::max(1e-6, Now() - progressStart_);
  const double rate = static_cast<double>(g_linkBytesTotal - startBytes_) / elapsed;
  const double left = fraction > 0 ? elapsed * (1.0 - fraction) / fraction : 0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), ' ');
  const char* unit = "B/s";
  double shown = rate;
  if (shown >= 1024 * 1024) {
    shown /= 1024 * 1024;
    unit = "MiB/s";
  } else if (shown >= 1024) {
    shown /= 1024;
    unit = "KiB/s";
  }
  const auto seconds = static_cast<unsigned long>(left);
  std::fprintf(err_, "\r[%s] %3d%%  %7.1f %s  %lu:%02lu left\033[K", bar.c_str(),
               static_cast<int>(fraction * 100), shown, unit, seconds / 60, seconds % 60);
  std::fflush(err_);
  progressDrawn_ = true;
}

void CliUi::ListInsert(int, const std::string& line) {
  std::lock_guard lock(mutex_);
  if (progressDrawn_) {
    std::fputs("\r\033[K", err_);
    progressDrawn_ = false;
  }
  // Once the reader is gone the lines have nowhere to go; the operation itself goes on.
  if (outGone_) return;
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  // Each line reaches a pipe (`| tee log`) as it is listed, not when a block fills.
  if (std::fflush(out_) != 0 || std::ferror(out_)) outGone_ = true;
}

void CliUi::ListClear() {}

void CliUi::RequestQuit(int) {
  quitRequested_ = true;
}

}  // namespace zemlo::cli
