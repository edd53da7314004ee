// Pressing a dialog's buttons runs its operation against the simulated console;
// the outcome shows in captured message boxes, the list boxes and the register
// controls.
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <fstream>

#include "link/link.h"
#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/menu_table.h"
#include "shell/progress.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using Texts = std::vector<std::string>;

class OperationsTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Connect();
  }
};

qint64 FileSize(const std::string& path) {
  return QFile(QString::fromStdString(path)).size();
}

TEST_F(OperationsTest, LoaderUploadsTheChosenFileAndEmptiesTheBar) {
  std::ofstream(ChooseFile("game.dol"), std::ios::binary) << std::string(3968 * 3 + 100, 'x');
  FromMenu(kCmdExecutableLoader, [&](ToolDialog& dialog) {
    Click(dialog, 1010);
    EXPECT_EQ(ReadProgress(*FindControl<QProgressBar>(&dialog, 1024)).high, 0);
  });
  EXPECT_EQ(Messages(), std::vector<Message>(
                            {{"DOL File Loaded", "Done.", MessageIcon::None, MessageOwner::None}}));
  const std::vector<uint8_t> sent = Sent();
  EXPECT_EQ(sent.at(0), 0x14);
  EXPECT_EQ(sent.size(), 1 + 4 + 3968u * 3 + 100);
}

TEST_F(OperationsTest, FillAndBreakpointToolsTakeTheirFieldsAndShowRegisters) {
  adapter().model().debugger.registers[0] = 0x22000084;
  adapter().model().debugger.registers[39] = 0x80003104;
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
    });
  });
  adapter().Quiesce();
  EXPECT_EQ(adapter().model().debugger.dabrWords, std::vector<uint32_t>{0x80001236});
  EXPECT_EQ(adapter().model().debugger.iabrWords, std::vector<uint32_t>{0x80003103});
  EXPECT_EQ(MessageTexts(), (Texts{"End address should be higher than the Start address",
                                   "Breakpoint Set, Once hit the game will freeze",
                                   "Breakpoint Set, Once hit the game will freeze"}));
}

TEST_F(OperationsTest, HookLauncherSendsTheSelectedHook) {
  FromMenu(kCmdStartGame, [&](ToolDialog& dialog) {
    Click(dialog, 1104);
    FindControl<ListBox>(&dialog, 1107)->Select(4);
    Click(dialog, 1104);
  });
  EXPECT_EQ(Sent(), std::vector<uint8_t>{0x42});
  EXPECT_EQ(MessageTexts(),
            (Texts{"No Hook Type Selected",
                   "If hooked, remote debugger and screen shot tool will be active"}));
}

TEST_F(OperationsTest, LowLevelToolAsksForAChoiceThenDumps) {
  const std::string path = ChooseFile("sram.bin");
  FromMenu(kCmdLowLevel, [&](ToolDialog& dialog) {
    Click(dialog, 1019);
    FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
    Click(dialog, 1019);
  });
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], (Message{"Please select a Low Level option", "Please Select",
                                  MessageIcon::Information, MessageOwner::Dialog}));
  EXPECT_EQ(messages[1].text, "Finished dumping SRAM");
  EXPECT_EQ(FileSize(path), 64);
}

TEST_F(OperationsTest, MemoryCardToolListsAndDownloadsTheSelectedSave) {
  const std::string path = ChooseFile("save.gci");
  FromMenu(kCmdMemoryCard, [&](ToolDialog& dialog) {
    auto* list = FindControl<ListBox>(&dialog, 1023);
    Click(dialog, 1025);
    ASSERT_EQ(list->lines().rowCount(), int(adapter().model().card.saves.size()));
    EXPECT_TRUE(list->lines().Line(0).startsWith(QStringLiteral("Game Save: ")));
    list->Select(1);
    Click(dialog, 1027);
  });
  EXPECT_EQ(MessageTexts(), (Texts{"Done listing Card in Slot A", "Done Saving GCI save file"}));
  EXPECT_EQ(FileSize(path), qint64(64 + adapter().model().card.saves[1].data.size()));
}

}  // namespace
}  // namespace zemlo::shell::testing
