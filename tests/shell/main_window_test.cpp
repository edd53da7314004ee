// The main window: its frame, the menu bar as the user sees it, Connect, and the ways out.
#include "shell/app.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, OpensTitledSizedAndDisconnectedWithItsMenus) {
  EXPECT_EQ(window().windowTitle(), QStringLiteral("ROZ Uzidov V1.0 beta Four - Wii Hook Edition"));
  // As wide as the menu bar needs: no menu hides in an overflow. The bar holds its table, with
  // the greyed entries disabled.
  const QList<QAction*> menus = window().menuBar()->actions();
  EXPECT_LE(window().menuBar()->actionGeometry(menus.back()).right(), window().width());
  ASSERT_EQ(menus.size(), int(MenuBarTable().size()));
  for (int i = 0; i < menus.size(); ++i) {
    const MenuDef& menu = MenuBarTable()[i];
    EXPECT_EQ(menus[i]->isEnabled(), !menu.grayed) << menu.title;
    const QList<QAction*> items =
        menus[i]->menu() ? menus[i]->menu()->actions() : QList<QAction*>();
    ASSERT_EQ(items.size(), int(menu.items.size())) << menu.title;
    for (int j = 0; j < items.size(); ++j) {
      EXPECT_EQ(items[j]->isEnabled(), !menu.items[j].grayed) << menu.items[j].text;
    }
  }
  auto* status = FindControl<QStatusBar>(&window(), 142);
  ASSERT_NE(status, nullptr);
  auto* first = status->findChild<QLabel*>(QStringLiteral("statusPart0"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), QStringLiteral("USB Adapter Status: Disconnected"));
  const int partWidth = first->width();
  EXPECT_GE(partWidth, first->fontMetrics().horizontalAdvance(first->text()));

  SaveScreenshot(window(), QStringLiteral("main_window"));

  // A resized window keeps the bar along its bottom edge with its first part unchanged.
  window().resize(window().size() + QSize(130, 100));
  QApplication::processEvents();
  EXPECT_EQ(status->geometry().bottom(), window().rect().bottom());
  EXPECT_EQ(first->width(), partWidth);
}

TEST_F(MainWindowTest, ConnectShowsConnectedAFailedRetryLeavesTheTextAndExitQuitsWithZero) {
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

  Connect();
  window().RunCommand(kCmdExit);
  QApplication::processEvents();
  EXPECT_EQ(g_connected.load(), 0);
  EXPECT_EQ(adapter().openHandles(), 0);
  EXPECT_EQ(sink().quits, std::vector<int>{0});
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
