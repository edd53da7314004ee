// Every tool dialog opened the way a user opens it: its title, frames, controls with their IDs,
// texts and choices, its progress bar, and a picture of it in the build folder.
#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/menu_table.h"
#include "shell/progress.h"
#include "shell/ui_slots.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

// Controls are ';' apart: "id" for one with no text of its own, "id=text" otherwise, where the
// text of a combo or list is its choices '|' apart; a leading '!' marks a disabled control.
struct DialogCase {
  const char* name;
  int command;  // the menu command that opens it, or the memory tool's when `opener` is set
  int opener;   // the memory tool button that opens it, 0 for none
  int resource;
  const char* title;
  bool progress;
  std::vector<const char*> groups;
  const char* controls;
};

// clang-format off
const std::vector<DialogCase> kCases = {
    {"about", kCmdAbout, 0, 102, "About USB Zemlo", false,
     {"USB Zemlo Tool"}, "1=Close"},
    {"file_system", kCmdFileSystemTools, 0, 151, "Zemlo Wii File System Explorer", false,
     {"Wii File System Explorer"}, "1023;1=OK;2=Cancel"},
    {"loader", kCmdExecutableLoader, 0, 118, "Zemlo Executable File Loader", true,
     {"File Loader"}, "1010=Load DOL;1011=Load ELF"},
    {"music", kCmdMusicPlayer, 0, 119, "Zemlo Music Player Tool", true,
     {"Music Player"}, "1013=Load MOD;1014=Load MP3"},
    {"firmware", kCmdUploadFirmware, 0, 9, "Zemlo Firmware Flash Tool", true,
     {"Firmware Flasher"}, "1009=Load Firmware;1007=Close"},
    {"low_level", kCmdLowLevel, 0, 120, "Zemlo Gamecube Low Level Tool", true,
     {"Gamecube Low Level Tools"}, "1085=Dump SRAM|Dump Gamecube Bios|Dump Drive Firmware|"
     "Dump Drive IRAM|Dump Drive ERAM;1019=Execute"},
    {"memory_card", kCmdMemoryCard, 0, 121, "Zemlo Memory Card Tool", true,
     {"Memory Card Too"},
     "1023;1025=List Memory Card;1027=Save GCI File;1029=Upload Save File;1033=Erase GCI File"},
    {"screen_grab", kCmdScreenGrabber, 0, 126, "Zemlo Screen Grab Tool", true,
     {"Screen Grabber"}, "1033=Freeze Game;1075=Unfreeze Game;1076=Grab Screen"},
    {"hook_launcher", kCmdStartGame, 0, 136, "Zemlo Game Hook Launcher", false,
     {"Game Hook Launcher"}, "1107=1. Pad Read Hook - Gamecube|2. Vertical Blank Wait Hook- Gamecube|"
     "3. Vertical Blank Set Next Hook - Gamecube|4. No Hooks - Gamecube|5. Wii Game Hooks;"
     "1104=Start Game"},
    {"dvd", kCmdDvdExtractor, 0, 138, "Zemlo DVD Extract Tool", true,
     {"Extract DVD Media"}, "1085=Gamecube Game (Checksum Mode)|Wii Single Layer (Checksum Mode)|"
     "Wii Dual Layer (Checksum Mode;1100=Extract DVD;1033=Stop Extract;1115"},
    {"nand", kCmdNandDump, 0, 139, "Dialog", false,
     {"Dump Nand Flash"}, "1085= Dump 2048 bytes per page| Dump 2112 bytes per page (Inc ECC data);"
     "1117=Extract NAND;1122=Stop Extract;1124"},
    {"memory_tool", kCmdDebugTools, 0, 127, "Zemlo Memory Tool", false,
     {"Goto Address (HEX) / Switch Mode:", "Memory Up / Down:", "Poke Memory (HEX):", "Options:"},
     "1081;1086=80003100;1087=ASM;1129=HEX;1090=Page Down;1091=Page Up;1096=80003100;1097=00000000;"
     "1098=Poke;1075=Set Breakpoints;1033=Dump Range (HEX);1084=Upload Code;!1109=Trace;!1108=Step;"
     "1088=Freeze Console;1089=Unfreeze Console;1076=Fill Range"},
    {"dump_memory", kCmdDebugTools, 1033, 117, "Zemlo Dump Memory to File Tool", true,
     {"Dump Memory to File"}, "1000=80003100;1002=;1004=Dump Memory;1005=Close"},
    {"fill_memory", kCmdDebugTools, 1076, 137, "Zemlo Fill Memory", false,
     {"Fill Memory Range In Ram"}, "1112=;1113=;1111=Fill Memory;1110=Close"},
    {"breakpoints", kCmdDebugTools, 1075, 122, "Zemlo Breakpoint Tool", false,
     {"Data Breakpoint DABR", "Instruction  Breakpoint IABR", "Registers (values in HEX)"},
     "1034=;1031=Read;1032=Write;1033=Set Breakpoint;1074=;1075=Set Breakpoint;1029=Retrieve Data;"
     "1030=Close;1067=;1076="},
    {"upload_code", kCmdDebugTools, 1084, 152, "Zemlo Upload Code", true,
     {"Upload Code to Memory"}, "1127=;1128=Open"},
};
// clang-format on

// The text a control shows; for a combo or list also whether something is chosen.
QString TextOf(const QWidget& widget, bool* chosen) {
  if (auto* button = qobject_cast<const QAbstractButton*>(&widget)) return button->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(&widget)) return edit->text();
  if (auto* label = qobject_cast<const QLabel*>(&widget)) return label->text();
  if (auto* list = qobject_cast<const ListBox*>(&widget)) {
    *chosen = list->Selection() != -1;
    return list->lines().Lines().join(u'|');
  }
  if (auto* combo = qobject_cast<const QComboBox*>(&widget)) {
    *chosen = combo->currentIndex() != -1;
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items.join(u'|');
  }
  return {};
}

void CheckDialog(const DialogCase& expected, ToolDialog& dialog) {
  SCOPED_TRACE(expected.name);
  EXPECT_EQ(dialog.resource(), expected.resource);
  EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(expected.title));
  EXPECT_TRUE(dialog.isModal());
  QStringList groups;
  for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) groups << group->title();
  for (const char* title : expected.groups) EXPECT_TRUE(groups.contains(title)) << title;
  for (QString control : QString::fromLatin1(expected.controls).split(u';')) {
    const bool disabled = control.startsWith(u'!');
    if (disabled) control.remove(0, 1);
    const int id = control.section(u'=', 0, 0).toInt();
    const QWidget* widget = FindControl(&dialog, id);
    ASSERT_NE(widget, nullptr) << "control " << id;
    EXPECT_EQ(widget->isEnabled(), !disabled) << id;
    bool chosen = false;
    const QString text = TextOf(*widget, &chosen);
    EXPECT_FALSE(chosen) << id;
    if (control.contains(u'=')) {
      EXPECT_EQ(text, control.section(u'=', 1)) << id;
    }
  }
  auto* bar = FindControl<QProgressBar>(&dialog, 1024);
  EXPECT_EQ(bar != nullptr, expected.progress);
  if (bar) {
    EXPECT_EQ(CurrentProgressBar(), bar);  // the shared slot holds the newest bar
  }
}

class DialogsTest : public GuiTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogsTest, OpensFromItsCommandWithItsTitleAndControls) {
  const DialogCase& expected = GetParam();
  int result = -1;
  const auto body = [&](ToolDialog& dialog) {
    CheckDialog(expected, dialog);
    SaveScreenshot(dialog, QString::fromLatin1(expected.name));
    dialog.close();
    result = dialog.result();
  };
  if (expected.opener == 0) {
    FromMenu(expected.command, body);
  } else {
    FromMenu(expected.command, [&](ToolDialog& tool) { FromButton(tool, expected.opener, body); });
  }
  EXPECT_EQ(result, expected.resource == 138 ? 133 : expected.resource);
}

INSTANTIATE_TEST_SUITE_P(Every, DialogsTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

using DialogDetailsTest = GuiTest;

TEST_F(DialogDetailsTest, MemoryToolListHasAFixedPitchFontOfTheDialogsSize) {
  FromMenu(kCmdDebugTools, [&](ToolDialog& dialog) {
    auto* list = FindControl<ListBox>(&dialog, 1081);
    const QFontMetrics metrics(list->font());
    for (QChar glyph : QStringLiteral("i.:M0"))
      EXPECT_EQ(metrics.horizontalAdvance(glyph), metrics.horizontalAdvance(QLatin1Char('W')));
    EXPECT_EQ(list->font().pointSizeF(), dialog.font().pointSizeF());
  });
}

TEST_F(DialogDetailsTest, BreakpointToolShowsFortyRegistersInTwoColumns) {
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    FromButton(tool, 1075, [&](ToolDialog& dialog) {
      for (int id = 1035; id <= 1076; ++id) {
        if (id != 1074 && id != 1075) {
          EXPECT_NE(FindControl<QLabel>(&dialog, id), nullptr) << id;
        }
      }
      const auto x = [&](const QWidget* widget) { return widget->mapTo(&dialog, QPoint()).x(); };
      const auto at = [&](int id) { return FindControl(&dialog, id)->mapTo(&dialog, QPoint()); };
      EXPECT_EQ(at(1035).x(), at(1050).x());  // R0 above R15
      EXPECT_EQ(at(1035).x(), at(1070).x());  // ... and SRR1 at the foot of the left column
      EXPECT_EQ(at(1051).x(), at(1076).x());  // R16 heads the right column, LR at its foot
      EXPECT_LT(at(1050).y(), at(1067).y());  // CR below R15
      EXPECT_EQ(at(1035).y(), at(1051).y());
      // A gap keeps the right column's labels clear of the left column's values.
      QLabel* r16 = nullptr;
      for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == QLatin1String("R16:")) r16 = label;
      }
      ASSERT_NE(r16, nullptr);
      EXPECT_GE(x(r16) - at(1035).x() - FindControl(&dialog, 1035)->width(), 16);
    });
  });
}

}  // namespace
}  // namespace zemlo::shell::testing
