#include "shell/list_box.h"

namespace zemlo::shell {

ListBox::ListBox(QWidget* parent) : QListView(parent), model_(this) {
  setModel(&model_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setLayoutMode(QListView::Batched);
  setBatchSize(4096);
}

void ListBox::focusInEvent(QFocusEvent* event) {
  const bool hadCurrent = currentIndex().isValid();
  QListView::focusInEvent(event);
  // The view makes its first row current on focus, which draws it as if selected.
  if (!hadCurrent) selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

int ListBox::Selection() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ListBox::Select(int row) {
  if (row < 0 || row >= model_.rowCount()) {
    clearSelection();
    return;
  }
  setCurrentIndex(model_.index(row));
}

}  // namespace zemlo::shell
