#include "shell/change_highlight.h"

#include <QPainter>
#include <QStyle>

namespace zemlo::shell {

void ChangeHighlight::Set(std::vector<std::vector<Span>> rows) {
  rows_ = std::move(rows);
}

std::vector<ChangeHighlight::Span> ChangeHighlight::At(int row) const {
  return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)]
                                                             : std::vector<Span>{};
}

void ChangeHighlight::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const std::vector<Span> spans = At(index.row());
  if (!spans.empty()) {
    // The list's face is fixed-pitch, so a column is a fixed number of pixels from the text's
    // left edge, which sits the style's text margin inside the row.
    const QStyle* style = option.widget ? option.widget->style() : nullptr;
    const int margin = style ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option) + 1 : 0;
    const int column = option.fontMetrics.horizontalAdvance(QLatin1Char('0'));
    const int left = option.rect.left() + margin;
    for (const Span& span : spans) {
      const int x = left + span.start * column;
      const int width = span.length < 0 ? option.rect.right() - x : span.length * column;
      painter->fillRect(QRect(x, option.rect.top(), width, option.rect.height()),
                        QColor(255, 214, 102));
    }
  }
  QStyledItemDelegate::paint(painter, option, index);
}

}  // namespace zemlo::shell
