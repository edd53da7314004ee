#include "debugger/hook_launcher.h"

#include <array>

#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr std::array<HookType, 5> kHookTypes{{
    {"1. Pad Read Hook - Gamecube", CMD_HOOK_PAD_READ},
    {"2. Vertical Blank Wait Hook- Gamecube", CMD_HOOK_VBLANK_WAIT},
    {"3. Vertical Blank Set Next Hook - Gamecube", CMD_HOOK_VBLANK_SET_NEXT},
    {"4. No Hooks - Gamecube", CMD_HOOK_NONE},
    {"5. Wii Game Hooks", CMD_HOOK_WII},
}};

}  // namespace

std::span<const HookType> HookTypes() {
  return kHookTypes;
}

void ShowHookTypes() {
  for (size_t i = 0; i < kHookTypes.size(); ++i) {
    Ui().ListInsert(static_cast<int>(i), kHookTypes[i].listText);
  }
}

int LaunchGameWithHook() {
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const int selection = Ui().ListSelection();
  // The selection comes from the list box; anything outside the table counts as no choice.
  if (selection < 0 || static_cast<size_t>(selection) >= kHookTypes.size()) {
    ShowError(kMsgNoHookSelected, kCaptionError);
    return 0;
  }
  if (!SendCommand(kHookTypes[static_cast<size_t>(selection)].command)) return 0;
  ShowDone(kMsgHookStarted);
  // Brings back the ordinary time-outs, which a memory dump leaves at 20 s.
  SetLinkTimeouts(kConnectTimeoutMs, kConnectTimeoutMs);
  return 1;
}

}  // namespace zemlo
