// The lines of a dialog's list box. Rows are stored newest-first at the back, so the inserts the
// extraction workers make (the mode line at row 0, then one line per packet at row 1) are
// push_backs: a NAND dump's 262,145 lines cost no more than appending them.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

namespace zemlo::shell {

class LineListModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Inserts `lines` one after the other, each at `row` (clamped to the end; a negative row is the
  // end, so lines appended there keep their reading order), as one model change:
  // the last line ends up at `row`, the first at row + lines.size() - 1.
  void InsertEachAt(int row, std::vector<QString> lines);
  // Inserts `lines` at rows row, row + 1, ... (the order they are read in).
  void InsertInOrder(int row, std::vector<QString> lines);
  void Clear();
  // New texts for rows 0.. of a list of as many rows, keeping the selection; else as Clear and
  // InsertInOrder.
  void Replace(std::vector<QString> lines);

  QString Line(int row) const;
  QStringList Lines() const;

 private:
  // Stores `lines` at view row `row`, in storage order or reversed.
  void Insert(int row, std::vector<QString> lines, bool reverse);
  // reversed_[size - 1 - row] is the text of `row`.
  std::vector<QString> reversed_;
};

}  // namespace zemlo::shell
