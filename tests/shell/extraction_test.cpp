// The DVD and NAND dialogs with their worker: the dialog stays responsive, refuses to close while
// the worker is busy, stops on "Stop Extract", and the NAND list keeps the newest page line at
// row 1.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <chrono>

#include "extract/worker.h"
#include "protocol/console_controls.h"
#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/menu_table.h"
#include "shell/progress.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using ExtractionTest = GuiTest;

bool WorkerEnded() {
  return g_workerBusy.load() == 0 && !WorkerRunning();
}

TEST_F(ExtractionTest, DvdDialogRefusesToCloseWhileBusyAndStops) {
  Connect();
  ChooseFile("disc.iso");
  FromMenu(kCmdDvdExtractor, [&](ToolDialog& dialog) {
    auto* list = FindControl<ListBox>(&dialog, 1115);
    Click(dialog, 1100);  // no method chosen yet
    ASSERT_TRUE(WaitFor([&] { return FindControl(&dialog, 1100)->isEnabled(); }));
    list->lines().InsertEachAt(0, {QStringLiteral("a line of the run before")});
    FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
    Click(dialog, 1100);
    auto* bar = FindControl<QProgressBar>(&dialog, 1024);
    // Streaming: the bar has its 23,762-packet range and moves.
    // The text moves within the first second, long before the bar's first pixel.
    ASSERT_TRUE(WaitFor([&] { return bar->text().contains(QStringLiteral(" MiB of ")); }, 1000));
    ASSERT_TRUE(WaitFor([&] { return ReadProgress(*bar).position > 3; }));
    EXPECT_EQ(ReadProgress(*bar).high, 23762);
    // The selection line, then who the disc is.
    EXPECT_EQ(list->lines().Lines(),
              (QStringList{
                  QStringLiteral("Gamecube Game Selected"),
                  QStringLiteral("Disc: GZME01 Zemlo Test Disc (GameCube) (disc 1, version 0)")}));
    SaveScreenshot(dialog, QStringLiteral("dvd_running"));

    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    for (int id : {1085, 1100}) EXPECT_FALSE(FindControl(&dialog, id)->isEnabled()) << id;
    Click(dialog, 1033);
    ASSERT_TRUE(WaitFor(WorkerEnded));
    EXPECT_TRUE(WaitFor([&] { return FindControl(&dialog, 1100)->isEnabled(); }));
    ui().Flush();
    EXPECT_EQ(list->lines().rowCount(), 0);
    EXPECT_EQ(ReadProgress(*bar).high, 0);
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(Messages(), std::vector<Message>({{"Please select an Extract Method", "Please Select",
                                               MessageIcon::Information, MessageOwner::Dialog},
                                              {"DVD Extract operation stopped", "DVD Stopped",
                                               MessageIcon::None, MessageOwner::None}}));
}

TEST_F(ExtractionTest, NandListKeepsTheNewestPageAtRowOneAndStops) {
  Connect();
  ChooseFile("nand.bin");
  FromMenu(kCmdNandDump, [&](ToolDialog& dialog) {
    FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
    Click(dialog, 1117);
    auto* list = FindControl<ListBox>(&dialog, 1124);
    ASSERT_TRUE(WaitFor([&] { return list->lines().rowCount() > 2000; }));
    const QStringList lines = list->lines().Lines();
    EXPECT_EQ(lines[0], QStringLiteral("Selected NAND (2048 Page Mode)"));
    // Row 1 is the newest page, and the pages count down from there to page 1 at the bottom.
    EXPECT_EQ(lines[1], QStringLiteral("Dumping Page %1 of 0x40000").arg(lines.size() - 1, 0, 16));
    EXPECT_EQ(lines.back(), QStringLiteral("Dumping Page 1 of 0x40000"));
    EXPECT_TRUE(WaitFor([&] {
      return FindControl<QLabel>(&dialog, 1125)->text().contains(QStringLiteral(" left"));
    }));
    SaveScreenshot(dialog, QStringLiteral("nand_running"));

    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    Click(dialog, 1122);
    ASSERT_TRUE(WaitFor(WorkerEnded));
    ui().Flush();
    EXPECT_EQ(list->lines().rowCount(), 0);
  });
  EXPECT_EQ(Messages(), std::vector<Message>({{"NAND Extract operation stopped", "DVD Stopped",
                                               MessageIcon::None, MessageOwner::None}}));
}

}  // namespace
}  // namespace zemlo::shell::testing
