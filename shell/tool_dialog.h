// What every tool dialog shares: its resource number (the dialog's result when it ends), its
// title, modality over its owner, the close rule, and helpers that build tagged controls.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zemlo::shell {

class ListBox;

class ToolDialog : public QDialog {
 public:
  ToolDialog(int resource, const char* title, QWidget* owner);

  int resource() const { return resource_; }
  // What the dialog ends with: its resource number, unless its template says otherwise.
  int resultCode() const { return resultCode_; }

  // Escape does what the close box does.
  void reject() override;

  // Runs one of the dialog's operations off the UI thread and returns once it has ended.
  void Run(const std::function<void()>& operation);

 protected:
  // False keeps the dialog open when its close box is used (an extraction still running). An
  // operation in progress keeps it open in any case.
  virtual bool MayClose() const { return true; }
  bool Closable() const;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

  void SetResultCode(int code) { resultCode_ = code; }

  // Gives the dialog at least the size its template has, in dialog units of its font.
  void SetTemplateSize(int widthUnits, int heightUnits);

  QPushButton* Button(int id, const char* text);
  QLineEdit* Edit(int id, const char* text = "");
  QCheckBox* Check(int id, const char* text);
  QComboBox* Combo(int id, const char* const* texts, int count);
  ListBox* List(int id);
  QProgressBar* Progress();

 private:
  int resource_;
  int resultCode_;
};

// A group box with a tool dialog's frame title.
QGroupBox* Group(const char* title, QWidget* parent);

}  // namespace zemlo::shell
