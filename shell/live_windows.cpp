#include "shell/live_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <fstream>

#include "live/background_refresh.h"
#include "live/value_search.h"
#include "live/watch_file.h"
#include "live/watch_list.h"
#include "shell/operation_runner.h"

namespace zemlo::shell {
namespace {

int g_liveIntervalMs = 100;

QString Hex(uint32_t value) {
  return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

class WatchWindow final : public QWidget {
 public:
  explicit WatchWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("watchList"));
    setWindowTitle(QStringLiteral("Watch List"));
    table_ = new QTableWidget(0, 6, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Group"), QStringLiteral("Label"),
                                       QStringLiteral("Address"), QStringLiteral("Type"),
                                       QStringLiteral("Value"), QStringLiteral("Lock")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
    layout->addWidget(table_);
    layout->addWidget(new QLabel(
        QStringLiteral("A poke writes a whole word: editing or locking a u8, u16 or string reads "
                       "the surrounding word first, and writes it back with the new bytes."),
        this));
    layout->addWidget(status_);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { EditValue(); });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
      if (filling_ || item->column() != 5) return;
      const std::string error =
          list_.Lock(static_cast<size_t>(item->row()), item->checkState() == Qt::Checked);
      if (!error.empty()) status_->setText(QString::fromStdString(error));
    });
    connect(interval_, &QSpinBox::valueChanged, this, [this](int ms) {
      timer_.setInterval(ms);
      g_liveIntervalMs = ms;
    });
    connect(&timer_, &QTimer::timeout, this, &WatchWindow::Refresh);
    timer_.start(interval_->value());
    resize(640, 360);
  }

  void Add(const live::WatchEntry& entry) {
    list_.entries().push_back(entry);
    Fill();
  }

 private:
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

  void Fill() {
    filling_ = true;
    const auto& entries = list_.entries();
    table_->setRowCount(static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const live::WatchEntry& entry = entries[i];
      const int row = static_cast<int>(i);
      QString address = Hex(entry.address);
      QString value = QStringLiteral("-");
      if (i < list_.readings().size()) {
        const live::WatchReading& reading = list_.readings()[i];
        if (!entry.pointerOffsets.empty() && reading.valid)
          address += " -> " + Hex(reading.resolved);
        value = reading.valid ? QString::fromStdString(live::FormatValue(
                                    entry.type, entry.base, reading.bytes.data(), entry.length))
                              : QString::fromStdString(reading.error);
      }
      const QString texts[] = {QString::fromStdString(entry.group),
                               QString::fromStdString(entry.label), address,
                               QString::fromLatin1(live::TypeName(entry.type)), value};
      for (int column = 0; column < 5; ++column) {
        auto* item = table_->item(row, column);
        if (!item) table_->setItem(row, column, item = new QTableWidgetItem);
        item->setText(texts[column]);
      }
      auto* lock = table_->item(row, 5);
      if (!lock) table_->setItem(row, 5, lock = new QTableWidgetItem);
      lock->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      lock->setCheckState(entry.locked ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
  }

  void Open() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Watch List"), {},
                                                      QStringLiteral("Watch List (*.json)"));
    if (path.isEmpty()) return;
    std::vector<live::WatchEntry> entries;
    std::string error;
    // A broken file changes nothing: the entries already listed stay.
    if (!live::LoadWatchFile(path.toStdString(), entries, error)) {
      status_->setText(QString::fromStdString(error));
      return;
    }
    for (auto& entry : entries) list_.entries().push_back(std::move(entry));
    Fill();
  }

  void Save() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Watch List"), {},
                                                      QStringLiteral("Watch List (*.json)"));
    std::string error;
    if (!path.isEmpty() && !live::SaveWatchFile(path.toStdString(), list_.entries(), error)) {
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

  void EditValue() {
    const int row = table_->currentRow();
    if (row < 0) return;
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QStringLiteral("Edit Value"), QStringLiteral("New value:"),
                              QLineEdit::Normal, table_->item(row, 4)->text(), &ok);
    if (!ok) return;
    std::string error = "the link is in use";
    RunOperation(*this,
                 [&] { error = list_.EditClaimed(static_cast<size_t>(row), text.toStdString()); });
    status_->setText(error.empty() ? QStringLiteral("Written") : QString::fromStdString(error));
  }

  void Remove() {
    const int row = table_->currentRow();
    if (row < 0) return;
    list_.Remove(static_cast<size_t>(row));
    Fill();
  }

  live::WatchList list_;
  QTableWidget* table_;
  QSpinBox* interval_;
  QLabel* status_;
  QTimer timer_;
  bool filling_ = false;
  live::BackgroundRefresh refresh_;
};

class SearchWindow final : public QWidget {
 public:
  explicit SearchWindow(QWidget* owner) : QWidget(owner, Qt::Window), owner_(owner) {
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
    valueB_ = new QLineEdit(this);
    start_ = new QLineEdit(QStringLiteral("80000000"), this);
    end_ = new QLineEdit(QStringLiteral("81800000"), this);
    aligned_ = new QCheckBox(QStringLiteral("Aligned"), this);
    aligned_->setChecked(true);
    freeze_ = new QCheckBox(QStringLiteral("Freeze while reading"), this);
    status_ = new QLabel(this);
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
    for (QWidget* widget : std::initializer_list<QWidget*>{type_, compare_, valueA_, valueB_}) {
      value->addWidget(widget);
    }
    auto* buttons = new QHBoxLayout;
    for (const auto& [text, slot] :
         std::initializer_list<std::pair<const char*, void (SearchWindow::*)()>>{
             {"&First Scan", &SearchWindow::First},
             {"&Next Scan", &SearchWindow::Next},
             {"&Undo", &SearchWindow::Undo},
             {"Add to &Watch List", &SearchWindow::AddToWatch}}) {
      auto* button = new QPushButton(QString::fromLatin1(text), this);
      connect(button, &QPushButton::clicked, this, slot);
      buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addLayout(value);
    layout->addLayout(buttons);
    layout->addWidget(results_);
    layout->addWidget(status_);
    resize(560, 420);
  }

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
    Show(search_.First(range, *request, freeze_->isChecked()));
  }

  void Next() {
    if (const auto request = Request()) Show(search_.Next(*request));
  }

  void Undo() { Show(search_.Undo() ? std::string() : std::string("Nothing to undo")); }

  void AddToWatch() {
    const int row = results_->currentRow();
    if (row < 0) return;
    live::WatchEntry entry;
    entry.label = "found";
    entry.address = results_->item(row, 0)->text().toUInt(nullptr, 16);
    entry.type = search_.range().type;
    entry.length = live::TypeSize(entry.type, 0);
    if (auto* watch = static_cast<WatchWindow*>(OpenWatchWindow(owner_))) watch->Add(entry);
  }

  void Show(const std::string& error) {
    constexpr size_t kShown = 500;
    const auto results = search_.Results(kShown);
    results_->setRowCount(static_cast<int>(results.size()));
    const live::ValueType type = search_.range().type;
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
    QString text = QStringLiteral("%1 candidates").arg(search_.count());
    if (search_.count() > kShown) text += QStringLiteral(" (first %1 shown)").arg(kShown);
    if (!error.empty()) text = QString::fromStdString(error);
    status_->setText(text);
  }

  QWidget* owner_;
  live::ValueSearch search_;
  QComboBox* type_;
  QComboBox* compare_;
  QLineEdit* valueA_;
  QLineEdit* valueB_;
  QLineEdit* start_;
  QLineEdit* end_;
  QCheckBox* aligned_;
  QCheckBox* freeze_;
  QLabel* status_;
  QTableWidget* results_;
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

QWidget* OpenSearchWindow(QWidget* owner) {
  static QPointer<SearchWindow> window;
  return OpenWindow(window, owner);
}

}  // namespace zemlo::shell
