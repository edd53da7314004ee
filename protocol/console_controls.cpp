#include "protocol/console_controls.h"

#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/steps.h"

namespace zemlo {

std::atomic<int32_t> g_keepExtracting{0};
std::atomic<int32_t> g_stopRequested{0};
std::atomic<int32_t> g_workerBusy{0};

namespace {

int SendControl(uint8_t command) {
  if (!RequireConnected()) return 0;
  return SendCommand(command) ? 1 : 0;
}

}  // namespace

int FreezeConsole() {
  return SendControl(CMD_FREEZE);
}

int UnfreezeConsole() {
  return SendControl(CMD_UNFREEZE);
}

int StopExtraction() {
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const uint8_t command = CMD_STOP;
  // Whether the byte went out or not, the worker must stop at its next packet.
  WriteExact(&command, 1);
  g_stopRequested = 1;
  g_keepExtracting = 0;
  return 1;
}

}  // namespace zemlo
