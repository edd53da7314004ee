// The UI port of the desktop client. Message boxes and file dialogs are modal and block the
// calling thread until answered, also when a worker thread asks. Progress steps and list lines
// from a worker are queued instead: they reach the UI thread in order, in batches, so that a
// stream of hundreds of thousands of lines neither waits for the UI thread nor repaints per line.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/ui_port.h"
#include "shell/ui_sink.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace zemlo::shell {

// The box ShowMessage shows (unless a sink takes the message).
std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, const std::string& caption,
                                            MessageIcon icon, QWidget* owner,
                                            const std::string& detail);
// Gives the file dialog the room to show names, sizes, types and dates in full.
void FitFileDialog(QFileDialog& dialog);

class QtUi final : public QObject, public UiPort {
  Q_OBJECT

 public:
  // Create on the UI thread, after the QApplication.
  explicit QtUi(QObject* parent = nullptr);
  ~QtUi() override;

  void SetSink(UiSink* sink) { sink_ = sink; }
  void SetMainWindow(QWidget* window) { mainWindow_ = window; }

  // From now on nothing blocks: calls from other threads return at once with "cancel". Used when
  // the application is ending while a worker may still be talking.
  void BeginShutdown();

  // Applies what workers have queued so far (UI thread).
  void Flush();

  // The path last chosen for a file request key (empty when none yet).
  QString LastPath(const std::string& key) const {
    return lastPaths_.value(QString::fromStdString(key));
  }

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   MessageOwner owner, const std::string& detail) override;
  std::optional<std::string> ChooseOpenFile(const FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(const FileRequest& request) override;
  void ProgressSetRange(uint32_t low, uint32_t high) override;
  void ProgressSetStep(uint32_t step) override;
  void ProgressStep() override;
  void ProgressSetStepBytes(uint32_t bytes) override;
  void ListInsert(int position, const std::string& line) override;
  void ListClear() override;
  int ListSelection() override;
  void RequestQuit(int exitCode) override;

 private:
  struct Pending {
    enum Kind { kRange, kStepSize, kStep, kStepBytes, kInsert, kClear } kind;
    uint32_t a = 0;
    uint32_t b = 0;
    int position = 0;
    std::string line;
  };

  bool OnUiThread() const;
  // Runs `call` on the UI thread and waits for it; false when the application is ending.
  template <typename Call>
  bool RunOnUiThread(Call&& call);
  void Enqueue(Pending op);
  void ScheduledFlush();
  void Apply(std::vector<Pending>& ops);
  void ApplyOne(const Pending& op);
  std::optional<std::string> ChooseFile(const FileRequest& request, bool save);
  QWidget* OwnerWidget(MessageOwner owner) const;

  UiSink* sink_ = nullptr;
  QPointer<QWidget> mainWindow_;
  std::atomic<bool> shuttingDown_{false};

  std::mutex pendingMutex_;
  std::vector<Pending> pending_;
  bool flushScheduled_ = false;
  QTimer flushTimer_;
  QElapsedTimer lastFlush_;
  QElapsedTimer lastRepaint_;

  QHash<QString, QString> lastPaths_;
};

}  // namespace zemlo::shell
