// Starts the game in the drive with one of five hook types: one command byte, no reply.
#pragma once

#include <cstdint>
#include <span>

namespace zemlo {

struct HookType {
  const char* listText;
  uint8_t command;
};

// In list order (positions 0 to 4).
std::span<const HookType> HookTypes();

inline constexpr char kMsgNoHookSelected[] = "No Hook Type Selected";
inline constexpr char kMsgHookStarted[] =
    "If hooked, remote debugger and screen shot tool will be active";

// Fills the launcher's list box with the hook texts, as the dialog does when it opens.
void ShowHookTypes();

// "Start Game": sends the byte of the list selection. 1 when sent; 0 after a message. No purge.
int LaunchGameWithHook();

}  // namespace zemlo
