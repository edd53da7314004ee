#include "shell/tool_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "shell/control_id.h"
#include "shell/list_box.h"
#include "shell/operation_runner.h"
#include "shell/progress.h"
#include "shell/ui_slots.h"

namespace zemlo::shell {

ToolDialog::ToolDialog(int resource, const char* title, QWidget* owner)
    : QDialog(owner), resource_(resource), resultCode_(resource) {
  setWindowTitle(QString::fromLatin1(title));
  setModal(true);
  setProperty("resource", resource);
  setObjectName(QStringLiteral("dialog%1").arg(resource));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void ToolDialog::reject() {
  if (Closable()) done(resultCode_);
}

void ToolDialog::Run(const std::function<void()>& operation) {
  RunOperation(*this, operation);
}

bool ToolDialog::Closable() const {
  return !OperationRunning(*this) && MayClose();
}

void ToolDialog::closeEvent(QCloseEvent* event) {
  if (!Closable()) {
    event->ignore();
    return;
  }
  event->accept();
  done(resultCode_);
}

void ToolDialog::showEvent(QShowEvent* event) {
  // Only a button made the default on purpose answers Enter. Any other would become the default
  // as the dialog opens and take Enter from every box, whose own Enter then never happens.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    if (!button->isDefault()) button->setAutoDefault(false);
  }
  QDialog::showEvent(event);
}

void ToolDialog::SetTemplateSize(int widthUnits, int heightUnits) {
  // A dialog unit is a quarter of the font's average character width across and an eighth of its
  // height down, which keeps a template's proportions whatever the font.
  const QFontMetrics metrics(font());
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int average = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
  const QSize templateSize(widthUnits * average / 4, heightUnits * metrics.height() / 8);
  resize(templateSize.expandedTo(sizeHint()));
}

QPushButton* ToolDialog::Button(int id, const char* text) {
  auto* button = Tag(new QPushButton(QString::fromLatin1(text), this), id);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* ToolDialog::Edit(int id, const char* text) {
  auto* edit = Tag(new QLineEdit(QString::fromLatin1(text), this), id);
  return edit;
}

QCheckBox* ToolDialog::Check(int id, const char* text) {
  return Tag(new QCheckBox(QString::fromLatin1(text), this), id);
}

QComboBox* ToolDialog::Combo(int id, const char* const* texts, int count) {
  auto* combo = Tag(new QComboBox(this), id);
  for (int i = 0; i < count; ++i) combo->addItem(QString::fromLatin1(texts[i]));
  combo->setCurrentIndex(-1);  // nothing chosen until the user picks a line
  return combo;
}

ListBox* ToolDialog::List(int id) {
  auto* list = Tag(new ListBox(this), id);
  PushListBox(list);
  return list;
}

QProgressBar* ToolDialog::Progress() {
  return MakeProgressBar(this);
}

QGroupBox* Group(const char* title, QWidget* parent) {
  return new QGroupBox(QString::fromLatin1(title), parent);
}

}  // namespace zemlo::shell
