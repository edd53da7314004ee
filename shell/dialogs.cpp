#include "shell/dialogs.h"

#include <QWidget>
#include <array>

#include "link/ui_port.h"
#include "protocol/messages.h"
#include "shell/modal.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

struct DialogMaker {
  int resource;
  std::unique_ptr<ToolDialog> (*make)(QWidget* owner);
};

constexpr std::array<DialogMaker, 16> kDialogMakers{{
    {kFirmwareDialog, MakeFirmwareDialog},
    {kAboutDialog, MakeAboutDialog},
    {kDumpMemoryDialog, MakeDumpMemoryDialog},
    {kLoaderDialog, MakeLoaderDialog},
    {kMusicDialog, MakeMusicDialog},
    {kLowLevelDialog, MakeLowLevelDialog},
    {kMemoryCardDialog, MakeMemoryCardDialog},
    {kBreakpointDialog, MakeBreakpointDialog},
    {kScreenGrabDialog, MakeScreenGrabDialog},
    {kMemoryToolDialog, MakeMemoryToolDialog},
    {kHookLauncherDialog, MakeHookLauncherDialog},
    {kFillMemoryDialog, MakeFillMemoryDialog},
    {kDvdDialog, MakeDvdDialog},
    {kNandDialog, MakeNandDialog},
    {kFileSystemDialog, MakeFileSystemDialog},
    {kUploadCodeDialog, MakeUploadCodeDialog},
}};

}  // namespace

std::unique_ptr<ToolDialog> MakeToolDialog(int resource, QWidget* owner) {
  for (const DialogMaker& maker : kDialogMakers) {
    if (maker.resource == resource) return maker.make(owner);
  }
  return nullptr;
}

void OpenToolDialog(int resource, QWidget* owner) {
  std::unique_ptr<ToolDialog> dialog = MakeToolDialog(resource, owner);
  if (!dialog) {
    Ui().ShowMessage(kMsgDialogFailed, kCaptionError, MessageIcon::Information,
                     owner && owner->isWindow() && owner->inherits("QDialog")
                         ? MessageOwner::Dialog
                         : MessageOwner::MainWindow);
    return;
  }
  RunModal(*dialog);
}

}  // namespace zemlo::shell
