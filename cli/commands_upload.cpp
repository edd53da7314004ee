#include "cli/handlers.h"

namespace zemlo::cli {
namespace {
int NotYet(CliUi& ui) {
  ui.ShowMessage("This command is not available yet", "Error", MessageIcon::Error,
                 MessageOwner::None);
  return kExitFailure;
}
}  // namespace

int CmdUpload(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdUploadCode(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdFlashFirmware(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdHook(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdMemory(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdPoke(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdFill(const CliArgs&, CliUi& ui) { return NotYet(ui); }
int CmdDumpMemory(const CliArgs&, CliUi& ui) { return NotYet(ui); }

}  // namespace zemlo::cli
