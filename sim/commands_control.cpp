#include "protocol/commands.h"
#include "sim/console.h"

namespace zemlo::sim {
namespace {

void Freeze(ConsoleSession& session) {
  session.model().frozen = true;
}
void Unfreeze(ConsoleSession& session) {
  session.model().frozen = false;
}
// Outside a stream there is nothing to stop; inside one the streaming handler reads 0xBA itself.
void Stop(ConsoleSession& session) {
  ++session.model().stopCount;
}

}  // namespace

void RegisterControlCommands(CommandTable& table) {
  table.Register(CMD_FREEZE, Freeze);
  table.Register(CMD_UNFREEZE, Unfreeze);
  table.Register(CMD_STOP, Stop);
}

}  // namespace zemlo::sim
