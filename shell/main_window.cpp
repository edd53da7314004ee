#include "shell/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>

#include "link/link.h"
#include "shell/control_id.h"
#include "shell/dialogs.h"
#include "shell/gdb_server_window.h"
#include "shell/live_windows.h"
#include "shell/menu_table.h"
#include "shell/mnemonic_cycle.h"
#include "shell/operation_runner.h"
#include "shell/resources.h"

namespace zemlo::shell {
namespace {

constexpr char kCommandProperty[] = "commandId";

// The empty client area, with the program's icon faintly in its middle.
class Backdrop final : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QIcon icon = window()->windowIcon();
    if (icon.isNull()) return;
    const int side = std::min(160, std::min(width(), height()) / 2);
    const QRect target((width() - side) / 2, (height() - side) / 2, side, side);
    painter.setOpacity(0.12);
    icon.paint(&painter, target);
  }
};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setObjectName(QStringLiteral("mainWindow"));
  setWindowIcon(AppIcon());
  setCentralWidget(new Backdrop(this));
  BuildMenus();
  BuildStatusBar();
  // Where the menu bar's font is wider than the one the size was chosen for, widen the window
  // rather than hide menus behind an overflow button.
  resize(std::max(kInitialWidth, menuBar()->sizeHint().width()), kInitialHeight);
  CentreOnScreen(*this);
}

MainWindow::~MainWindow() {
  StopGdbServer();
  LinkShutdown();
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  CycleSharedAccessKeys(*bar);
  for (const MenuDef& menuDef : MenuBarTable()) {
    const QString title = QString::fromLatin1(menuDef.title);
    if (menuDef.items.empty()) {
      QAction* action = bar->addAction(title);
      action->setProperty(kCommandProperty, menuDef.command);
      action->setEnabled(!menuDef.grayed);
      connect(action, &QAction::triggered, this, [this, id = menuDef.command] { RunCommand(id); });
      continue;
    }
    QMenu* menu = bar->addMenu(title);
    menu->menuAction()->setEnabled(!menuDef.grayed);
    for (const MenuItemDef& item : menuDef.items) {
      QAction* action = menu->addAction(QString::fromLatin1(item.text));
      action->setProperty(kCommandProperty, item.command);
      action->setEnabled(!item.grayed);
      connect(action, &QAction::triggered, this, [this, id = item.command] { RunCommand(id); });
    }
  }
}

void MainWindow::BuildStatusBar() {
  QStatusBar* status = Tag(new QStatusBar(this), kStatusBarId);
  status->setSizeGripEnabled(true);
  statusFirst_ = new QLabel(QString::fromLatin1(kStatusDisconnected), status);
  statusFirst_->setObjectName(QStringLiteral("statusPart0"));
  // 180 pixels hold the status text in the font it was laid out for; a wider font gets the room
  // it needs instead of a clipped text.
  const QFontMetrics metrics(statusFirst_->font());
  const int needed = std::max(metrics.horizontalAdvance(QString::fromLatin1(kStatusDisconnected)),
                              metrics.horizontalAdvance(QString::fromLatin1(kStatusConnected))) +
                     statusFirst_->margin() * 2 + 8;
  statusFirst_->setFixedWidth(std::max(kStatusFirstPartWidth, needed));
  auto* rest = new QLabel(status);
  rest->setObjectName(QStringLiteral("statusPart1"));
  status->addWidget(statusFirst_);
  status->addWidget(rest, 1);
  setStatusBar(status);
}

QString MainWindow::statusText() const {
  return statusFirst_->text();
}

void MainWindow::RunCommand(int command) {
  switch (command) {
    case kCmdExit:
      StopGdbServer();
      LinkShutdown();
      return;
    case kCmdConnect:
      Connect();
      return;
    case kCmdWatchList:
      OpenWatchWindow(this);
      return;
    case kCmdMemorySearch:
      OpenSearchWindow(this);
      return;
    case kCmdGdbServer:
      OpenGdbServerWindow(this);
      return;
    default:
      break;
  }
  if (const int dialog = DialogForCommand(command)) OpenToolDialog(dialog, this);
}

void MainWindow::Connect() {
  int connected = 0;
  if (!RunOperation(*this, [&connected] { connected = ConnectAdapter(); })) return;
  g_connected = connected;
  // There is no disconnect: a later failed attempt leaves the text as it was.
  if (g_connected == 1) statusFirst_->setText(QString::fromLatin1(kStatusConnected));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window stays; the quit request that LinkShutdown posts ends the application.
  event->ignore();
  StopGdbServer();
  LinkShutdown();
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->availableGeometry();
  window.move(desktop.x() + desktop.width() / 2 - window.width() / 2,
              desktop.y() + desktop.height() / 2 - window.height() / 2);
}

}  // namespace zemlo::shell
