#include "shell/live_windows.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <fstream>

#include "link/operation_thread.h"
#include "link/ui_port.h"
#include "live/background_refresh.h"
#include "live/gecko_codes.h"
#include "live/lock_keeper.h"
#include "live/pointer_session.h"
#include "live/value_search.h"
#include "live/watch_file.h"
#include "live/watch_list.h"
#include "shell/operation_runner.h"
#include "shell/progress_meter.h"

namespace zemlo::shell {
namespace {

int g_liveIntervalMs = 100;

QString Hex(uint32_t value) {
  return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

// The watch list as a tree: a struct or an array entry opens to its fields, each refreshed with
// the rest in the same windows, each edited on its own.
class WatchWindow final : public QWidget {
 public:
  explicit WatchWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("watchList"));
    setWindowTitle(QStringLiteral("Watch List"));
    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(6);
    tree_->setHeaderLabels({QStringLiteral("Group"), QStringLiteral("Label"),
                            QStringLiteral("Address"), QStringLiteral("Type"),
                            QStringLiteral("Value"), QStringLiteral("Lock")});
    tree_->header()->setStretchLastSection(true);
    // Fields sit indented below their struct's label.
    tree_->setTreePosition(1);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // An address behind pointers or an error would otherwise wrap or be cut off.
    tree_->setWordWrap(false);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    interval_ = new QSpinBox(this);
    interval_->setRange(20, 10000);
    interval_->setValue(100);
    interval_->setSuffix(QStringLiteral(" ms"));
    status_ = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    for (const auto& [text, slot] :
         std::initializer_list<std::pair<const char*, void (WatchWindow::*)()>>{
             {"&Open...", &WatchWindow::Open},
             {"&Save...", &WatchWindow::Save},
             {"Export &CSV...", &WatchWindow::ExportCsv},
             {"Export as C&ode...", &WatchWindow::ExportCodes},
             {"&Add...", &WatchWindow::AddByHand},
             {"Edit E&ntry...", &WatchWindow::EditEntry},
             {"&Edit Value", &WatchWindow::EditValue},
             {"&Remove", &WatchWindow::Remove}}) {
      auto* button = new QPushButton(QString::fromLatin1(text), this);
      connect(button, &QPushButton::clicked, this, slot);
      buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Refresh every"), this));
    buttons->addWidget(interval_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(tree_);
    layout->addWidget(new QLabel(
        QStringLiteral("A poke writes a whole word: editing or locking a u8, u16 or string reads "
                       "the surrounding word first, and writes it back with the new bytes."),
        this));
    layout->addWidget(status_);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] { EditValue(); });
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
      const int row = tree_->indexOfTopLevelItem(item);
      if (filling_ || column != 5 || row < 0) return;
      const std::string error =
          list_.Lock(static_cast<size_t>(row), item->checkState(5) == Qt::Checked);
      if (!error.empty()) status_->setText(QString::fromStdString(error));
      PublishLocks();
    });
    connect(interval_, &QSpinBox::valueChanged, this, [this](int ms) {
      timer_.setInterval(ms);
      g_liveIntervalMs = ms;
      live::LockKeeper::Instance().SetInterval(std::chrono::milliseconds(ms));
    });
    connect(&timer_, &QTimer::timeout, this, &WatchWindow::Refresh);
    timer_.start(interval_->value());
    resize(640, 360);
  }

  void Add(const live::WatchEntry& entry) {
    list_.entries().push_back(entry);
    Fill();
    PublishLocks();
  }

 private:
  // A scan holds the link for seconds; the locks it writes between its chunks are these.
  void PublishLocks() { live::LockKeeper::Instance().Publish(list_); }

  // The exchange runs on a thread of its own; its readings are taken back here, on the UI
  // thread. Skipped while the window's own edit runs.
  void Refresh() {
    if (!isVisible() || list_.entries().empty() || refresh_.Running() || OperationRunning(*this))
      return;
    const bool started = refresh_.Begin(list_, [this] {
      QMetaObject::invokeMethod(
          this, [this] { Refreshed(); }, Qt::QueuedConnection);
    });
    if (!started) status_->setText(QStringLiteral("Paused: the link is in use"));
  }

  void Refreshed() {
    if (OperationRunning(*this)) return;
    const std::optional<live::RefreshOutcome> outcome = refresh_.Apply(list_);
    if (!outcome) return;
    if (*outcome == live::RefreshOutcome::Failed) {
      status_->setText(QStringLiteral("The console did not answer"));
    } else {
      status_->setText(QStringLiteral("%1 windows a refresh").arg(list_.lastWindowCount()));
    }
    Fill();
  }

  // Items are kept from one refresh to the next, so that what the user opened stays open.
  void Fill() {
    filling_ = true;
    const auto& entries = list_.entries();
    while (tree_->topLevelItemCount() > static_cast<int>(entries.size()))
      delete tree_->takeTopLevelItem(tree_->topLevelItemCount() - 1);
    for (size_t i = 0; i < entries.size(); ++i) {
      const int row = static_cast<int>(i);
      QTreeWidgetItem* item = tree_->topLevelItem(row);
      if (!item) tree_->addTopLevelItem(item = new QTreeWidgetItem);
      const live::WatchEntry& entry = entries[i];
      const live::WatchReading* reading =
          i < list_.readings().size() ? &list_.readings()[i] : nullptr;
      FillItem(item, entry, reading);
      QString address =
          entry.symbol.empty() ? Hex(entry.address) : QString::fromStdString(entry.symbol);
      if (!entry.pointerOffsets.empty() && reading && reading->valid)
        address += " -> " + Hex(reading->resolved);
      item->setText(0, QString::fromStdString(entry.group));
      item->setText(2, address);
      if (entry.kind == live::EntryKind::Value) {
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(5, entry.locked ? Qt::Checked : Qt::Unchecked);
      } else {
        // An entry edited into a struct keeps no lock box: its fields are what is watched.
        item->setData(5, Qt::CheckStateRole, QVariant());
      }
    }
    filling_ = false;
  }

  // An entry's or a field's label, type and value, and its fields below it.
  void FillItem(QTreeWidgetItem* item, const live::WatchEntry& entry,
                const live::WatchReading* reading) {
    QString value = QStringLiteral("-");
    if (reading && !reading->valid) {
      value = QString::fromStdString(reading->error);
    } else if (reading && entry.kind == live::EntryKind::Value) {
      value = QString::fromStdString(
          live::FormatValue(entry.type, entry.base, reading->bytes.data(), entry.length));
    } else if (reading) {
      value = QStringLiteral("%1 fields").arg(reading->fields.size());
    }
    item->setText(1, QString::fromStdString(entry.label));
    item->setText(2, reading && reading->valid ? Hex(reading->resolved) : QString());
    item->setText(3, QString::fromStdString(live::EntryTypeName(entry)));
    item->setText(4, value);
    const size_t count = reading ? reading->fields.size() : 0;
    while (item->childCount() > static_cast<int>(count))
      delete item->takeChild(item->childCount() - 1);
    const live::StructType* type = entry.kind == live::EntryKind::Struct
                                       ? live::FindStruct(list_.structs(), entry.structName)
                                       : nullptr;
    for (size_t i = 0; i < count; ++i) {
      QTreeWidgetItem* child = item->child(static_cast<int>(i));
      if (!child) item->addChild(child = new QTreeWidgetItem);
      if (entry.kind == live::EntryKind::Array) {
        live::WatchEntry element = entry.element[0];
        element.label = "[" + std::to_string(i) + "]" + element.label;
        FillItem(child, element, &reading->fields[i]);
      } else if (type && i < type->fields.size()) {
        FillItem(child, type->fields[i].entry, &reading->fields[i]);
      }
    }
  }

  // The entry the current item belongs to, and the way down to the field it shows.
  bool Selected(size_t& index, live::FieldPath& path) const {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return false;
    path.clear();
    for (; item->parent(); item = item->parent())
      path.insert(path.begin(), static_cast<size_t>(item->parent()->indexOfChild(item)));
    const int row = tree_->indexOfTopLevelItem(item);
    index = static_cast<size_t>(row);
    return row >= 0 && index < list_.entries().size();
  }

  void Open() {
    const std::optional<std::string> path = Ui().ChooseOpenFile(
        {"watch-list", {{"Watch List (*.json *.dmw)", "*.json"}, {"All Files", "*.*"}}, ""});
    if (!path) return;
    std::vector<live::WatchEntry> entries;
    live::StructTypes structs;
    std::string error;
    // A broken file changes nothing: the entries already listed stay.
    if (!live::LoadWatchFile(*path, entries, structs, error)) {
      status_->setText(QString::fromStdString(error));
      return;
    }
    for (auto& entry : entries) list_.entries().push_back(std::move(entry));
    // A type of a name already known stays as it is: the entries listed rely on it.
    for (auto& type : structs)
      if (!live::FindStruct(list_.structs(), type.name)) list_.structs().push_back(std::move(type));
    Fill();
    PublishLocks();
  }

  void Save() {
    const std::optional<std::string> path =
        Ui().ChooseSaveFile({"watch-list", {{"Watch List (*.json)", "*.json"}}, "json"});
    std::string error;
    if (path && !live::SaveWatchFile(*path, list_.entries(), list_.structs(), error)) {
      status_->setText(QString::fromStdString(error));
    }
  }

  void ExportCsv() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), {},
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
    file << live::WatchCsv(list_);
    if (!file.flush()) status_->setText(QStringLiteral("Could not write ") + path);
  }

  // The locked entries as a [Gecko] section; entries no code can write are named.
  void ExportCodes() {
    std::vector<std::string> skipped;
    const std::string section = live::GeckoSection(list_.entries(), skipped);
    const std::optional<std::string> path = Ui().ChooseSaveFile(
        {"watch-codes", {{"Game Settings (*.ini)", "*.ini"}, {"Text (*.txt)", "*.txt"}}, "ini"});
    if (!path) return;
    std::ofstream file(*path, std::ios::binary | std::ios::trunc);
    file << section;
    if (!file.flush()) {
      status_->setText(QStringLiteral("Could not write ") + QString::fromStdString(*path));
    } else if (!skipped.empty()) {
      status_->setText(QStringLiteral("Not exported: ") + QString::fromStdString(skipped[0]));
    }
  }

  // An entry typed in by hand, in the watch file's own form so that every field it knows works.
  void AddByHand() {
    live::WatchEntry entry;
    if (AskEntry(QStringLiteral("Add Entry"), {}, entry)) Add(entry);
  }

  // The selected entry's fields in the same form: its type, address or symbol, pointer path and
  // lock change together, and the group stays. A field's form is its struct type's (every entry
  // of that type changes) or its array's element.
  void EditEntry() {
    size_t index = 0;
    live::FieldPath path;
    if (!Selected(index, path)) return;
    const live::WatchEntry* current = list_.FieldEntry(index, path);
    live::WatchEntry entry;
    if (!current || !AskEntry(QStringLiteral("Edit Entry"),
                              QString::fromStdString(live::EntryFields(*current)), entry)) {
      return;
    }
    if (path.empty()) {
      entry.group = list_.entries()[index].group;
      list_.Replace(index, std::move(entry));
    } else {
      list_.ReplaceField(index, path, std::move(entry));
    }
    Fill();
    PublishLocks();
  }

  bool AskEntry(const QString& title, const QString& text, live::WatchEntry& entry) {
    bool ok = false;
    const QString fields = QInputDialog::getText(
        this, title,
        QStringLiteral("Entry as in a watch file, e.g. \"label\": \"coins\", \"address\": "
                       "\"8090000C\", \"typeIndex\": 2, \"pointerOffsets\": [\"4\"], "
                       "\"lock\": \"99\""),
        QLineEdit::Normal, text, &ok);
    if (!ok || fields.trimmed().isEmpty()) return false;
    std::string error;
    if (!live::ParseEntryFields(fields.toStdString(), entry, error)) {
      status_->setText(QString::fromStdString(error));
      return false;
    }
    return true;
  }

  void EditValue() {
    size_t index = 0;
    live::FieldPath path;
    if (!Selected(index, path)) return;
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QStringLiteral("Edit Value"), QStringLiteral("New value:"),
                              QLineEdit::Normal, tree_->currentItem()->text(4), &ok);
    if (!ok) return;
    std::string error = "the link is in use";
    RunOperation(*this, [&] { error = list_.EditFieldClaimed(index, path, text.toStdString()); });
    status_->setText(error.empty() ? QStringLiteral("Written") : QString::fromStdString(error));
    // An edit of a locked entry moved its lock to the new value.
    PublishLocks();
    Fill();
  }

  void Remove() {
    size_t index = 0;
    live::FieldPath path;
    if (!Selected(index, path)) return;
    if (!path.empty()) {
      status_->setText(QStringLiteral("A field belongs to its struct type; remove its struct"));
      return;
    }
    list_.Remove(index);
    Fill();
    PublishLocks();
  }

  live::WatchList list_;
  QTreeWidget* tree_;
  QSpinBox* interval_;
  QLabel* status_;
  QTimer timer_;
  bool filling_ = false;
  live::BackgroundRefresh refresh_;
};

// Pointer chains to an object the game moves: a snapshot of MEM1 now, another once the game has
// moved the object, and the chains that reach it in both. Reading MEM1 takes seconds at the
// link's rate and the scan as long again, so both run on the operation thread while the window
// shows how far they have come and Stop ends them between two chunks or levels.
// A tool window whose scan reads on a thread of its own. The window's results belong to the
// running scan until it ends, so closing the window then only stops the scan at its next chunk.
class ScanWindow : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  // For the derived window's destructor, while everything the scan touches still exists.
  void StopAndJoin() {
    stop_ = true;
    thread_.Join();
  }
  void Stop() { stop_ = true; }

  void closeEvent(QCloseEvent* event) override {
    if (thread_.Running()) {
      Stop();
      event->ignore();
      return;
    }
    QWidget::closeEvent(event);
  }

  std::atomic<bool> stop_{false};
  OperationThread thread_;
};

class PointerWindow final : public ScanWindow {
 public:
  explicit PointerWindow(QWidget* owner) : ScanWindow(owner, Qt::Window), owner_(owner) {
    setObjectName(QStringLiteral("pointerScan"));
    setWindowTitle(QStringLiteral("Pointer Scan"));
    target_ = new QLineEdit(this);
    target_->setObjectName(QStringLiteral("target"));
    depth_ = new QSpinBox(this);
    depth_->setRange(1, live::kMaxPointerDepth);
    depth_->setValue(3);
    maxOffset_ = new QLineEdit(QStringLiteral("1000"), this);
    backwards_ = new QCheckBox(QStringLiteral("Offsets &backwards too"), this);
    chains_ = new QListWidget(this);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setFormat({});
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    auto* limits = new QHBoxLayout;
    for (const auto& [text, field] : std::initializer_list<std::pair<const char*, QWidget*>>{
             {"&Target", target_}, {"&Depth", depth_}, {"Largest &offset", maxOffset_}}) {
      auto* label = new QLabel(QString::fromLatin1(text), this);
      label->setBuddy(field);
      limits->addWidget(label);
      limits->addWidget(field);
    }
    limits->addWidget(backwards_);
    auto* buttons = new QHBoxLayout;
    for (const auto& [text, slot] :
         std::initializer_list<std::pair<const char*, void (PointerWindow::*)()>>{
             {"&New Scan", &PointerWindow::NewScan},
             {"&Add Snapshot", &PointerWindow::AddSnapshot},
             {"&Stop", &PointerWindow::Stop},
             {"Add to &Watch List", &PointerWindow::AddToWatch}}) {
      auto* button = new QPushButton(QString::fromLatin1(text), this);
      connect(button, &QPushButton::clicked, this, slot);
      buttons->addWidget(button);
      if (slot == &PointerWindow::Stop) {
        stopButton_ = button;
      } else {
        scanButtons_.push_back(button);
      }
    }
    stopButton_->setEnabled(false);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(limits);
    layout->addLayout(buttons);
    layout->addWidget(chains_);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    connect(&progressTimer_, &QTimer::timeout, this, &PointerWindow::ShowProgress);
    resize(600, 400);
  }

  ~PointerWindow() override { StopAndJoin(); }

  void SetTarget(uint32_t address) { target_->setText(Hex(address)); }

 private:
  void NewScan() { Snapshot(true); }
  void AddSnapshot() { Snapshot(false); }

  void Snapshot(bool fresh) {
    if (thread_.Running()) return;
    bool okTarget = false, okOffset = false;
    const uint32_t target = target_->text().toUInt(&okTarget, 16);
    const uint32_t maxOffset = maxOffset_->text().toUInt(&okOffset, 16);
    if (!okTarget || !okOffset || maxOffset > 0x1000000) {
      status_->setText(QStringLiteral("The target and the largest offset are hexadecimal"));
      return;
    }
    if (!fresh && session_.snapshots.empty()) {
      status_->setText(QStringLiteral("Start with New Scan"));
      return;
    }
    if (!fresh && session_.full()) {
      status_->setText(QString::fromLatin1(live::kSessionFull));
      return;
    }
    // The session changes only once the snapshot has been read whole and scanned.
    pending_ = fresh ? live::PointerSession() : session_;
    if (fresh) {
      pending_.options.depth = depth_->value();
      pending_.options.maxOffset = maxOffset;
      pending_.options.negativeOffsets = backwards_->isChecked();
    }
    stop_ = false;
    done_ = 0;
    total_ = 0;
    level_ = -1;
    clock_.start();
    meter_.Start(0, 0);
    const OperationThread::Start start = thread_.Begin(
        [this, target] {
          live::PointerSnapshot snapshot;
          error_ =
              live::TakeSnapshotClaimed(target, snapshot, [this](uint64_t done, uint64_t total) {
                done_ = done;
                total_ = total;
                return !stop_.load();
              });
          if (!error_.empty()) return;
          pending_.snapshots.push_back(std::move(snapshot));
          level_ = 0;
          if (!pending_.Rescan([this](int level) {
                level_ = level;
                return !stop_.load();
              }))
            error_ = live::kScanStopped;
        },
        [this] {
          QMetaObject::invokeMethod(
              this, [this] { Scanned(); }, Qt::QueuedConnection);
        });
    if (start != OperationThread::Start::Started) {
      status_->setText(QStringLiteral("The link is in use"));
      return;
    }
    for (QPushButton* button : scanButtons_) button->setEnabled(false);
    stopButton_->setEnabled(true);
    status_->setText(QStringLiteral("Reading MEM1..."));
    progressTimer_.start(200);
  }

  void ShowProgress() {
    if (const int level = level_.load(); level >= 0) {
      progress_->setRange(0, pending_.options.depth);
      progress_->setValue(level);
      progress_->setFormat(QStringLiteral("Scanning: %v of %m levels"));
      return;
    }
    const int64_t done = static_cast<int64_t>(done_.load());
    const int64_t total = static_cast<int64_t>(total_.load());
    if (total == 0) return;
    meter_.Update(clock_.elapsed(), done);
    ProgressFigures figures{done, total, 1, meter_.rate(), meter_.SecondsLeft(total - done)};
    progress_->setRange(0, static_cast<int>(total));
    progress_->setValue(static_cast<int>(done));
    progress_->setFormat(QString::fromStdString(ProgressLine(figures)));
  }

  void Scanned() {
    thread_.Join();
    progressTimer_.stop();
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setFormat({});
    for (QPushButton* button : scanButtons_) button->setEnabled(true);
    stopButton_->setEnabled(false);
    if (error_ == live::kScanStopped) {
      status_->setText(QStringLiteral("Scan stopped: the chains are as before"));
      return;
    }
    if (!error_.empty()) {
      status_->setText(QString::fromStdString(error_));
      return;
    }
    session_ = std::move(pending_);
    constexpr size_t kShown = 500;
    chains_->clear();
    for (size_t i = 0; i < std::min(kShown, session_.chains.size()); ++i)
      chains_->addItem(QString::fromStdString(live::ChainJson(session_.chains[i])));
    const size_t count = session_.chains.size();
    status_->setText(
        session_.snapshots.size() < 2
            ? QStringLiteral("1 snapshot: take another once the game has moved the object")
            : QStringLiteral("%1 from %2 snapshots")
                  .arg(count == 1 ? QStringLiteral("1 chain")
                                  : QStringLiteral("%1 chains").arg(count))
                  .arg(session_.snapshots.size()));
  }

  void AddToWatch() {
    const int row = chains_->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= session_.chains.size()) return;
    if (auto* watch = static_cast<WatchWindow*>(OpenWatchWindow(owner_)))
      watch->Add(live::ChainEntry(session_.chains[static_cast<size_t>(row)]));
  }

  QWidget* owner_;
  live::PointerSession session_;
  live::PointerSession pending_;  // the operation thread's while it runs
  QLineEdit* target_;
  QSpinBox* depth_;
  QLineEdit* maxOffset_;
  QCheckBox* backwards_;
  QListWidget* chains_;
  QProgressBar* progress_;
  QLabel* status_;
  std::vector<QPushButton*> scanButtons_;
  QPushButton* stopButton_ = nullptr;
  QTimer progressTimer_;
  QElapsedTimer clock_;
  ProgressMeter meter_;
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> total_{0};
  std::atomic<int> level_{-1};
  std::string error_;
};

class SearchWindow final : public ScanWindow {
 public:
  explicit SearchWindow(QWidget* owner) : ScanWindow(owner, Qt::Window), owner_(owner) {
    setObjectName(QStringLiteral("memorySearch"));
    setWindowTitle(QStringLiteral("Memory Search"));
    type_ = new QComboBox(this);
    for (auto type :
         {live::ValueType::U8, live::ValueType::U16, live::ValueType::U32, live::ValueType::S8,
          live::ValueType::S16, live::ValueType::S32, live::ValueType::F32, live::ValueType::F64}) {
      type_->addItem(QString::fromLatin1(live::TypeName(type)), static_cast<int>(type));
    }
    type_->setCurrentIndex(1);
    compare_ = new QComboBox(this);
    for (int i = 0; i <= static_cast<int>(live::Compare::Unchanged); ++i) {
      compare_->addItem(QString::fromLatin1(live::CompareName(static_cast<live::Compare>(i))), i);
    }
    valueA_ = new QLineEdit(this);
    valueA_->setObjectName(QStringLiteral("value"));
    valueB_ = new QLineEdit(this);
    valueB_->setObjectName(QStringLiteral("secondValue"));
    start_ = new QLineEdit(QStringLiteral("80000000"), this);
    end_ = new QLineEdit(QStringLiteral("81800000"), this);
    aligned_ = new QCheckBox(QStringLiteral("Aligned"), this);
    aligned_->setChecked(true);
    freeze_ = new QCheckBox(QStringLiteral("Freeze while reading"), this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("progress"));
    results_ = new QTableWidget(0, 3, this);
    results_->setHorizontalHeaderLabels(
        {QStringLiteral("Address"), QStringLiteral("Value"), QStringLiteral("Previous")});
    results_->horizontalHeader()->setStretchLastSection(true);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);

    auto* range = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             new QLabel(QStringLiteral("Start"), this), start_,
             new QLabel(QStringLiteral("End"), this), end_, aligned_, freeze_}) {
      range->addWidget(widget);
    }
    auto* value = new QHBoxLayout;
    auto* valueLabel = new QLabel(QStringLiteral("&Value"), this);
    valueLabel->setBuddy(valueA_);
    auto* secondLabel = new QLabel(QStringLiteral("an&d"), this);
    secondLabel->setBuddy(valueB_);
    for (QWidget* widget : std::initializer_list<QWidget*>{type_, compare_, valueLabel, valueA_,
                                                           secondLabel, valueB_}) {
      value->addWidget(widget);
    }
    connect(compare_, &QComboBox::currentIndexChanged, this, [this, valueLabel, secondLabel] {
      const int operands =
          live::CompareOperands(static_cast<live::Compare>(compare_->currentData().toInt()));
      valueLabel->setEnabled(operands >= 1);
      valueA_->setEnabled(operands >= 1);
      secondLabel->setEnabled(operands >= 2);
      valueB_->setEnabled(operands >= 2);
    });
    compare_->currentIndexChanged(compare_->currentIndex());
    auto* buttons = new QHBoxLayout;
    for (const auto& [text, slot] :
         std::initializer_list<std::pair<const char*, void (SearchWindow::*)()>>{
             {"&First Scan", &SearchWindow::First},
             {"&Next Scan", &SearchWindow::Next},
             {"&Undo", &SearchWindow::Undo},
             {"&Stop", &SearchWindow::Stop},
             {"Add to &Watch List", &SearchWindow::AddToWatch},
             {"Find &Pointers...", &SearchWindow::FindPointers}}) {
      auto* button = new QPushButton(QString::fromLatin1(text), this);
      connect(button, &QPushButton::clicked, this, slot);
      buttons->addWidget(button);
      (slot == &SearchWindow::Stop ? stopButtons_ : scanButtons_).push_back(button);
    }
    for (QPushButton* button : stopButtons_) button->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addLayout(value);
    layout->addLayout(buttons);
    layout->addWidget(results_);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    connect(&progressTimer_, &QTimer::timeout, this, &SearchWindow::ShowProgress);
    resize(600, 420);
  }

  ~SearchWindow() override { StopAndJoin(); }

 private:
  std::optional<live::ScanRequest> Request() {
    live::ScanRequest request{static_cast<live::Compare>(compare_->currentData().toInt())};
    const int operands = live::CompareOperands(request.compare);
    bool okA = true, okB = true;
    if (operands >= 1) request.a = valueA_->text().toDouble(&okA);
    if (operands >= 2) request.b = valueB_->text().toDouble(&okB);
    if (!okA || !okB) {
      status_->setText(QStringLiteral("The value is not a number"));
      return std::nullopt;
    }
    return request;
  }

  void First() {
    const auto request = Request();
    bool okStart = false, okEnd = false;
    live::ScanRange range{start_->text().toUInt(&okStart, 16), end_->text().toUInt(&okEnd, 16),
                          static_cast<live::ValueType>(type_->currentData().toInt()),
                          aligned_->isChecked()};
    if (!request) return;
    if (!okStart || !okEnd) {
      status_->setText(QStringLiteral("Start and End are hexadecimal addresses"));
      return;
    }
    const bool freeze = freeze_->isChecked();
    Scan([this, range, request = *request, freeze](const live::ScanProgress& progress) {
      return search_.FirstClaimed(range, request, freeze, progress);
    });
  }

  void Next() {
    if (const auto request = Request()) {
      Scan([this, request = *request](const live::ScanProgress& progress) {
        return search_.NextClaimed(request, progress);
      });
    }
  }

  void Undo() {
    if (!thread_.Running()) Show(search_.Undo() ? std::string() : std::string("Nothing to undo"));
  }

  // The scan reads on the operation thread; this window stays usable, shows how far the scan
  // has come, and touches the search again only once the scan has ended.
  void Scan(std::function<std::string(const live::ScanProgress&)> scan) {
    if (thread_.Running()) return;
    stop_ = false;
    done_ = 0;
    total_ = 0;
    clock_.start();
    meter_.Start(0, 0);
    const auto progress = [this](uint64_t done, uint64_t total) {
      done_ = done;
      total_ = total;
      return !stop_.load();
    };
    const OperationThread::Start start =
        thread_.Begin([this, scan = std::move(scan), progress] { error_ = scan(progress); },
                      [this] {
                        QMetaObject::invokeMethod(
                            this, [this] { Scanned(); }, Qt::QueuedConnection);
                      });
    if (start != OperationThread::Start::Started) {
      status_->setText(QStringLiteral("The link is in use"));
      return;
    }
    for (QPushButton* button : scanButtons_) button->setEnabled(false);
    for (QPushButton* button : stopButtons_) button->setEnabled(true);
    progress_->setText(QStringLiteral("Scanning..."));
    progressTimer_.start(200);
  }

  void ShowProgress() {
    const int64_t done = static_cast<int64_t>(done_.load());
    const int64_t total = static_cast<int64_t>(total_.load());
    if (total == 0) return;
    meter_.Update(clock_.elapsed(), done);
    ProgressFigures figures{done, total, 1, meter_.rate(), meter_.SecondsLeft(total - done)};
    progress_->setText(QString::fromStdString(ProgressLine(figures)));
  }

  void Scanned() {
    thread_.Join();
    progressTimer_.stop();
    progress_->clear();
    for (QPushButton* button : scanButtons_) button->setEnabled(true);
    for (QPushButton* button : stopButtons_) button->setEnabled(false);
    Show(error_ == live::kScanStopped ? std::string("Scan stopped: the results are as before")
                                      : error_);
  }

  void AddToWatch() {
    const int row = results_->currentRow();
    if (row < 0) return;
    live::WatchEntry entry;
    entry.label = "found";
    entry.address = results_->item(row, 0)->text().toUInt(nullptr, 16);
    entry.type = shownType_;
    entry.length = live::TypeSize(entry.type, 0);
    if (auto* watch = static_cast<WatchWindow*>(OpenWatchWindow(owner_))) watch->Add(entry);
  }

  // Pointer chains to the selected result, for a value the game moves on a reload.
  void FindPointers() {
    auto* pointers = static_cast<PointerWindow*>(OpenPointerWindow(owner_));
    if (const int row = results_->currentRow(); row >= 0 && pointers)
      pointers->SetTarget(results_->item(row, 0)->text().toUInt(nullptr, 16));
  }

  void Show(const std::string& error) {
    constexpr size_t kShown = 500;
    const auto results = search_.Results(kShown);
    results_->setRowCount(static_cast<int>(results.size()));
    const live::ValueType type = shownType_ = search_.range().type;
    const auto number = [type](double value) {
      return live::IsFloat(type) ? QString::number(value, 'g', 9) : QString::number(value, 'f', 0);
    };
    for (size_t i = 0; i < results.size(); ++i) {
      const int row = static_cast<int>(i);
      const QString texts[] = {
          Hex(results[i].address), number(results[i].current),
          results[i].previous ? number(*results[i].previous) : QStringLiteral("-")};
      for (int column = 0; column < 3; ++column) {
        results_->setItem(row, column, new QTableWidgetItem(texts[column]));
      }
    }
    const uint64_t count = search_.count();
    QString text =
        count == 1 ? QStringLiteral("1 candidate") : QStringLiteral("%1 candidates").arg(count);
    if (count > kShown) text += QStringLiteral(" (first %1 shown)").arg(kShown);
    if (!error.empty()) text = QString::fromStdString(error);
    status_->setText(text);
  }

  QWidget* owner_;
  live::ValueSearch search_;
  live::ValueType shownType_ = live::ValueType::U16;
  QComboBox* type_;
  QComboBox* compare_;
  QLineEdit* valueA_;
  QLineEdit* valueB_;
  QLineEdit* start_;
  QLineEdit* end_;
  QCheckBox* aligned_;
  QCheckBox* freeze_;
  QLabel* status_;
  QLabel* progress_;
  QTableWidget* results_;
  std::vector<QPushButton*> scanButtons_;
  std::vector<QPushButton*> stopButtons_;
  QTimer progressTimer_;
  QElapsedTimer clock_;
  ProgressMeter meter_;
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> total_{0};
  std::string error_;
};

template <typename Window>
QWidget* OpenWindow(QPointer<Window>& window, QWidget* owner) {
  if (!window) window = new Window(owner);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace

int LiveIntervalMs() {
  return g_liveIntervalMs;
}

QWidget* OpenWatchWindow(QWidget* owner) {
  static QPointer<WatchWindow> window;
  return OpenWindow(window, owner);
}

QWidget* OpenPointerWindow(QWidget* owner) {
  static QPointer<PointerWindow> window;
  return OpenWindow(window, owner);
}

QWidget* OpenSearchWindow(QWidget* owner) {
  static QPointer<SearchWindow> window;
  return OpenWindow(window, owner);
}

}  // namespace zemlo::shell
