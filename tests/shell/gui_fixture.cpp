#include "tests/shell/gui_fixture.h"

#include <chrono>

#include "extract/worker.h"
#include "protocol/console_controls.h"

namespace zemlo::shell::testing {

void EnsureApplication() {
  if (QApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "shell_gui_test";
  static char* argv[] = {name, nullptr};
  // The offscreen platform says so for every dialog it sizes; nothing to act on.
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (text.contains(QLatin1String("propagateSizeHints"))) return;
        previous(type, context, text);
      });
  // Never destroyed: the input devices that synthetic key and mouse events create would
  // otherwise outlive parts of Qt torn down before a static application at exit.
  new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
}

void GuiTest::SetUp() {
  EnsureApplication();
  ASSERT_TRUE(tempDir_.isValid());
  adapter_ = std::make_unique<sim::SimAdapter>();
  InstallDriver(adapter_->MakeDriver());
  ui_ = std::make_unique<QtUi>();
  ui_->SetSink(&sink_);
  InstallUi(ui_.get());
  window_ = std::make_unique<MainWindow>();
  ui_->SetMainWindow(window_.get());
  window_->show();
  SetModalHook([this](ToolDialog& dialog) {
    if (bodies_.empty()) return;
    DialogBody body = std::move(bodies_.front());
    bodies_.pop_front();
    body(dialog);
  });
}

void GuiTest::TearDown() {
  // A worker left running would talk to a port that is about to go.
  if (g_workerBusy) {
    PurgeLink();
    StopExtraction();
  }
  WaitFor([] { return WaitForWorkerFor(std::chrono::milliseconds(1)); }, 60000);
  SetModalHook({});
  window_.reset();
  ui_->Flush();
  QCoreApplication::processEvents();
  InstallUi(nullptr);
  ui_.reset();
  InstallDriver(nullptr);
  adapter_.reset();
  g_connected = 0;
}

void GuiTest::ExpectDialog(const char* what, int id, DialogBody& body,
                           const std::function<void()>& open) {
  bodies_.push_back(std::move(body));
  const size_t before = bodies_.size();
  open();
  EXPECT_LT(bodies_.size(), before) << what << id << " opened no dialog";
}

}  // namespace zemlo::shell::testing
