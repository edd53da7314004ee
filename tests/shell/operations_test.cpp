// Pressing a dialog's buttons runs its operation against the simulated console; the outcome shows
// in captured message boxes, the list boxes and the register controls.
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <cstring>
#include <fstream>

#include "link/link.h"
#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/menu_table.h"
#include "shell/progress.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using OperationsTest = GuiTest;

void WriteFile(const std::string& path, size_t size) {
  std::ofstream file(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) file.put(char(i * 7));
}

void PutMemory(sim::SimAdapter& adapter, uint32_t address, std::initializer_list<uint8_t> bytes) {
  auto& model = adapter.model();
  const size_t offset = *model.MemoryOffset(address, bytes.size());
  std::memcpy(model.memory.data() + offset, bytes.begin(), bytes.size());
}

TEST_F(OperationsTest, LoaderUploadsTheChosenFileAndEmptiesTheBar) {
  Connect();
  const std::string path = TempPath("game.dol");
  WriteFile(path, 3968 * 3 + 100);
  sink().AnswerFiles(path);
  FromMenu(kCmdExecutableLoader, [&](ToolDialog& dialog) {
    Click(dialog, 1010);
    const ProgressState bar = ReadProgress(*FindControl<QProgressBar>(&dialog, 1024));
    EXPECT_EQ(bar.high, 0);
  });
  EXPECT_EQ(Messages(), std::vector<Message>(
                            {{"DOL File Loaded", "Done.", MessageIcon::None, MessageOwner::None}}));
  const std::vector<uint8_t> sent = Sent();
  ASSERT_GE(sent.size(), 5u);
  EXPECT_EQ(sent[0], 0x14);
  EXPECT_EQ(sent.size(), 1 + 4 + 3968u * 3 + 100);
}

TEST_F(OperationsTest, MemoryWindowShowsHexPagesAndPages) {
  Connect();
  PutMemory(adapter(), 0x80003100, {0x41, 0x20, 0x7F, 0x80, 0x00, 0x7E, 0x2E, 0xFF});
  PutMemory(adapter(), 0x800031C8, {0x38, 0x60, 0x00, 0x01});
  FromMenu(kCmdDebugTools, [&](ToolDialog& dialog) {
    auto* list = FindControl<ListBox>(&dialog, 1081);
    Click(dialog, 1129);  // HEX at the default 80003100
    ASSERT_EQ(list->lines().rowCount(), 25);
    EXPECT_EQ(list->lines().Line(0), QStringLiteral("0x80003100 41 20 7F 80 00 7E 2E FF A ...~.."));
    EXPECT_TRUE(list->lines().Line(24).startsWith(QStringLiteral("0x800031C0 ")));

    Click(dialog, 1090);  // Page Down: the next 200 bytes
    EXPECT_TRUE(list->lines().Line(0).startsWith(QStringLiteral("0x800031C8 38 60 00 01")));
    Click(dialog, 1091);
    EXPECT_TRUE(list->lines().Line(0).startsWith(QStringLiteral("0x80003100 ")));
    SaveScreenshot(dialog, QStringLiteral("memory_tool_hex"));
  });
  EXPECT_TRUE(Messages().empty());
}

TEST_F(OperationsTest, SubDialogsOfTheMemoryToolRunTheirOperations) {
  Connect();
  const std::string path = TempPath("dump.bin");
  sink().AnswerFiles(path);
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1033, [&](ToolDialog& dump) {
      SetText(dump, 1002, QStringLiteral("80013100"));
      Click(dump, 1004);
    });
    FromButton(tool, 1076, [&](ToolDialog& fill) {
      SetText(fill, 1112, QStringLiteral("80001000"));
      SetText(fill, 1113, QStringLiteral("80000FFF"));
      Click(fill, 1111);
    });
  });
  EXPECT_EQ(QFile(QString::fromStdString(path)).size(), 0x10000);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Finished dumping Memory to file");
  EXPECT_EQ(messages[1].text, "End address should be higher than the Start address");
}

TEST_F(OperationsTest, BreakpointToolSetsBreakpointsAndShowsRegisters) {
  Connect();
  adapter().model().debugger.registers[0] = 0x22000084;
  adapter().model().debugger.registers[39] = 0x80003104;
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1075, [&](ToolDialog& dialog) {
      SetText(dialog, 1034, QStringLiteral("80001234"));
      FindControl<QAbstractButton>(&dialog, 1032)->setChecked(true);
      // Each button purges the adapter first; let the console take each command before the next
      // purge, as it does at a person's pace.
      Click(dialog, 1033);
      adapter().Quiesce();
      SetText(dialog, 1074, QStringLiteral("80003100"));
      Click(dialog, 1075);
      adapter().Quiesce();
      Click(dialog, 1029);
      EXPECT_EQ(FindControl<QLabel>(&dialog, 1067)->text(), QStringLiteral("22000084"));
      EXPECT_EQ(FindControl<QLabel>(&dialog, 1076)->text(), QStringLiteral("80003104"));
      SaveScreenshot(dialog, QStringLiteral("breakpoints_registers"));
    });
  });
  adapter().Quiesce();
  EXPECT_EQ(adapter().model().debugger.dabrWords, std::vector<uint32_t>{0x80001236});
  EXPECT_EQ(adapter().model().debugger.iabrWords, std::vector<uint32_t>{0x80003103});
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Breakpoint Set, Once hit the game will freeze");
}

TEST_F(OperationsTest, HookLauncherSendsTheSelectedHook) {
  Connect();
  FromMenu(kCmdStartGame, [&](ToolDialog& dialog) {
    Click(dialog, 1104);
    FindControl<ListBox>(&dialog, 1107)->Select(4);
    Click(dialog, 1104);
  });
  EXPECT_EQ(Sent(), std::vector<uint8_t>{0x42});
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "No Hook Type Selected");
  EXPECT_EQ(messages[1].text, "If hooked, remote debugger and screen shot tool will be active");
}

TEST_F(OperationsTest, LowLevelToolAsksForAChoiceThenDumps) {
  Connect();
  const std::string path = TempPath("sram.bin");
  sink().AnswerFiles(path);
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
  EXPECT_EQ(QFile(QString::fromStdString(path)).size(), 64);
}

TEST_F(OperationsTest, MemoryCardToolListsAndDownloadsTheSelectedSave) {
  Connect();
  const std::string path = TempPath("save.gci");
  sink().AnswerFiles(path);
  FromMenu(kCmdMemoryCard, [&](ToolDialog& dialog) {
    auto* list = FindControl<ListBox>(&dialog, 1023);
    Click(dialog, 1025);
    ASSERT_EQ(list->lines().rowCount(), int(adapter().model().card.saves.size()));
    EXPECT_TRUE(list->lines().Line(0).startsWith(QStringLiteral("Game Save: ")));
    list->Select(1);
    Click(dialog, 1027);
    SaveScreenshot(dialog, QStringLiteral("memory_card_listed"));
  });
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Done listing Card in Slot A");
  EXPECT_EQ(messages[1].text, "Done Saving GCI save file");
  EXPECT_EQ(QFile(QString::fromStdString(path)).size(),
            qint64(64 + adapter().model().card.saves[1].data.size()));
}

}  // namespace
}  // namespace zemlo::shell::testing
