// The main window's menu bar as data: menus in order, their items with command IDs, and the
// entries that are shown grayed and never enabled.
#pragma once

#include <span>

namespace zemlo::shell {

enum CommandId : int {
  kCmdNone = 0,
  kCmdExit = 40001,
  kCmdConnect = 143,
  kCmdExecutableLoader = 103,
  kCmdAbout = 107,
  kCmdScreenGrabber = 109,
  kCmdUploadFirmware = 113,
  kCmdLowLevel = 114,
  kCmdMusicPlayer = 119,
  kCmdMemoryCard = 123,
  kCmdDebugTools = 128,
  kCmdStartGame = 131,
  kCmdDvdExtractor = 134,
  kCmdNandDump = 137,
  kCmdDiscTools = 144,
  kCmdFileSystemTools = 145,
  kCmdSdTools = 146,
  kCmdWatchList = 160,
  kCmdMemorySearch = 161,
  kCmdGdbServer = 162,
};

struct MenuItemDef {
  const char* text;
  int command;
  bool grayed;
};

struct MenuDef {
  const char* title;
  // A menu with no items is a command on the menu bar itself, with this ID.
  int command;
  bool grayed;
  std::span<const MenuItemDef> items;
};

std::span<const MenuDef> MenuBarTable();

// The dialog a menu command opens, or 0 for commands that open none.
int DialogForCommand(int command);

}  // namespace zemlo::shell
