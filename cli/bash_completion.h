// The bash completion script for zemlo-cli, written from the command table at build time so that
// a new command, option or argument form is completed without anyone editing a script.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace zemlo::cli {

// A script that defines _zemlo_cli and registers it for zemlo-cli.
std::string BashCompletionScript(const std::vector<CliCommand>& table);

}  // namespace zemlo::cli
