// The live page: short names, slots and the error list text; the highlight
// bits, the visible-rows tree update and channel editing on the panel; then
// the live cycle, the forced functions and the info page against tavomark-sim.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest/QTest>

#include <chrono>
#include <fstream>
#include <sstream>

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

#include "graph_tab.h"
#include "live_panel.h"
#include "struct_tree_model.h"
#include "ui_test_util.h"
#include "value_codec.h"

namespace tavomark::test {
namespace {

using ui::LivePanel;

// ---- texts -------------------------------------------------------------------

TEST(LiveText, ShortNameKeepsCapitalsAndDigitsFirstLettersAndConsonants) {
  const std::pair<const char*, const char*> cases[] = {
      {"motorSpeed", "MTRS"}, {"io", "IO"},         {"abc", "ABC"},     {"mode0", "MOD0"},
      {"overTemp1_a", "OVT1"}, {"X", "X"},          {"fanStall_a", "FNST"}, {"a_b_c_d_e", "ABCD"},
      {"ABCDEF", "ABCD"},     {"running_s", "RNNN"}, {"", ""}};
  for (const auto& [in, out] : cases) {
    std::string text = in;
    ui::ShortName(text, 4);
    EXPECT_EQ(text, out) << in;
  }
}

TEST(LiveText, HighlightRowsMapToSlotsUpTo47) {
  const std::tuple<int, int, int> cases[] = {{0, 1, 0},  {0, 21, 20}, {1, 1, 21}, {1, 21, 41}, {2, 1, 42},
                                             {2, 6, 47}, {2, 7, -1},  {0, 22, -1}, {1, 0, -1}, {3, 1, -1}};
  for (const auto& [table, row, slot] : cases) EXPECT_EQ(ui::HilightSlot(table, row), slot) << table << "/" << row;
}

TEST(LiveText, ErrorListLinesFollowThePositionByteAndTheByteOrder) {
  std::array<uint8_t, 80> list{};
  // Entry 0 on line 0; entry 1 on line 2, its high nibble saying three
  // entries are in use: code 0x0A01, 1000 h, 12 repetitions, 7 min.
  const uint8_t first[8] = {0x03, 0x01, 0x0C, 0x00, 0x10, 0x01, 0x05, 0xEE};
  const uint8_t second[8] = {0x01, 0x0A, 0xE8, 0x03, 0x32, 0x0C, 0x07, 0xEE};
  std::copy(std::begin(first), std::end(first), list.begin());
  std::copy(std::begin(second), std::end(second), list.begin() + 8);
  const ui::ErrorListText text = ui::FormatErrorList(list, false);
  EXPECT_EQ(text.lines[0], "Err:00259 (001-003) Rep:01 - 00012h 05m");
  EXPECT_EQ(text.lines[2], "Err:02561 (010-001) Rep:12 - 01000h 07m");
  EXPECT_EQ(text.lines[1], "") << "a line below the count that no entry names keeps its text";
  for (std::size_t line = 3; line < 10; ++line) EXPECT_EQ(text.lines[line], "--") << line;
  EXPECT_TRUE(text.inUse[2]);
  EXPECT_FALSE(text.inUse[3]);

  const ui::ErrorListText swapped = ui::FormatErrorList(list, true);
  EXPECT_EQ(swapped.lines[0], "Err:00769 (003-001) Rep:01 - 03072h 05m");
}

// ---- the panel ----------------------------------------------------------------

// A monitor struct with a counter, a 16-bit flag word, a 3-bit field and a
// long array, so the tree has more rows than fit:
//   1 mon | 2 lifeCount | 3 temp (1 dec) | 4 flags | 5..20 its 16 bits
//  21 opts | 22 mode (3 bits) | 23 rest (5 bits) | 24 pad | 25..64 pad[i] | 65 crc
constexpr std::size_t kLife = 2, kTempLive = 3, kFlags = 4, kOpts = 21, kMode = 22, kPad0 = 25, kCrc = 65;
constexpr const char* kFlagUnits = "awosfxaaaaaaaaaa";

StructPack LiveMonitor() {
  StructPack pack = CreateStructPack();
  RecordList& r = pack.records;
  r.push_back(Container(0, RecordKind::Struct, "mon"));
  r.push_back(Leaf(1, "lifeCount", "U16", 2));
  r.push_back(Leaf(1, "temp", "S16", 2, true, 0, 1));
  SetText(r.back().unit, "dC");
  r.push_back(Container(1, RecordKind::Struct, "flags"));
  for (int bit = 0; bit < 16; ++bit) {
    const char unit[2] = {kFlagUnits[bit], 0};
    r.push_back(Leaf(2, "bit" + std::to_string(bit) + "_" + unit, "U16", 2, false, 1));
    SetText(r.back().unit, unit);
  }
  r.push_back(Container(1, RecordKind::Struct, "opts"));
  r.push_back(Leaf(2, "mode", "U8", 1, false, 3));
  r.push_back(Leaf(2, "rest", "U8", 1, false, 5));
  r.push_back(Container(1, RecordKind::Struct, "pad", 40));
  for (int i = 0; i < 40; ++i) r.push_back(Leaf(2, "pad[" + std::to_string(i) + "]", "U8", 1));
  r.push_back(Leaf(1, "crc", "U16", 2));
  CalcStructSize(r);
  Identify(pack, 315, 'C');
  return pack;
}

class LiveTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ConfigSet config = MakeConfig(315, 'C');
    config.monitor = LiveMonitor();
    SaveConfig(config);
  }
  // Starts the program unless a test did, and shows the live page.
  void ShowLive() {
    if (!m_app) {
      ASSERT_EQ(StartApp(), 0);
    }
    Panel().resize(900, 700);
    Panel().show();
    Panel().ChangePanel(ui::kLivePanel);
    m_live = dynamic_cast<LivePanel*>(Panel().Child(ui::kLivePanel));
    ASSERT_NE(m_live, nullptr);
    ASSERT_TRUE(m_live->IsActive());
  }
  QTabWidget* Tabs() { return m_live->Widget()->findChild<QTabWidget*>("TAB"); }
  // The live panel's control of that name (other panels reuse names), else
  // the main panel's.
  template <typename T = QPushButton>
  T* Control(const char* name) {
    if (m_live != nullptr)
      if (T* control = m_live->Widget()->findChild<T*>(name)) return control;
    return AppTest::Control<T>(name);
  }
  const StructPack& Monitor() { return m_app->Data().config.monitor; }
  // A live buffer with the given leaves set.
  std::vector<uint8_t> LiveBuffer(const std::map<std::size_t, double>& values) {
    std::vector<uint8_t> live(GetStructByteSize(Monitor()), 0);
    for (const auto& [position, value] : values)
      EXPECT_EQ(ValToMemoryByte(Monitor().records[position - 1], value, live, 0, 0), 1);
    return live;
  }
  void SelectTreeItem(std::size_t position) {
    m_live->Tree()->setCurrentIndex(m_live->TreeModel().IndexOf(position));
  }
  // Makes a highlight row the active cell, as a click on it would.
  void ClickRow(int table, int row) {
    m_live->HilightTableWidget(table)->setCurrentCell(row - 1, 1);
    m_live->TableChange(table);
  }
  uint32_t Slot(int page, int slot) { return m_app->Data().user.Entry(page, slot); }
  QString Cell(QTableWidget* table, int row, int column) { return table->item(row, column)->text(); }
  QRgb Colour(int row, int column) {
    return m_live->HilightTableWidget(2)->item(row, column)->background().color().rgb() & 0xFFFFFF;
  }

  LivePanel* m_live = nullptr;
};

TEST_F(LiveTest, PagesButtonsAndTheirHidingRules) {
  ShowLive();
  QTabWidget* tabs = Tabs();
  ASSERT_EQ(tabs->count(), 7);
  EXPECT_EQ(tabs->currentIndex(), ui::kTabHilight);
  const char* const pages[] = {"TABALL", "TABHILIGHT", "TABGRAPH", "TABGRAPH2", "TABGRAPH3", "TABCALIB", "TABINFO"};
  for (int page = 0; page < 7; ++page) {
    EXPECT_EQ(tabs->widget(page)->objectName(), pages[page]);
    EXPECT_EQ(tabs->isTabVisible(page), page != ui::kTabCalib) << page;
    const auto& buttons = m_live->ForcedButtons(page);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      EXPECT_EQ(buttons[i]->objectName(), ui::kForcedFunctions[i].name);
      EXPECT_EQ(buttons[i]->text(), ui::kForcedFunctions[i].label);
      EXPECT_EQ(buttons[i]->parentWidget(), tabs->widget(page));
    }
    const bool infoOrCalib = page == ui::kTabInfo || page == ui::kTabCalib;
    EXPECT_TRUE(buttons[3]->isHidden()) << page;
    EXPECT_EQ(buttons[4]->isHidden(), !infoOrCalib) << page;
  }
  EXPECT_EQ(tabs->tabText(0), "&All");
  EXPECT_EQ(Control("CbCollapse")->text(), "COLLAPSE ALL");
  EXPECT_EQ(Control("CbExpande")->text(), "EXPANDE  ALL");
  // Channel buttons come with "Edit channels", which the settings remember.
  for (const char* name : {"cbAdd", "cbDel", "cbMoveUp", "cbMoveDw"}) EXPECT_TRUE(Control(name)->isHidden()) << name;
  Control<QCheckBox>("cbEditChannels")->click();
  EXPECT_FALSE(Control("cbMoveUp")->isHidden());
  EXPECT_EQ(SavedSettings().liveEditChannels, 1);
  Control<QCheckBox>("cbShowCalib")->click();
  EXPECT_TRUE(tabs->isTabVisible(ui::kTabCalib));
  EXPECT_EQ(SavedSettings().liveShowCalib, 1);
}

TEST_F(LiveTest, FlagWordCellsAreLabelledAndColouredByTheirUnits) {
  ASSERT_EQ(StartApp(), 0);
  m_app->Data().user.SetEntry(ui::kTabHilight, 42, kFlags);
  m_app->Data().user.SetEntry(ui::kTabHilight, 43, kOpts);  // 8 bits: not a flag word
  m_app->Data().user.SetEntry(ui::kTabHilight, 0, kTempLive);
  m_app->Data().user.SetEntry(ui::kTabHilight, 1, kFlags);  // a container in a value row
  m_app->Data().user.SetEntry(ui::kTabHilight, 2, 999);     // beyond the pack
  ShowLive();
  QTableWidget* bits = m_live->HilightTableWidget(2);
  EXPECT_EQ(Cell(bits, 0, 0), "flags");
  EXPECT_EQ(Cell(bits, 0, 1), "BIT0");
  EXPECT_EQ(Cell(bits, 0, 16), "BT15");
  EXPECT_EQ(Cell(bits, 1, 0), "");
  QTableWidget* values = m_live->HilightTableWidget(0);
  EXPECT_EQ(Cell(values, 0, 0), "temp");
  EXPECT_EQ(Cell(values, 0, 2), "dC");
  EXPECT_EQ(Cell(values, 1, 0), "");
  EXPECT_EQ(Cell(values, 2, 0), "");

  // Bits 0 (a), 1 (w), 2 (o) and 4 (f) set; 3 (s) clear.
  const std::vector<uint8_t> live =
      LiveBuffer({{kTempLive, -12.5}, {kFlags + 1, 1}, {kFlags + 2, 1}, {kFlags + 3, 1}, {kFlags + 5, 1}});
  m_live->HilightTabUpdate(ui::kTabHilight, live);
  EXPECT_EQ(Cell(values, 0, 1).trimmed(), "-12.5");
  EXPECT_EQ(Colour(0, 1), 0xFF0000u);
  EXPECT_EQ(Colour(0, 2), 0xFFFF00u);
  EXPECT_EQ(Colour(0, 3), 0x00FF00u);
  EXPECT_EQ(Colour(0, 4), 0xE0E0E0u);
  EXPECT_EQ(Colour(0, 5), 0xFFAA00u);
  for (int column = 6; column <= 16; ++column) EXPECT_EQ(Colour(0, column), 0xE0E0E0u) << column;
  EXPECT_EQ(Colour(1, 1), 0xE0E0E0u);
  // Another page's tick leaves the highlight page alone.
  m_live->HilightTabUpdate(ui::kTabAll, LiveBuffer({}));
  EXPECT_EQ(Colour(0, 1), 0xFF0000u);

  // A 3-bit field's cells carry their bit numbers.
  const std::vector<ui::BitCell> cells = ui::FlagWordCells(Monitor(), kOpts);
  ASSERT_EQ(cells.size(), 8u);
  EXPECT_EQ(cells[2].position, kMode);
  EXPECT_EQ(cells[2].bit, 2);
  std::string name = "mode2";
  ui::ShortName(name, 4);
  EXPECT_EQ(name, "MOD2");
}

TEST_F(LiveTest, TreeUpdateFormatsTheRowsInViewAndTheOneAbove) {
  ShowLive();
  Tabs()->setCurrentIndex(ui::kTabAll);
  QTreeView* tree = m_live->Tree();
  ASSERT_EQ(m_live->TreeModel().RecordCount(), kCrc);
  // Exactly 20 rows fit, and item 10 is the first of them.
  tree->setFixedHeight(tree->height() - tree->viewport()->height() + 20 * tree->sizeHintForRow(0));
  QApplication::processEvents();
  tree->scrollTo(m_live->TreeModel().IndexOf(11), QAbstractItemView::PositionAtTop);
  const std::vector<uint8_t> live = LiveBuffer({{kPad0 + 1, 7}});
  m_live->TreeTabUpdate(live);
  std::vector<std::size_t> expected;
  for (std::size_t item = 9; item <= 29; ++item) expected.push_back(item);
  EXPECT_EQ(m_live->LastTreeItems(), expected);

  // Collapsed children are skipped: the next rows shown are formatted instead.
  tree->scrollToTop();
  tree->collapse(m_live->TreeModel().IndexOf(kFlags));
  m_live->TreeTabUpdate(live);
  const std::vector<std::size_t>& items = m_live->LastTreeItems();
  ASSERT_GE(items.size(), 6u);
  EXPECT_EQ(std::vector<std::size_t>(items.begin(), items.begin() + 6),
            (std::vector<std::size_t>{0, 1, 2, 3, kOpts - 1, kMode - 1}));
  const ui::StructTreeModel& model = m_live->TreeModel();
  EXPECT_EQ(model.data(model.IndexOf(kPad0 + 1, 1)).toString().trimmed(), "7");

  // COLLAPSE ALL on the root takes everything below it along.
  SelectTreeItem(1);
  Control("CbCollapse")->click();
  EXPECT_FALSE(tree->isExpanded(model.IndexOf(1)));
  EXPECT_FALSE(tree->isExpanded(model.IndexOf(kOpts)));
  Control("CbExpande")->click();
  EXPECT_TRUE(tree->isExpanded(model.IndexOf(kFlags)));
}

TEST_F(LiveTest, ChannelEditingKeepsToTheSlotsAndIsSavedAtOnce) {
  ShowLive();
  // Row 21 of TABLE2 is slot 41; TABLE3 has slots 42-47.
  SelectTreeItem(kFlags);
  ClickRow(1, 1);
  m_live->AddChannel();
  EXPECT_EQ(Slot(ui::kTabHilight, 21), 0u) << "a flag word goes only into TABLE3";
  ClickRow(2, 1);
  m_live->AddChannel();
  EXPECT_EQ(Slot(ui::kTabHilight, 42), kFlags);
  SelectTreeItem(kTempLive);
  ClickRow(2, 2);
  m_live->AddChannel();
  EXPECT_EQ(Slot(ui::kTabHilight, 43), 0u) << "a leaf does not go into TABLE3";
  ClickRow(1, 1);
  m_live->AddChannel();
  EXPECT_EQ(Slot(ui::kTabHilight, 21), kTempLive);
  EXPECT_EQ(Cell(m_live->HilightTableWidget(1), 0, 0), "temp");

  // Moving up from the first row of TABLE2 lands in the last row of TABLE1.
  m_live->MoveUp();
  EXPECT_EQ(Slot(ui::kTabHilight, 21), 0u);
  EXPECT_EQ(Slot(ui::kTabHilight, 20), kTempLive);
  EXPECT_EQ(m_live->HilightTable(), 0);
  EXPECT_EQ(m_live->GetHilightPos(), 20);
  m_live->MoveDw();
  EXPECT_EQ(Slot(ui::kTabHilight, 21), kTempLive);
  // Nothing moves up from slot 42.
  ClickRow(2, 1);
  m_live->MoveUp();
  EXPECT_EQ(Slot(ui::kTabHilight, 42), kFlags);
  EXPECT_EQ(Slot(ui::kTabHilight, 41), 0u);
  // Row 22 has no slot.
  m_live->HilightTableWidget(0)->setRowCount(22);
  ClickRow(0, 22);
  EXPECT_EQ(m_live->GetHilightPos(), -1);
  m_live->DelChannel();

  // The info page's rows take leaves only.
  Tabs()->setCurrentIndex(ui::kTabInfo);
  m_live->InfoTable()->setCurrentCell(2, 1);
  SelectTreeItem(kFlags);
  m_live->AddInfo();
  EXPECT_EQ(Slot(ui::kTabInfo, 2), 0u);
  SelectTreeItem(kLife);
  m_live->AddInfo();
  EXPECT_EQ(Slot(ui::kTabInfo, 2), kLife);
  EXPECT_EQ(Cell(m_live->InfoTable(), 2, 0), "lifeCount");

  // The file holds them, and a new start shows them again.
  m_app.reset();
  m_live = nullptr;
  ShowLive();
  EXPECT_EQ(Slot(ui::kTabHilight, 21), kTempLive);
  EXPECT_EQ(Slot(ui::kTabHilight, 42), kFlags);
  EXPECT_EQ(Slot(ui::kTabInfo, 2), kLife);
  EXPECT_EQ(Cell(m_live->HilightTableWidget(2), 0, 0), "flags");
  EXPECT_TRUE(m_services.shown.empty());
}


TEST(StripHistory, KeepsTheLastPointsInOrder) {
  ui::StripHistory history(3);
  for (int i = 1; i <= 5; ++i) history.Add(i * 0.2, {double(i), 0, 0, -double(i)});
  ASSERT_EQ(history.Size(), 3u);
  EXPECT_DOUBLE_EQ(history.Time(0), 0.6);
  EXPECT_DOUBLE_EQ(history.Value(0, 2), 5);
  EXPECT_DOUBLE_EQ(history.Value(3, 0), -3);
  EXPECT_EQ(ui::StripHistoryCsv(history, {"speed", "", "a,b", "t"}),
            "time_s,speed,trace2,\"a,b\",t\n0.6,3,0,0,-3\n0.8,4,0,0,-4\n1,5,0,0,-5\n");
  history.Clear();
  EXPECT_EQ(history.Size(), 0u);
}

TEST_F(LiveTest, ChartScalingPauseAndClear) {
  ShowLive();
  Tabs()->setCurrentIndex(ui::kTabGraph1);
  ui::GraphTab& chart = m_live->Graph(ui::kTabGraph1);
  auto* page = Tabs()->widget(ui::kTabGraph1);
  for (const char* name : {"cbTrace1", "cbTrace4"}) EXPECT_TRUE(page->findChild<QWidget*>(name)->isHidden()) << name;
  EXPECT_EQ(page->findChild<QLineEdit*>("Ymin")->text(), "0.00");
  EXPECT_EQ(page->findChild<QLineEdit*>("Ymax")->text(), "100.00");

  // A fixed range only when Ymax is above Ymin.
  page->findChild<QCheckBox*>("AUTOSCALE_Y")->setChecked(false);
  page->findChild<QLineEdit*>("Ymin")->setText("10");
  page->findChild<QLineEdit*>("Ymax")->setText("90");
  chart.ScaleY();
  auto* axis = qobject_cast<QValueAxis*>(chart.AxisY());
  ASSERT_NE(axis, nullptr);
  EXPECT_DOUBLE_EQ(axis->min(), 10);
  EXPECT_DOUBLE_EQ(axis->max(), 90);
  page->findChild<QLineEdit*>("Ymin")->setText("50");
  page->findChild<QLineEdit*>("Ymax")->setText("20");
  chart.ScaleY();
  EXPECT_DOUBLE_EQ(axis->min(), 10);
  EXPECT_DOUBLE_EQ(axis->max(), 90);
  page->findChild<QLineEdit*>("Ymax")->setText("1e");
  chart.ScaleY();
  ExpectOneMessage("Chart Scale", "Ymax: \"1e\" is not a number");
  EXPECT_EQ(page->findChild<QLineEdit*>("Ymax")->text(), "90.00");

  // Paused, the chart keeps its points and shows them when it resumes.
  const std::vector<uint8_t> live = LiveBuffer({});
  m_live->LivePagesUpdate(ui::kTabGraph1, live, 1.0);
  chart.PauseChart(true);
  for (int i = 2; i <= 4; ++i) m_live->LivePagesUpdate(ui::kTabGraph1, live, i);
  EXPECT_EQ(chart.Series(0)->count(), 1);
  EXPECT_EQ(chart.History().Size(), 4u);
  chart.PauseChart(false);
  EXPECT_EQ(chart.Series(0)->count(), 4);
  EXPECT_DOUBLE_EQ(chart.AxisX()->min(), 1);
  EXPECT_GE(chart.AxisX()->max(), 4);

  m_services.files = {Path("chart.csv").string(), Path("chart.png").string()};
  page->findChild<QPushButton*>("cbSavePoints")->click();
  page->findChild<QPushButton*>("cbSavePicture")->click();
  EXPECT_TRUE(m_services.Messages().empty());
  const std::vector<uint8_t> csv = Bytes(Path("chart.csv"));
  EXPECT_EQ(std::string(csv.begin(), csv.end()).rfind("time_s,trace1,trace2,trace3,trace4\n1,0,0,0,0\n2,0,0,0,0\n", 0),
            0u);
  const std::vector<uint8_t> png = Bytes(Path("chart.png"));
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");

  page->findChild<QPushButton*>("cbClear")->click();
  EXPECT_EQ(chart.Series(0)->count(), 0);
  EXPECT_EQ(chart.History().Size(), 0u);
}

#ifdef TAVOMARK_SIM_PATH

class LiveLinkTest : public LiveTest {
 protected:
  void Connect(bool bigEndian = false) {
    if (bigEndian) {
      ConfigSet config = MakeConfig(315, 'C');
      config.monitor = LiveMonitor();
      config.monitor.header.bigEndianMode = 1;
      SaveConfig(config);
    }
    SaveValues(Path("device.vts"), MakeConfig(315, 'C'));
    StartWithDevice({"--project", QString::fromStdString(m_dir.string()), "--values",
                     QString::fromStdString(Path("device.vts").string()), "--serial", "4321", "--log",
                     QString::fromStdString(Path("requests.log").string())});
    ShowLive();
    Control("TBcom")->click();
    ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  }
  // Request lines of the simulator's log of one command.
  std::vector<std::string> Requests(const std::string& command) {
    std::ifstream in(Path("requests.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      if (line.find(command) != std::string::npos) lines.push_back(line);
    return lines;
  }
  // The simulator logs a request just after its reply: wait (bounded) until
  // the log has caught up with the replies the program has seen.
  std::vector<std::string> Requests(const std::string& command, std::size_t atLeast) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::vector<std::string> lines = Requests(command);
    while (lines.size() < atLeast && std::chrono::steady_clock::now() < deadline) {
      QTest::qWait(5);
      lines = Requests(command);
    }
    return lines;
  }
  std::string TreeValue(std::size_t position) {
    const ui::StructTreeModel& model = m_live->TreeModel();
    return model.data(model.IndexOf(position, 1)).toString().trimmed().toStdString();
  }
};

TEST_F(LiveLinkTest, LiveDataFlowsFromTheSecondTickAndStopsOnDisconnect) {
  Connect();
  Tabs()->setCurrentIndex(ui::kTabAll);
  m_live->Tree()->scrollToTop();
  const std::size_t opening = Requests("cmd=6 ").size();
  Panel().MainHandler();
  EXPECT_TRUE(m_live->Polling());
  EXPECT_EQ(Requests("cmd=6 ").size(), opening) << "the first tick after connecting asks for nothing";
  Panel().MainHandler();
  ASSERT_EQ(Requests("cmd=6 ", opening + 1).size(), opening + 1);
  const std::string first = TreeValue(kLife);
  Panel().MainHandler();
  EXPECT_EQ(Requests("cmd=6 ", opening + 2).size(), opening + 2);
  EXPECT_NE(TreeValue(kLife), first) << "the counter moves from tick to tick";
  EXPECT_FALSE(first.empty());

  Control("TBcom")->click();
  Panel().MainHandler();
  EXPECT_FALSE(m_live->Polling());
  Control("TBcom")->click();
  const std::size_t reopened = Requests("cmd=6 ", opening + 2).size();
  Panel().MainHandler();
  Panel().MainHandler();
  EXPECT_EQ(Requests("cmd=6 ", reopened + 1).size(), reopened + 1) << "one tick skipped after reconnecting";
}

TEST_F(LiveLinkTest, EachForcedFunctionIsOneLiveRequestWithMode1) {
  Connect();
  Panel().MainHandler();
  Tabs()->setCurrentIndex(ui::kTabInfo);
  std::size_t count = Requests("cmd=6 ").size();
  for (std::size_t i = 0; i < ui::kForcedFunctions.size(); ++i) {
    const ui::ForcedFunction& function = ui::kForcedFunctions[i];
    Panel().MainHandler();  // one live request
    ASSERT_EQ(Requests("cmd=6 ", count + 1).size(), count + 1);
    // LIFE RESET is hidden on every page, yet wired like the others.
    m_live->ForcedButtons(ui::kTabInfo)[i]->click();
    const std::vector<std::string> lines = Requests("cmd=6 ", count + 2);
    count += 2;
    ASSERT_EQ(lines.size(), count) << function.name;
    char data[32];
    std::snprintf(data, sizeof data, "data=01 00 %02X", unsigned{function.value});
    EXPECT_NE(lines.back().find(data), std::string::npos) << lines.back();
  }
  // The buttons are dimmed without a connection.
  Control("TBcom")->click();
  Panel().MainHandler();
  EXPECT_FALSE(m_live->ForcedButtons(ui::kTabInfo)[0]->isEnabled());
}


TEST_F(LiveLinkTest, ChartsFollowTheirRecordsOnEveryPage) {
  Connect();
  Panel().MainHandler();
  // Trace 1 of the first chart shows the counter; trace 2 stays empty.
  Tabs()->setCurrentIndex(ui::kTabAll);
  SelectTreeItem(kLife);
  Tabs()->setCurrentIndex(ui::kTabGraph1);
  ui::GraphTab& chart = m_live->Graph(ui::kTabGraph1);
  auto* page = Tabs()->widget(ui::kTabGraph1);
  Control<QCheckBox>("cbEditChannels")->click();
  page->findChild<QPushButton*>("cbTrace1")->click();
  EXPECT_EQ(chart.Legend(0), "lifeCount");
  EXPECT_EQ(Slot(ui::kTabGraph1, 0), kLife);
  // A container empties the legend; the trace keeps its record.
  SelectTreeItem(kFlags);
  page->findChild<QPushButton*>("cbTrace1")->click();
  EXPECT_EQ(chart.Legend(0), "");
  EXPECT_EQ(Slot(ui::kTabGraph1, 0), kLife);

  for (int tick = 0; tick < 4; ++tick) Panel().MainHandler();
  const ui::StripHistory& history = chart.History();
  ASSERT_EQ(history.Size(), 4u);
  for (std::size_t i = 1; i < history.Size(); ++i) {
    EXPECT_EQ(history.Value(0, i), history.Value(0, i - 1) + 1) << "the counter counts the live replies";
    EXPECT_EQ(history.Value(1, i), 0.0);
    EXPECT_GT(history.Time(i), history.Time(i - 1));
  }
  EXPECT_EQ(chart.Series(0)->count(), 4);
  // The charts not shown took every point too.
  EXPECT_EQ(m_live->Graph(ui::kTabGraph3).History().Size(), 4u);
  EXPECT_EQ(m_live->Graph(ui::kTabGraph3).Series(0)->count(), 0);
}

TEST_F(LiveLinkTest, RecordingPlaysBackTheValuesTheTreeShowed) {
  Connect();
  Panel().MainHandler();
  Tabs()->setCurrentIndex(ui::kTabAll);
  m_live->Tree()->scrollToTop();
  m_services.files = {Path("rec.csv").string()};
  Control("cbRecord")->click();
  ASSERT_TRUE(m_live->IsRecording());
  std::vector<std::string> shown;
  for (int tick = 0; tick < 5; ++tick) {
    Panel().MainHandler();
    shown.push_back(TreeValue(kLife));
  }
  Control("cbRecord")->click();
  EXPECT_FALSE(m_live->IsRecording());
  Control("TBcom")->click();
  // A recorder stopped in the middle of a row.
  std::ofstream(Path("rec.csv"), std::ios::app) << "9.5,1";

  ASSERT_TRUE(m_live->StartReplay(Path("rec.csv").string()));
  ExpectOneMessage("Replay", Path("rec.csv").string() + ": the last line (10) is incomplete and was left out");
  m_live->PauseReplay(true);
  ASSERT_EQ(m_live->ReplayedRecording().rows.size(), shown.size());
  for (std::size_t row = 0; row < shown.size(); ++row) {
    EXPECT_EQ(m_live->ReplayNext(), row + 1 < shown.size());
    EXPECT_EQ(TreeValue(kLife), shown[row]) << row;
  }
  // The charts got the recorded times.
  const ui::StripHistory& history = m_live->Graph(ui::kTabGraph1).History();
  ASSERT_EQ(history.Size(), 5u + shown.size());
  EXPECT_DOUBLE_EQ(history.Time(5), m_live->ReplayedRecording().times[0]);

  // A recording of another monitor struct is refused.
  std::ofstream(Path("other.csv")) << "# tavomark live recording\ntime_s,lifeCount,speed [rpm]\n0.0,1,2\n";
  EXPECT_FALSE(m_live->StartReplay(Path("other.csv").string()));
  ExpectOneMessage("Replay",
                   "The recording does not fit the configuration: column 3 \"speed [rpm]\" is not a value of this "
                   "configuration's monitor struct");
  EXPECT_FALSE(m_live->IsReplaying());
}

class LiveInfoTest : public LiveLinkTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LiveInfoTest, InfoPageShowsTheRecordAndTheErrorList) {
  Connect(GetParam());
  Tabs()->setCurrentIndex(ui::kTabInfo);
  Panel().MainHandler();
  EXPECT_EQ(Control<QLineEdit>("NUMfirmwareCode")->text(), "315");
  EXPECT_EQ(Control<QLineEdit>("STRfirmwareRev")->text(), "A 1");
  EXPECT_EQ(Control<QLineEdit>("STRfirmwareVerPar")->text(), "C");
  EXPECT_EQ(Control<QLineEdit>("NUMproductRev")->text(), "B 2");
  EXPECT_EQ(Control<QLineEdit>("NUMproductSerialNum")->text(), "4321");
  const char* const expected[] = {"Err:00259 (001-003) Rep:01 - 00012h 05m", "Err:00519 (002-007) Rep:03 - 00345h 59m",
                                  "Err:02561 (010-001) Rep:12 - 01000h 00m"};
  for (int line = 1; line <= 10; ++line) {
    auto* label = Control<QLabel>(("TMerrList" + std::to_string(line)).c_str());
    EXPECT_EQ(label->text().toStdString(), line <= 3 ? expected[line - 1] : "--") << line;
    EXPECT_TRUE(label->isEnabled());
  }
  // Without the device the lines are "--", dimmed, and the fields stay.
  Control("TBcom")->click();
  Panel().MainHandler();
  EXPECT_EQ(Control<QLabel>("TMerrList1")->text(), "--");
  EXPECT_FALSE(Control<QLabel>("TMerrList1")->isEnabled());
  EXPECT_EQ(Control<QLineEdit>("NUMfirmwareCode")->text(), "315");
}

INSTANTIATE_TEST_SUITE_P(ByteOrder, LiveInfoTest, ::testing::Bool());

#endif

}  // namespace
}  // namespace tavomark::test
