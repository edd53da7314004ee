// The Qt UI port's delivery from a worker thread into the list and the bar, and its real dialogs.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <thread>

#include "shell/list_box.h"
#include "shell/progress.h"
#include "shell/ui_slots.h"
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

TEST_F(UiPortTest, WorkerOutputArrivesInOrderBeforeItsMessage) {
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
  const std::vector<Message> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(list_->lines().rowCount(), kLines + 1);
  EXPECT_EQ(list_->lines().Line(0), QStringLiteral("mode"));
  EXPECT_EQ(list_->lines().Line(1), QStringLiteral("page %1").arg(kLines));
  EXPECT_EQ(list_->lines().Line(kLines), QStringLiteral("page 1"));
  EXPECT_EQ(ReadProgress(*bar_).position, kLines);
}

// Lines queued together reach the list in one change each run of them, and still land where
// each was asked for: several at one position end newest first, consecutive ones in order, and
// one past the end is appended.
TEST_F(UiPortTest, QueuedLinesLandWhereEachWasAskedFor) {
  const std::pair<int, const char*> inserts[] = {{0, "mode"}, {1, "a"}, {1, "b"},   {3, "x"},
                                                 {4, "y"},    {2, "z"}, {99, "end"}};
  std::thread([&] {
    for (const auto& [position, line] : inserts) Ui().ListInsert(position, line);
  }).join();
  ui().Flush();
  EXPECT_EQ(list_->lines().Lines(), QStringList({"mode", "b", "z", "a", "x", "y", "end"}));
}

TEST_F(UiPortTest, ProgressRangeZeroShowsAnEmptyBar) {
  Ui().ProgressSetRange(0, 4);
  Ui().ProgressSetStep(1);
  Ui().ProgressStep();
  EXPECT_EQ(bar_->maximum(), 4);
  EXPECT_EQ(bar_->value(), 1);
  Ui().ProgressSetRange(0, 0);
  EXPECT_EQ(ReadProgress(*bar_).high, 0);
  EXPECT_EQ(bar_->value(), 0);
  EXPECT_GT(bar_->maximum(), bar_->minimum());  // not the busy indicator
}

// Without a sink the port shows real dialogs; these tests answer them as a user would.
TEST_F(UiPortTest, WorkerMessageIsARealModalBoxThatBlocksUntilAnswered) {
  ui().SetSink(nullptr);
  QString seen;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen = box->windowTitle() + QStringLiteral("|") + box->text();
      icon = box->icon();
      box->accept();
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
  EXPECT_EQ(seen, QStringLiteral("DVD Error|Fatal Error. Exiting"));
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(UiPortTest, SaveDialogOffersTheFiltersAndTheLastPathOfItsKey) {
  ui().SetSink(nullptr);
  const std::string first = TempPath("first");
  QStringList filters;
  QString suffix;
  QString offered;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      filters = dialog->nameFilters();
      suffix = dialog->defaultSuffix();
      offered = dialog->selectedFiles().value(0);
      dialog->selectFile(QString::fromStdString(first));
      QMetaObject::invokeMethod(dialog, "accept");
    }
  });
  answer.start(10);
  const FileRequest request{
      "nand", {{"Nand Binary File (*.bin)", "*.bin"}, {"All Files", "*.*"}}, "bin"};
  // The default extension is added to a name typed without one.
  EXPECT_EQ(Ui().ChooseSaveFile(request), std::optional<std::string>(first + ".bin"));
  EXPECT_EQ(filters, QStringList({"Nand Binary File (*.bin)", "All Files (*)"}));
  EXPECT_EQ(suffix, QStringLiteral("bin"));
  Ui().ChooseSaveFile(request);
  EXPECT_EQ(offered, QString::fromStdString(first + ".bin"));
}

}  // namespace
}  // namespace zemlo::shell::testing
