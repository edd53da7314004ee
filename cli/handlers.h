// Handlers of the zemlo-cli commands, one file per group.
#pragma once

#include "cli/cli_command.h"

namespace zemlo::cli {

// commands_control.cpp
int CmdConnect(const CliArgs& args, CliUi& ui);
int CmdFreeze(const CliArgs& args, CliUi& ui);
int CmdUnfreeze(const CliArgs& args, CliUi& ui);
int CmdStop(const CliArgs& args, CliUi& ui);
// commands_disasm.cpp
int CmdDisasm(const CliArgs& args, CliUi& ui);
// commands_upload.cpp
int CmdUpload(const CliArgs& args, CliUi& ui);
int CmdUploadCode(const CliArgs& args, CliUi& ui);
int CmdFlashFirmware(const CliArgs& args, CliUi& ui);
int CmdHook(const CliArgs& args, CliUi& ui);
int CmdMemory(const CliArgs& args, CliUi& ui);
int CmdPoke(const CliArgs& args, CliUi& ui);
int CmdFill(const CliArgs& args, CliUi& ui);
int CmdDumpMemory(const CliArgs& args, CliUi& ui);
// commands_debugger.cpp
int CmdDabr(const CliArgs& args, CliUi& ui);
int CmdIabr(const CliArgs& args, CliUi& ui);
int CmdRegisters(const CliArgs& args, CliUi& ui);
int CmdGrab(const CliArgs& args, CliUi& ui);
// commands_extract.cpp
int CmdExtractDisc(const CliArgs& args, CliUi& ui);
int CmdConvert(const CliArgs& args, CliUi& ui);
int CmdDumpNand(const CliArgs& args, CliUi& ui);
int CmdLowLevel(const CliArgs& args, CliUi& ui);
// commands_card.cpp
int CmdCard(const CliArgs& args, CliUi& ui);
// commands_live.cpp
int CmdWatch(const CliArgs& args, CliUi& ui);
int CmdScan(const CliArgs& args, CliUi& ui);
int CmdPointers(const CliArgs& args, CliUi& ui);
int CmdCodes(const CliArgs& args, CliUi& ui);

// commands_gdbserver.cpp
int CmdGdbServer(const CliArgs& args, CliUi& ui);

}  // namespace zemlo::cli
