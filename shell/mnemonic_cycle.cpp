#include "shell/mnemonic_cycle.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QShortcutEvent>
#include <QStyle>

namespace zemlo::shell {
namespace {

void SendKey(QObject* to, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(type, key, modifiers);
  QCoreApplication::sendEvent(to, &event);
}

// The shortcut map hands a shared key to each owner in turn, and Qt's menu bar opens whichever
// entry's turn it is. The usual behaviour is to move the highlight among the entries sharing the
// key and open nothing; the bar does exactly that in its keyboard mode (entered by a lone Alt),
// where the arrow keys move the highlight without opening and Enter or Down opens.
class SharedKeyFilter final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Shortcut) return false;
    auto* bar = static_cast<QMenuBar*>(watched);
    const auto* shortcut = static_cast<QShortcutEvent*>(event);
    if (!shortcut->isAmbiguous() ||
        !bar->style()->styleHint(QStyle::SH_MenuBar_AltKeyNavigation, nullptr, bar)) {
      return false;
    }
    QList<QAction*> sharing;
    for (QAction* action : bar->actions()) {
      if (action->isVisible() && QKeySequence::mnemonic(action->text()) == shortcut->key()) {
        sharing << action;
      }
    }
    if (sharing.size() < 2) return false;
    QAction* target = sharing[(sharing.indexOf(bar->activeAction()) + 1) % sharing.size()];
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (!bar->hasFocus() || !bar->activeAction()) {
      SendKey(bar->window(), QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
      SendKey(bar->window(), QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    }
    for (qsizetype step = 0; step < bar->actions().size() && bar->activeAction() != target;
         ++step) {
      SendKey(bar, QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    }
    return true;
  }
};

}  // namespace

void CycleSharedAccessKeys(QMenuBar& bar) {
  bar.installEventFilter(new SharedKeyFilter(&bar));
}

}  // namespace zemlo::shell
