// zemlo-cli: one console operation per invocation, from a terminal or a script.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/adapter_setup.h"
#include "cli/cli_command.h"
#include "cli/cli_ui.h"
#include "cli/help_format.h"
#include "link/link.h"
#include "link/terminal.h"
#include "version/version.h"

namespace {

using zemlo::cli::CliArgs;
using zemlo::cli::CliCommand;

struct ParsedCommand {
  const CliCommand* command = nullptr;
  CLI::App* app = nullptr;
  std::vector<std::string> positionals;
  std::string output;
  std::map<std::string, bool> flags;
  std::map<std::string, std::string> options;
};

}  // namespace

int main(int argc, char** argv) {
  zemlo::UseBinaryStandardStreams();
  zemlo::IgnoreBrokenPipe();
  // Named, so that help reads "zemlo-cli" wherever the program lives.
  CLI::App app{"zemlo-cli: drive a GameCube or Wii console through the USB Zemlo adapter",
               "zemlo-cli"};
  // A path such as /data/x.bin is a path on every system, never an option.
  app.allow_windows_style_options(false);
  app.require_subcommand(1, 1);
  app.formatter(std::make_shared<zemlo::cli::CommandHelpFormatter>());
  app.footer("Run 'zemlo-cli COMMAND --help' for a command's arguments.");
  app.set_version_flag("--version", zemlo::VersionText("zemlo-cli"),
                       "print the version and the commit built from, then exit");
  bool progressLines = false;
  std::string adapter = "auto";
  app.add_option("--adapter", adapter,
                 "how the adapter is reached: sim, tcp:HOST:PORT, ftdi, d2xx or auto");

  const auto& table = zemlo::cli::CommandTable();
  std::vector<ParsedCommand> parsed(table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const CliCommand& command = table[i];
    ParsedCommand& entry = parsed[i];
    entry.command = &command;
    entry.app = app.add_subcommand(command.name, command.help);
    if (command.maxArgs > 0) {
      auto* option = entry.app->add_option("args", entry.positionals, command.usage);
      option->expected(command.minArgs, command.maxArgs);
      if (command.minArgs > 0) option->required();
    }
    auto* output = entry.app->add_option("-o,--output", entry.output, "the file to write");
    if (command.needsOutput) output->required();
    entry.app->add_flag("--progress", progressLines,
                        "when standard error is no terminal, a line there per percent done");
    for (const std::string& flag : command.flags) {
      entry.app->add_flag(flag, entry.flags[flag]);
    }
    for (const std::string& name : command.options) {
      // A name ending in "..." may be given more than once; the handler gets the values one a
      // line.
      if (name.ends_with("...")) {
        const std::string bare = name.substr(0, name.size() - 3);
        entry.app->add_option(bare, entry.options[bare])
            ->multi_option_policy(CLI::MultiOptionPolicy::Join);
      } else {
        entry.app->add_option(name, entry.options[name]);
      }
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help or --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "%s\n%s", e.what(), app.help().c_str());
    return zemlo::cli::kExitUsage;
  }

  ParsedCommand* chosen = nullptr;
  for (ParsedCommand& entry : parsed) {
    if (entry.app->parsed()) chosen = &entry;
  }
  if (!chosen) return zemlo::cli::kExitUsage;

  CliArgs args;
  args.args = chosen->positionals;
  args.output = chosen->output;
  for (const auto& [flag, set] : chosen->flags) {
    if (set) args.flags.insert(flag);
  }
  for (const auto& [name, value] : chosen->options) {
    if (!value.empty()) args.options[name] = value;
  }

  zemlo::cli::CliUi ui;
  zemlo::InstallUi(&ui);
  if (!args.output.empty()) ui.SetSaveFile(args.output);
  ui.SetProgressLines(progressLines);

  const char* offlineFlag = chosen->command->offlineFlag;
  const bool connects =
      chosen->command->connects && !(offlineFlag && args.flags.count(offlineFlag));
  if (connects) {
    std::string error;
    if (!zemlo::cli::InstallAdapter(adapter, &error)) {
      return zemlo::cli::UsageError(chosen->command->name, error);
    }
    // A newcomer without hardware learns of the simulated console where the search fails.
    if (adapter == "auto") {
      ui.SetConnectFailureHint(
          "no adapter was found; --adapter sim tries the tools on a "
          "simulated console without hardware");
    }
    zemlo::g_connected = zemlo::ConnectAdapter();
    ui.SetConnectFailureHint({});
  }

  int status = chosen->command->run(args, ui);
  std::fflush(stdout);
  if (status == zemlo::cli::kExitFromMessages) {
    status = ui.failureShown() ? zemlo::cli::kExitFailure : zemlo::cli::kExitOk;
  }
  if (connects) zemlo::cli::CloseAdapter();
  zemlo::InstallUi(nullptr);
  return status;
}
