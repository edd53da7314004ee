// The dialogs that send a file to the console: the executable loader, the music player, the code
// upload of the memory tool and the firmware flash.
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "protocol/firmware.h"
#include "protocol/upload.h"
#include "shell/dialogs.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

struct UploadButton {
  int id;
  UploadKind kind;
};

// Two upload buttons side by side in a group, the progress bar below.
class UploadDialog final : public ToolDialog {
 public:
  UploadDialog(int resource, const char* title, const char* groupTitle,
               std::initializer_list<UploadButton> buttons, QWidget* owner)
      : ToolDialog(resource, title, owner) {
    QGroupBox* group = Group(groupTitle, this);
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(12);
    for (const UploadButton& entry : buttons) {
      QPushButton* button = Button(entry.id, UploadKindInfoOf(entry.kind).button);
      button->setMinimumWidth(110);
      connect(button, &QPushButton::clicked, this,
              [this, kind = entry.kind] { Run([kind] { OnLoadPressed(kind); }); });
      row->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    SetTemplateSize(216, 118);
  }
};

class UploadCodeDialog final : public ToolDialog {
 public:
  explicit UploadCodeDialog(QWidget* owner)
      : ToolDialog(kUploadCodeDialog, "Zemlo Upload Code", owner) {
    QGroupBox* group = Group("Upload Code to Memory", this);
    QLineEdit* address = Edit(1127);
    address->setMaxLength(32);
    address->setPlaceholderText(QString());
    QPushButton* open = Button(1128, "Open");
    open->setDefault(true);
    open->setAutoDefault(true);
    connect(open, &QPushButton::clicked, this, [this, address] {
      Run([text = address->text().toStdString()] { OnUploadCodeOpenPressed(text); });
    });

    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(14, 14, 14, 14);
    row->addWidget(new QLabel(QStringLiteral("Upload Address (HEX):"), group));
    row->addWidget(address, 1);
    row->addWidget(open);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    SetTemplateSize(216, 84);
  }
};

class FirmwareDialog final : public ToolDialog {
 public:
  explicit FirmwareDialog(QWidget* owner)
      : ToolDialog(kFirmwareDialog, "Zemlo Firmware Flash Tool", owner) {
    QGroupBox* group = Group("Firmware Flasher", this);
    QPushButton* load = Button(1009, "Load Firmware");
    load->setMinimumWidth(110);
    connect(load, &QPushButton::clicked, this, [this] { Run([] { OnLoadFirmwarePressed(); }); });
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(18, 18, 18, 18);
    row->addStretch();
    row->addWidget(load);
    row->addStretch();

    QPushButton* close = Button(1007, "Close");
    connect(close, &QPushButton::clicked, this, [this] { done(resultCode()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    SetTemplateSize(216, 130);
  }
};

}  // namespace

std::unique_ptr<ToolDialog> MakeLoaderDialog(QWidget* owner) {
  return std::make_unique<UploadDialog>(
      kLoaderDialog, "Zemlo Executable File Loader", "File Loader",
      std::initializer_list<UploadButton>{{1010, UploadKind::Dol}, {1011, UploadKind::Elf}}, owner);
}

std::unique_ptr<ToolDialog> MakeMusicDialog(QWidget* owner) {
  return std::make_unique<UploadDialog>(
      kMusicDialog, "Zemlo Music Player Tool", "Music Player",
      std::initializer_list<UploadButton>{{1013, UploadKind::Mod}, {1014, UploadKind::Mp3}}, owner);
}

std::unique_ptr<ToolDialog> MakeUploadCodeDialog(QWidget* owner) {
  return std::make_unique<UploadCodeDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeFirmwareDialog(QWidget* owner) {
  return std::make_unique<FirmwareDialog>(owner);
}

}  // namespace zemlo::shell
