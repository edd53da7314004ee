// The memory tool window and the two range dialogs it opens (fill and dump).
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "disasm/symbol_map.h"
#include "link/link.h"
#include "link/operation_thread.h"
#include "link/ui_port.h"
#include "live/live_link.h"
#include "protocol/console_controls.h"
#include "shell/change_highlight.h"
#include "shell/control_id.h"
#include "shell/dialogs.h"
#include "shell/list_box.h"
#include "shell/live_windows.h"
#include "shell/memory_font.h"
#include "shell/operation_runner.h"
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
    g_memoryView.pageShown = false;  // a new window starts with an empty list
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
    // Enter in either box pokes.
    for (QLineEdit* box : {pokeAddress, pokeValue}) {
      connect(box, &QLineEdit::returnPressed, poke, &QPushButton::click);
    }

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
    layout->addLayout(BuildLiveRow(), 3, 0, 1, 4);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(0, 1);
    SetTemplateSize(374, 322);
  }

  ~MemoryToolDialog() override { pageRead_.Join(); }

 private:
  // Beyond the window's own controls: the live re-read, the hex view's columns and a symbol map
  // for the assembler view.
  QHBoxLayout* BuildLiveRow() {
    list_ = FindControl<ListBox>(this, 1081);
    highlight_ = new ChangeHighlight(list_);
    list_->setItemDelegate(highlight_);
    // A page drawn anew by a button is a new read: nothing on it has changed yet.
    connect(&list_->lines(), &QAbstractItemModel::modelReset, this,
            [this] { highlight_->Set({}); });

    auto* autoRefresh = new QCheckBox(QStringLiteral("Auto refresh"), this);
    autoRefresh->setObjectName(QStringLiteral("autoRefresh"));
    connect(autoRefresh, &QCheckBox::toggled, this, [this](bool on) {
      if (on) {
        timer_.start(LiveIntervalMs());
      } else {
        timer_.stop();
        highlight_->Set({});
        list_->viewport()->update();
      }
    });
    connect(&timer_, &QTimer::timeout, this, &MemoryToolDialog::ReadPageAgain);

    auto* columns = new QComboBox(this);
    columns->setObjectName(QStringLiteral("hexColumns"));
    columns->addItems({QStringLiteral("bytes"), QStringLiteral("u32"), QStringLiteral("f32")});
    columns->setCurrentIndex(g_memoryView.hexColumns);
    connect(columns, &QComboBox::currentIndexChanged, this, [this](int index) {
      g_memoryView.hexColumns = index;
      if (g_memoryView.mode == kModeHex) Redraw({});
    });

    auto* map = new QPushButton(QStringLiteral("Symbol Map..."), this);
    map->setObjectName(QStringLiteral("symbolMap"));
    mapLabel_ = new QLabel(this);
    connect(map, &QPushButton::clicked, this, &MemoryToolDialog::LoadMap);

    auto* row = new QHBoxLayout;
    row->addWidget(autoRefresh);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Hex columns:"), this));
    row->addWidget(columns);
    row->addSpacing(12);
    row->addWidget(map);
    row->addWidget(mapLabel_, 1);
    return row;
  }

  // One 200-byte read of the page on show, on a thread of its own; a turn is skipped while the
  // link or this window is busy, and a failed read is answered with a purge before the next.
  void ReadPageAgain() {
    timer_.setInterval(LiveIntervalMs());
    if (!isVisible() || !g_memoryView.pageShown || !g_connected || OperationRunning(*this) ||
        pageRead_.Running()) {
      return;
    }
    pageRead_.Join();
    read_.address = g_memoryView.pageAddress;
    read_.mode = g_memoryView.mode;
    const bool purge = std::exchange(read_.failed, false);
    const auto started = pageRead_.Begin(
        [this, purge] {
          if (purge) PurgeLink();
          read_.ok = live::ReadWindow(read_.address, read_.bytes.data());
        },
        [this] {
          QMetaObject::invokeMethod(
              this, [this] { PageReadAgain(); }, Qt::QueuedConnection);
        });
    if (started != OperationThread::Start::Started) read_.failed = purge;
  }

  void PageReadAgain() {
    if (OperationRunning(*this)) return;  // the window's own operation owns the view now
    pageRead_.Join();
    if (!read_.ok) {
      read_.failed = true;
      return;
    }
    // The user moved on meanwhile: the read belongs to a page no longer shown.
    if (read_.address != g_memoryView.pageAddress || read_.mode != g_memoryView.mode) return;
    const LineUnits units = PageLineUnits();
    const uint32_t lineBytes = units.unitSize * static_cast<uint32_t>(units.count);
    std::vector<std::vector<ChangeHighlight::Span>> changed(kMemoryPageLines);
    for (uint32_t at = 0; at + units.unitSize <= lineBytes * kMemoryPageLines;
         at += units.unitSize) {
      if (std::equal(read_.bytes.begin() + at, read_.bytes.begin() + at + units.unitSize,
                     g_memoryView.page.begin() + at)) {
        continue;
      }
      const int unit = static_cast<int>(at % lineBytes / units.unitSize);
      changed[at / lineBytes].push_back({units.first + unit * units.stride, units.width});
    }
    g_memoryView.page = read_.bytes;
    Redraw(std::move(changed));
  }

  void Redraw(std::vector<std::vector<ChangeHighlight::Span>> changed) {
    if (!g_memoryView.pageShown) return;
    std::vector<QString> lines;
    for (int i = 0; i < kMemoryPageLines; ++i) {
      lines.push_back(QString::fromLatin1(PageLine(g_memoryView.page.data(), i)));
    }
    highlight_->Set(std::move(changed));
    list_->lines().Replace(std::move(lines));
    list_->viewport()->update();
  }

  void LoadMap() {
    const std::optional<std::string> path = Ui().ChooseOpenFile(
        {"symbol-map", {{"Symbol Maps (*.map)", "*.MAP"}, {"All Files", "*.*"}}, ""});
    if (!path) return;
    SymbolMap map;
    std::string error;
    if (!map.Load(*path, &error)) {
      Ui().ShowMessage("Could not load the symbol map", "Symbol Map", MessageIcon::Error,
                       MessageOwner::Dialog, error);
      return;
    }
    mapLabel_->setText(QStringLiteral("%1 symbols").arg(map.symbols().size()));
    SetLoadedSymbolMap(std::move(map));
    if (g_memoryView.mode == kModeAsm) Redraw({});
  }

  struct PageRead {
    uint32_t address = 0;
    int mode = kModeAsm;
    bool ok = false;
    bool failed = false;
    std::array<uint8_t, kMemoryPageSize> bytes{};
  };

  ListBox* list_ = nullptr;
  ChangeHighlight* highlight_ = nullptr;
  QLabel* mapLabel_ = nullptr;
  QTimer timer_;
  PageRead read_;  // the reading thread's until it is joined
  OperationThread pageRead_;
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
