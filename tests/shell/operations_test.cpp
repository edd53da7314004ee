// Each tool's buttons hand its fields, choices and selections to the operation behind them. What
// the operations do is checked without the GUI; here their messages only show that they ran.
#include <fstream>

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
    Click(dialog, 1104);
    FindControl<ListBox>(&dialog, 1107)->Select(4);
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

}  // namespace
}  // namespace zemlo::shell::testing
