// Runs a window's operation off the UI thread: the window keeps painting, resizing and moving,
// takes no other input until the operation has ended, and the call returns only then, as when the
// operation ran on the UI thread. Message boxes, file choices, progress and list lines reach the
// UI thread through the UI port.
#pragma once

#include <functional>

class QWidget;

namespace zemlo::shell {

// False when the operation did not run: the link stayed in use by another exchange, or this
// window is already running one.
bool RunOperation(QWidget& window, const std::function<void()>& work);

// True while `window` runs an operation; such a window refuses to close.
bool OperationRunning(const QWidget& window);

}  // namespace zemlo::shell
