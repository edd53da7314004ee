// Every tool dialog opened the way a user opens it: the right dialog, modal, titled, with nothing
// chosen in its lists, its progress bar when it has one, and a picture of it in the build folder.
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

struct DialogCase {
  const char* name;
  int command;  // the menu command that opens it, or the memory tool's when `opener` is set
  int opener;   // the memory tool button that opens it, 0 for none
  int resource;
  const char* title;
  bool progress;
};

const std::vector<DialogCase> kCases = {
    {"about", kCmdAbout, 0, 102, "About USB Zemlo", false},
    {"file_system", kCmdFileSystemTools, 0, 151, "Zemlo Wii File System Explorer", false},
    {"loader", kCmdExecutableLoader, 0, 118, "Zemlo Executable File Loader", true},
    {"music", kCmdMusicPlayer, 0, 119, "Zemlo Music Player Tool", true},
    {"firmware", kCmdUploadFirmware, 0, 9, "Zemlo Firmware Flash Tool", true},
    {"low_level", kCmdLowLevel, 0, 120, "Zemlo Gamecube Low Level Tool", true},
    {"memory_card", kCmdMemoryCard, 0, 121, "Zemlo Memory Card Tool", true},
    {"screen_grab", kCmdScreenGrabber, 0, 126, "Zemlo Screen Grab Tool", true},
    {"hook_launcher", kCmdStartGame, 0, 136, "Zemlo Game Hook Launcher", false},
    {"dvd", kCmdDvdExtractor, 0, 138, "Zemlo DVD Extract Tool", true},
    {"nand", kCmdNandDump, 0, 139, "Dialog", false},
    {"memory_tool", kCmdDebugTools, 0, 127, "Zemlo Memory Tool", false},
    {"dump_memory", kCmdDebugTools, 1033, 117, "Zemlo Dump Memory to File Tool", true},
    {"fill_memory", kCmdDebugTools, 1076, 137, "Zemlo Fill Memory", false},
    {"breakpoints", kCmdDebugTools, 1075, 122, "Zemlo Breakpoint Tool", false},
    {"upload_code", kCmdDebugTools, 1084, 152, "Zemlo Upload Code", true},
};

void CheckDialog(const DialogCase& expected, ToolDialog& dialog) {
  EXPECT_EQ(dialog.resource(), expected.resource);
  EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(expected.title));
  EXPECT_TRUE(dialog.isModal());
  // Nothing is chosen until the user chooses it.
  for (const QComboBox* combo : dialog.findChildren<QComboBox*>(QRegularExpression("^id"))) {
    EXPECT_EQ(combo->currentIndex(), -1);
  }
  for (const ListBox* list : dialog.findChildren<ListBox*>()) EXPECT_EQ(list->Selection(), -1);
  auto* bar = FindControl<QProgressBar>(&dialog, 1024);
  EXPECT_EQ(bar != nullptr, expected.progress);
  if (bar) {
    EXPECT_EQ(CurrentProgressBar(), bar);  // the shared slot holds the newest bar
  }
}

class DialogsTest : public GuiTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogsTest, OpensFromItsCommandWithItsTitle) {
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

}  // namespace
}  // namespace zemlo::shell::testing
