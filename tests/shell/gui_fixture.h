// A main window on the offscreen platform with a fresh simulated console behind the link. Message
// boxes and file choices go to a capturing sink; dialogs run through the modal hook, each handled
// by the next body the test queued.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/main_window.h"
#include "shell/qt_ui.h"
#include "shell/tool_dialog.h"
#include "shell/ui_sink.h"
#include "sim/sim_adapter.h"
#include "tests/support/recording_ui.h"

class QAbstractButton;

namespace zemlo::shell::testing {

using Message = zemlo::testing::RecordedMessage;

// The port calls its sink on the UI thread only, as the tests read it.
class CapturingSink final : public UiSink {
 public:
  void Message(const std::string& text, const std::string& caption, MessageIcon icon,
               MessageOwner owner, const std::string& detail) override {
    messages_.push_back({text, caption, icon, owner, detail});
  }
  std::optional<std::string> OpenFile(const FileRequest&) override { return answer_; }
  std::optional<std::string> SaveFile(const FileRequest&) override { return answer_; }
  bool Quit(int exitCode) override {
    quits_.push_back(exitCode);
    return true;
  }

  std::vector<testing::Message> Take() { return std::exchange(messages_, {}); }
  void AnswerFiles(std::optional<std::string> path) { answer_ = std::move(path); }
  std::vector<int> quits() const { return quits_; }

 private:
  std::vector<testing::Message> messages_;
  std::optional<std::string> answer_;
  std::vector<int> quits_;
};

void EnsureApplication();

class GuiTest : public ::testing::Test {
 protected:
  using DialogBody = std::function<void(ToolDialog&)>;

  void SetUp() override;
  void TearDown() override;

  void Connect();
  // Runs menu command `command`; the dialog it opens is handed to `body`.
  void FromMenu(int command, DialogBody body);
  // Clicks `button` of `dialog`; a dialog the click opens is handed to `body`.
  void FromButton(ToolDialog& dialog, int button, DialogBody body);
  // Clicks the control with this ID (failing the test when it is not a button).
  static void Click(const QWidget& dialog, int id);
  static void SetText(const QWidget& dialog, int id, const QString& text);
  // Lets queued work (worker output, posted events) run for up to `ms`, until `done` holds.
  static bool WaitFor(const std::function<bool()>& done, int ms = 10000);

  // The messages shown since the last call, whole or just their texts.
  std::vector<Message> Messages() { return sink_.Take(); }
  std::vector<std::string> MessageTexts();
  // Answers every file choice with this temporary file; returns its path.
  std::string ChooseFile(const std::string& name);
  std::vector<uint8_t> Sent();
  std::string TempPath(const std::string& name) const;
  static void SaveScreenshot(QWidget& widget, const QString& name);

  sim::SimAdapter& adapter() { return *adapter_; }
  MainWindow& window() { return *window_; }
  QtUi& ui() { return *ui_; }
  CapturingSink& sink() { return sink_; }

 private:
  CapturingSink sink_;
  std::unique_ptr<sim::SimAdapter> adapter_;
  std::unique_ptr<QtUi> ui_;
  std::unique_ptr<MainWindow> window_;
  std::deque<DialogBody> bodies_;
  std::filesystem::path tempDir_;
};

}  // namespace zemlo::shell::testing
