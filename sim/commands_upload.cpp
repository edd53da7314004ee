#include "sim/console.h"

namespace zemlo::sim {

void RegisterUploadCommands(CommandTable&) {}

}  // namespace zemlo::sim
