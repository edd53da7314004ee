// A full NAND dump (262,144 pages of 2,048 bytes) through the in-process simulated console, once
// with the desktop client's NAND dialog open and once through zemlo-cli, and the ratio of the two
// wall-clock times. The dialog keeps every page line in its list while the dump runs.
//
//   nand_gui_bench [REPEATS]      (runs on the offscreen platform unless QT_QPA_PLATFORM is set)
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "link/link.h"
#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/main_window.h"
#include "shell/menu_table.h"
#include "shell/modal.h"
#include "shell/qt_ui.h"
#include "shell/tool_dialog.h"
#include "sim/sim_adapter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace zemlo;
using namespace zemlo::shell;

class BenchSink final : public UiSink {
 public:
  explicit BenchSink(std::string path) : path_(std::move(path)) {}
  void Message(const std::string& text, const std::string& caption, MessageIcon, MessageOwner,
               const std::string&) override {
    lastMessage = caption + ": " + text;
    if (loop) loop->quit();
  }
  std::optional<std::string> OpenFile(const FileRequest&) override { return path_; }
  std::optional<std::string> SaveFile(const FileRequest&) override { return path_; }
  bool Quit(int) override { return true; }

  QEventLoop* loop = nullptr;
  std::string lastMessage;

 private:
  std::string path_;
};

struct GuiRun {
  double seconds = 0;
  int mostLines = 0;
  std::string message;
};

GuiRun DumpWithDialog(const std::string& path) {
  sim::SimAdapter adapter;
  InstallDriver(adapter.MakeDriver());
  BenchSink sink(path);
  QtUi ui;
  ui.SetSink(&sink);
  InstallUi(&ui);
  GuiRun run;
  {
    MainWindow window;
    ui.SetMainWindow(&window);
    window.show();
    window.RunCommand(kCmdConnect);
    SetModalHook([&](ToolDialog& dialog) {
      FindControl<QComboBox>(&dialog, 1085)->setCurrentIndex(0);
      auto* list = FindControl<ListBox>(&dialog, 1124);
      QObject::connect(&list->lines(), &QAbstractItemModel::rowsInserted, &dialog,
                       [&] { run.mostLines = std::max(run.mostLines, list->lines().rowCount()); });
      QEventLoop loop;
      sink.loop = &loop;
      const auto start = Clock::now();
      FindControl<QPushButton>(&dialog, 1117)->click();
      loop.exec();  // until the worker's closing message
      run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      sink.loop = nullptr;
      run.message = sink.lastMessage;
    });
    window.RunCommand(kCmdNandDump);
    SetModalHook({});
  }
  LinkShutdown();
  QCoreApplication::processEvents();
  InstallUi(nullptr);
  InstallDriver(nullptr);
  return run;
}

double DumpWithCli(const std::string& path) {
  const std::string command =
      std::string(ZEMLO_CLI_PATH) + " --adapter sim dump-nand 2048 -o '" + path + "' > /dev/null";
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (status != 0) std::fprintf(stderr, "zemlo-cli exited with status %d\n", status);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zemlo-nand-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string guiPath = (dir / "gui.bin").string();
  const std::string cliPath = (dir / "cli.bin").string();

  double bestGui = 1e30;
  double bestCli = 1e30;
  for (int i = 0; i < repeats; ++i) {
    const GuiRun gui = DumpWithDialog(guiPath);
    const double cli = DumpWithCli(cliPath);
    std::printf("run %d: dialog %.2f s (%s; list peaked at %d lines), zemlo-cli %.2f s\n", i + 1,
                gui.seconds, gui.message.c_str(), gui.mostLines, cli);
    bestGui = std::min(bestGui, gui.seconds);
    bestCli = std::min(bestCli, cli);
  }
  std::printf(
      "NAND dump, 262144 pages of 2048 bytes: dialog %.2f s, zemlo-cli %.2f s, ratio %.2f\n",
      bestGui, bestCli, bestGui / bestCli);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
