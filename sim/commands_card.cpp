#include "sim/console.h"

namespace zemlo::sim {

void RegisterCardCommands(CommandTable&) {}

}  // namespace zemlo::sim
