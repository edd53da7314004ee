// The main window: menu bar, status bar and the commands behind them. It holds no console logic;
// every command connects, quits or opens a tool dialog.
#pragma once

#include <QMainWindow>

class QAction;
class QLabel;

namespace zemlo::shell {

inline constexpr char kMainWindowTitle[] = "ROZ Uzidov V1.0 beta Four - Wii Hook Edition";
inline constexpr char kStatusDisconnected[] = "USB Adapter Status: Disconnected";
inline constexpr char kStatusConnected[] = "USB Adapter Status: Connected";
inline constexpr int kStatusBarId = 142;
inline constexpr int kStatusFirstPartWidth = 180;
inline constexpr int kInitialWidth = 770;
inline constexpr int kInitialHeight = 537;

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs a menu command by its ID, as choosing it does.
  void RunCommand(int command);

  QString statusText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void Connect();

  QLabel* statusFirst_ = nullptr;
};

// Centres `window` on its screen, keeping its size.
void CentreOnScreen(QWidget& window);

}  // namespace zemlo::shell
