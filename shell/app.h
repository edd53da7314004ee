// Start-up of the desktop client: the command line, the adapter back end, the UI port and the
// main window, and the orderly end.
#pragma once

#include <QStringList>
#include <optional>
#include <string>

class QApplication;

namespace zemlo::shell {

struct ShellOptions {
  std::string adapter = "auto";
  bool help = false;
};

inline constexpr char kShellUsage[] =
    "Usage: zemlo [--adapter ADAPTER | --simulator]\n"
    "Options:\n"
    "  --adapter ADAPTER  how the adapter is reached: sim, tcp:HOST:PORT, ftdi, d2xx or auto\n"
    "                     (default auto)\n"
    "  --simulator        the same as --adapter sim: a simulated console, no hardware\n"
    "  -h, --help         print this help, then exit\n"
    "  --version          print the version and the commit built from, then exit\n";

// The options after Qt has taken its own; nothing, with the reason, on a usage error.
std::optional<ShellOptions> ParseShellArguments(const QStringList& arguments, std::string* error);

// Runs the client until it is asked to quit; returns the exit code.
int RunShell(QApplication& app, const ShellOptions& options);

}  // namespace zemlo::shell
