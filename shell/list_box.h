// A list box: a single-selection list view over a LineListModel, with uniform rows so that a
// list of hundreds of thousands of lines lays itself out cheaply.
#pragma once

#include <QListView>

#include "shell/line_list_model.h"

namespace zemlo::shell {

class ListBox final : public QListView {
  Q_OBJECT

 public:
  explicit ListBox(QWidget* parent = nullptr);

  LineListModel& lines() { return model_; }
  const LineListModel& lines() const { return model_; }

  // The selected row, or -1.
  int Selection() const;
  void Select(int row);

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  LineListModel model_;
};

}  // namespace zemlo::shell
