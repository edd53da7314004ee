// One zemlo-cli command: its arguments as parsed from the command line, and its handler.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_ui.h"

namespace zemlo::cli {

struct CliArgs {
  std::vector<std::string> args;               // positional arguments after the command name
  std::string output;                          // -o FILE, empty when not given
  std::set<std::string> flags;                 // e.g. "--read"
  std::map<std::string, std::string> options;  // e.g. {"--base", "80000000"}
};

// Exit statuses of the command-line contract.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 3;
// A handler returns this when the outcome is what the messages shown say: 0, or 1 after any
// message with a caption other than "Done.".
inline constexpr int kExitFromMessages = -1;

// A handler runs after the adapter has been connected (except for commands that do not connect).
// For a usage error it writes the reason to standard error and returns kExitUsage.
using CommandHandler = int (*)(const CliArgs& args, CliUi& ui);

struct CliCommand {
  const char* name;
  const char* usage;  // the arguments, e.g. "START END -o FILE"
  const char* help;
  int minArgs;
  int maxArgs;
  bool needsOutput;                  // -o FILE is required
  std::vector<std::string> flags;    // accepted boolean flags
  std::vector<std::string> options;  // accepted options with a value
  bool connects;                     // runs ConnectAdapter first
  CommandHandler run;
  const char* offlineFlag = nullptr;  // a flag with which the command needs no adapter
};

const std::vector<CliCommand>& CommandTable();

// Reports a usage error for `command` on standard error and returns kExitUsage.
int UsageError(const std::string& command, const std::string& reason);

}  // namespace zemlo::cli
