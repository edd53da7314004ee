#include <cstdio>

#include "cli/handlers.h"
#include "link/link.h"
#include "protocol/console_controls.h"

namespace zemlo::cli {

int UsageError(const std::string& command, const std::string& reason) {
  std::fprintf(stderr, "zemlo-cli %s: %s\n", command.c_str(), reason.c_str());
  return kExitUsage;
}

int CmdConnect(const CliArgs&, CliUi&) {
  return g_connected ? kExitOk : kExitFailure;
}

int CmdFreeze(const CliArgs&, CliUi&) {
  FreezeConsole();
  return kExitFromMessages;
}

int CmdUnfreeze(const CliArgs&, CliUi&) {
  UnfreezeConsole();
  return kExitFromMessages;
}

// "Stop Extract" pressed with no extraction running: purge, then the stop command.
int CmdStop(const CliArgs&, CliUi&) {
  PurgeLink();
  StopExtraction();
  return kExitFromMessages;
}

}  // namespace zemlo::cli
