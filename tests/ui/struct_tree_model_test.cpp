#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTabWidget>
#include <QTreeView>

#include "config_fixture.h"
#include "struct_tree_model.h"

namespace tavomark::ui {
namespace {

using test::BlockPack;
using test::MakeConfig;

// par { speed; temp { temp[0]; temp[1] }; crc } at positions 1..6.
TEST(StructTreeModel, RowsFollowTheRecordsOfThePack) {
  const StructPack pack = BlockPack("par", 315, 'C');
  StructTreeModel model;
  ASSERT_EQ(StructPopulateTree(model, pack), 1);
  ASSERT_EQ(model.rowCount(), 1);
  const QModelIndex root = model.index(0, 0);
  EXPECT_EQ(model.data(root).toString(), "par");
  ASSERT_EQ(model.rowCount(root), 3);
  const QModelIndex temp = model.index(1, 0, root);
  EXPECT_EQ(model.data(temp).toString(), "temp");
  ASSERT_EQ(model.rowCount(temp), 2);
  EXPECT_EQ(model.data(model.index(1, 0, temp)).toString(), "temp[1]");
  EXPECT_EQ(model.data(model.index(2, 0, root)).toString(), "crc");
  EXPECT_EQ(model.parent(model.index(1, 0, temp)), temp);
  EXPECT_FALSE(model.parent(root).isValid());
  // Item index = position - 1, and back.
  for (std::size_t position = 1; position <= 6; ++position)
    EXPECT_EQ(model.data(model.IndexOf(position)).toString().toStdString(), pack.records[position - 1].varName);
  EXPECT_FALSE(model.IndexOf(7).isValid());
  EXPECT_FALSE(model.IndexOf(0).isValid());
}

TEST(StructTreeModel, ChildCountsBeyondTheListShowOnlyWhatWasReached) {
  StructPack pack = BlockPack("par", 315, 'C');
  pack.records[2].numChildren = 40;  // temp claims more children than exist
  StructTreeModel model;
  EXPECT_EQ(StructPopulateTree(model, pack), 0);
  EXPECT_LE(model.RecordCount(), pack.records.size());
  // Every row the model offers maps to a real record.
  for (std::size_t p = 1; p <= model.RecordCount(); ++p) EXPECT_TRUE(model.data(model.IndexOf(p)).isValid());
}

TEST(StructTreeModel, PanelColumnsAreFormattedOnDemandAndRefreshedOnUpdate) {
  StructPack pack = BlockPack("par", 315, 'C');
  StructTreeModel model;
  model.SetColumns({"Name", "value", "Unit"});
  model.SetCellText([](const Record& r, std::size_t position, int column) {
    return column == 1 ? std::to_string(static_cast<int>(r.value)) : "p" + std::to_string(position);
  });
  ASSERT_EQ(StructPopulateTree(model, pack), 1);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "value");
  EXPECT_EQ(model.data(model.IndexOf(4, 1)).toString(), "-7");
  EXPECT_EQ(model.data(model.IndexOf(4, 2)).toString(), "p4");

  pack.records[3].value = 21;
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  EXPECT_EQ(StructUpdateTree(model), 1);
  EXPECT_GE(changed.count(), 1);
  EXPECT_EQ(model.data(model.IndexOf(4, 1)).toString(), "21");
}

TEST(StructTreeModel, TenThousandRecordsFormatOnlyTheRowsOnScreen) {
  StructPack pack = BlockPack("big", 315, 'C', 10000 - 6);
  ASSERT_EQ(pack.records.size(), 10000u);
  StructTreeModel model;
  model.SetColumns({"Name", "value"});
  std::size_t formatted = 0;
  model.SetCellText([&formatted](const Record&, std::size_t, int) {
    ++formatted;
    return std::string("0");
  });
  ASSERT_EQ(StructPopulateTree(model, pack), 1);
  QTreeView view;
  view.setUniformRowHeights(true);
  view.resize(400, 300);
  view.setModel(&model);
  view.expandAll();
  view.show();
  QCoreApplication::processEvents();
  view.scrollToBottom();
  QCoreApplication::processEvents();
  formatted = 0;
  EXPECT_EQ(StructUpdateTree(model), 1);
  view.viewport()->repaint();
  EXPECT_GT(formatted, 0u);
  EXPECT_LT(formatted, 500u);
}

struct TabCase {
  bool withTab;
  int current;                // the tab control's page
  std::optional<int> index;   // the in/out index, or none
  const char* root;           // root name of the pack found, or null
  int indexAfter;
};

class TabIndexedTest : public ::testing::TestWithParam<TabCase> {};

TEST_P(TabIndexedTest, FindsThePackOfATab) {
  const TabCase& c = GetParam();
  ConfigSet config = MakeConfig();
  QTabWidget tab;
  for (const char* label : {"__Parameters", "__Info ", "__Calibration", "Monitor"}) tab.addTab(new QWidget, label);
  tab.setCurrentIndex(c.current);
  int index = c.index.value_or(0);
  QWidget* page = nullptr;
  StructPack* pack =
      GetTabIndexedStruct(config, c.withTab ? &tab : nullptr, &page, c.index ? &index : nullptr);
  if (c.root == nullptr) {
    EXPECT_EQ(pack, nullptr);
    return;
  }
  ASSERT_NE(pack, nullptr);
  EXPECT_STREQ(pack->records[0].varName, c.root);
  if (c.index) {
    EXPECT_EQ(index, c.indexAfter);
  }
  if (c.withTab) {
    EXPECT_EQ(page, tab.widget(c.indexAfter));
  }
}

INSTANTIATE_TEST_SUITE_P(Tabs, TabIndexedTest,
                         ::testing::Values(TabCase{false, 0, std::nullopt, nullptr, 0},  // nothing to go by
                                           TabCase{false, 0, 3, "mon", 3},
                                           TabCase{true, 1, -1, "info", 1},  // current page, stored back
                                           TabCase{true, 1, std::nullopt, "info", 1},
                                           TabCase{true, 1, 2, "cal", 2},     // given index wins
                                           TabCase{true, 0, 7, "cal", 7}));  // others: calibration

}  // namespace
}  // namespace tavomark::ui
