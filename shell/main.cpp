// zemlo: the desktop client.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "shell/app.h"
#include "shell/parent_console.h"
#include "version/version.h"

int main(int argc, char** argv) {
  zemlo::shell::AttachParentConsole();
  // Help and the version need no display (help2man runs both at build time).
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(zemlo::shell::kShellUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts(zemlo::VersionText("zemlo").c_str());
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zemlo"));
  QApplication::setDesktopFileName(QStringLiteral("zemlo"));
  std::string error;
  const auto options = zemlo::shell::ParseShellArguments(QApplication::arguments(), &error);
  if (!options) {
    std::fprintf(stderr, "zemlo: %s\n%s", error.c_str(), zemlo::shell::kShellUsage);
    return 2;
  }
  if (options->help) {
    std::fputs(zemlo::shell::kShellUsage, stdout);
    return 0;
  }
  // Once the event loop runs, the window speaks for the program.
  QTimer::singleShot(0, [] { zemlo::shell::ReleaseParentConsole(); });
  return zemlo::shell::RunShell(app, *options);
}
