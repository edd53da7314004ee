// The DVD and NAND dialogs with their worker: the dialog shows the run's pace, refuses to close
// while the worker is busy, stops on "Stop Extract" and takes a new run afterwards.

#include "extract/worker.h"
#include "protocol/console_controls.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using ExtractionTest = GuiTest;

TEST_F(ExtractionTest, DialogsRefuseToCloseWhileBusyAndStop) {
  const struct {
    const char* name;
    int command, start, stop, list;
    const char* pace;  // in the bar's text, or in the status line of a dialog without a bar
    const char* stopped;
  } cases[] = {
      {"dvd_running", kCmdDvdExtractor, 1100, 1033, 1115, " MiB of ",
       "DVD Extract operation stopped"},
      {"nand_running", kCmdNandDump, 1117, 1122, 1124, " left", "NAND Extract operation stopped"},
  };
  Connect();
  ChooseFile("dump.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FromMenu(c.command, [&](ToolDialog& dialog) {
      FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
      Click(dialog, c.start);
      const auto pace = [&] {
        auto* bar = FindControl<QProgressBar>(&dialog, 1024);
        return (bar ? bar->text() : FindControl<QLabel>(&dialog, 1125)->text()).contains(c.pace);
      };
      // The text moves within the first second, long before the bar's first pixel.
      ASSERT_TRUE(WaitFor(pace, 1000));
      SaveScreenshot(dialog, QString::fromLatin1(c.name));

      dialog.close();
      EXPECT_TRUE(dialog.isVisible());
      for (int id : {1085, c.start}) EXPECT_FALSE(FindControl(&dialog, id)->isEnabled()) << id;
      Click(dialog, c.stop);
      ASSERT_TRUE(WaitFor([] { return g_workerBusy.load() == 0 && !WorkerRunning(); }));
      EXPECT_TRUE(WaitFor([&] { return FindControl(&dialog, c.start)->isEnabled(); }));
      ui().Flush();
      EXPECT_EQ(FindControl<ListBox>(&dialog, c.list)->lines().rowCount(), 0);
      dialog.close();
      EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.stopped});
  }
}

}  // namespace
}  // namespace zemlo::shell::testing
