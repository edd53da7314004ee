#include "shell/gdb_server_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "gdbstub/gdb_server.h"
#include "gdbstub/target_description.h"
#include "link/adapter_choice.h"
#include "link/ui_port.h"

namespace zemlo::shell {
namespace {

std::atomic<bool> g_attached{false};

class GdbServerWindow final : public QWidget {
 public:
  explicit GdbServerWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("gdbServer"));
    setWindowTitle(QStringLiteral("GDB Server"));
    listen_ = new QLineEdit(QString::fromLatin1(gdb::kDefaultListen), this);
    listen_->setObjectName(QStringLiteral("listen"));
    start_ = new QPushButton(QStringLiteral("&Start"), this);
    stop_ = new QPushButton(QStringLiteral("S&top"), this);
    script_ = new QPushButton(QStringLiteral("Save gdb S&cript..."), this);
    status_ = new QLabel(QStringLiteral("Stopped"), this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Listen on"), this));
    row->addWidget(listen_, 1);
    row->addWidget(start_);
    row->addWidget(stop_);
    row->addWidget(script_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(status_);
    auto* note = new QLabel(
        QStringLiteral("While gdb is attached it keeps the link: the other tools are refused until "
                       "it detaches or the server stops. The script sets gdb up for the console, "
                       "with its one hardware breakpoint and one watchpoint."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    connect(start_, &QPushButton::clicked, this, &GdbServerWindow::Start);
    connect(stop_, &QPushButton::clicked, this, &GdbServerWindow::Stop);
    connect(script_, &QPushButton::clicked, this, &GdbServerWindow::SaveScript);
    ShowState();
    resize(560, 120);
  }

  ~GdbServerWindow() override { StopAndWait(); }

  void StopAndWait() {
    if (!server_) return;
    server_->Stop();
    Stopped();
  }

 private:
  void Start() {
    const auto endpoint = ParseHostPort(listen_->text().trimmed().toStdString(), true);
    if (!endpoint)
      return Fail(QStringLiteral("Listen on expects HOST:PORT, such as %1")
                      .arg(QString::fromLatin1(gdb::kDefaultListen)));
    auto server = std::make_unique<gdb::GdbServer>();
    std::string error;
    // Binding answers at once, so it stays here where its failure is shown.
    if (!server->Listen(endpoint->host, endpoint->port, &error)) {
      return Fail(QStringLiteral("Not started: ") + QString::fromStdString(error));
    }
    // What a run queues is dropped once a later run has begun.
    const int run = ++run_;
    server->SetObserver([this, run](gdb::GdbServer::Event event) {
      g_attached = event == gdb::GdbServer::Event::kAttached;
      QMetaObject::invokeMethod(
          this,
          [this, run, event] {
            if (run == run_) Observed(event);
          },
          Qt::QueuedConnection);
    });
    server_ = std::move(server);
    address_ = QString::fromStdString(server_->address());
    listening_ = QStringLiteral("Listening on %1").arg(address_);
    status_->setText(listening_);
    thread_ = std::thread([this, run, server = server_.get()] {
      gdb::ConsoleTarget target;
      server->Run(target);
      QMetaObject::invokeMethod(
          this,
          [this, run] {
            if (run == run_) Stopped();
          },
          Qt::QueuedConnection);
    });
    ShowState();
  }

  void Stop() {
    if (!server_) return;
    server_->Stop();
    stop_->setEnabled(false);
    status_->setText(QStringLiteral("Stopping: leaving the game running"));
  }

  // On the UI thread once Run has returned, or to wait for it at the end.
  void Stopped() {
    if (thread_.joinable()) thread_.join();
    if (!server_) return;
    server_.reset();
    g_attached = false;
    status_->setText(QStringLiteral("Stopped"));
    ShowState();
  }

  void Observed(gdb::GdbServer::Event event) {
    if (!server_) return;
    switch (event) {
      case gdb::GdbServer::Event::kAttached:
        status_->setText(listening_ + QStringLiteral(": gdb attached"));
        break;
      case gdb::GdbServer::Event::kLeft:
        status_->setText(listening_ + QStringLiteral(": gdb left, the game runs"));
        break;
      case gdb::GdbServer::Event::kRefused:
        status_->setText(listening_ +
                         QStringLiteral(": a gdb was turned away, another tool kept the link"));
        break;
    }
  }

  void Fail(const QString& text) {
    status_->setText(text);
    Ui().ShowMessage(text.toStdString(), "GDB Server", MessageIcon::Error, MessageOwner::None);
  }

  void SaveScript() {
    const std::optional<std::string> path =
        Ui().ChooseSaveFile({"gdb-script", {{"gdb Script (*.gdb)", "*.gdb"}}, "gdb"});
    if (!path) return;
    const QString where = server_ ? address_ : listen_->text().trimmed();
    std::ofstream file(*path, std::ios::binary | std::ios::trunc);
    file << gdb::GdbInit(where.toStdString());
    status_->setText(file.flush()
                         ? QStringLiteral("In gdb: source ") + QString::fromStdString(*path)
                         : QStringLiteral("Could not write ") + QString::fromStdString(*path));
  }

  void ShowState() {
    start_->setEnabled(!server_);
    listen_->setEnabled(!server_);
    stop_->setEnabled(server_ != nullptr);
  }

  QLineEdit* listen_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* script_;
  QLabel* status_;
  QString address_;
  QString listening_;
  std::unique_ptr<gdb::GdbServer> server_;
  std::thread thread_;
  int run_ = 0;
};

QPointer<GdbServerWindow> g_window;

}  // namespace

QWidget* OpenGdbServerWindow(QWidget* owner) {
  if (!g_window) g_window = new GdbServerWindow(owner);
  g_window->show();
  g_window->raise();
  g_window->activateWindow();
  return g_window;
}

bool GdbServerHoldsLink() {
  return g_attached.load();
}

void StopGdbServer() {
  if (g_window) g_window->StopAndWait();
}

}  // namespace zemlo::shell
