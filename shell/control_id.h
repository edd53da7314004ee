// Every control carries the numeric ID it has in the dialog templates, both as the property
// "controlId" and as the object name "id<N>", so tests and accessibility tools can find it.
#pragma once

#include <QString>
#include <QWidget>

namespace zemlo::shell {

inline constexpr char kControlIdProperty[] = "controlId";

inline QString ControlObjectName(int id) {
  return QStringLiteral("id%1").arg(id);
}

template <typename W>
W* Tag(W* widget, int id) {
  widget->setProperty(kControlIdProperty, id);
  widget->setObjectName(ControlObjectName(id));
  return widget;
}

// The control with this ID inside `parent`, or null.
template <typename W = QWidget>
W* FindControl(const QWidget* parent, int id) {
  return parent->findChild<W*>(ControlObjectName(id));
}

}  // namespace zemlo::shell
