#include "struct_tree_model.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <cstring>

namespace tavomark::ui {

StructTreeModel::StructTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void StructTreeModel::SetColumns(const QStringList& labels) {
  beginResetModel();
  m_columns = labels.isEmpty() ? QStringList{"Name"} : labels;
  endResetModel();
}

bool StructTreeModel::Populate(const StructPack* pack) {
  beginResetModel();
  m_pack = pack;
  m_nodes.clear();
  m_top.clear();
  bool ok = true;
  if (pack != nullptr && !pack->records.empty()) {
    m_nodes.resize(pack->records.size());
    std::size_t visited = 0;
    // The walk hands each record its father's handle: the handle is the
    // father's position, 0 above the root.
    ok = ForEachRecordInStruct(pack->records, 1,
                               [this, &visited](const Record&, std::size_t position, const Record&,
                                                int fatherHandle) {
                                 const auto father = static_cast<std::size_t>(fatherHandle);
                                 Node& node = m_nodes[position - 1];
                                 node.parent = father;
                                 auto& siblings = father == 0 ? m_top : m_nodes[father - 1].children;
                                 node.row = static_cast<int>(siblings.size());
                                 siblings.push_back(position);
                                 visited = std::max(visited, position);
                                 return static_cast<int>(position);
                               });
    // The walk visits a prefix of the list; records it did not reach are not
    // shown.
    m_nodes.resize(visited);
  }
  endResetModel();
  return ok;
}

void StructTreeModel::Clear() { Populate(nullptr); }

void StructTreeModel::RefreshCells() {
  if (m_nodes.empty() || m_columns.size() < 2) return;
  const int last = static_cast<int>(m_columns.size()) - 1;
  // One notice per group of siblings; views repaint only what they show.
  auto notify = [&](const std::vector<std::size_t>& rows) {
    if (rows.empty()) return;
    emit dataChanged(IndexOf(rows.front(), 1), IndexOf(rows.back(), last), {Qt::DisplayRole});
  };
  notify(m_top);
  for (const Node& node : m_nodes) notify(node.children);
}

void StructTreeModel::RefreshRow(std::size_t position, int first, int last) {
  const QModelIndex from = IndexOf(position, first);
  const QModelIndex to = IndexOf(position, last < 0 ? columnCount() - 1 : last);
  if (from.isValid() && to.isValid()) emit dataChanged(from, to, {Qt::DisplayRole, Qt::EditRole});
}

std::size_t StructTreeModel::PositionOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return 0;
  return static_cast<std::size_t>(index.internalId());
}

QModelIndex StructTreeModel::IndexOf(std::size_t position, int column) const {
  const Node* node = NodeAt(position);
  if (node == nullptr || column < 0 || column >= columnCount()) return {};
  return createIndex(node->row, column, static_cast<quintptr>(position));
}

void StructTreeModel::SetMark(std::size_t position, bool marked) {
  if (position == 0 || position > m_nodes.size() || m_nodes[position - 1].marked == marked) return;
  m_nodes[position - 1].marked = marked;
  emit dataChanged(IndexOf(position, 0), IndexOf(position, columnCount() - 1), {Qt::BackgroundRole});
}

bool StructTreeModel::IsMarked(std::size_t position) const {
  const Node* node = NodeAt(position);
  return node != nullptr && node->marked;
}

void StructTreeModel::ClearMarks() {
  for (std::size_t p = 1; p <= m_nodes.size(); ++p) SetMark(p, false);
}

const StructTreeModel::Node* StructTreeModel::NodeAt(std::size_t position) const {
  if (position == 0 || position > m_nodes.size()) return nullptr;
  return &m_nodes[position - 1];
}

QModelIndex StructTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= columnCount()) return {};
  const std::vector<std::size_t>* rows = &m_top;
  if (parent.isValid()) {
    const Node* node = NodeAt(PositionOf(parent));
    if (node == nullptr) return {};
    rows = &node->children;
  }
  if (static_cast<std::size_t>(row) >= rows->size()) return {};
  return createIndex(row, column, static_cast<quintptr>((*rows)[static_cast<std::size_t>(row)]));
}

QModelIndex StructTreeModel::parent(const QModelIndex& child) const {
  const Node* node = NodeAt(PositionOf(child));
  if (node == nullptr || node->parent == 0) return {};
  return IndexOf(node->parent, 0);
}

int StructTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(m_top.size());
  if (parent.column() != 0) return 0;
  const Node* node = NodeAt(PositionOf(parent));
  return node == nullptr ? 0 : static_cast<int>(node->children.size());
}

int StructTreeModel::columnCount(const QModelIndex&) const { return static_cast<int>(m_columns.size()); }

QVariant StructTreeModel::data(const QModelIndex& index, int role) const {
  const std::size_t position = PositionOf(index);
  const Node* node = NodeAt(position);
  if (node == nullptr || m_pack == nullptr || position > m_pack->records.size()) return {};
  const Record& record = m_pack->records[position - 1];
  if (role == Qt::BackgroundRole && node->marked) return QBrush(QColor(255, 220, 120));
  if (role == Qt::UserRole) return QVariant::fromValue(static_cast<qulonglong>(position));
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::EditRole) {
    if (m_cellStyle) {
      QVariant style = m_cellStyle(record, position, index.column(), role);
      if (style.isValid()) return style;
    }
    if (role == Qt::TextAlignmentRole) {
      const auto found = m_alignment.find(index.column());
      return found == m_alignment.end() ? QVariant() : QVariant(static_cast<int>(found->second));
    }
    if (role == Qt::FontRole) {
      const auto found = m_font.find(index.column());
      return found == m_font.end() ? QVariant() : QVariant(found->second);
    }
    return {};
  }
  QString text;
  if (index.column() == 0)
    text = QString::fromLatin1(record.varName, static_cast<int>(strnlen(record.varName, sizeof record.varName)));
  else if (m_cellText)
    text = QString::fromStdString(m_cellText(record, position, index.column()));
  // The editor starts from the number, not from the padding that aligns it.
  return role == Qt::EditRole ? text.trimmed() : text;
}

Qt::ItemFlags StructTreeModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags result = QAbstractItemModel::flags(index);
  const std::size_t position = PositionOf(index);
  if (position == 0 || !m_cellEditable || m_pack == nullptr || position > m_pack->records.size()) return result;
  if (m_cellEditable(m_pack->records[position - 1], position, index.column())) result |= Qt::ItemIsEditable;
  return result;
}

bool StructTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || !m_cellEdit) return false;
  const std::size_t position = PositionOf(index);
  const bool accepted = m_cellEdit(position, index.column(), value.toString());
  // Accepted or not, the cell shows what the record now holds.
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return accepted;
}

QVariant StructTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns.size())
    return {};
  return m_columns[section];
}

int StructPopulateTree(StructTreeModel& model, const StructPack& pack) { return model.Populate(&pack) ? 1 : 0; }

int StructUpdateTree(StructTreeModel& model) {
  if (model.Pack() == nullptr) return 0;
  model.RefreshCells();
  return 1;
}

}  // namespace tavomark::ui
