#pragma once
// One tree model over a struct pack: row i of the tree is record i of the
// pack (pre-order, so record positions and tree item indices agree as
// position - 1). Column 0 is the record's name; a panel supplies the text of
// its own columns through a cell function that the model calls only for the
// rows a view asks for, so a pack of 10,000 records opens at once and only
// what is on screen is ever formatted.

#include <QAbstractItemModel>
#include <QFont>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config_set.h"
#include "record.h"
#include "value_set.h"

namespace tavomark::ui {

// Text of one cell: (record, its 1-based position, column >= 1).
using StructCellText = std::function<std::string(const Record& record, std::size_t position, int column)>;
// A panel's own look of a cell for one role (font, colours, alignment);
// an invalid QVariant keeps the view's default. Called for every column.
using StructCellStyle =
    std::function<QVariant(const Record& record, std::size_t position, int column, int role)>;
// Which cells a panel lets the user edit, and what a finished edit does: false
// refuses the text, and the cell shows the record's value again.
using StructCellEditable = std::function<bool(const Record& record, std::size_t position, int column)>;
using StructCellEdit = std::function<bool(std::size_t position, int column, const QString& text)>;

class StructTreeModel final : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit StructTreeModel(QObject* parent = nullptr);

  // The header labels of the columns, "Name" first.
  void SetColumns(const QStringList& labels);
  void SetCellText(StructCellText cellText) { m_cellText = std::move(cellText); }
  void SetCellStyle(StructCellStyle cellStyle) { m_cellStyle = std::move(cellStyle); }
  // Without these every cell is read-only.
  void SetCellEdit(StructCellEditable editable, StructCellEdit edit) {
    m_cellEditable = std::move(editable);
    m_cellEdit = std::move(edit);
  }

  // Rebuilds the tree over the pack; false when the pack's child counts do
  // not fit its records (the tree then holds the records read so far). The
  // pack must outlive the model or the next Populate.
  bool Populate(const StructPack* pack);
  void Clear();
  // Tells the views that every cell but the names may have changed.
  void RefreshCells();
  // The same for the cells of one row, columns first to last (-1: the last).
  void RefreshRow(std::size_t position, int first = 1, int last = -1);
  // How a column's cells are drawn when the cell style says nothing: numbers
  // right-aligned in a font whose digits all have one width, so decimal
  // points line up.
  void SetAlignment(int column, Qt::Alignment alignment) { m_alignment[column] = alignment; }
  void SetFont(int column, const QFont& font) { m_font[column] = font; }

  // 1-based record position of an index (0 for an invalid index), and back.
  [[nodiscard]] std::size_t PositionOf(const QModelIndex& index) const;
  [[nodiscard]] QModelIndex IndexOf(std::size_t position, int column = 0) const;
  [[nodiscard]] std::size_t RecordCount() const { return m_nodes.size(); }
  [[nodiscard]] const StructPack* Pack() const { return m_pack; }

  // The mark of a row (shown as a highlighted background).
  void SetMark(std::size_t position, bool marked);
  [[nodiscard]] bool IsMarked(std::size_t position) const;
  void ClearMarks();

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 private:
  struct Node {
    std::size_t parent = 0;  // position of the father, 0 for the root
    int row = 0;             // row among the father's children
    std::vector<std::size_t> children;
    bool marked = false;
  };
  [[nodiscard]] const Node* NodeAt(std::size_t position) const;

  const StructPack* m_pack = nullptr;
  std::vector<Node> m_nodes;  // m_nodes[position - 1]
  std::vector<std::size_t> m_top;  // positions of the top-level rows
  QStringList m_columns{"Name"};
  StructCellText m_cellText;
  std::map<int, Qt::Alignment> m_alignment;
  std::map<int, QFont> m_font;
  StructCellStyle m_cellStyle;
  StructCellEditable m_cellEditable;
  StructCellEdit m_cellEdit;
};

// Fills the model from the pack. Returns 1, or 0 when the walk fails.
[[nodiscard]] int StructPopulateTree(StructTreeModel& model, const StructPack& pack);
// The values behind the cells changed: the visible rows are formatted again.
// Returns 1 when the model shows a pack.
int StructUpdateTree(StructTreeModel& model);

}  // namespace tavomark::ui
