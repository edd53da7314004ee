// The COMMANDS section of zemlo-cli(1) as a help2man include, written from the command table at
// build time so that the manual lists every command with the same usage line as its --help.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace zemlo::cli {

std::string ManCommandsSection(const std::vector<CliCommand>& table);

}  // namespace zemlo::cli
