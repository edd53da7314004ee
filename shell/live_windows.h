// The live memory tools' windows: the watch list and the memory search. Both are modeless and
// stay open while the user works elsewhere; their refreshes skip a turn while a dialog's
// operation or a worker holds the link.
#pragma once

class QWidget;

namespace zemlo::shell {

// Shows the window (made on first use, kept for the run) and raises it.
QWidget* OpenWatchWindow(QWidget* owner);
QWidget* OpenSearchWindow(QWidget* owner);
QWidget* OpenPointerWindow(QWidget* owner);

// How often live views re-read: the watch list's interval, also used by the memory tool's auto
// refresh.
int LiveIntervalMs();

}  // namespace zemlo::shell
