#include "shell/modal.h"

#include <utility>

#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

ModalHook g_modalHook;

}  // namespace

void SetModalHook(ModalHook hook) {
  g_modalHook = std::move(hook);
}

int RunModal(ToolDialog& dialog) {
  if (!g_modalHook) return dialog.exec();
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  // A copy: the hook may open nested dialogs, or replace itself.
  const ModalHook hook = g_modalHook;
  hook(dialog);
  if (dialog.isVisible()) dialog.done(dialog.resultCode());
  return dialog.result();
}

}  // namespace zemlo::shell
