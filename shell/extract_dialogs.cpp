// The dialogs of the console data tools: DVD extraction and NAND dump (each on the extraction
// worker), the GameCube low-level dumps and the memory card tool.
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "disc/image_file.h"
#include "disc/rvz.h"
#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "extract/disc_extractor.h"
#include "extract/dump_options.h"
#include "extract/lowlevel_dump.h"
#include "extract/nand_dumper.h"
#include "extract/worker.h"
#include "link/link.h"
#include "protocol/console_controls.h"
#include "shell/control_id.h"
#include "shell/dialogs.h"
#include "shell/list_box.h"
#include "shell/progress.h"
#include "shell/progress_meter.h"
#include "shell/tool_dialog.h"

namespace zemlo::shell {
namespace {

// A path the DVD dialog's dumps use, chosen once and remembered between runs: a folder when
// `filter` is empty, else a file.
struct RememberedPath {
  const char* settingsKey;
  const char* text;
  const char* objectName;
  const char* noneChosen;
  const char* pickTitle;
  const char* filter;
  std::string DumpOptions::*option;
};

// The folder of DAT files the dumps are looked up in, and the console's keys file (from a NAND
// backup), whose common key lets a Wii disc be written as RVZ.
constexpr RememberedPath kDatFolder{"dat-folder",           "DAT Folder...",       "datFolder",
                                    "No DAT folder chosen", "Folder of DAT files", "",
                                    &DumpOptions::datFolder};
constexpr RememberedPath kWiiKeysFile{"wii-keys-file",
                                      "Keys File...",
                                      "wiiKeysFile",
                                      "No keys file chosen (needed for Wii discs as RVZ)",
                                      "Keys file of the console (1024 bytes)",
                                      "Keys File (*.bin);;All Files (*)",
                                      &DumpOptions::wiiKeysFile};

QPushButton* RememberedPathButton(QWidget* parent, const RememberedPath& path) {
  const auto use = [&path](const QString& chosen) {
    DumpOptions options = CurrentDumpOptions();
    options.*path.option = chosen.toStdString();
    SetDumpOptions(options);
  };
  const auto saved = [&path] {
    return QSettings("zemlo", "zemlo").value(path.settingsKey).toString();
  };
  auto* button = new QPushButton(path.text, parent);
  button->setObjectName(QString::fromLatin1(path.objectName));
  button->setToolTip(saved().isEmpty() ? path.noneChosen : saved());
  use(saved());
  QObject::connect(button, &QPushButton::clicked, button, [button, &path, use, saved] {
    const QString chosen =
        *path.filter ? QFileDialog::getOpenFileName(button, path.pickTitle, saved(), path.filter)
                     : QFileDialog::getExistingDirectory(button, path.pickTitle, saved());
    if (chosen.isEmpty()) return;
    QSettings("zemlo", "zemlo").setValue(path.settingsKey, chosen);
    button->setToolTip(chosen);
    use(chosen);
  });
  return button;
}

constexpr char kImageFormatKey[] = "image-format";

// How the DVD dialog writes its images: ISO, split ISO (parts that fit FAT32) or RVZ; remembered
// between runs.
QWidget* ImageFormatChoice(QWidget* parent) {
  static constexpr struct {
    const char* text;
    disc::ImageFormat format;
  } kChoices[] = {{"ISO", disc::ImageFormat::Iso},
                  {"split ISO", disc::ImageFormat::Split},
                  {"RVZ", disc::ImageFormat::Rvz}};
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel("Image format", row));
  auto* combo = new QComboBox(row);
  combo->setObjectName("image_format");
  for (const auto& choice : kChoices) {
    if (choice.format != disc::ImageFormat::Rvz || disc::RvzAvailable())
      combo->addItem(choice.text);
  }
  layout->addWidget(combo, 1);
  const auto use = [combo](int index) {
    if (index < 0) return;
    DumpOptions options = CurrentDumpOptions();
    options.imageFormat = kChoices[index].format;
    SetDumpOptions(options);
    QSettings("zemlo", "zemlo").setValue(kImageFormatKey, combo->itemText(index));
  };
  combo->setCurrentIndex(
      std::max(0, combo->findText(QSettings("zemlo", "zemlo").value(kImageFormatKey).toString())));
  use(combo->currentIndex());
  QObject::connect(combo, &QComboBox::currentIndexChanged, combo, use);
  return row;
}

template <typename Table, typename Field>
std::vector<const char*> Texts(const Table& table, Field field) {
  std::vector<const char*> texts;
  for (const auto& entry : table) texts.push_back(entry.*field);
  return texts;
}

struct ExtractionLayout {
  int resource;
  int result;
  const char* title;
  const char* group;
  std::vector<const char*> methods;
  int startId;
  const char* startText;
  bool startIsDefault;
  int stopId;
  int listId;
  bool progress;
  WorkerStart (*start)(int selection, WorkerDone done);
  int widthUnits;
  int heightUnits;
};

// A method combo, start and stop buttons and the status list. The run goes on the extraction
// worker; the dialog stays responsive for "Stop Extract" and refuses to close until it ends.
class ExtractionDialog final : public ToolDialog {
 public:
  ExtractionDialog(const ExtractionLayout& design, QWidget* owner)
      : ToolDialog(design.resource, design.title, owner) {
    SetResultCode(design.result);
    QGroupBox* group = Group(design.group, this);
    QComboBox* methods = Combo(1085, design.methods.data(), int(design.methods.size()));
    QPushButton* start = Button(design.startId, design.startText);
    QPushButton* stop = Button(design.stopId, "Stop Extract");
    if (design.startIsDefault) {
      start->setDefault(true);
      start->setAutoDefault(true);
    }
    connect(start, &QPushButton::clicked, this, [this, run = design.start] { Start(run); });
    connect(stop, &QPushButton::clicked, this, [] {
      // Drop the part of a packet in flight, so the worker's read ends and it sees the stop.
      PurgeLink();
      StopExtraction();
    });

    auto* groupLayout = new QGridLayout(group);
    groupLayout->setContentsMargins(14, 14, 14, 14);
    groupLayout->setVerticalSpacing(10);
    groupLayout->addWidget(methods, 0, 0, 1, 2);
    groupLayout->addWidget(start, 1, 0);
    groupLayout->addWidget(stop, 1, 1);
    int row = 2;
    if (design.progress) groupLayout->addWidget(Progress(), row++, 0, 1, 2);
    ListBox* list = List(design.listId);
    groupLayout->addWidget(list, row, 0, 1, 2);
    if (design.progress) {
      // The disc's list holds a few long lines (who the disc is, the verdict, the sums): they
      // wrap to the list's width rather than hide their ends behind a scroll bar. The NAND list
      // has a line per page and keeps its fast rows of one height.
      list->setUniformItemSizes(false);
      list->setWordWrap(true);
      list->setResizeMode(QListView::Adjust);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    if (!design.progress) {
      // Without a bar the page lines tell how far the dump is; a status line adds the pace.
      status_ = Tag(new QLabel(group), kStatusLineId);
      // The line's length changes with every page: it wraps within the dialog's width and has
      // room for two lines from the start, so the dialog never resizes itself during a run.
      status_->setWordWrap(true);
      status_->setMinimumHeight(2 * status_->fontMetrics().lineSpacing());
      groupLayout->addWidget(status_, row + 1, 0, 1, 2);
      connect(&list->lines(), &QAbstractItemModel::rowsInserted, this, [this] { ShowPage(); });
    }
    methods_ = methods;
    list_ = list;
    // The worker tells nobody on the UI thread that it ended; look every so often.
    watch_.setInterval(kWorkerWatchMs);
    connect(&watch_, &QTimer::timeout, this, [this] {
      if (g_workerBusy.load() != 0) return;
      watch_.stop();
      for (QWidget* control : restingControls_) control->setEnabled(true);
      ShowRunEnd();
    });
    groupLayout->setRowStretch(row, 1);
    restingControls_ = {methods, start};
    if (design.start == StartDiscExtraction) {
      QPushButton* datFolder = RememberedPathButton(group, kDatFolder);
      QPushButton* keysFile = RememberedPathButton(group, kWiiKeysFile);
      QWidget* imageFormat = ImageFormatChoice(group);
      groupLayout->addWidget(datFolder, row + 1, 0);
      groupLayout->addWidget(keysFile, row + 1, 1);
      groupLayout->addWidget(imageFormat, row + 2, 0, 1, 2);
      // The run reads the folder's DATs as it ends and writes the format it began with: all stay
      // as they were when it began.
      restingControls_.push_back(datFolder);
      restingControls_.push_back(keysFile);
      restingControls_.push_back(imageFormat);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    SetTemplateSize(design.widthUnits, design.heightUnits);
  }

 protected:
  bool MayClose() const override { return g_workerBusy.load() == 0; }

 private:
  static constexpr int kWorkerWatchMs = 100;

  // A new run starts from an empty list; the method and the start button rest until it ends.
  void Start(WorkerStart (*run)(int selection, WorkerDone done)) {
    const int selection = methods_->currentIndex();
    if (selection >= 0) list_->lines().Clear();
    if (status_) {
      status_->clear();
      pageBytes_ = selection >= 0 && size_t(selection) < NandModes().size()
                       ? NandModes()[size_t(selection)].pageSize
                       : 0;
      meter_.Start(ProgressClockMs(), 0);
    }
    page_ = pages_ = 0;
    if (run(selection, {}) != WorkerStart::Started) return;
    for (QWidget* control : restingControls_) control->setEnabled(false);
    watch_.start();
  }

  // Row 1 holds the newest "Dumping Page N of 0x40000" line.
  void ShowPage() {
    const std::string line = list_->lines().Line(1).toStdString();
    if (std::sscanf(line.c_str(), "Dumping Page %x of 0x%x", &page_, &pages_) != 2) return;
    meter_.Update(ProgressClockMs(), page_);
    ShowStatus(
        {page_, pages_, pageBytes_, meter_.rate(), meter_.SecondsLeft(int64_t(pages_) - page_)},
        "");
  }

  // Once the run has ended there is no pace and no time left: the line keeps how far it got.
  void ShowRunEnd() {
    if (!status_ || pages_ == 0) return;
    ShowStatus({page_, pages_, pageBytes_, {}, {}}, g_stopRequested ? " \xB7 stopped" : "");
  }

  void ShowStatus(const ProgressFigures& figures, const char* suffix) {
    const std::string text = "Page " + std::to_string(figures.done) + " of " +
                             std::to_string(figures.total) + " \xB7 " + ProgressLine(figures) +
                             suffix;
    status_->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
  }

  static constexpr int kStatusLineId = 1125;
  QLabel* status_ = nullptr;
  ProgressMeter meter_;
  uint32_t pageBytes_ = 0;
  unsigned page_ = 0;
  unsigned pages_ = 0;
  std::vector<QWidget*> restingControls_;  // disabled while a run is under way
  QComboBox* methods_ = nullptr;
  ListBox* list_ = nullptr;
  QTimer watch_;
};

class LowLevelDialog final : public ToolDialog {
 public:
  explicit LowLevelDialog(QWidget* owner)
      : ToolDialog(kLowLevelDialog, "Zemlo Gamecube Low Level Tool", owner) {
    QGroupBox* group = Group("Gamecube Low Level Tools", this);
    const std::vector<const char*> texts = Texts(LowLevelRegions(), &LowLevelRegion::comboText);
    QComboBox* regions = Combo(1085, texts.data(), int(texts.size()));
    QPushButton* execute = Button(1019, "Execute");
    connect(execute, &QPushButton::clicked, this, [this, regions] {
      Run([index = regions->currentIndex()] { ExecuteLowLevel(index); });
    });
    auto* groupLayout = new QGridLayout(group);
    groupLayout->setContentsMargins(14, 14, 14, 14);
    groupLayout->setVerticalSpacing(10);
    groupLayout->addWidget(regions, 0, 0, 1, 2);
    groupLayout->addWidget(execute, 1, 0);
    groupLayout->setColumnStretch(1, 1);
    groupLayout->setRowStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    SetTemplateSize(233, 149);
  }
};

class MemoryCardDialog final : public ToolDialog {
 public:
  explicit MemoryCardDialog(QWidget* owner)
      : ToolDialog(kMemoryCardDialog, "Zemlo Memory Card Tool", owner) {
    QGroupBox* group = Group("Memory Card Too", this);
    ListBox* saves = List(1023);
    auto* buttons = new QVBoxLayout;
    const auto addButton = [&](int id, const char* text, int (*operation)()) {
      QPushButton* button = Button(id, text);
      buttons->addWidget(button);
      connect(button, &QPushButton::clicked, this, [this, operation] {
        Run([operation] {
          PurgeLink();
          operation();
        });
      });
    };
    addButton(1025, "List Memory Card", ListCard);
    addButton(1027, "Save GCI File", DownloadCardSave);
    addButton(1029, "Upload Save File", UploadCardSave);
    addButton(1033, "Erase GCI File", EraseCardSave);
    buttons->addStretch();
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(saves, 1);
    groupLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addSpacing(6);
    layout->addWidget(Progress());
    SetTemplateSize(312, 231);
  }
};

}  // namespace

std::unique_ptr<ToolDialog> MakeDvdDialog(QWidget* owner) {
  return std::make_unique<ExtractionDialog>(
      ExtractionLayout{kDvdDialog, 133, "Zemlo DVD Extract Tool", "Extract DVD Media",
                       Texts(DiscKinds(), &DiscKind::comboText), 1100, "Extract DVD", false, 1033,
                       1115, true, StartDiscExtraction, 234, 220},
      owner);
}

std::unique_ptr<ToolDialog> MakeNandDialog(QWidget* owner) {
  return std::make_unique<ExtractionDialog>(
      ExtractionLayout{kNandDialog, kNandDialog, "Dialog", "Dump Nand Flash",
                       Texts(NandModes(), &NandMode::comboText), 1117, "Extract NAND", true, 1122,
                       1124, false, StartNandDump, 232, 204},
      owner);
}

std::unique_ptr<ToolDialog> MakeLowLevelDialog(QWidget* owner) {
  return std::make_unique<LowLevelDialog>(owner);
}

std::unique_ptr<ToolDialog> MakeMemoryCardDialog(QWidget* owner) {
  return std::make_unique<MemoryCardDialog>(owner);
}

}  // namespace zemlo::shell
