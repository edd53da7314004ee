#include "shell/app.h"

#include <QApplication>
#include <chrono>
#include <cstdio>

#include "extract/worker.h"
#include "link/adapter_choice.h"
#include "link/link.h"
#include "shell/main_window.h"
#include "shell/qt_ui.h"
#include "sim/sim_adapter_factory.h"

namespace zemlo::shell {

std::optional<ShellOptions> ParseShellArguments(const QStringList& arguments, std::string* error) {
  ShellOptions options;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--simulator")) {
      options.adapter = "sim";
    } else if (argument == QLatin1String("--adapter")) {
      if (i + 1 >= arguments.size()) {
        *error = "--adapter needs a value";
        return std::nullopt;
      }
      options.adapter = arguments[++i].toStdString();
    } else if (argument.startsWith(QLatin1String("--adapter="))) {
      options.adapter = argument.mid(10).toStdString();
    } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      options.help = true;
    } else {
      *error = "unknown argument: " + argument.toStdString();
      return std::nullopt;
    }
  }
  return options;
}

int RunShell(QApplication& app, const ShellOptions& options) {
  sim::RegisterProcessSimAdapter();
  std::string error;
  std::unique_ptr<D2xxDriver> driver = MakeDriverForAdapter(options.adapter, &error);
  if (!driver) {
    std::fprintf(stderr, "zemlo: %s\n%s", error.c_str(), kShellUsage);
    return 2;
  }
  InstallDriver(std::move(driver));

  // Only LinkShutdown ends the application, whatever windows come and go.
  QApplication::setQuitOnLastWindowClosed(false);
  QtUi ui;
  InstallUi(&ui);
  int code = 0;
  {
    MainWindow window;
    ui.SetMainWindow(&window);
    window.show();
    code = app.exec();
    ui.BeginShutdown();
    // A worker still streaming sees the closed link at its next read; let it finish what it is
    // telling the UI thread and end before the window goes.
    for (int i = 0; i < 500 && !WaitForWorkerFor(std::chrono::milliseconds(10)); ++i) {
      QCoreApplication::processEvents();
    }
  }
  InstallUi(nullptr);
  return code;
}

}  // namespace zemlo::shell
