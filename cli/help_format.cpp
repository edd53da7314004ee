#include "cli/help_format.h"

#include "cli/cli_command.h"

namespace zemlo::cli {
namespace {

const CliCommand* CommandOf(const CLI::App* app) {
  if (!app->get_parent()) return nullptr;
  for (const CliCommand& command : CommandTable())
    if (app->get_name() == command.name) return &command;
  return nullptr;
}

}  // namespace

std::string CommandHelpFormatter::make_usage(const CLI::App* app, std::string name) const {
  const CliCommand* command = CommandOf(app);
  if (!command) return CLI::Formatter::make_usage(app, std::move(name));
  std::string line = "Usage: zemlo-cli [--adapter ADAPTER] " + std::string(command->name);
  if (*command->usage) line += " " + std::string(command->usage);
  return line + " [OPTIONS]\n";
}

std::string CommandHelpFormatter::make_positionals(const CLI::App* app) const {
  // The usage line names a command's arguments; the catch-all entry behind them says nothing.
  return CommandOf(app) ? std::string() : CLI::Formatter::make_positionals(app);
}

}  // namespace zemlo::cli
