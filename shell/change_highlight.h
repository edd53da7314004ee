// Marks the characters of list lines whose bytes changed since the last read, behind the text.
#pragma once

#include <QStyledItemDelegate>
#include <vector>

namespace zemlo::shell {

class ChangeHighlight final : public QStyledItemDelegate {
 public:
  struct Span {
    int start;
    int length;  // -1: to the end of the line
    bool operator==(const Span&) const = default;
  };
  using QStyledItemDelegate::QStyledItemDelegate;

  // Spans by row; rows past the end have none.
  void Set(std::vector<std::vector<Span>> rows);
  std::vector<Span> At(int row) const;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  std::vector<std::vector<Span>> rows_;
};

}  // namespace zemlo::shell
