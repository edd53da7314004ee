// The tool dialogs by resource number, and the one place that makes them.
#pragma once

#include <memory>

class QWidget;

namespace zemlo::shell {

class ToolDialog;

enum DialogResource : int {
  kFirmwareDialog = 9,
  kAboutDialog = 102,
  kDumpMemoryDialog = 117,
  kLoaderDialog = 118,
  kMusicDialog = 119,
  kLowLevelDialog = 120,
  kMemoryCardDialog = 121,
  kBreakpointDialog = 122,
  kScreenGrabDialog = 126,
  kMemoryToolDialog = 127,
  kHookLauncherDialog = 136,
  kFillMemoryDialog = 137,
  kDvdDialog = 138,
  kNandDialog = 139,
  kFileSystemDialog = 151,
  kUploadCodeDialog = 152,
};

// The dialog with this resource number, owned by `owner`; null for an unknown number.
std::unique_ptr<ToolDialog> MakeToolDialog(int resource, QWidget* owner);

// Opens the dialog modally over `owner` and returns when it has ended.
void OpenToolDialog(int resource, QWidget* owner);

// One maker per dialog, each in its own file.
std::unique_ptr<ToolDialog> MakeAboutDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeFileSystemDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeLoaderDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeMusicDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeUploadCodeDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeFirmwareDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeMemoryToolDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeFillMemoryDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeDumpMemoryDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeBreakpointDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeScreenGrabDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeHookLauncherDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeDvdDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeNandDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeLowLevelDialog(QWidget* owner);
std::unique_ptr<ToolDialog> MakeMemoryCardDialog(QWidget* owner);

}  // namespace zemlo::shell
