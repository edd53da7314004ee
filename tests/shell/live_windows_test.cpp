// The memory search, watch list and GDB server windows against the running game, and the memory
// tool's extras: symbol names, hex columns, auto refresh.
#include <fstream>
#include <map>
#include <sstream>

#include "debugger/memory_view.h"
#include "disasm/symbol_map.h"
#include "gdbstub/gdb_server.h"
#include "link/exchange_claim.h"
#include "link/net_socket.h"
#include "live/live_link.h"
#include "protocol/console_controls.h"
#include "shell/change_highlight.h"
#include "shell/live_windows.h"
#include "shell/operation_runner.h"
#include "tests/shell/gui_fixture.h"

namespace zemlo::shell::testing {
namespace {

// Every live window by its object name, with the title it shows.
const std::map<std::string, std::string> kTitles = {{"memorySearch", "Memory Search"},
                                                    {"watchList", "Watch List"},
                                                    {"pointerScan", "Pointer Scan"},
                                                    {"gdbServer", "GDB Server"}};

QWidget* TopLevel(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String(name) && widget->isVisible()) {
      EXPECT_EQ(widget->windowTitle().toStdString(), kTitles.at(name));
      return widget;
    }
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
  search->findChild<QLineEdit*>("value")->setText(QStringLiteral("1000"));
  auto* results = search->findChild<QTableWidget*>();
  auto* status = search->findChild<QLabel*>("status");
  // The throttled first scan alone takes six seconds of link time, which a busy machine stretches.
  const auto scanned = [&] {
    return WaitFor([&] { return status->text().contains("candidate"); }, 120'000);
  };
  // MEM1 at the rate of a real link: the window paints the scan's progress meanwhile, and the
  // results change only when the scan ends.
  adapter().console().SetThrottle(4'000'000);
  Press(*search, "&First Scan");
  EXPECT_TRUE(
      WaitFor([&] { return search->findChild<QLabel*>("progress")->text().contains('%'); }));
  EXPECT_EQ(results->rowCount(), 0);
  SaveScreenshot(*search, QStringLiteral("memory_search_scanning"));
  ASSERT_TRUE(scanned());
  adapter().console().SetThrottle(0);
  search->findChildren<QComboBox*>().at(1)->setCurrentText(QStringLiteral("decreased"));
  adapter().Quiesce();
  adapter().model().game.Step(adapter().model().MemorySpan(), sim::GameModel::kHealthDropEvery);
  status->clear();
  Press(*search, "&Next Scan");
  ASSERT_TRUE(scanned());
  ASSERT_EQ(results->rowCount(), 1);
  EXPECT_EQ(status->text(), QStringLiteral("1 candidate"));
  EXPECT_EQ(results->item(0, 0)->text(), QStringLiteral("80900008"));
  EXPECT_EQ(results->item(0, 2)->text(), QStringLiteral("1000"));
  SaveScreenshot(*search, QStringLiteral("memory_search"));

  results->selectRow(0);
  Press(*search, "Add to &Watch List");
  QWidget* watch = TopLevel("watchList");
  ASSERT_NE(watch, nullptr);
  auto* tree = watch->findChild<QTreeWidget*>();
  EXPECT_EQ(tree->columnCount(), 6);  // none blank after the lock
  const auto value = [tree] {
    return tree->topLevelItemCount() == 1 ? tree->topLevelItem(0)->text(4) : QString();
  };
  EXPECT_TRUE(WaitFor([&] { return value() == QStringLiteral("993"); })) << value().toStdString();
  adapter().Quiesce();
  adapter().model().game.Step(adapter().model().MemorySpan(), sim::GameModel::kHealthDropEvery);
  EXPECT_TRUE(WaitFor([&] { return value() == QStringLiteral("986"); })) << value().toStdString();
  // A lock exported as a code; an entry typed in by hand follows its pointers.
  tree->topLevelItem(0)->setCheckState(5, Qt::Checked);
  const std::string codes = ChooseFile("codes.ini");
  Press(*watch, "Export as C&ode...");
  std::stringstream exported;
  exported << std::ifstream(codes).rdbuf();
  EXPECT_EQ(exported.str(), "[Gecko]\n$found\n02900008 000003DA\n");
  QTimer::singleShot(0, [] {
    if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      dialog->setTextValue(R"("label": "deep", "address": "80900020", "typeIndex": 2,
                              "pointerOffsets": ["10", "1C8", "4"])");
      dialog->accept();
    }
  });
  Press(*watch, "&Add...");
  EXPECT_TRUE(WaitFor([&] {
    return tree->topLevelItemCount() == 2 &&
           tree->topLevelItem(1)->text(2).endsWith(" -> 80A00004");
  }));
  SaveScreenshot(*watch, QStringLiteral("watch_list"));
  // Edited into a u8 without pointers: the u32 read before is never shown as the new type.
  QTimer::singleShot(0, [] {
    if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      EXPECT_TRUE(dialog->textValue().contains(R"("pointerOffsets":["10","1C8","4"])"));
      dialog->setTextValue(R"("label": "deep", "address": "80900009", "typeIndex": 0)");
      dialog->accept();
    }
  });
  tree->setCurrentItem(tree->topLevelItem(1));
  Press(*watch, "Edit E&ntry...");
  EXPECT_EQ(tree->topLevelItem(1)->text(3), QStringLiteral("u8"));
  EXPECT_EQ(tree->topLevelItem(1)->text(4), QStringLiteral("not read"));
  EXPECT_TRUE(WaitFor([&] { return tree->topLevelItem(1)->text(4) == QStringLiteral("218"); }));
  // A file in the other tools' struct form: the player behind its pointer as a struct, which
  // opens to its fields; a field's value is edited in place.
  const std::string structs = ChooseFile("structs.json");
  std::ofstream(structs) << R"({"watchList":[{"label":"player","address":"8090000C",
      "typeIndex":7,"structName":"Player","pointerOffsets":["0"]}],"structDefs":{"rootNode":[
      {"structName":"Player","struct":{"label":"Player","length":12,"fieldList":[
      {"offset":0,"length":4,"entry":{"label":"level","typeIndex":2}},
      {"offset":4,"length":4,"entry":{"label":"coins","typeIndex":2}},
      {"offset":8,"length":4,"entry":{"label":"x","typeIndex":3}}]}}]}})";
  Press(*watch, "&Open...");
  ASSERT_EQ(tree->topLevelItemCount(), 3);
  QTreeWidgetItem* player = tree->topLevelItem(2);
  ASSERT_TRUE(WaitFor([&] { return player->childCount() == 3; }));
  player->setExpanded(true);
  tree->setCurrentItem(player->child(1));
  QTimer::singleShot(0, [tree] {
    if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      EXPECT_EQ(dialog->textValue().toStdString(), tree->currentItem()->text(4).toStdString());
      dialog->setTextValue(QStringLiteral("42"));
      dialog->accept();
    }
  });
  Press(*watch, "&Edit Value");
  EXPECT_TRUE(WaitFor([&] { return player->child(1)->text(4) == QStringLiteral("42"); }));
  EXPECT_EQ(player->child(1)->text(1), QStringLiteral("coins"));
  SaveScreenshot(*watch, QStringLiteral("watch_list_struct"));
  watch->close();
  search->close();
  EXPECT_TRUE(Messages().empty());
}

// Snapshots before and after a reload find the global pointer to the player, and one click puts
// the chain into the watch list.
TEST_F(LiveWindowsTest, PointerScanAcrossAReloadFeedsTheWatchList) {
  Connect();
  adapter().Quiesce();
  auto& model = adapter().model();
  model.uploads.hooked = true;
  model.game.clockDriven = false;
  OpenPointerWindow(&window());
  QWidget* pointers = TopLevel("pointerScan");
  auto* target = pointers->findChild<QLineEdit*>("target");
  auto* status = pointers->findChild<QLabel*>("status");
  const auto coins = [&] {
    return QString::number(model.game.PlayerAddress() + sim::GameModel::kPlayerCoins, 16);
  };
  const auto ended = [&](const char* start) {
    return WaitFor([&] { return status->text().startsWith(QLatin1String(start)); });
  };
  target->setText(coins());
  // At a real link's rate: the bar moves, and closing the window stops the scan instead.
  adapter().console().SetThrottle(4'000'000);
  Press(*pointers, "&New Scan");
  auto* progress = pointers->findChild<QProgressBar*>("progress");
  EXPECT_TRUE(WaitFor([&] { return progress->value() > 0; }));
  pointers->close();
  EXPECT_TRUE(pointers->isVisible());
  EXPECT_TRUE(ended("Scan stopped")) << status->text().toStdString();
  adapter().console().SetThrottle(0);
  pointers->findChild<QSpinBox*>()->setValue(1);  // the one chain straight from a global
  Press(*pointers, "&New Scan");
  EXPECT_TRUE(ended("1 snapshot")) << status->text().toStdString();
  adapter().Quiesce();
  model.game.Step(model.MemorySpan(), sim::GameModel::kLevelFrames);
  target->setText(coins());
  Press(*pointers, "&Add Snapshot");
  EXPECT_TRUE(WaitFor([&] { return status->text() == "1 chain from 2 snapshots"; }))
      << status->text().toStdString();
  auto* chains = pointers->findChild<QListWidget*>();
  ASSERT_GT(chains->count(), 0) << status->text().toStdString();
  EXPECT_EQ(chains->item(0)->text(), R"("address": "8090000C", "pointerOffsets": ["4"])");
  chains->setCurrentRow(0);
  Press(*pointers, "Add to &Watch List");
  QWidget* watch = TopLevel("watchList");
  ASSERT_NE(watch, nullptr);
  auto* tree = watch->findChild<QTreeWidget*>();
  EXPECT_EQ(tree->topLevelItem(tree->topLevelItemCount() - 1)->text(1),
            QStringLiteral("pointer 8090000C"));
  watch->close();
  pointers->close();
}

// gdb's first question over TCP, and the reply up to its checksum ("" when none came);
// `attached` runs before the connection closes.
std::string AskStopReason(uint16_t port, const std::function<void()>& attached) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const net::SocketHandle fd = net::OpenSocket(AF_INET, SOCK_STREAM, 0);
  ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  std::string reply;
  if (net::WaitReady(fd, POLLOUT, net::kNoSocket, 10000) == net::Ready::kSocket &&
      net::Send(fd, "$?#3f", 5) == 5) {
    char buffer[64];
    while (reply.find('#') == std::string::npos || reply.size() < reply.find('#') + 3) {
      if (net::WaitReady(fd, POLLIN, net::kNoSocket, 10000) != net::Ready::kSocket) break;
      const std::ptrdiff_t got = net::Receive(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      reply.append(buffer, static_cast<size_t>(got));
    }
  }
  attached();
  net::CloseSocket(fd);
  return reply;
}

// The server shows its port and answers gdb; the gdb keeps the link from the other tools until
// the server stops, which leaves the game running. A port in use is said, not waited on.
TEST_F(LiveWindowsTest, GdbServerServesAndStopsFreeingTheLink) {
  Connect();
  adapter().model().uploads.hooked = true;
  window().RunCommand(kCmdGdbServer);
  QWidget* server = TopLevel("gdbServer");
  ASSERT_NE(server, nullptr);
  auto* status = server->findChild<QLabel*>("status");
  server->findChild<QLineEdit*>("listen")->setText(QStringLiteral("127.0.0.1:0"));
  Press(*server, "&Start");
  const QString listening = status->text();
  ASSERT_TRUE(listening.startsWith("Listening on 127.0.0.1:")) << listening.toStdString();
  const auto port = static_cast<uint16_t>(listening.section(':', 1).toUInt());
  ASSERT_NE(port, 0);
  EXPECT_EQ(
      AskStopReason(port,
                    [&] {
                      EXPECT_TRUE(WaitFor([&] { return status->text().endsWith("gdb attached"); }));
                      SaveScreenshot(*server, QStringLiteral("gdb_server"));
                      EXPECT_FALSE(RunOperation(window(), [] {}));
                    }),
      "+$S05#b8");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"gdb is attached through the GDB Server and keeps the link."});

  Press(*server, "S&top");
  EXPECT_TRUE(WaitFor([&] { return status->text() == "Stopped"; }));
  // A short exchange holding the link is waited out asleep, painting between slices of 10 ms:
  // a zero timer turns about once a slice, not on every try to claim.
  std::optional<ExchangeClaim> held = ExchangeClaim::TryClaim();
  ASSERT_TRUE(held->held());
  QElapsedTimer clock;
  clock.start();
  qint64 heldMs = 0, turns = 0;
  QTimer turn;
  QObject::connect(&turn, &QTimer::timeout, [&] {
    if (held && ++turns && clock.elapsed() >= 50) {
      heldMs = clock.elapsed();
      held.reset();
    }
  });
  turn.start(0);
  bool answered = false;
  EXPECT_TRUE(RunOperation(window(), [&] { answered = ReadRegisterBlock().has_value(); }));
  turn.stop();
  EXPECT_LE(turns, heldMs / 10 + 2) << heldMs;
  EXPECT_TRUE(answered);
  adapter().Quiesce();
  EXPECT_FALSE(adapter().model().frozen);

  gdb::GdbServer taken;
  ASSERT_TRUE(taken.Listen("127.0.0.1", 0, nullptr));
  server->findChild<QLineEdit*>("listen")->setText(QString::fromStdString(taken.address()));
  Press(*server, "&Start");
  EXPECT_TRUE(status->text().startsWith("Not started: cannot listen on 127.0.0.1:"))
      << status->text().toStdString();
  EXPECT_EQ(Messages().size(), 1u);
  server->close();
}

// Beside its own controls the memory tool re-reads the page on show and marks what changed,
// shows hex lines as words or floats, and names branch targets from a symbol map.
TEST_F(LiveWindowsTest, MemoryToolAutoRefreshColumnsAndSymbolMap) {
  Connect();
  auto& model = adapter().model();
  model.game.clockDriven = false;
  std::ofstream(ChooseFile("game.map"))
      << ".text section layout\n80003110 00000020 80003110 0 target\n";
  FromMenu(kCmdDebugTools, [&](ToolDialog& tool) {
    auto* list = FindControl<ListBox>(&tool, 1081);
    const auto line = [list](int row) { return list->lines().Line(row).toStdString(); };
    // A fixed-pitch list in the dialog's size; Trace and Step stay greyed.
    const QFontMetrics metrics(list->font());
    for (QChar glyph : QStringLiteral("i.:M0"))
      EXPECT_EQ(metrics.horizontalAdvance(glyph), metrics.horizontalAdvance(QLatin1Char('W')));
    EXPECT_EQ(list->font().pointSizeF(), tool.font().pointSizeF());
    for (int id : {1108, 1109}) EXPECT_FALSE(FindControl(&tool, id)->isEnabled()) << id;
    SetText(tool, 1097, QStringLiteral("48000010"));  // b 0x80003110 at 80003100
    Click(tool, 1098);
    Click(tool, 1087);
    const std::string branch = line(0);
    tool.findChild<QPushButton*>(QStringLiteral("symbolMap"))->click();
    EXPECT_EQ(line(0), branch + " <target>");
    SetLoadedSymbolMap(std::nullopt);

    SetText(tool, 1086, QStringLiteral("80900000"));
    Click(tool, 1129);
    auto* columns = tool.findChild<QComboBox*>(QStringLiteral("hexColumns"));
    columns->setCurrentIndex(1);
    EXPECT_EQ(line(0).substr(0, 29), "0x80900000 00000000 00000000 ");
    adapter().Quiesce();
    model.game.Step(model.MemorySpan(), 30);
    tool.findChild<QCheckBox*>(QStringLiteral("autoRefresh"))->setChecked(true);
    EXPECT_TRUE(WaitFor([&] { return line(0).substr(11, 17) == "0000001E 3F000000"; })) << line(0);
    const auto* highlight = static_cast<ChangeHighlight*>(list->itemDelegate());
    EXPECT_EQ(highlight->At(0), (std::vector<ChangeHighlight::Span>{{11, 8}, {20, 8}}));
    EXPECT_TRUE(highlight->At(1).empty());
    // The watch list's refresh interval reaches the running re-read at its next turn: at 10 s,
    // a second sees at most that turn's read and one already under way.
    window().RunCommand(kCmdWatchList);
    auto* interval = TopLevel("watchList")->findChild<QSpinBox*>();
    interval->setValue(10000);
    const uint64_t reads = live::Counters().windows;
    QTest::qWait(1000);
    EXPECT_LE(live::Counters().windows - reads, 2u);
    interval->setValue(100);
    tool.findChild<QCheckBox*>(QStringLiteral("autoRefresh"))->setChecked(false);
    columns->setCurrentIndex(2);
    EXPECT_EQ(line(0), "0x80900000    4.203895e-44             0.5");
    columns->setCurrentIndex(0);
    EXPECT_EQ(line(0), FormatHexLine(0x80900000, &model.memory[0x900000]));
  });
}

}  // namespace
}  // namespace zemlo::shell::testing
