// The parameter page: its controls, the trees over the configuration, the
// buttons by connection state, the rebuild after a value file of another
// configuration, Compare; then transfers with tavomark-sim over a
// pseudo-terminal.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include <cmath>

#include "par_panel.h"
#include "struct_tree_model.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

using ui::ParSide;

class ParTest : public AppTest {
 protected:
  // Starts the program unless a test did, and shows the parameter page.
  void ShowPar() {
    if (!m_app) {
      ASSERT_EQ(StartApp(), 0);
    }
    Panel().ChangePanel(ui::kParPanel);
    m_par = dynamic_cast<ui::ParPanel*>(Panel().Child(ui::kParPanel));
    ASSERT_NE(m_par, nullptr);
    ASSERT_TRUE(m_par->IsActive());
  }
  void Load(const std::filesystem::path& path) {
    m_services.files = {path.string()};
    Panel().Load();
  }
  std::string Cell(ParSide side, int page, std::size_t position, int column = 1) {
    ui::StructTreeModel& model = m_par->Model(side, BlockOfTab(page));
    return model.data(model.IndexOf(position, column)).toString().toStdString();
  }
  int Children(ParSide side, std::size_t position) {
    ui::StructTreeModel& model = m_par->Model(side, Block::Parameters);
    return model.rowCount(model.IndexOf(position));
  }
  // The speed shown on the three receive pages.
  std::vector<std::string> SpeedsReceived() {
    return {Cell(ParSide::Rx, 0, kSpeed), Cell(ParSide::Rx, 1, kSpeed), Cell(ParSide::Rx, 2, kSpeed)};
  }

  ui::ParPanel* m_par = nullptr;
};

TEST(ParCells, UnitFollowsTheKindAndValueFollowsTheDecimals) {
  Record leaf = Leaf(1, "speed", "U16", 2, false, 0, 1);
  SetText(leaf.unit, "rpm");
  Record enumeration = leaf;
  enumeration.kind = RecordKind::Enum;
  Record container = Container(1, RecordKind::Struct, "flags");
  SetText(container.unit, "bits");
  Record bitFields = container;
  bitFields.bitSize = 5;
  EXPECT_EQ(ui::SetRecordShowValue(leaf), "rpm");
  EXPECT_EQ(ui::SetRecordShowValue(enumeration), "rpm");
  EXPECT_EQ(ui::SetRecordShowValue(container), "");
  EXPECT_EQ(ui::SetRecordShowValue(bitFields), "bits");

  Pack pack = CreatePack(kValToSendItemBytes);
  pack.Append(std::vector<uint8_t>(kValToSendItemBytes, 0));
  SetItemValue(pack.Item(1), 12.5f);
  EXPECT_EQ(ui::ScatterValToSendRecord(leaf, 1, pack), "     12.5");  // "%9.1f"
  EXPECT_EQ(ui::ScatterValToSendRecord(leaf, 2, pack), "");           // no such item
}

TEST_F(ParTest, ControlsAndTreesShowTheConfigurationAndBothValueSets) {
  ShowPar();
  const char* const pages[] = {"&Parameters", "&Info ", "&Calibration"};
  const char* const roots[] = {"par", "info", "cal"};
  for (ParSide side : {ParSide::Tx, ParSide::Rx}) {
    QTabWidget* tab = m_par->Tab(side);
    ASSERT_EQ(tab->count(), 3);
    EXPECT_EQ(tab->currentIndex(), 0);
    for (int page = 0; page < 3; ++page) {
      EXPECT_EQ(tab->tabText(page), pages[page]);
      EXPECT_EQ(tab->widget(page)->findChild<QTreeView*>("TREE"), m_par->Tree(side, BlockOfTab(page)));
      EXPECT_EQ(tab->isTabVisible(page), side == ParSide::Rx || page == 0);
      QAbstractItemModel* model = m_par->Tree(side, BlockOfTab(page))->model();
      EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "value");
      EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Unit");
      EXPECT_EQ(Cell(side, page, 1, 0), roots[page]);
    }
    EXPECT_EQ(Children(side, kTemp), 2);
    EXPECT_EQ(Cell(side, 0, kSpeed), "12.5");
    EXPECT_EQ(Cell(side, 0, kTemp0), "-7");
    EXPECT_EQ(Cell(side, 0, kTemp), "");
    EXPECT_TRUE(m_par->Tree(side, Block::Parameters)->isExpanded(m_par->Model(side, Block::Parameters).IndexOf(kTemp)));
  }
  EXPECT_EQ(m_par->Tab(ParSide::Tx)->objectName(), "TAB_TX");
  EXPECT_EQ(m_par->Tab(ParSide::Rx)->objectName(), "TAB_RX");
  EXPECT_EQ(Control("CBsend")->text(), "Send Current");
  EXPECT_EQ(Control("CBread")->text(), " Read Current");
  for (const char* name : {"cbCompare", "cbCopyTx", "cbCopyTxAll", "cbCopyRx", "cbCopyRxAll", "CBsendAll", "CBreadAll"})
    EXPECT_TRUE(Control(name)->isHidden()) << name;
  EXPECT_FALSE(Control("cbCollapseTx")->isHidden());

  // Collapsing the selected item takes everything below it along.
  QTreeView* tree = m_par->Tree(ParSide::Tx, Block::Parameters);
  const ui::StructTreeModel& model = m_par->Model(ParSide::Tx, Block::Parameters);
  tree->setCurrentIndex(model.IndexOf(1));
  Control("cbCollapseTx")->click();
  EXPECT_FALSE(tree->isExpanded(model.IndexOf(1)));
  EXPECT_FALSE(tree->isExpanded(model.IndexOf(kTemp)));
  Control("cbExpandTx")->click();
  EXPECT_TRUE(tree->isExpanded(model.IndexOf(kTemp)));
}

TEST_F(ParTest, InputIsSwallowedOnlyWhileInactive) {
  ShowPar();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QPaintEvent paint(QRect(0, 0, 10, 10));
  EXPECT_EQ(m_par->ParEvents(nullptr, &press), 0);
  Panel().ChangePanel(ui::kHelpPanel);
  EXPECT_EQ(m_par->ParEvents(nullptr, &press), 1);
  EXPECT_EQ(m_par->ParEvents(nullptr, &paint), 0);
}

TEST_F(ParTest, ValueFilesOfTheSameAndOfAnotherConfiguration) {
  SaveValues(Path("a.vts"), MakeConfig(315, 'C'), {{kSpeed, 40.0f}});
  SaveValues(Path("b.vts"), MakeConfig(315, 'C'), {{kSpeed, 41.0f}});
  // Same project and parameter letter, configuration 'D': one more temp.
  ConfigSet other = MakeConfig(315, 'C', 1);
  Identify(other.monitor, 315, 'D');
  other.param.records[kSpeed - 1].value = 99.9;
  SaveConfig(other);
  SaveValues(Path("other.vts"), other);
  ShowPar();

  Load(Path("a.vts"));
  m_par->CopyTxToRx();
  EXPECT_EQ(Cell(ParSide::Rx, 0, kSpeed), "40.0");
  // The same configuration: the received values stay.
  Load(Path("b.vts"));
  EXPECT_EQ(Cell(ParSide::Tx, 0, kSpeed), "41.0");
  EXPECT_EQ(Cell(ParSide::Rx, 0, kSpeed), "40.0");
  // Another configuration: both sides rebuilt, the received values dropped.
  Load(Path("other.vts"));
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  EXPECT_EQ(Children(ParSide::Tx, kTemp), 3);
  EXPECT_EQ(Children(ParSide::Rx, kTemp), 3);
  EXPECT_EQ(m_par->Received().param.Count(), 7u);
  EXPECT_EQ(Cell(ParSide::Rx, 0, kSpeed), "99.9");
  EXPECT_TRUE(m_par->IsActive());
}

TEST_F(ParTest, CompareMarksExactlyTheDifferingRows) {
  SaveValues(Path("a.vts"), MakeConfig(315, 'C'), {{kSpeed, 40.0f}, {kTemp1, std::nanf("")}});
  ShowPar();
  Load(Path("a.vts"));
  auto marked = [this](ParSide side) {
    std::vector<std::size_t> rows;
    for (std::size_t p = 1; p <= 6; ++p)
      if (m_par->Model(side, Block::Parameters).IsMarked(p)) rows.push_back(p);
    return rows;
  };
  m_par->Compare();
  EXPECT_EQ(marked(ParSide::Tx), (std::vector<std::size_t>{kSpeed, kTemp1}));
  EXPECT_EQ(marked(ParSide::Rx), (std::vector<std::size_t>{kSpeed, kTemp1}));
  // NaN on both sides still counts as different.
  m_par->CopyTxToRx();
  m_par->Compare();
  EXPECT_EQ(marked(ParSide::Rx), (std::vector<std::size_t>{kTemp1}));
  // Values copied into the working set are unsaved changes.
  EXPECT_FALSE(IsChangedValToSendSet(m_app->Data().vts));
  m_par->CopyRxToTx();
  EXPECT_TRUE(IsChangedValToSendSet(m_app->Data().vts));
}

#ifdef TAVOMARK_SIM_PATH

// The device holds its own values in all three blocks; speed tells them apart.
class ParLinkTest : public ParTest {
 protected:
  void Connect(const QStringList& faults = {}) {
    ValToSendSet device = CreateValToSendSet(MakeConfig(315, 'C'));
    SetItemValue(device.param.Item(kSpeed), 33.3f);
    SetItemValue(device.param.Item(kTemp0), -120.0f);
    SetItemValue(device.info.Item(kSpeed), 1.5f);
    SetItemValue(device.calib.Item(kSpeed), 2.5f);
    ASSERT_TRUE(SaveValToSendSet(Path("device.vts"), device).ok());
    QStringList args = {"--project", QString::fromStdString(m_dir.string()), "--values",
                        QString::fromStdString(Path("device.vts").string())};
    for (const QString& fault : faults) args << "--fault" << fault;
    StartWithDevice(args);
    ShowPar();
    Control("TBcom")->click();
    ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
    Panel().MainHandler();
  }
};

TEST_F(ParLinkTest, ReadingAPageShowsThatBlockOfTheDevice) {
  Connect();
  EXPECT_TRUE(Control("CBread")->isEnabled());
  // Block 3 is the information page; the others still show what they had.
  const std::vector<std::string> after[] = {{"12.5", "1.5", "12.5"},
                                            {"33.3", "1.5", "12.5"},
                                            {"33.3", "1.5", "2.5"}};
  const int pages[] = {1, 0, 2};
  for (int i = 0; i < 3; ++i) {
    m_par->Tab(ParSide::Rx)->setCurrentIndex(pages[i]);
    Control("CBread")->click();
    ExpectOneMessage("Device Data Receive", "Done!");
    EXPECT_EQ(SpeedsReceived(), after[i]) << "page " << pages[i];
  }
  EXPECT_EQ(Cell(ParSide::Rx, 0, kTemp0), "-120");
  EXPECT_TRUE(m_par->IsActive());
}

TEST_F(ParLinkTest, SendCurrentWritesTheParameterImageWithItsTrailer) {
  Connect();
  // The device description alone is not sent.
  EXPECT_FALSE(Control("CBsend")->isEnabled());
  SaveValues(Path("sendme.vts"), MakeConfig(315, 'C'), {{kSpeed, 12.3f}, {kTemp0, -2.0f}, {kTemp1, 300.0f}});
  Load(Path("sendme.vts"));
  Panel().MainHandler();
  ASSERT_TRUE(Control("CBsend")->isEnabled());
  m_services.confirms = {true};
  Control("CBsend")->click();
  ExpectOneMessage("Device Data Send", "Done!");

  // speed 123, temp[0] -2, temp[1] 300, then the checksum word
  // ~(7B+00+FE+FF+2C+01) = FD5A low byte first; the trailer: the name, the
  // project code 315 = 013B low byte first, ~(8-bit sum of the image) = 03,
  // the parameter letter.
  std::vector<uint8_t> expected = {0x7B, 0x00, 0xFE, 0xFF, 0x2C, 0x01, 0x5A, 0xFD, 's', 'e', 'n', 'd', 'm', 'e'};
  expected.resize(8 + 32, 0);
  expected.insert(expected.end(), {0x3B, 0x01, 0x03, 'C'});
  std::vector<uint8_t> memory(expected.size());
  ASSERT_TRUE(m_app->Engine()->TlinkReceiveData(1, memory));
  EXPECT_EQ(memory, expected);
  // Nothing is read back: the receive side shows what it showed.
  EXPECT_EQ(Cell(ParSide::Rx, 0, kSpeed), "12.5");
}

TEST_F(ParLinkTest, FailedReadChangesNothingAndTheSecondPressWaits) {
  // The first read reply comes late, the second one with a bad checksum.
  Connect({"delay=200:8:1", "bad-checksum:8:2"});
  int pressesDuringTheWait = 0;
  QTimer::singleShot(30, [&] {
    EXPECT_TRUE(m_par->Busy());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Control("CBread")->click();
    ++pressesDuringTheWait;
  });
  Control("CBread")->click();
  EXPECT_EQ(pressesDuringTheWait, 1);
  ExpectOneMessage("Device Data Receive", "Done!");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  const std::vector<uint8_t> image = m_par->Devices().param.buffer;
  Control("CBread")->click();
  ExpectOneMessage("Device Data Receive", "Communication Error");
  EXPECT_EQ(Cell(ParSide::Rx, 0, kSpeed), "33.3");
  EXPECT_EQ(m_par->Devices().param.buffer, image);
}

TEST_F(ParLinkTest, ReadAllConvertsOnlyWhenAllThreeBlocksArrived) {
  // Blocks 1, 3, 2 in one piece each: the third read request is the
  // calibration block.
  Connect({"bad-checksum:8:3"});
  m_par->ReadAll();
  ExpectOneMessage("Device All Data Receive", "Communication Error");
  EXPECT_EQ(SpeedsReceived(), (std::vector<std::string>{"12.5", "12.5", "12.5"}));
  m_par->ReadAll();
  ExpectOneMessage("Device All Data Receive", "Done!");
  EXPECT_EQ(SpeedsReceived(), (std::vector<std::string>{"33.3", "1.5", "2.5"}));
}

#endif

}  // namespace
}  // namespace tavomark::test
