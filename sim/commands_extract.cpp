#include "sim/console.h"

namespace zemlo::sim {

void RegisterExtractCommands(CommandTable&) {}

}  // namespace zemlo::sim
