#include "cli/handlers.h"
#include "debugger/breakpoints.h"
#include "debugger/screen_grab.h"

namespace zemlo::cli {

int CmdDabr(const CliArgs& args, CliUi&) {
  SetDataBreakpoint(args.args.at(0), args.flags.contains("--read"), args.flags.contains("--write"));
  return kExitFromMessages;
}

int CmdIabr(const CliArgs& args, CliUi&) {
  SetInstructionBreakpoint(args.args.at(0));
  return kExitFromMessages;
}

// The values the tool would put beside its labels, one "LABEL VALUE" line per register. A block
// that came short changes no control, so nothing is printed then.
int CmdRegisters(const CliArgs&, CliUi& ui) {
  const RegisterReadout readout = RetrieveRegisters();
  if (readout.values) {
    for (int i = 0; i < kRegisterCount; ++i) ui.ListInsert(i, RegisterLine(*readout.values, i));
  }
  return kExitFromMessages;
}

// The -o FILE answers the save dialog.
int CmdGrab(const CliArgs&, CliUi&) {
  GrabScreen();
  return kExitFromMessages;
}

}  // namespace zemlo::cli
