#include "cli/handlers.h"

namespace zemlo::cli {

int CmdDisasm(const CliArgs&, CliUi& ui) {
  ui.ShowMessage("This command is not available yet", "Error", MessageIcon::Error,
                 MessageOwner::None);
  return kExitFailure;
}

}  // namespace zemlo::cli
