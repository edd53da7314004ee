#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "shell/menu_table.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

QWidget* TopLevel(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String(name) && widget->isVisible()) return widget;
  }
  return nullptr;
}

void Press(QWidget& window, const char* text) {
  for (auto* button : window.findChildren<QPushButton*>()) {
    if (button->text() == QLatin1String(text)) return button->click();
  }
  ADD_FAILURE() << "no button " << text;
}

class LiveWindowsTest : public GuiTest {};

// Health found in two scans, sent to the watch list, and watched as the game plays on.
TEST_F(LiveWindowsTest, SearchFindsHealthAndTheWatchListFollowsIt) {
  Connect();
  adapter().Quiesce();
  adapter().model().uploads.hooked = true;
  adapter().model().game.clockDriven = false;
  window().RunCommand(kCmdMemorySearch);
  QWidget* search = TopLevel("memorySearch");
  ASSERT_NE(search, nullptr);
  search->findChildren<QLineEdit*>().at(0)->setText(QStringLiteral("1000"));
  Press(*search, "&First Scan");
  auto* compare = search->findChildren<QComboBox*>().at(1);
  compare->setCurrentText(QStringLiteral("decreased"));
  adapter().Quiesce();
  adapter().model().game.Step(adapter().model().MemorySpan(), sim::GameModel::kHealthDropEvery);
  Press(*search, "&Next Scan");
  auto* results = search->findChild<QTableWidget*>();
  ASSERT_EQ(results->rowCount(), 1);
  EXPECT_EQ(results->item(0, 0)->text(), QStringLiteral("80900008"));
  EXPECT_EQ(results->item(0, 2)->text(), QStringLiteral("1000"));
  SaveScreenshot(*search, QStringLiteral("memory_search"));

  results->selectRow(0);
  Press(*search, "Add to &Watch List");
  QWidget* watch = TopLevel("watchList");
  ASSERT_NE(watch, nullptr);
  auto* table = watch->findChild<QTableWidget*>();
  const auto value = [table] {
    return table->rowCount() == 1 && table->item(0, 4) ? table->item(0, 4)->text() : QString();
  };
  EXPECT_TRUE(WaitFor([&] { return value() == QStringLiteral("993"); })) << value().toStdString();
  adapter().Quiesce();
  adapter().model().game.Step(adapter().model().MemorySpan(), sim::GameModel::kHealthDropEvery);
  EXPECT_TRUE(WaitFor([&] { return value() == QStringLiteral("986"); })) << value().toStdString();
  SaveScreenshot(*watch, QStringLiteral("watch_list"));
  watch->close();
  search->close();
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace zemlo::shell::testing
