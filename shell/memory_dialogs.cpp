// The memory tool window and the two range dialogs it opens (fill and dump).
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

#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "protocol/console_controls.h"
#include "shell/dialogs.h"
#include "shell/list_box.h"
#include "shell/memory_font.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

std::string Text(const QLineEdit* edit) {
  return edit->text().toStdString();
}

// Address and value boxes are sized for their 8 hexadecimal digits.
void FitHexBox(QLineEdit* edit) {
  const QFontMetrics metrics(edit->font());
  edit->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("DDDDDDDDDD")) + 12);
}

class MemoryToolDialog final : public ToolDialog {
 public:
  explicit MemoryToolDialog(QWidget* owner)
      : ToolDialog(kMemoryToolDialog, "Zemlo Memory Tool", owner) {
    ListBox* list = List(1081);
    list->setFont(MemoryListFont(font()));
    const QFontMetrics metrics(list->font());
    // Room for 25 lines and an assembler line with long operands.
    list->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('0')) * 60 + 24,
                         metrics.lineSpacing() * kMemoryPageLines + 8);
    list->setSelectionMode(QAbstractItemView::SingleSelection);

    // Goto and mode.
    QGroupBox* gotoGroup = Group("Goto Address (HEX) / Switch Mode:", this);
    QLineEdit* gotoEdit = Edit(1086, kDefaultGotoText);
    FitHexBox(gotoEdit);
    QPushButton* asmButton = Button(1087, "ASM");
    QPushButton* hexButton = Button(1129, "HEX");
    auto* gotoLayout = new QHBoxLayout(gotoGroup);
    gotoLayout->addWidget(gotoEdit);
    gotoLayout->addWidget(asmButton);
    gotoLayout->addWidget(hexButton);
    connect(asmButton, &QPushButton::clicked, this,
            [this, gotoEdit] { Run([address = Text(gotoEdit)] { OnAsmPressed(address); }); });
    connect(hexButton, &QPushButton::clicked, this,
            [this, gotoEdit] { Run([address = Text(gotoEdit)] { OnHexPressed(address); }); });
    // Enter shows the address in the view on screen.
    connect(gotoEdit, &QLineEdit::returnPressed, this, [asmButton, hexButton] {
      (g_memoryView.mode == kModeHex ? hexButton : asmButton)->click();
    });

    // Paging.
    QGroupBox* pageGroup = Group("Memory Up / Down:", this);
    QPushButton* pageDown = Button(1090, "Page Down");
    QPushButton* pageUp = Button(1091, "Page Up");
    auto* pageLayout = new QHBoxLayout(pageGroup);
    pageLayout->addWidget(pageDown);
    pageLayout->addWidget(pageUp);
    connect(pageDown, &QPushButton::clicked, this, [this] { Run([] { OnPageDown(); }); });
    connect(pageUp, &QPushButton::clicked, this, [this] { Run([] { OnPageUp(); }); });

    // Poke.
    QGroupBox* pokeGroup = Group("Poke Memory (HEX):", this);
    QLineEdit* pokeAddress = Edit(1096, kDefaultPokeAddressText);
    QLineEdit* pokeValue = Edit(1097, kDefaultPokeValueText);
    FitHexBox(pokeAddress);
    FitHexBox(pokeValue);
    QPushButton* poke = Button(1098, "Poke");
    auto* pokeLayout = new QHBoxLayout(pokeGroup);
    pokeLayout->addWidget(new QLabel(QStringLiteral("Address:"), pokeGroup));
    pokeLayout->addWidget(pokeAddress);
    pokeLayout->addSpacing(8);
    pokeLayout->addWidget(new QLabel(QStringLiteral("Value:"), pokeGroup));
    pokeLayout->addWidget(pokeValue);
    pokeLayout->addSpacing(8);
    pokeLayout->addWidget(poke);
    pokeLayout->addStretch();
    connect(poke, &QPushButton::clicked, this, [this, pokeAddress, pokeValue] {
      Run([address = Text(pokeAddress), value = Text(pokeValue)] {
        OnPokePressed(address, value);
      });
    });

    // Options, top to bottom.
    QGroupBox* options = Group("Options:", this);
    auto* optionsLayout = new QVBoxLayout(options);
    const auto addOption = [&](int id, const char* text, auto action) {
      QPushButton* button = Button(id, text);
      optionsLayout->addWidget(button);
      connect(button, &QPushButton::clicked, this, action);
      return button;
    };
    addOption(1075, "Set Breakpoints", [this] { OpenToolDialog(kBreakpointDialog, this); });
    addOption(1033, "Dump Range (HEX)", [this] { OpenToolDialog(kDumpMemoryDialog, this); });
    addOption(1084, "Upload Code", [this] { OpenToolDialog(kUploadCodeDialog, this); });
    // There is no single-step or trace operation on the console side.
    addOption(1109, "Trace", [] {})->setEnabled(false);
    addOption(1108, "Step", [] {})->setEnabled(false);
    addOption(1088, "Freeze Console", [this] { Run([] { FreezeConsole(); }); });
    addOption(1089, "Unfreeze Console", [this] { Run([] { UnfreezeConsole(); }); });
    addOption(1076, "Fill Range", [this] { OpenToolDialog(kFillMemoryDialog, this); });
    optionsLayout->addStretch();

    auto* layout = new QGridLayout(this);
    layout->addWidget(list, 0, 0, 1, 3);
    layout->addWidget(options, 0, 3, 2, 1);
    auto* lower = new QHBoxLayout;
    lower->addWidget(gotoGroup, 3);
    lower->addWidget(pageGroup, 2);
    layout->addLayout(lower, 1, 0, 1, 3);
    layout->addWidget(pokeGroup, 2, 0, 1, 4);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(0, 1);
    SetTemplateSize(374, 322);
  }
};

// Start and end address boxes, an action button and "Close".
class RangeDialog final : public ToolDialog {
 public:
  using Action = int (*)(std::string_view start, std::string_view end);

  struct Layout {
    int resource;
    const char* title;
    const char* group;
    int startId;
    const char* startText;
    int endId;
    int actionId;
    const char* actionText;
    Action action;
    int closeId;
    bool progress;
  };

  RangeDialog(const Layout& design, QWidget* owner)
      : ToolDialog(design.resource, design.title, owner) {
    QGroupBox* group = Group(design.group, this);
    QLineEdit* start = Edit(design.startId, design.startText);
    QLineEdit* end = Edit(design.endId);
    FitHexBox(start);
    FitHexBox(end);
    QPushButton* run = Button(design.actionId, design.actionText);
    QPushButton* close = Button(design.closeId, "Close");
    connect(run, &QPushButton::clicked, this, [this, start, end, action = design.action] {
      Run([action, first = Text(start), last = Text(end)] { action(first, last); });
    });
    connect(close, &QPushButton::clicked, this, [this] { done(resultCode()); });
    connect(end, &QLineEdit::returnPressed, run, &QPushButton::click);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Start Address (Hex):"), start);
    form->addRow(QStringLiteral("End Address (Hex):"), end);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(run);
    buttons->addWidget(close);
    buttons->addStretch();
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->setContentsMargins(14, 14, 14, 14);
    groupLayout->addLayout(form);
    groupLayout->addSpacing(16);
    groupLayout->addLayout(buttons);
    groupLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    if (design.progress) {
      layout->addSpacing(6);
      layout->addWidget(Progress());
    }
    SetTemplateSize(230, design.progress ? 90 : 70);
  }
};

}  // namespace

std::unique_ptr<ToolDialog> MakeMemoryToolDialog(QWidget* owner) {
  return std::make_unique<MemoryToolDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeFillMemoryDialog(QWidget* owner) {
  return std::make_unique<RangeDialog>(
      RangeDialog::Layout{kFillMemoryDialog, "Zemlo Fill Memory", "Fill Memory Range In Ram", 1112,
                          "", 1113, 1111, "Fill Memory", OnFillMemoryPressed, 1110, false},
      owner);
}

std::unique_ptr<ToolDialog> MakeDumpMemoryDialog(QWidget* owner) {
  return std::make_unique<RangeDialog>(
      RangeDialog::Layout{kDumpMemoryDialog, "Zemlo Dump Memory to File Tool",
                          "Dump Memory to File", 1000, "80003100", 1002, 1004, "Dump Memory",
                          OnDumpMemoryPressed, 1005, true},
      owner);
}

}  // namespace zemlo::shell
