#include "shell/mnemonic_cycle.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcutEvent>
#include <QStyle>
#include <QStyleOptionMenuItem>

namespace zemlo::shell {
namespace {

void SendKey(QObject* to, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(type, key, modifiers);
  QCoreApplication::sendEvent(to, &event);
}

// Puts the bar into its keyboard mode the way a lone Alt does.
void EnterKeyboardMode(QMenuBar& bar) {
  SendKey(bar.window(), QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
  SendKey(bar.window(), QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
}

// Some styles (Fusion among them) draw a menu-bar entry highlighted only while its menu is open,
// so the highlight of the keyboard mode would not show at all. While the bar has the focus, its
// highlighted entry is drawn as an open one.
class KeyboardHighlightStyle final : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuBarItem && item && widget && widget->hasFocus() &&
        (item->state & State_Selected)) {
      QStyleOptionMenuItem highlighted = *item;
      highlighted.state |= State_Sunken;
      QProxyStyle::drawControl(element, &highlighted, painter, widget);
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

// The shortcut map hands a shared key to each owner in turn, disabled entries included, and Qt's
// menu bar opens whichever entry's turn it is. Only enabled entries share a key here: a key with
// one enabled entry opens it at once; among several, the key moves the highlight and opens
// nothing, as the bar does in its keyboard mode, where the arrow keys move the highlight without
// opening and Enter or Down opens.
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
      if (action->isVisible() && action->isEnabled() &&
          QKeySequence::mnemonic(action->text()) == shortcut->key()) {
        sharing << action;
      }
    }
    if (sharing.isEmpty()) return true;  // only disabled entries have this key
    QAction* target = sharing[(sharing.indexOf(bar->activeAction()) + 1) % sharing.size()];
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (!bar->hasFocus() || !bar->activeAction()) EnterKeyboardMode(*bar);
    for (qsizetype step = 0; step < bar->actions().size() && bar->activeAction() != target;
         ++step) {
      SendKey(bar, QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    }
    if (sharing.size() == 1) SendKey(bar, QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    return true;
  }
};

}  // namespace

void CycleSharedAccessKeys(QMenuBar& bar) {
  bar.installEventFilter(new SharedKeyFilter(&bar));
  auto* style = new KeyboardHighlightStyle;
  style->setParent(&bar);
  bar.setStyle(style);
}

}  // namespace zemlo::shell
