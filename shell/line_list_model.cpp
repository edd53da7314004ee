#include "shell/line_list_model.h"

#include <algorithm>
#include <iterator>

namespace zemlo::shell {

int LineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(reversed_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  return Line(index.row());
}

QString LineListModel::Line(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  return reversed_[reversed_.size() - 1 - static_cast<size_t>(row)];
}

QStringList LineListModel::Lines() const {
  QStringList lines;
  lines.reserve(rowCount());
  for (auto it = reversed_.rbegin(); it != reversed_.rend(); ++it) lines.push_back(*it);
  return lines;
}

void LineListModel::InsertEachAt(int row, std::vector<QString> lines) {
  // Row `row` sits at storage index count - row; lines inserted there one by one in reading order
  // keep that order in storage, since each later one lands nearer the top of the view.
  Insert(row, std::move(lines), false);
}

void LineListModel::InsertInOrder(int row, std::vector<QString> lines) {
  Insert(row, std::move(lines), true);
}

void LineListModel::Insert(int row, std::vector<QString> lines, bool reverse) {
  if (lines.empty()) return;
  const int count = rowCount();
  if (row < 0) {
    // Appended lines: each one goes below the one before it, as they are read.
    row = count;
    reverse = true;
  }
  row = std::min(row, count);
  const int added = static_cast<int>(lines.size());
  beginInsertRows(QModelIndex(), row, row + added - 1);
  const auto at = reversed_.begin() + (count - row);
  if (reverse) {
    reversed_.insert(at, std::make_move_iterator(lines.rbegin()),
                     std::make_move_iterator(lines.rend()));
  } else {
    reversed_.insert(at, std::make_move_iterator(lines.begin()),
                     std::make_move_iterator(lines.end()));
  }
  endInsertRows();
}

void LineListModel::Clear() {
  if (reversed_.empty()) return;
  beginResetModel();
  reversed_.clear();
  reversed_.shrink_to_fit();
  endResetModel();
}

void LineListModel::Replace(std::vector<QString> lines) {
  if (lines.size() != reversed_.size() || lines.empty()) {
    Clear();
    InsertInOrder(0, std::move(lines));
    return;
  }
  std::move(lines.rbegin(), lines.rend(), reversed_.begin());
  emit dataChanged(index(0), index(rowCount() - 1));
}

}  // namespace zemlo::shell
