#include "shell/operation_runner.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <vector>

#include "link/exchange_claim.h"
#include "link/operation_thread.h"
#include "link/ui_port.h"
#include "shell/gdb_server_window.h"
#include "shell/qt_ui.h"

namespace zemlo::shell {
namespace {

constexpr char kRunningProperty[] = "operationRunning";
// Operations of a few milliseconds (a memory page) would only flicker if their controls greyed.
constexpr int kGreyAfterMs = 250;
// A live refresh or another short exchange may hold the link; wait this long for it to end.
constexpr int kClaimWaitMs = 2000;
// How long that wait goes without painting.
constexpr int kPaintSliceMs = 10;

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

// Drops input meant for one window from the moment its operation starts; message boxes the
// operation shows are windows of their own and take input as usual.
class InputBlocker final : public QObject {
 public:
  explicit InputBlocker(QWidget& window) : window_(&window) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (!IsUserInput(event->type()) || !target->isWidgetType()) return false;
    return static_cast<QWidget*>(target)->window() == window_;
  }

 private:
  QPointer<QWidget> window_;
};

// Greys the window's inputs for a long operation and gives them back afterwards.
class InputGreying {
 public:
  explicit InputGreying(QWidget& window) : window_(window) {}
  ~InputGreying() {
    for (const QPointer<QWidget>& widget : greyed_)
      if (widget) widget->setEnabled(true);
    if (focus_) focus_->setFocus();
  }

  void Grey() {
    focus_ = window_.focusWidget();
    for (QWidget* widget : window_.findChildren<QWidget*>()) {
      const bool input = qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                         qobject_cast<QAbstractItemView*>(widget);
      if (!input || widget->window() != &window_ || !widget->isEnabled()) continue;
      widget->setEnabled(false);
      greyed_.emplace_back(widget);
    }
  }

 private:
  QWidget& window_;
  std::vector<QPointer<QWidget>> greyed_;
  QPointer<QWidget> focus_;
};

OperationThread::Start BeginWhenLinkFree(OperationThread& thread, const std::function<void()>& work,
                                         QEventLoop& loop) {
  const auto finished = [&loop] {
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  };
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    const OperationThread::Start start = thread.Begin(work, finished);
    const qint64 left = kClaimWaitMs - waited.elapsed();
    // A gdb keeps the link until it detaches: no use waiting for that.
    if (start != OperationThread::Start::LinkInUse || left <= 0 || GdbServerHoldsLink())
      return start;
    // Woken by the release itself; the slices keep the windows painting meanwhile.
    WaitUntilLinkFree(std::chrono::milliseconds(std::min<qint64>(left, kPaintSliceMs)));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

}  // namespace

bool OperationRunning(const QWidget& window) {
  return window.property(kRunningProperty).toBool();
}

bool RunOperation(QWidget& window, const std::function<void()>& work) {
  if (OperationRunning(window)) return false;
  window.setProperty(kRunningProperty, true);
  InputBlocker blocker(window);
  InputGreying greying(window);
  QEventLoop loop;
  OperationThread thread;
  const OperationThread::Start start = BeginWhenLinkFree(thread, work, loop);
  const bool started = start == OperationThread::Start::Started;
  if (start == OperationThread::Start::LinkInUse && GdbServerHoldsLink()) {
    Ui().ShowMessage("gdb is attached through the GDB Server and keeps the link.", "GDB Server",
                     MessageIcon::Information, MessageOwner::None,
                     "Detach gdb, or stop the server (Remote Debugger, GDB Server), then try "
                     "again.");
  }
  if (started) {
    QTimer::singleShot(kGreyAfterMs, &loop, [&greying] { greying.Grey(); });
    // An application quit also ends nested loops; the operation still has to finish first.
    while (thread.Running()) loop.exec();
    thread.Join();
    // What the operation queued last shows before its caller looks.
    if (auto* port = dynamic_cast<QtUi*>(&Ui())) port->Flush();
  }
  window.setProperty(kRunningProperty, false);
  return started;
}

}  // namespace zemlo::shell
