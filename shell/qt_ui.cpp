#include "shell/qt_ui.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <algorithm>
#include <utility>

#include "shell/list_box.h"
#include "shell/progress.h"
#include "shell/ui_slots.h"

namespace zemlo::shell {
namespace {

// Worker output reaches the screen at most this often; each batch costs one relayout.
constexpr int kMinFlushIntervalMs = 40;
// An operation running on the UI thread keeps its bar moving at this rate.
constexpr int kRepaintIntervalMs = 50;
// Pixels of a title bar that are not caption: icon, close button, margins and a bold title font.
constexpr int kTitleBarReserve = 120;

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// "DOL Files (*.dol)" already names its pattern; "All Files" gets "(*)", since "*.*" would leave
// out names without a dot here.
QString FilterText(const FileFilter& filter) {
  const QString description = QString::fromStdString(filter.description);
  QString pattern = QString::fromStdString(filter.pattern);
  if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
  if (description.contains(QLatin1Char('(')) &&
      description.contains(pattern, Qt::CaseInsensitive)) {
    return description;
  }
  return QStringLiteral("%1 (%2)").arg(description, pattern);
}

QString ToQString(const std::string& text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QFont TitleFont(const QWidget& widget) {
  QFont font = widget.font();
  font.setBold(true);
  return font;
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, const std::string& caption,
                                            MessageIcon icon, QWidget* owner,
                                            const std::string& detail) {
  auto box = std::make_unique<QMessageBox>(ToQtIcon(icon), ToQString(caption), ToQString(text),
                                           QMessageBox::Ok, owner);
  if (!detail.empty()) {
    box->setDetailedText(ToQString(detail));
    // Enter answers the box; the details button only opens the details when it is clicked.
    box->setDefaultButton(QMessageBox::Ok);
    for (QPushButton* button : box->findChildren<QPushButton*>()) {
      if (button != box->button(QMessageBox::Ok)) button->setAutoDefault(false);
    }
  }
  box->setWindowModality(Qt::ApplicationModal);
  // A plain dialog: a title and a close button, nothing to minimise or maximise.
  box->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowCloseButtonHint);
  // Wide enough for the whole caption beside the title bar's icon and close button; the box
  // sizes itself from its layout, so the room goes in as a spacer.
  const int titleWidth = QFontMetrics(TitleFont(*box)).horizontalAdvance(ToQString(caption));
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(new QSpacerItem(titleWidth + kTitleBarReserve, 0, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

void FitFileDialog(QFileDialog& dialog) {
  dialog.setViewMode(QFileDialog::Detail);
  const QFontMetrics metrics(dialog.font());
  const int em = metrics.horizontalAdvance(QLatin1Char('M'));
  dialog.resize(std::max(dialog.width(), em * 60), std::max(dialog.height(), em * 32));
  // The toolkit's own dialog starts its size, type and date columns too narrow to read.
  if (auto* view = dialog.findChild<QTreeView*>()) {
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
}

QtUi::QtUi(QObject* parent) : QObject(parent) {
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &QtUi::Flush);
  lastRepaint_.start();
}

QtUi::~QtUi() {
  BeginShutdown();
}

void QtUi::BeginShutdown() {
  shuttingDown_ = true;
}

bool QtUi::OnUiThread() const {
  return QThread::currentThread() == thread();
}

template <typename Call>
bool QtUi::RunOnUiThread(Call&& call) {
  if (OnUiThread()) {
    Flush();
    call();
    return true;
  }
  if (shuttingDown_) return false;
  // Blocks this worker until the UI thread has run the call. An event that is dropped because
  // this object goes away releases the worker too.
  bool ran = false;
  QMetaObject::invokeMethod(
      this,
      [this, &call, &ran] {
        Flush();
        if (shuttingDown_) return;
        call();
        ran = true;
      },
      Qt::BlockingQueuedConnection);
  return ran;
}

QWidget* QtUi::OwnerWidget(MessageOwner owner) const {
  switch (owner) {
    case MessageOwner::MainWindow:
      return mainWindow_.data();
    case MessageOwner::Dialog:
      if (QWidget* modal = QApplication::activeModalWidget()) return modal;
      return mainWindow_.data();
    case MessageOwner::None:
      break;
  }
  return nullptr;
}

void QtUi::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageOwner owner, const std::string& detail) {
  const bool shown = RunOnUiThread([&] {
    const ProgressClockPause pause;
    if (sink_) {
      sink_->Message(text, caption, icon, owner, detail);
      return;
    }
    const std::unique_ptr<QMessageBox> box =
        MakeMessageBox(text, caption, icon, OwnerWidget(owner), detail);
    box->exec();
  });
  if (!shown) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!detail.empty()) std::fprintf(stderr, "detail: %s\n", detail.c_str());
  }
}

std::optional<std::string> QtUi::ChooseFile(const FileRequest& request, bool save) {
  std::optional<std::string> chosen;
  RunOnUiThread([&] {
    const ProgressClockPause pause;
    const QString key = QString::fromStdString(request.key);
    if (sink_) {
      chosen = save ? sink_->SaveFile(request) : sink_->OpenFile(request);
    } else {
      QStringList filters;
      for (const FileFilter& filter : request.filters) filters << FilterText(filter);
      QFileDialog dialog(nullptr);
      FitFileDialog(dialog);
      dialog.setNameFilters(filters);
      dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
      dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
      if (!request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
      }
      if (const QString last = lastPaths_.value(key); !last.isEmpty()) dialog.selectFile(last);
      if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        chosen = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
      }
    }
    if (chosen) lastPaths_.insert(key, QFile::decodeName(QByteArray::fromStdString(*chosen)));
  });
  return chosen;
}

std::optional<std::string> QtUi::ChooseOpenFile(const FileRequest& request) {
  return ChooseFile(request, false);
}

std::optional<std::string> QtUi::ChooseSaveFile(const FileRequest& request) {
  return ChooseFile(request, true);
}

void QtUi::ProgressSetRange(uint32_t low, uint32_t high) {
  Enqueue({Pending::kRange, low, high});
}

void QtUi::ProgressSetStep(uint32_t step) {
  Enqueue({Pending::kStepSize, step});
}

void QtUi::ProgressSetStepBytes(uint32_t bytes) {
  Enqueue({Pending::kStepBytes, bytes});
}

void QtUi::ProgressStep() {
  Enqueue({Pending::kStep, 1});
}

void QtUi::ListInsert(int position, const std::string& line) {
  Enqueue({Pending::kInsert, 0, 0, position, line});
}

void QtUi::ListClear() {
  Enqueue({Pending::kClear});
}

int QtUi::ListSelection() {
  int selection = -1;
  RunOnUiThread([&] {
    if (ListBox* list = CurrentListBox()) selection = list->Selection();
  });
  return selection;
}

void QtUi::RequestQuit(int exitCode) {
  // The quit takes effect once the current operation has returned to the event loop.
  QMetaObject::invokeMethod(
      this,
      [this, exitCode] {
        if (sink_ && sink_->Quit(exitCode)) return;
        QCoreApplication::exit(exitCode);
      },
      Qt::QueuedConnection);
}

void QtUi::Enqueue(Pending op) {
  if (OnUiThread()) {
    Flush();
    ApplyOne(op);
    // The operation holds the UI thread; keep its bar visibly moving all the same.
    if (op.kind != Pending::kInsert && lastRepaint_.elapsed() >= kRepaintIntervalMs) {
      if (QProgressBar* bar = CurrentProgressBar()) bar->repaint();
      lastRepaint_.restart();
    }
    return;
  }
  bool post = false;
  {
    std::lock_guard lock(pendingMutex_);
    pending_.push_back(std::move(op));
    post = !flushScheduled_;
    flushScheduled_ = true;
  }
  if (post) QMetaObject::invokeMethod(this, &QtUi::ScheduledFlush, Qt::QueuedConnection);
}

void QtUi::ScheduledFlush() {
  if (lastFlush_.isValid() && lastFlush_.elapsed() < kMinFlushIntervalMs) {
    if (!flushTimer_.isActive()) {
      flushTimer_.start(int(kMinFlushIntervalMs - lastFlush_.elapsed()));
    }
    return;
  }
  Flush();
}

void QtUi::Flush() {
  std::vector<Pending> ops;
  {
    std::lock_guard lock(pendingMutex_);
    ops.swap(pending_);
    flushScheduled_ = false;
  }
  lastFlush_.start();
  if (!ops.empty()) Apply(ops);
}

void QtUi::Apply(std::vector<Pending>& ops) {
  for (size_t i = 0; i < ops.size();) {
    const Pending& op = ops[i];
    size_t end = i + 1;
    if (op.kind == Pending::kStep) {
      while (end < ops.size() && ops[end].kind == Pending::kStep) ++end;
      if (QProgressBar* bar = CurrentProgressBar()) StepProgress(*bar, uint32_t(end - i));
    } else if (op.kind == Pending::kInsert) {
      // A run of lines at one position (the extraction workers' row 1) or at consecutive
      // positions (a page of the memory window) goes into the model as one change.
      bool samePosition = true;
      bool ascending = true;
      while (end < ops.size() && ops[end].kind == Pending::kInsert) {
        const int delta = ops[end].position - ops[end - 1].position;
        const bool same = samePosition && delta == 0;
        const bool next = ascending && delta == 1;
        if (!same && !next) break;
        samePosition = same;
        ascending = next;
        ++end;
      }
      std::vector<QString> lines;
      lines.reserve(end - i);
      for (size_t k = i; k < end; ++k) lines.push_back(ToQString(ops[k].line));
      if (ListBox* list = CurrentListBox()) {
        if (samePosition) {
          list->lines().InsertEachAt(op.position, std::move(lines));
        } else {
          list->lines().InsertInOrder(op.position, std::move(lines));
        }
      }
    } else {
      ApplyOne(op);
    }
    i = end;
  }
}

void QtUi::ApplyOne(const Pending& op) {
  switch (op.kind) {
    case Pending::kRange:
      if (QProgressBar* bar = CurrentProgressBar()) SetProgressRange(*bar, op.a, op.b);
      break;
    case Pending::kStepSize:
      if (QProgressBar* bar = CurrentProgressBar()) SetProgressStepSize(*bar, op.a);
      break;
    case Pending::kStep:
      if (QProgressBar* bar = CurrentProgressBar()) StepProgress(*bar, op.a);
      break;
    case Pending::kStepBytes:
      if (QProgressBar* bar = CurrentProgressBar()) SetProgressStepBytes(*bar, op.a);
      break;
    case Pending::kInsert:
      if (ListBox* list = CurrentListBox())
        list->lines().InsertEachAt(op.position, {ToQString(op.line)});
      break;
    case Pending::kClear:
      if (ListBox* list = CurrentListBox()) list->lines().Clear();
      break;
  }
}

}  // namespace zemlo::shell
