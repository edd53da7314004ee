// The main window: its frame, the menu bar as the user sees it, Connect, and the ways out.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "link/link.h"
#include "shell/app.h"
#include "shell/control_id.h"
#include "shell/menu_table.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

struct ExpectedMenu {
  QString title;
  bool enabled;
  // "text" for an enabled item, "-text" for a grayed one; empty for a command on the bar itself.
  QStringList items;
};

QStringList Describe(const QMenu& menu) {
  QStringList items;
  for (const QAction* action : menu.actions()) {
    items << (action->isEnabled() ? QString() : QStringLiteral("-")) + action->text();
  }
  return items;
}

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, OpensTitledSizedAndDisconnected) {
  EXPECT_EQ(window().windowTitle(), QStringLiteral("ROZ Uzidov V1.0 beta Four - Wii Hook Edition"));
  EXPECT_EQ(window().height(), 537);
  // 770 wide, or as wide as the menu bar needs in a wider font: no menu hides in an overflow.
  EXPECT_GE(window().width(), 770);
  const QList<QAction*> menus = window().menuBar()->actions();
  EXPECT_LE(window().menuBar()->actionGeometry(menus.back()).right(), window().width());
  auto* status = FindControl<QStatusBar>(&window(), 142);
  ASSERT_NE(status, nullptr);
  auto* first = status->findChild<QLabel*>(QStringLiteral("statusPart0"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), QStringLiteral("USB Adapter Status: Disconnected"));
  const int partWidth = first->width();
  EXPECT_GE(partWidth, 180);
  EXPECT_GE(partWidth, first->fontMetrics().horizontalAdvance(first->text()));

  // A resized window keeps the bar along its bottom edge with its first part unchanged.
  const QSize initial = window().size();
  window().resize(initial + QSize(130, 100));
  QApplication::processEvents();
  EXPECT_EQ(status->geometry().bottom(), window().rect().bottom());
  EXPECT_EQ(first->width(), partWidth);
  window().resize(initial);
  QApplication::processEvents();
  SaveScreenshot(window(), QStringLiteral("main_window"));
}

TEST_F(MainWindowTest, MenuBarHoldsEveryCommandWithTheGrayedOnesDisabled) {
  const std::vector<ExpectedMenu> expected = {
      {"&File", true, {"E&xit"}},
      {"&USB", true, {"&Connect"}},
      {"&Wii Mode Tools",
       true,
       {"&Nand Dump", "&Executable File Loader", "&Memory Card Tool", "M&usic Player",
        "-&Disc Tools", "&File System Tools", "-&SD Tools"}},
      {"&Gamecube Mode Tools",
       true,
       {"&Executable File Loader", "&Memory Card Tool", "&Low Level Tool", "&DVD Extractor",
        "M&usic Player"}},
      {"&Start Game", true, {"Start Game with &Hooks"}},
      {"&Remote Debugger", true, {"&Debug Tools", "&Watch List", "&Memory Search"}},
      {"&Trainer", false, {}},
      {"&Screen Grabber", true, {}},
      {"&Firmware", false, {"&Upload Firmware"}},
      {"&Help", true, {"&About"}},
  };
  const QList<QAction*> bar = window().menuBar()->actions();
  ASSERT_EQ(bar.size(), qsizetype(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].title.toStdString());
    EXPECT_EQ(bar[i]->text(), expected[i].title);
    EXPECT_EQ(bar[i]->isEnabled(), expected[i].enabled);
    const QStringList items = bar[i]->menu() ? Describe(*bar[i]->menu()) : QStringList();
    EXPECT_EQ(items, expected[i].items);
  }
}

TEST_F(MainWindowTest, ConnectShowsConnectedAndAFailedRetryLeavesTheText) {
  window().RunCommand(kCmdConnect);
  EXPECT_EQ(g_connected.load(), 1);
  EXPECT_EQ(window().statusText(), QStringLiteral("USB Adapter Status: Connected"));
  EXPECT_TRUE(Messages().empty());

  adapter().faults().FailConnectStep(sim::ConnectStep::Open);
  window().RunCommand(kCmdConnect);
  EXPECT_EQ(g_connected.load(), 0);
  EXPECT_EQ(window().statusText(), QStringLiteral("USB Adapter Status: Connected"));
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "USB ERROR");
}

TEST_F(MainWindowTest, ExitShutsTheLinkAndQuitsWithZero) {
  Connect();
  window().RunCommand(kCmdExit);
  QApplication::processEvents();
  EXPECT_EQ(g_connected.load(), 0);
  EXPECT_EQ(adapter().openHandles(), 0);
  EXPECT_EQ(sink().quits(), std::vector<int>{0});
}

TEST(ShellStartTest, SimulatorOptionRunsTheClientOnTheBuiltInConsole) {
  EnsureApplication();
  std::string error;
  const auto options = ParseShellArguments({"zemlo", "--simulator"}, &error);
  ASSERT_TRUE(options.has_value());
  EXPECT_EQ(options->adapter, "sim");
  EXPECT_EQ(ParseShellArguments({"zemlo", "--adapter", "tcp:host:1"}, &error)->adapter,
            "tcp:host:1");
  EXPECT_FALSE(ParseShellArguments({"zemlo", "--adapter"}, &error).has_value());
  EXPECT_FALSE(ParseShellArguments({"zemlo", "--frobnicate"}, &error).has_value());

  QString status;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* window = qobject_cast<MainWindow*>(widget)) {
        window->RunCommand(kCmdConnect);
        status = window->statusText();
        window->close();
      }
    }
  });
  EXPECT_EQ(RunShell(*qApp, *options), 0);
  EXPECT_EQ(status, QStringLiteral("USB Adapter Status: Connected"));
  EXPECT_EQ(g_connected.load(), 0);
  InstallDriver(nullptr);
}

}  // namespace
}  // namespace zemlo::shell::testing
