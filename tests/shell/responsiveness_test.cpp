// An operation runs off the UI thread: its dialog keeps painting while a slow console serves it,
// takes no input meanwhile, and the console sees the same bytes as from an undisturbed run.

#include "shell/operation_runner.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using ResponsivenessTest = GuiTest;

class PaintCounter final : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(ResponsivenessTest, DumpDialogPaintsAndTakesNoInputWhileASlowConsoleServes) {
  Connect();
  ChooseFile("dump.bin");
  std::vector<uint8_t> undisturbed;
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1033, [&](ToolDialog& dump) {
      SetText(dump, 1002, QStringLiteral("80103100"));  // 1 MiB
      Click(dump, 1004);
      undisturbed = Sent();

      // At 2 MB/s the dump takes half a second; look in twice meanwhile.
      adapter().console().SetThrottle(2'000'000);
      PaintCounter counter;
      dump.installEventFilter(&counter);
      auto* bar = FindControl<QProgressBar>(&dump, kProgressBarId);
      int paintsBefore = 0;
      int64_t positionBefore = 0;
      bool lookedIn = false;
      QTimer::singleShot(100, &dump, [&] {
        paintsBefore = counter.paints;
        positionBefore = ReadProgress(*bar).position;
        dump.resize(dump.size() + QSize(40, 20));
      });
      QTimer::singleShot(350, &dump, [&] {
        lookedIn = true;
        ASSERT_TRUE(OperationRunning(dump));
        EXPECT_GT(counter.paints, paintsBefore);
        EXPECT_GT(ReadProgress(*bar).position, positionBefore);
        // The line has its rate and time left, as in "56% · 558.0 KiB of 992.0 KiB · 1.9 MiB/s
        // · 0:01 left".
        EXPECT_TRUE(bar->text().endsWith(QStringLiteral(" left"))) << bar->text().toStdString();
        for (int id : {1000, 1002, 1004, 1005})
          EXPECT_FALSE(FindControl<QWidget>(&dump, id)->isEnabled()) << id;
        // Neither a second press nor Close nor Escape reaches the dialog.
        QTest::keyClick(FindControl<QWidget>(&dump, 1002), Qt::Key_Return);
        QTest::mouseClick(FindControl<QWidget>(&dump, 1005), Qt::LeftButton);
        QTest::keyClick(&dump, Qt::Key_Escape);
        dump.close();
        EXPECT_TRUE(dump.isVisible());
        SaveScreenshot(dump, QStringLiteral("dump_memory_running"));
      });
      Click(dump, 1004);
      EXPECT_TRUE(lookedIn);
      EXPECT_TRUE(FindControl<QWidget>(&dump, 1005)->isEnabled());
      adapter().console().SetThrottle(0);
    });
  });
  EXPECT_EQ(Sent(), undisturbed);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>(2, "Finished dumping Memory to file"));
}

}  // namespace
}  // namespace zemlo::shell::testing
