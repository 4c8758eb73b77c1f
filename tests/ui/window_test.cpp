// The window as a place to work in: it grows and the trees show more, values
// are edited in the transmit tree with undo and redo, "-"/"+" act on the whole
// tree when nothing is selected, the menus and the status bar.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QUndoStack>
#include <QTreeView>

#include "par_panel.h"
#include "struct_tree_model.h"
#include "ui_test_util.h"

namespace tavomark::test {
namespace {

using ui::ParSide;

// The small configuration with 300 more temperatures and a U8 "gain" of two
// decimals (0.00 to 2.55) after the speed: 1 par, 2 speed, 3 gain, 4 temp.
constexpr std::size_t kGain = 3;

ConfigSet EditConfig() {
  ConfigSet c = MakeConfig(315, 'C', 300);
  c.param.records.insert(c.param.records.begin() + 2, Leaf(1, "gain", "U8", 1, false, 0, 2));
  CalcStructSize(c.param.records);
  return c;
}

class WindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    SaveConfig(EditConfig());
    SaveValues(Path("tavomark.dat"), EditConfig());
    ASSERT_EQ(StartApp(), 0);
    Panel().ChangePanel(ui::kParPanel);
    m_par = dynamic_cast<ui::ParPanel*>(Panel().Child(ui::kParPanel));
    ASSERT_NE(m_par, nullptr);
  }
  ui::StructTreeModel& Tx() { return m_par->Model(ParSide::Tx, Block::Parameters); }
  std::string Value(std::size_t position) {
    return Tx().data(Tx().IndexOf(position, 1)).toString().toStdString();
  }
  bool Edit(std::size_t position, const char* text) { return Tx().setData(Tx().IndexOf(position, 1), text); }
  bool Editable(std::size_t position, int column = 1) {
    return (Tx().flags(Tx().IndexOf(position, column)) & Qt::ItemIsEditable) != 0;
  }
  // Rows of the tree the viewport shows, fully or in part.
  static int RowsInView(QTreeView* tree) {
    int rows = 0;
    for (QModelIndex index = tree->indexAt(QPoint(1, 1)); index.isValid(); index = tree->indexBelow(index)) {
      if (tree->visualRect(index).top() >= tree->viewport()->height()) break;
      ++rows;
    }
    return rows;
  }

  ui::ParPanel* m_par = nullptr;
};

TEST_F(WindowTest, ValueEditIsReadForItsRecordLimitedMarkedAndUndone) {
  const std::size_t crc = Tx().RecordCount();
  EXPECT_TRUE(Editable(kGain));
  EXPECT_FALSE(Editable(kGain, 0)) << "the name";
  EXPECT_FALSE(Editable(1)) << "a container";
  EXPECT_FALSE(Editable(crc)) << "the checksum word";
  EXPECT_FALSE(m_par->Model(ParSide::Rx, Block::Parameters).flags(m_par->Model(ParSide::Rx, Block::Parameters).IndexOf(kGain, 1)) &
               Qt::ItemIsEditable)
      << "the receive side";

  // Rounded to the decimals, limited to the range.
  ASSERT_TRUE(Edit(kGain, "3.00"));
  EXPECT_EQ(Value(kGain), "2.55");
  ASSERT_TRUE(Edit(kGain, "1.234"));
  EXPECT_EQ(Value(kGain), "1.23");
  EXPECT_TRUE(m_par->IsEdited(Block::Parameters, kGain));
  EXPECT_FALSE(m_par->IsEdited(Block::Parameters, 2));
  EXPECT_TRUE(IsChangedValToSendSet(m_app->Data().vts));

  // Refused entries change nothing and name the record.
  for (const char* bad : {"abc", "", "1,5", "nan", "inf", "0x10", "12abc"}) {
    EXPECT_FALSE(Edit(kGain, bad)) << bad;
    EXPECT_EQ(Value(kGain), "1.23") << bad;
  }
  QApplication::processEvents();
  const auto messages = m_services.Messages();
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[0].title, "Edit Value");
  EXPECT_NE(messages[0].text.find("gain"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[0].text.find("abc"), std::string::npos) << messages[0].text;
  m_services.Clear();

  // Back to where the values were loaded: unchanged and unmarked again.
  QUndoStack& undo = m_par->UndoStack();
  undo.undo();
  EXPECT_EQ(Value(kGain), "2.55");
  undo.undo();
  EXPECT_EQ(Value(kGain), "0.00");
  EXPECT_FALSE(m_par->IsEdited(Block::Parameters, kGain));
  EXPECT_FALSE(IsChangedValToSendSet(m_app->Data().vts));
  undo.redo();
  EXPECT_EQ(Value(kGain), "2.55");
  EXPECT_TRUE(m_par->IsEdited(Block::Parameters, kGain));
  EXPECT_TRUE(IsChangedValToSendSet(m_app->Data().vts));
  EXPECT_EQ(Panel().MenuAction("Undo")->shortcut(), QKeySequence::Undo);
  EXPECT_EQ(Panel().MenuAction("Redo")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));

  // The edited set asks before the program ends.
  m_services.confirms = {false};
  Panel().RequestQuit();
  Panel().MainHandler();
  ASSERT_FALSE(m_services.shown.empty());
  EXPECT_EQ(m_services.shown[0].kind, "confirm");
  EXPECT_EQ(m_services.shown[0].title, "Quit Application");
  EXPECT_EQ(m_quits, 1);
}

TEST_F(WindowTest, SavingClearsTheMarksAndUndoAfterwardsChangesTheSetAgain) {
  ASSERT_TRUE(Edit(kGain, "1"));
  m_services.files = {Path("edited.vts").string()};
  ASSERT_TRUE(Panel().Store());
  Panel().MainHandler();
  EXPECT_FALSE(m_par->IsEdited(Block::Parameters, kGain));
  EXPECT_FALSE(IsChangedValToSendSet(m_app->Data().vts));

  ValToSendSet saved = CreateValToSendSet(CreateConfigSet());
  ASSERT_TRUE(LoadValToSendSet(Path("edited.vts"), saved).ok());
  EXPECT_FLOAT_EQ(ItemValue(saved.param.Item(kGain)), 1.0f);

  m_par->UndoStack().undo();
  EXPECT_EQ(Value(kGain), "0.00");
  EXPECT_TRUE(IsChangedValToSendSet(m_app->Data().vts));
  EXPECT_TRUE(m_par->IsEdited(Block::Parameters, kGain));
}

TEST_F(WindowTest, CollapseAndExpandWithoutSelectionActOnTheWholeTree) {
  QTreeView* tree = m_par->Tree(ParSide::Tx, Block::Parameters);
  tree->setCurrentIndex({});
  const QModelIndex temp = Tx().IndexOf(kGain + 1);
  ASSERT_TRUE(tree->isExpanded(temp));
  Control("cbCollapseTx")->click();
  EXPECT_FALSE(tree->isExpanded(Tx().IndexOf(1)));
  EXPECT_FALSE(tree->isExpanded(temp));
  Control("cbExpandTx")->click();
  EXPECT_TRUE(tree->isExpanded(Tx().IndexOf(1)));
  EXPECT_TRUE(tree->isExpanded(temp));
}

TEST_F(WindowTest, GrownWindowShowsMoreRowsAndEveryColumnWhole) {
  Panel().resize(900, 600);
  Panel().show();
  QApplication::processEvents();
  QTreeView* tree = m_par->Tree(ParSide::Tx, Block::Parameters);
  const int small = RowsInView(tree);
  Panel().resize(1366, 768);
  QApplication::processEvents();
  const int large = RowsInView(tree);
  EXPECT_GT(large, small + 5);
  EXPECT_EQ(tree->horizontalScrollBar()->maximum(), 0) << "no horizontal scrolling";
  const QHeaderView* header = tree->header();
  EXPECT_LE(header->sectionViewportPosition(2) + header->sectionSize(2), tree->viewport()->width());
  EXPECT_GE(header->sectionSize(0), 150) << "Name takes the room left";

  // The size comes back from the saved text; damaged text gives the start size.
  const std::string geometry = Panel().SaveWindowGeometry();
  Panel().resize(700, 500);
  Panel().RestoreWindowGeometry(geometry);
  EXPECT_EQ(Panel().size(), QSize(1366, 768));
  Panel().RestoreWindowGeometry("not a geometry");
  EXPECT_LE(Panel().width(), 1280);
  EXPECT_GE(Panel().width(), 600);
}

TEST_F(WindowTest, MenusRunThePanelCommandsAndTheStatusBarSaysWhereWeAre) {
  EXPECT_EQ(Panel().MenuAction("Load")->shortcut(), QKeySequence::Open);
  EXPECT_EQ(Panel().MenuAction("Save")->shortcut(), QKeySequence::Save);
  EXPECT_EQ(Panel().MenuAction("Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  Panel().MenuAction("Monitor")->trigger();
  EXPECT_EQ(Panel().ActivePanel(), ui::kLivePanel);
  Panel().MenuAction("About")->trigger();
  EXPECT_EQ(Panel().ActivePanel(), ui::kHelpPanel);
  // Read needs the device: shown on the parameter page, nothing sent.
  Panel().MenuAction("Parameters")->trigger();
  EXPECT_EQ(Panel().ActivePanel(), ui::kParPanel);

  Panel().MainHandler();
  const std::string status = Panel().StatusText().toStdString();
  EXPECT_NE(status.find("Not connected"), std::string::npos) << status;
  EXPECT_NE(status.find("Device 0315"), std::string::npos) << status;

  // A failed load says why, in the pop-up's detail and on the status bar.
  WriteBytes(Path("broken.vts"), {1, 2, 3});
  m_services.files = {Path("broken.vts").string()};
  Panel().MenuAction("Load")->trigger();
  const auto messages = m_services.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Load Error");
  EXPECT_EQ(messages[0].detail, "param block: header cut short, the file ends at byte 3");
  EXPECT_EQ(m_services.LastMessage(), "Load Error: param block: header cut short, the file ends at byte 3");
  Panel().MainHandler();
  EXPECT_NE(Panel().StatusText().toStdString().find("Load Error"), std::string::npos);
  // The dialog started in the project folder: no value file was used yet.
  ASSERT_FALSE(m_services.fileRequests.empty());
  EXPECT_EQ(m_services.fileRequests[0].directory, m_dir.string());
  m_services.Clear();

  // A loaded file heads the recent files, kept in the settings; the next
  // dialog starts in its folder.
  std::filesystem::create_directories(Path("sets"));
  SaveValues(Path("sets/first.vts"), EditConfig());
  m_services.files = {Path("sets/first.vts").string()};
  Panel().MenuAction("Load")->trigger();
  ASSERT_TRUE(m_services.Messages().empty()) << m_services.Messages()[0].text;
  const SettingsBlock saved = SavedSettings();
  ASSERT_FALSE(saved.recentValueFiles.empty());
  EXPECT_EQ(saved.recentValueFiles.front(), Path("sets/first.vts").string());
  m_services.files = {std::nullopt};
  Panel().MenuAction("Load")->trigger();
  EXPECT_EQ(m_services.fileRequests.back().directory, Path("sets").string());

  // "Don't ask again" is undone from the View menu, and remembered.
  QAction* ask = Panel().MenuAction("AskBeforeSend");
  m_app->Settings().askBeforeSend = false;
  ask->setChecked(false);
  ask->trigger();
  EXPECT_TRUE(m_app->Settings().askBeforeSend);
  EXPECT_TRUE(SavedSettings().askBeforeSend);

  Panel().MenuAction("Traffic")->trigger();
  QWidget* traffic = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->windowTitle().contains("Traffic") && top->isVisible()) traffic = top;
  EXPECT_NE(traffic, nullptr);
}

}  // namespace
}  // namespace tavomark::test
