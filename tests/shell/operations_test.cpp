// Each tool's buttons hand its fields, choices and selections to the operation behind them. What
// the operations do is checked without the GUI; here their messages only show that they ran.
// Long operations run off the UI thread while their dialog stays up and refuses to close.
#include <algorithm>
#include <array>
#include <fstream>

#include "extract/worker.h"
#include "protocol/console_controls.h"
#include "shell/operation_runner.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using OperationsTest = GuiTest;

TEST_F(OperationsTest, ButtonsRunTheirOperationOnTheDialogsFieldsAndChoices) {
  Connect();
  auto& model = adapter().model();
  std::ofstream(ChooseFile("game.dol"), std::ios::binary) << std::string(5000, 'x');
  FromMenu(kCmdExecutableLoader, [&](ToolDialog& dialog) { Click(dialog, 1010); });

  FromMenu(kCmdStartGame, [&](ToolDialog& dialog) {
    auto* hooks = FindControl<ListBox>(&dialog, 1107);
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(hooks, &focus);
    EXPECT_FALSE(hooks->currentIndex().isValid());  // focus draws no row as chosen
    Click(dialog, 1104);
    hooks->Select(4);
    Click(dialog, 1104);
  });
  EXPECT_EQ(Sent().back(), 0x42);

  const std::string sram = ChooseFile("sram.bin");
  FromMenu(kCmdLowLevel, [&](ToolDialog& dialog) {
    Click(dialog, 1019);
    FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
    Click(dialog, 1019);
  });
  EXPECT_EQ(std::filesystem::file_size(sram), 64u);

  const std::string save = ChooseFile("save.gci");
  FromMenu(kCmdMemoryCard, [&](ToolDialog& dialog) {
    Click(dialog, 1025);
    auto* list = FindControl<ListBox>(&dialog, 1023);
    ASSERT_EQ(list->lines().rowCount(), int(model.card.saves.size()));
    list->Select(1);
    Click(dialog, 1027);
  });
  EXPECT_EQ(std::filesystem::file_size(save), 64 + model.card.saves[1].data.size());

  for (uint32_t word = 0; word < model.debugger.registers.size(); ++word) {
    model.debugger.registers[word] = 0x1000 + word;
  }
  model.debugger.registers[0] = 0x22000084;
  model.debugger.registers[39] = 0x80003104;
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1076, [&](ToolDialog& fill) {
      SetText(fill, 1112, QStringLiteral("80001000"));
      SetText(fill, 1113, QStringLiteral("80000FFF"));
      Click(fill, 1111);
    });
    FromButton(tool, 1075, [&](ToolDialog& dialog) {
      SetText(dialog, 1034, QStringLiteral("80001234"));
      FindControl<QAbstractButton>(&dialog, 1032)->setChecked(true);
      // Each button purges the adapter first; let the console take each command
      // before the next purge, as it does at a person's pace.
      Click(dialog, 1033);
      adapter().Quiesce();
      SetText(dialog, 1074, QStringLiteral("80003100"));
      Click(dialog, 1075);
      adapter().Quiesce();
      Click(dialog, 1029);
      EXPECT_EQ(FindControl<QLabel>(&dialog, 1067)->text(), QStringLiteral("22000084"));
      EXPECT_EQ(FindControl<QLabel>(&dialog, 1076)->text(), QStringLiteral("80003104"));
      // Every register shows once, and a gap keeps the right column's labels clear of the left
      // column's values.
      QSet<QString> shown;
      for (const QLabel* value : dialog.findChildren<QLabel*>(QRegularExpression("^id"))) {
        shown << value->text();
      }
      EXPECT_EQ(shown.size(), int(model.debugger.registers.size()));
      const auto x = [&](const QWidget* widget) { return widget->mapTo(&dialog, QPoint()).x(); };
      const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
      const auto r16 = std::find_if(labels.begin(), labels.end(),
                                    [](const QLabel* label) { return label->text() == "R16:"; });
      ASSERT_NE(r16, labels.end());
      const QWidget* r0 = FindControl(&dialog, 1035);
      EXPECT_GE(x(*r16) - x(r0) - r0->width(), 16);
    });
  });
  adapter().Quiesce();
  EXPECT_EQ(model.debugger.dabrWords, std::vector<uint32_t>{0x80001236});
  EXPECT_EQ(model.debugger.iabrWords, std::vector<uint32_t>{0x80003103});
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{
                                "DOL File Loaded", "No Hook Type Selected",
                                "If hooked, remote debugger and screen shot tool will be active",
                                "Please select a Low Level option", "Finished dumping SRAM",
                                "Done listing Card in Slot A", "Done Saving GCI save file",
                                "End address should be higher than the Start address",
                                "Breakpoint Set, Once hit the game will freeze",
                                "Breakpoint Set, Once hit the game will freeze"}));
}

// The DVD and NAND dialogs with their worker: the dialog shows the run's pace, refuses to close
// while the worker is busy, stops on "Stop Extract" and takes a new run afterwards.
TEST_F(OperationsTest, DialogsRefuseToCloseWhileBusyAndStop) {
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
      const int width = dialog.width();
      Click(dialog, c.start);
      const auto pace = [&] {
        auto* bar = FindControl<QProgressBar>(&dialog, 1024);
        return (bar ? bar->text() : FindControl<QLabel>(&dialog, 1125)->text()).contains(c.pace);
      };
      // The text moves long before the bar's first pixel (within a second on a quiet machine;
      // a busy one, under Wine, may take longer).
      ASSERT_TRUE(WaitFor(pace));
      // Who the disc is shows whole, without scrolling.
      auto* list = FindControl<ListBox>(&dialog, c.list);
      if (c.command == kCmdDvdExtractor) {
        ASSERT_TRUE(WaitFor([&] { return list->lines().rowCount() >= 2; }));
        const QRect disc = list->visualRect(list->lines().index(1));
        EXPECT_LE(disc.right(), list->viewport()->width());
        EXPECT_GT(disc.height(), list->visualRect(list->lines().index(0)).height());
      }
      SaveScreenshot(dialog, QString::fromLatin1(c.name));
      EXPECT_EQ(dialog.width(), width);  // the pace's line does not widen the dialog

      dialog.close();
      EXPECT_TRUE(dialog.isVisible());
      EXPECT_FALSE(FindControl(&dialog, 1085)->isEnabled());
      for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        EXPECT_EQ(button->isEnabled(), button == FindControl(&dialog, c.stop))
            << button->text().toStdString();
      }
      Click(dialog, c.stop);
      ASSERT_TRUE(WaitFor([] { return g_workerBusy.load() == 0 && !WorkerRunning(); }));
      EXPECT_TRUE(WaitFor([&] { return FindControl(&dialog, c.start)->isEnabled(); }));
      ui().Flush();
      EXPECT_EQ(list->lines().rowCount(), 0);
      // No time left is shown once the run has ended.
      if (!FindControl<QProgressBar>(&dialog, 1024)) {
        EXPECT_FALSE(pace());
      }
      dialog.close();
      EXPECT_FALSE(dialog.isVisible());
    });
    const std::vector<Message> messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.stopped);
    EXPECT_EQ(messages[0].detail.rfind("Kept the partial file ", 0), 0u);
  }
}

struct PaintCounter final : QObject {
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

// An operation runs off the UI thread: its dialog keeps painting while the console holds back a
// packet, takes no input meanwhile, and the console sees the same bytes as from an undisturbed
// run. The look-in waits for the dump to reach the held packet, not for a time.
TEST_F(OperationsTest, DumpDialogPaintsAndTakesNoInputWhileASlowConsoleServes) {
  Connect();
  ChooseFile("dump.bin");
  std::vector<uint8_t> undisturbed;
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1033, [&](ToolDialog& dump) {
      SetText(dump, 1002, QStringLiteral("80103100"));  // 1 MiB
      Click(dump, 1004);
      undisturbed = Sent();

      constexpr int kPacketsBeforeTheHeldOne = 3;
      adapter().faults().HoldNextPacket(kPacketsBeforeTheHeldOne);
      PaintCounter counter;
      dump.installEventFilter(&counter);
      auto* bar = FindControl<QProgressBar>(&dump, kProgressBarId);
      bool lookedIn = false;
      QTimer look;
      look.setInterval(10);
      QObject::connect(&look, &QTimer::timeout, &dump, [&] {
        ui().Flush();
        if (ReadProgress(*bar).position == 0) return;  // the held packet is one of the next
        look.stop();
        lookedIn = true;
        ASSERT_TRUE(OperationRunning(dump));
        const int paintsBefore = counter.paints;
        dump.resize(dump.size() + QSize(40, 20));
        EXPECT_TRUE(WaitFor([&] { return counter.paints > paintsBefore; }));
        // The line has the amounts, as in "56% · 558.0 KiB of 992.0 KiB · 1.9 MiB/s".
        EXPECT_TRUE(bar->text().contains(QStringLiteral(" of "))) << bar->text().toStdString();
        // The inputs grey once the operation has run a while, which it does while held.
        EXPECT_TRUE(WaitFor([&] {
          return std::ranges::none_of(std::array{1000, 1002, 1004, 1005}, [&](int id) {
            return FindControl<QWidget>(&dump, id)->isEnabled();
          });
        }));
        // Neither a second press nor Close nor Escape reaches the dialog.
        QTest::keyClick(FindControl<QWidget>(&dump, 1002), Qt::Key_Return);
        QTest::mouseClick(FindControl<QWidget>(&dump, 1005), Qt::LeftButton);
        QTest::keyClick(&dump, Qt::Key_Escape);
        dump.close();
        EXPECT_TRUE(dump.isVisible());
        SaveScreenshot(dump, QStringLiteral("dump_memory_running"));
        adapter().faults().ReleaseHeldPacket();
      });
      look.start();
      Click(dump, 1004);
      adapter().faults().ReleaseHeldPacket();
      EXPECT_TRUE(lookedIn);
      EXPECT_TRUE(FindControl<QWidget>(&dump, 1005)->isEnabled());
    });
  });
  EXPECT_EQ(Sent(), undisturbed);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>(2, "Finished dumping Memory to file"));
}

}  // namespace
}  // namespace zemlo::shell::testing
