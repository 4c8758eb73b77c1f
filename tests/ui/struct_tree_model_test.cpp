#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTreeView>

#include "config_fixture.h"
#include "struct_tree_model.h"

namespace tavomark::ui {
namespace {

using test::BlockPack;

// The names under parent, nested in parentheses: "par(speed temp(...) crc)".
std::string Shape(const StructTreeModel& model, const QModelIndex& parent = {}) {
  std::string text;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex index = model.index(row, 0, parent);
    EXPECT_EQ(model.parent(index), parent);
    text += (row ? " " : "") + model.data(index).toString().toStdString();
    if (model.rowCount(index) > 0) text += "(" + Shape(model, index) + ")";
  }
  return text;
}

TEST(StructTreeModel, RowsFollowTheRecordsOfThePack) {
  const StructPack pack = BlockPack("par", 315, 'C');
  StructTreeModel model;
  ASSERT_EQ(StructPopulateTree(model, pack), 1);
  EXPECT_EQ(Shape(model), "par(speed temp(temp[0] temp[1]) crc)");
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

}  // namespace
}  // namespace tavomark::ui
