// The two dialogs without an operation: About and the Wii File System Explorer.
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/control_id.h"
#include "shell/dialogs.h"
#include "shell/list_box.h"
#include "shell/resources.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

class AboutDialog final : public ToolDialog {
 public:
  explicit AboutDialog(QWidget* owner) : ToolDialog(kAboutDialog, "About USB Zemlo", owner) {
    QGroupBox* group = Group("USB Zemlo Tool", this);
    auto* icon = new QLabel(group);
    icon->setPixmap(AppIcon().pixmap(48, 48));
    auto* text = new QLabel(QStringLiteral("USB Zemlo Client"), group);
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(icon);
    groupLayout->addSpacing(8);
    groupLayout->addWidget(text, 1);

    QPushButton* close = Button(1, "Close");
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, [this] { done(resultCode()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    SetTemplateSize(186, 94);
  }
};

// A place holder for a tool that was never built: every way out ends it as its close box does.
class FileSystemDialog final : public ToolDialog {
 public:
  explicit FileSystemDialog(QWidget* owner)
      : ToolDialog(kFileSystemDialog, "Zemlo Wii File System Explorer", owner) {
    QGroupBox* group = Group("Wii File System Explorer", this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(List(1023));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {Button(1, "OK"), Button(2, "Cancel")}) {
      connect(button, &QPushButton::clicked, this, [this] { done(resultCode()); });
      buttons->addWidget(button);
    }
    FindControl<QPushButton>(this, 1)->setDefault(true);
    layout->addLayout(buttons);
    SetTemplateSize(316, 183);
  }
};

}  // namespace

std::unique_ptr<ToolDialog> MakeAboutDialog(QWidget* owner) {
  return std::make_unique<AboutDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeFileSystemDialog(QWidget* owner) {
  return std::make_unique<FileSystemDialog>(owner);
}

}  // namespace zemlo::shell
