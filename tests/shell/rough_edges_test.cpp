// Small things a new user meets: message boxes and keyboard ways through dialogs.
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

using RoughEdgesTest = GuiTest;

TEST_F(RoughEdgesTest, MessageBoxesArePlainDialogsWideEnoughForTheirCaption) {
  const char* caption = "Memory Card Error";
  const auto box = MakeMessageBox("Done", caption, MessageIcon::None, nullptr, {});
  box->show();
  QFont title = box->font();
  title.setBold(true);
  EXPECT_GE(box->width(), QFontMetrics(title).horizontalAdvance(QLatin1String(caption)) + 80);
  EXPECT_FALSE(box->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  SaveScreenshot(*box, QStringLiteral("message_box"));

  // Enter answers a box with details, even from its details button.
  const auto detailed = MakeMessageBox("Done", caption, MessageIcon::None, nullptr, "SHA-1: 0");
  detailed->show();
  for (QPushButton* button : detailed->findChildren<QPushButton*>()) {
    if (button != detailed->button(QMessageBox::Ok)) QTest::keyClick(button, Qt::Key_Return);
  }
  EXPECT_FALSE(detailed->isVisible());
  EXPECT_EQ(detailed->clickedButton(), detailed->button(QMessageBox::Ok));
}

TEST_F(RoughEdgesTest, FileSystemExplorerEndsByEveryWayOut) {
  const std::function<void(ToolDialog&)> ways[] = {
      [](ToolDialog& d) { Click(d, 1); },
      [](ToolDialog& d) { Click(d, 2); },
      [](ToolDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
      [](ToolDialog& d) { QTest::keyClick(FindControl<QWidget>(&d, 1023), Qt::Key_Return); },
  };
  for (const auto& way : ways) {
    FromMenu(kCmdFileSystemTools, [&](ToolDialog& dialog) {
      way(dialog);
      EXPECT_FALSE(dialog.isVisible());
      EXPECT_EQ(dialog.result(), 151);
    });
  }
}

TEST_F(RoughEdgesTest, EnterRunsTheViewOrTheDumpOfTheBoxItIsPressedInAndPagesMove) {
  Connect();
  const std::string path = ChooseFile("dump.bin");
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    const auto startsAt = [list = FindControl<ListBox>(&tool, 1081)](const char* address) {
      return list->lines().rowCount() == 25 && list->lines().Line(0).startsWith(address);
    };
    Click(tool, 1129);  // the HEX view
    SetText(tool, 1086, QStringLiteral("80003200"));
    QTest::keyClick(FindControl<QLineEdit>(&tool, 1086), Qt::Key_Return);
    EXPECT_TRUE(startsAt("0x80003200 "));
    Click(tool, 1090);  // Page Down: the next 200 bytes
    EXPECT_TRUE(startsAt("0x800032C8 "));
    Click(tool, 1091);
    EXPECT_TRUE(startsAt("0x80003200 "));
    FromButton(tool, 1033, [&](ToolDialog& dump) {
      SetText(dump, 1002, QStringLiteral("80003200"));
      QTest::keyClick(FindControl<QLineEdit>(&dump, 1002), Qt::Key_Return);
    });
  });
  EXPECT_EQ(std::filesystem::file_size(path), 0x100u);
}

// Only enabled menu-bar entries share an access key. Alt+F opens "&File" at once although the
// disabled "&Firmware" has the same key; Alt+S moves a highlight that shows on the bar.
TEST_F(RoughEdgesTest, SharedAccessKeyMovesTheHighlightAndEnterOpens) {
  QApplication::setActiveWindow(&window());
  QStringList opened;
  SetModalHook([&](ToolDialog& dialog) { opened << dialog.windowTitle(); });
  // Keys go where a real keyboard's would: an open menu, else the focus, else
  // the window.
  const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    QTest::keyClick(target ? target : &window(), key, modifiers);
    QAction* active = window().menuBar()->activeAction();
    return active ? active->text() : QString();
  };
  EXPECT_EQ(press(Qt::Key_F, Qt::AltModifier), QStringLiteral("&File"));
  EXPECT_NE(QApplication::activePopupWidget(), nullptr);
  SaveScreenshot(window(), QStringLiteral("menu_alt_f"));
  press(Qt::Key_Escape);
  press(Qt::Key_Escape);
  for (const char* highlighted : {"&Start Game", "&Screen Grabber", "&Start Game"}) {
    const QImage bar = window().menuBar()->grab().toImage();
    EXPECT_EQ(press(Qt::Key_S, Qt::AltModifier), QLatin1String(highlighted));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_NE(window().menuBar()->grab().toImage(), bar);
  }
  SaveScreenshot(window(), QStringLiteral("menu_alt_s"));
  press(Qt::Key_Down);
  EXPECT_NE(QApplication::activePopupWidget(), nullptr);
  press(Qt::Key_Escape);
  press(Qt::Key_S, Qt::AltModifier);
  press(Qt::Key_Return);
  EXPECT_EQ(opened, QStringList{QStringLiteral("Zemlo Screen Grab Tool")});
}

}  // namespace
}  // namespace zemlo::shell::testing
