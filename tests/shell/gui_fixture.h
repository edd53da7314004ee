// A main window on the offscreen platform with a fresh simulated console behind the link. Message
// boxes and file choices go to a capturing sink; dialogs run through the modal hook, each handled
// by the next body the test queued. It brings in Qt and the shell's controls, menus and slots that
// every GUI test speaks of.
#pragma once

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"
#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/main_window.h"
#include "shell/menu_table.h"
#include "shell/modal.h"
#include "shell/progress.h"
#include "shell/qt_ui.h"
#include "shell/tool_dialog.h"
#include "shell/ui_sink.h"
#include "shell/ui_slots.h"
#include "sim/sim_adapter.h"
#include "tests/support/recording_ui.h"

namespace zemlo::shell::testing {

using Message = zemlo::testing::RecordedMessage;

// The port calls its sink on the UI thread only, as the tests read it.
struct CapturingSink final : UiSink {
  void Message(const std::string& text, const std::string& caption, MessageIcon icon,
               MessageOwner owner, const std::string& detail) override {
    messages.push_back({text, caption, icon, owner, detail});
  }
  std::optional<std::string> OpenFile(const FileRequest&) override { return answer; }
  std::optional<std::string> SaveFile(const FileRequest&) override { return answer; }
  bool Quit(int exitCode) override {
    quits.push_back(exitCode);
    return true;
  }

  std::vector<testing::Message> messages;
  std::optional<std::string> answer;  // to every file choice
  std::vector<int> quits;
};

void EnsureApplication();

class GuiTest : public ::testing::Test {
 protected:
  using DialogBody = std::function<void(ToolDialog&)>;

  void SetUp() override;
  void TearDown() override;

  void Connect() {
    window_->RunCommand(kCmdConnect);
    ASSERT_EQ(g_connected.load(), 1);
    adapter_->TakeSent();
  }
  // Runs menu command `command`; the dialog it opens is handed to `body`.
  void FromMenu(int command, DialogBody body) {
    ExpectDialog("command ", command, body, [&] { window_->RunCommand(command); });
  }
  // Clicks `button` of `dialog`; a dialog the click opens is handed to `body`.
  void FromButton(ToolDialog& dialog, int button, DialogBody body) {
    ExpectDialog("button ", button, body, [&] { Click(dialog, button); });
  }
  // Clicks the control with this ID (failing the test when it is not a button).
  static void Click(const QWidget& dialog, int id) {
    auto* button = FindControl<QAbstractButton>(&dialog, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    ASSERT_TRUE(button->isEnabled()) << "button " << id << " is disabled";
    button->click();
  }
  static void SetText(const QWidget& dialog, int id, const QString& text) {
    auto* edit = FindControl<QLineEdit>(&dialog, id);
    ASSERT_NE(edit, nullptr) << "no edit box " << id;
    edit->setText(text);
  }
  // Lets queued work (worker output, posted events) run for up to `ms`, until `done` holds.
  static bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, ms);
  }

  // The messages shown since the last call, whole or just their texts.
  std::vector<Message> Messages() { return std::exchange(sink_.messages, {}); }
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const Message& message : Messages()) texts.push_back(message.text);
    return texts;
  }
  // Answers every file choice with this temporary file; returns its path.
  std::string ChooseFile(const std::string& name) {
    sink_.answer = tempDir_.filePath(QString::fromStdString(name)).toStdString();
    return *sink_.answer;
  }
  std::vector<uint8_t> Sent() {
    adapter_->Quiesce();
    return adapter_->TakeSent();
  }
  // An open menu is a window of its own: it is drawn over the grab where it stands.
  static void SaveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(ZEMLO_SCREENSHOT_DIR));
    QPixmap shot = widget.grab();
    if (QWidget* popup = QApplication::activePopupWidget(); popup && popup != &widget) {
      const QPoint at = popup->mapToGlobal(QPoint()) - widget.mapToGlobal(QPoint());
      const QRect all = QRect(QPoint(), shot.size()).united(QRect(at, popup->size()));
      QPixmap canvas(all.size());
      canvas.fill(Qt::white);
      QPainter painter(&canvas);
      painter.drawPixmap(-all.topLeft(), shot);
      painter.drawPixmap(at - all.topLeft(), popup->grab());
      painter.end();
      shot = canvas;
    }
    shot.save(QStringLiteral(ZEMLO_SCREENSHOT_DIR "/%1.png").arg(name));
  }

  sim::SimAdapter& adapter() { return *adapter_; }
  MainWindow& window() { return *window_; }
  QtUi& ui() { return *ui_; }
  CapturingSink& sink() { return sink_; }

 private:
  // Queues `body` for the dialog that `open` must open.
  void ExpectDialog(const char* what, int id, DialogBody& body, const std::function<void()>& open);

  CapturingSink sink_;
  std::unique_ptr<sim::SimAdapter> adapter_;
  std::unique_ptr<QtUi> ui_;
  std::unique_ptr<MainWindow> window_;
  std::deque<DialogBody> bodies_;
  QTemporaryDir tempDir_;
};

}  // namespace zemlo::shell::testing
