// The breakpoint tool, the screen grabber and the game hook launcher.
#include <QCheckBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "debugger/breakpoints.h"
#include "debugger/hook_launcher.h"
#include "debugger/screen_grab.h"
#include "protocol/console_controls.h"
#include "shell/control_id.h"
#include "shell/dialogs.h"
#include "shell/list_box.h"
#include "shell/memory_font.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

// The register block's rows: R0..R15 then CR, DSISR, SRR0, SRR1 on the left; R16..R31 then XER,
// CTR, DAR, LR on the right. Entries are word indexes into the block.
constexpr std::array<int, 20> kLeftColumn{7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                          17, 18, 19, 20, 21, 22, 0,  3,  5,  6};
constexpr std::array<int, 20> kRightColumn{23, 24, 25, 26, 27, 28, 29, 30, 31, 32,
                                           33, 34, 35, 36, 37, 38, 1,  2,  4,  39};

class BreakpointDialog final : public ToolDialog {
 public:
  explicit BreakpointDialog(QWidget* owner)
      : ToolDialog(kBreakpointDialog, "Zemlo Breakpoint Tool", owner) {
    QGroupBox* dataGroup = Group("Data Breakpoint DABR", this);
    QLineEdit* dataAddress = Edit(1034);
    QCheckBox* read = Check(1031, "Read");
    QCheckBox* write = Check(1032, "Write");
    QPushButton* setData = Button(1033, "Set Breakpoint");
    auto* dataLayout = new QGridLayout(dataGroup);
    dataLayout->addWidget(new QLabel(QStringLiteral("Breakpoint Address (Hex):"), dataGroup), 0, 0);
    dataLayout->addWidget(dataAddress, 0, 1, 1, 2);
    dataLayout->addWidget(read, 1, 0);
    dataLayout->addWidget(write, 1, 1);
    dataLayout->addWidget(setData, 1, 2);
    connect(setData, &QPushButton::clicked, this, [this, dataAddress, read, write] {
      Run([address = dataAddress->text().toStdString(), onRead = read->isChecked(),
           onWrite = write->isChecked()] { SetDataBreakpoint(address, onRead, onWrite); });
    });

    QGroupBox* instruction = Group("Instruction  Breakpoint IABR", this);
    QLineEdit* instructionAddress = Edit(1074);
    QPushButton* setInstruction = Button(1075, "Set Breakpoint");
    auto* instructionLayout = new QGridLayout(instruction);
    instructionLayout->addWidget(
        new QLabel(QStringLiteral("Breakpoint Address (Hex):"), instruction), 0, 0);
    instructionLayout->addWidget(instructionAddress, 0, 1);
    instructionLayout->addWidget(setInstruction, 1, 1, Qt::AlignRight);
    connect(setInstruction, &QPushButton::clicked, this, [this, instructionAddress] {
      Run([address = instructionAddress->text().toStdString()] {
        SetInstructionBreakpoint(address);
      });
    });

    QPushButton* retrieve = Button(1029, "Retrieve Data");
    QPushButton* close = Button(1030, "Close");
    connect(retrieve, &QPushButton::clicked, this, [this] { Retrieve(); });
    connect(close, &QPushButton::clicked, this, [this] { done(resultCode()); });

    QGroupBox* registers = Group("Registers (values in HEX)", this);
    auto* registerLayout = new QGridLayout(registers);
    registerLayout->setVerticalSpacing(2);
    registerLayout->setHorizontalSpacing(8);
    const QFont valueFont = MemoryListFont(font());
    const int valueWidth =
        QFontMetrics(valueFont).horizontalAdvance(QStringLiteral("00000000")) + 12;
    const auto addColumn = [&](const std::array<int, 20>& words, int column) {
      for (int row = 0; row < int(words.size()); ++row) {
        const RegisterField& field = kRegisterFields[words[row]];
        auto* label = new QLabel(QString::fromLatin1(field.label), registers);
        auto* value = Tag(new QLabel(registers), field.controlId);
        value->setFont(valueFont);
        value->setMinimumWidth(valueWidth);
        value->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        registerLayout->addWidget(label, row, column, Qt::AlignRight);
        registerLayout->addWidget(value, row, column + 1);
        values_[words[row]] = value;
      }
    };
    addColumn(kLeftColumn, 0);
    registerLayout->setColumnMinimumWidth(2, 16);
    addColumn(kRightColumn, 3);

    auto* left = new QVBoxLayout;
    left->addWidget(dataGroup);
    left->addWidget(instruction);
    left->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(retrieve);
    buttons->addStretch();
    buttons->addWidget(close);
    left->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(registers);
    SetTemplateSize(382, 231);
  }

 private:
  void Retrieve() {
    RegisterReadout readout;
    Run([&readout] { readout = RetrieveRegisters(); });
    if (!readout.values) return;  // a short block leaves the values shown as they were
    for (int word = 0; word < kRegisterCount; ++word) {
      values_[word]->setText(QString::fromStdString(FormatRegisterValue((*readout.values)[word])));
    }
  }

  std::array<QLabel*, kRegisterCount> values_{};
};

class ScreenGrabDialog final : public ToolDialog {
 public:
  explicit ScreenGrabDialog(QWidget* owner)
      : ToolDialog(kScreenGrabDialog, "Zemlo Screen Grab Tool", owner) {
    QGroupBox* group = Group("Screen Grabber", this);
    QPushButton* freeze = Button(1033, "Freeze Game");
    QPushButton* unfreeze = Button(1075, "Unfreeze Game");
    QPushButton* grab = Button(1076, "Grab Screen");
    connect(freeze, &QPushButton::clicked, this, [this] { Run([] { FreezeConsole(); }); });
    connect(unfreeze, &QPushButton::clicked, this, [this] { Run([] { UnfreezeConsole(); }); });
    connect(grab, &QPushButton::clicked, this, [this] { Run([] { GrabScreen(); }); });
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(24, 16, 24, 16);
    groupLayout->addStretch();
    groupLayout->addWidget(freeze);
    groupLayout->addWidget(unfreeze);
    groupLayout->addSpacing(8);
    groupLayout->addWidget(grab);
    groupLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    SetTemplateSize(213, 181);
  }
};

class HookLauncherDialog final : public ToolDialog {
 public:
  explicit HookLauncherDialog(QWidget* owner)
      : ToolDialog(kHookLauncherDialog, "Zemlo Game Hook Launcher", owner) {
    QGroupBox* group = Group("Game Hook Launcher", this);
    ListBox* hooks = List(1107);
    hooks->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ShowHookTypes();
    QPushButton* start = Button(1104, "Start Game");
    start->setDefault(true);
    start->setAutoDefault(true);
    connect(start, &QPushButton::clicked, this, [this] { Run([] { LaunchGameWithHook(); }); });
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(hooks, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(start);
    groupLayout->addLayout(row);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    SetTemplateSize(240, 150);
  }
};

}  // namespace

std::unique_ptr<ToolDialog> MakeBreakpointDialog(QWidget* owner) {
  return std::make_unique<BreakpointDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeScreenGrabDialog(QWidget* owner) {
  return std::make_unique<ScreenGrabDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeHookLauncherDialog(QWidget* owner) {
  return std::make_unique<HookLauncherDialog>(owner);
}

}  // namespace zemlo::shell
