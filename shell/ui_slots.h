// Where the UI port delivers progress and list lines. The progress slot holds the bar of the
// dialog opened last that has one (a closed dialog leaves it empty); the list slot holds the list
// box of the innermost open dialog that has one. Both are touched on the UI thread only.
#pragma once

class QProgressBar;

namespace zemlo::shell {

class ListBox;

void SetProgressBar(QProgressBar* bar);
QProgressBar* CurrentProgressBar();

// A dialog pushes its list box when it opens; the entry disappears with the list box.
void PushListBox(ListBox* list);
ListBox* CurrentListBox();

}  // namespace zemlo::shell
