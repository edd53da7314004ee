// Running a tool dialog modally over its owner. Tests replace the nested event loop with a hook
// that drives the open dialog and returns when done with it.
#pragma once

#include <functional>

namespace zemlo::shell {

class ToolDialog;

using ModalHook = std::function<void(ToolDialog& dialog)>;

// With a hook set, RunModal shows the dialog, calls the hook, then closes the dialog.
void SetModalHook(ModalHook hook);

// The dialog's result (its resource number once it ended).
int RunModal(ToolDialog& dialog);

}  // namespace zemlo::shell
