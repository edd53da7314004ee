#include "shell/ui_slots.h"

#include <QPointer>
#include <QProgressBar>
#include <vector>

#include "shell/list_box.h"

namespace zemlo::shell {
namespace {

QPointer<QProgressBar> g_progressBar;
std::vector<QPointer<ListBox>> g_listBoxes;

}  // namespace

void SetProgressBar(QProgressBar* bar) {
  g_progressBar = bar;
}

QProgressBar* CurrentProgressBar() {
  return g_progressBar.data();
}

void PushListBox(ListBox* list) {
  g_listBoxes.emplace_back(list);
}

ListBox* CurrentListBox() {
  while (!g_listBoxes.empty() && g_listBoxes.back().isNull()) g_listBoxes.pop_back();
  return g_listBoxes.empty() ? nullptr : g_listBoxes.back().data();
}

}  // namespace zemlo::shell
