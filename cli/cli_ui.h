// The UI port on a terminal: message boxes go to standard error as "CAPTION: TEXT", list lines to
// standard output, file dialogs are answered from the command line, and the progress bar is drawn
// on standard error while it is a terminal.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "link/ui_port.h"

namespace zemlo::cli {

class CliUi final : public UiPort {
 public:
  CliUi(std::FILE* out = stdout, std::FILE* err = stderr);

  // What the file dialogs answer: the FILE argument and the -o FILE argument.
  void SetOpenFile(std::optional<std::string> path) { openFile_ = std::move(path); }
  void SetSaveFile(std::optional<std::string> path) { saveFile_ = std::move(path); }
  // The list position the dialog would have selected (-1 for none).
  void SetSelection(int index) { selection_ = index; }
  // Where standard error is no terminal, a line "progress: N%" per percent (the bar otherwise).
  void SetProgressLines(bool on) { progressLines_ = on; }
  // An extra detail line for a failed connect ("USB ERROR"); empty for none.
  void SetConnectFailureHint(std::string hint) {
    std::lock_guard lock(mutex_);
    connectHint_ = std::move(hint);
  }

  // True once a message box with any caption but "Done." has been shown.
  bool failureShown() const { return failureShown_; }
  bool quitRequested() const { return quitRequested_; }

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   MessageOwner owner, const std::string& detail) override;
  std::optional<std::string> ChooseOpenFile(const FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(const FileRequest& request) override;
  // A command made of many operations (a scan reads memory in hundreds of dumps) shows one
  // progress display of its own: while held, the operations' progress calls are not shown, and
  // the command draws through the Held calls.
  void HoldProgress(bool held);
  void HeldProgressRange(uint32_t high);
  void HeldProgressAdvance(uint32_t steps);

  void ProgressSetRange(uint32_t low, uint32_t high) override;
  void ProgressSetStep(uint32_t step) override;
  void ProgressStep() override;
  void ListInsert(int position, const std::string& line) override;
  void ListClear() override;
  int ListSelection() override { return selection_; }
  void RequestQuit(int exitCode) override;

 private:
  void DrawProgress(bool final);
  void SetRangeLocked(uint32_t high);
  void StepLocked();

  std::FILE* out_;
  std::FILE* err_;
  bool progressOnTerminal_;
  std::mutex mutex_;
  std::optional<std::string> openFile_;
  std::optional<std::string> saveFile_;
  std::atomic<int> selection_{-1};
  std::atomic<bool> failureShown_{false};
  std::atomic<bool> quitRequested_{false};
  uint32_t progressHigh_ = 0;
  uint32_t progressStep_ = 1;
  uint64_t progressValue_ = 0;
  double progressStart_ = 0;
  double progressLastDraw_ = 0;
  bool progressDrawn_ = false;
  bool progressLines_ = false;
  bool progressHeld_ = false;
  bool outGone_ = false;  // standard output failed (a closed pipe): list lines are dropped
  int64_t lastPercentLine_ = -1;
  std::string connectHint_;
  uint64_t startBytes_ = 0;
};

}  // namespace zemlo::cli
