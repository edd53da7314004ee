#include "shell/menu_table.h"

#include <array>

#include "shell/dialogs.h"

namespace zemlo::shell {
namespace {

constexpr MenuItemDef kFileItems[] = {{"E&xit", kCmdExit, false}};
constexpr MenuItemDef kUsbItems[] = {{"&Connect", kCmdConnect, false}};
constexpr MenuItemDef kWiiItems[] = {
    {"&Nand Dump", kCmdNandDump, false},
    {"&Executable File Loader", kCmdExecutableLoader, false},
    {"&Memory Card Tool", kCmdMemoryCard, false},
    {"M&usic Player", kCmdMusicPlayer, false},
    {"&Disc Tools", kCmdDiscTools, true},
    {"&File System Tools", kCmdFileSystemTools, false},
    {"&SD Tools", kCmdSdTools, true},
};
constexpr MenuItemDef kGamecubeItems[] = {
    {"&Executable File Loader", kCmdExecutableLoader, false},
    {"&Memory Card Tool", kCmdMemoryCard, false},
    {"&Low Level Tool", kCmdLowLevel, false},
    {"&DVD Extractor", kCmdDvdExtractor, false},
    {"M&usic Player", kCmdMusicPlayer, false},
};
constexpr MenuItemDef kStartGameItems[] = {{"Start Game with &Hooks", kCmdStartGame, false}};
constexpr MenuItemDef kDebuggerItems[] = {{"&Debug Tools", kCmdDebugTools, false},
                                          {"&Watch List", kCmdWatchList, false},
                                          {"&Memory Search", kCmdMemorySearch, false},
                                          {"&GDB Server", kCmdGdbServer, false}};
constexpr MenuItemDef kFirmwareItems[] = {{"&Upload Firmware", kCmdUploadFirmware, false}};
constexpr MenuItemDef kHelpItems[] = {{"&About", kCmdAbout, false}};

constexpr std::array<MenuDef, 10> kMenuBar{{
    {"&File", 0, false, kFileItems},
    {"&USB", 0, false, kUsbItems},
    {"&Wii Mode Tools", 0, false, kWiiItems},
    {"&Gamecube Mode Tools", 0, false, kGamecubeItems},
    {"&Start Game", 0, false, kStartGameItems},
    {"&Remote Debugger", 0, false, kDebuggerItems},
    {"&Trainer", kCmdNone, true, {}},
    {"&Screen Grabber", kCmdScreenGrabber, false, {}},
    {"&Firmware", 0, true, kFirmwareItems},
    {"&Help", 0, false, kHelpItems},
}};

struct CommandDialog {
  int command;
  int dialog;
};

constexpr CommandDialog kCommandDialogs[] = {
    {kCmdExecutableLoader, kLoaderDialog},
    {kCmdAbout, kAboutDialog},
    {kCmdScreenGrabber, kScreenGrabDialog},
    {kCmdUploadFirmware, kFirmwareDialog},
    {kCmdLowLevel, kLowLevelDialog},
    {kCmdMusicPlayer, kMusicDialog},
    {kCmdMemoryCard, kMemoryCardDialog},
    {kCmdDebugTools, kMemoryToolDialog},
    {kCmdStartGame, kHookLauncherDialog},
    {kCmdDvdExtractor, kDvdDialog},
    {kCmdNandDump, kNandDialog},
    {kCmdFileSystemTools, kFileSystemDialog},
};

}  // namespace

std::span<const MenuDef> MenuBarTable() {
  return kMenuBar;
}

int DialogForCommand(int command) {
  for (const CommandDialog& entry : kCommandDialogs) {
    if (entry.command == command) return entry.dialog;
  }
  return 0;
}

}  // namespace zemlo::shell
