// The Qt UI port's delivery from a worker thread into the list and the bar, and its real dialogs.
#include <atomic>
#include <thread>

#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

class UiPortTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    dialog_ = std::make_unique<ToolDialog>(1, "port", &window());
    list_ = new ListBox(dialog_.get());
    PushListBox(list_);
    bar_ = MakeProgressBar(dialog_.get());
  }
  void TearDown() override {
    // Tests that answer real dialogs drop the sink; without it the teardown's quit request would
    // end every later event loop.
    ui().SetSink(&sink());
    dialog_.reset();
    GuiTest::TearDown();
  }

  std::unique_ptr<ToolDialog> dialog_;
  ListBox* list_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

TEST_F(UiPortTest, WorkerOutputArrivesInOrderBeforeItsMessageAndTheBarEmpties) {
  constexpr int kLines = 50000;
  std::atomic<int> listedWhenShown{-1};  // -2 once the worker is past its message
  std::thread worker([&] {
    Ui().ProgressSetRange(0, kLines);
    Ui().ProgressSetStep(1);
    Ui().ListInsert(0, "mode");
    for (int i = 1; i <= kLines; ++i) {
      Ui().ListInsert(1, "page " + std::to_string(i));
      Ui().ProgressStep();
    }
    // The message box blocks this thread until shown; everything queued before it is on screen.
    Ui().ShowMessage("done", "Done.", MessageIcon::None, MessageOwner::None);
    listedWhenShown = -2;
  });
  ASSERT_TRUE(WaitFor([&] { return listedWhenShown == -2; }, 60000));
  worker.join();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(list_->lines().rowCount(), kLines + 1);
  EXPECT_EQ(list_->lines().Line(0), QStringLiteral("mode"));
  EXPECT_EQ(list_->lines().Line(1), QStringLiteral("page %1").arg(kLines));
  EXPECT_EQ(list_->lines().Line(kLines), QStringLiteral("page 1"));
  EXPECT_EQ(ReadProgress(*bar_).position, kLines);
  EXPECT_EQ(bar_->value(), kLines);
  // A range of zero empties the bar rather than showing the busy indicator.
  Ui().ProgressSetRange(0, 0);
  EXPECT_EQ(ReadProgress(*bar_).high, 0);
  EXPECT_EQ(bar_->value(), 0);
  EXPECT_GT(bar_->maximum(), bar_->minimum());
}

// Lines queued together reach the list in one change each run of them, and still land where
// each was asked for: several at one position end newest first, consecutive ones in order, and
// one past the end is appended, as are lines for the end (-1), in the order they come.
TEST_F(UiPortTest, QueuedLinesLandWhereEachWasAskedFor) {
  const std::pair<int, const char*> inserts[] = {{0, "mode"}, {1, "a"},    {1, "b"},
                                                 {3, "x"},    {4, "y"},    {2, "z"},
                                                 {99, "end"}, {-1, "sum"}, {-1, "sha"}};
  std::thread([&] {
    for (const auto& [position, line] : inserts) Ui().ListInsert(position, line);
  }).join();
  ui().Flush();
  EXPECT_EQ(list_->lines().Lines(),
            QStringList({"mode", "b", "z", "a", "x", "y", "end", "sum", "sha"}));
}

// Without a sink the port shows real dialogs, answered here as a user would: a worker's message
// box is modal and blocks the worker until answered; the save dialog offers the filters and the
// last path of its key.
TEST_F(UiPortTest, WithoutASinkTheUserAnswersRealDialogs) {
  ui().SetSink(nullptr);
  const std::string first = ChooseFile("first");  // here the real dialog picks it
  QStringList seen;
  QString offered;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen << box->windowTitle() + QStringLiteral("|") + box->text();
      icon = box->icon();
      box->accept();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      seen << dialog->nameFilters().join(u'|') + u'|' + dialog->defaultSuffix();
      offered = dialog->selectedFiles().value(0);
      // selectFile keeps a focused name box's text, and an earlier test may leave it focused.
      if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
      dialog->selectFile(QString::fromStdString(first));
      QMetaObject::invokeMethod(dialog, "accept");
    }
  });
  answer.start(10);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    Ui().ShowMessage("Fatal Error. Exiting", "DVD Error", MessageIcon::Error, MessageOwner::None);
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(icon, QMessageBox::Critical);
  const FileRequest request{
      "nand", {{"Nand Binary File (*.bin)", "*.bin"}, {"All Files", "*.*"}}, "bin"};
  // The default extension is added to a name typed without one.
  EXPECT_EQ(Ui().ChooseSaveFile(request), std::optional<std::string>(first + ".bin"));
  Ui().ChooseSaveFile(request);
  const QString filters = QStringLiteral("Nand Binary File (*.bin)|All Files (*)|bin");
  EXPECT_EQ(seen, QStringList({"DVD Error|Fatal Error. Exiting", filters, filters}));
  EXPECT_EQ(offered, QString::fromStdString(first + ".bin"));
}

}  // namespace
}  // namespace zemlo::shell::testing
