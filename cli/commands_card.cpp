#include "cli/handlers.h"

namespace zemlo::cli {
namespace {
int NotYet(CliUi& ui) {
  ui.ShowMessage("This command is not available yet", "Error", MessageIcon::Error,
                 MessageOwner::None);
  return kExitFailure;
}
}  // namespace

int CmdCard(const CliArgs&, CliUi& ui) { return NotYet(ui); }

}  // namespace zemlo::cli
