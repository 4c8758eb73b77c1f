// The highlight and info pages of the live panel, and the decoding they share
// with the tree page.

#include <QBrush>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTreeView>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "live_panel.h"
#include "platform_services.h"
#include "protocol_engine.h"
#include "struct_tree_model.h"
#include "ui_live_panel.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::ui {

namespace {

constexpr int kColumnValue = 1;
constexpr int kColumnUnit = 2;
constexpr int kHilightPathDepth = 3;
constexpr int kInfoPathDepth = 2;
constexpr std::size_t kShortNameChars = 4;

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsUpperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsVowel(char c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u'; }
bool IsAlnum(char c) { return IsLower(c) || IsUpperOrDigit(c); }
char Upper(char c) { return static_cast<char>(c - 'a' + 'A'); }

bool IsBitField(const Record& record) { return record.IsLeaf() && record.bitSize != 0; }

std::string Name(const Record& record) {
  return std::string(record.varName, strnlen(record.varName, sizeof record.varName));
}

std::string Unit(const Record& record) { return std::string(record.unit, strnlen(record.unit, sizeof record.unit)); }

// Writes a cell only when its text changes: a tick then costs a comparison
// for every value that did not move.
void SetCellText(QTableWidget* table, int row, int column, const std::string& text) {
  QTableWidgetItem* cell = table->item(row, column);
  if (cell == nullptr) return;
  const QString value = QString::fromStdString(text);
  if (cell->text() != value) cell->setText(value);
}

void SetCellColour(QTableWidget* table, int row, int column, QRgb colour) {
  QTableWidgetItem* cell = table->item(row, column);
  if (cell == nullptr) return;
  const QColor wanted(colour);
  if (cell->background().color() != wanted || cell->background().style() != Qt::SolidPattern)
    cell->setBackground(QBrush(wanted));
}

char Shown(char c) { return IsAlnum(c) ? c : '_'; }

}  // namespace

void ShortName(std::string& text, std::size_t n) {
  if (n == 0) {
    text.clear();
    return;
  }
  std::size_t count = 0;
  for (std::size_t i = 1; i < text.size() && count < n - 1; ++i)
    if (IsUpperOrDigit(text[i])) ++count;
  std::size_t room = n - count;
  for (std::size_t i = 0; i < text.size() && room > 0; ++i) {
    if (IsLower(text[i]) && (i == 0 || !IsVowel(text[i]))) {
      text[i] = Upper(text[i]);
      --room;
    }
  }
  for (std::size_t i = 0; i < text.size() && room > 0; ++i) {
    if (IsLower(text[i])) {
      text[i] = Upper(text[i]);
      --room;
    }
  }
  std::string kept;
  for (char c : text)
    if (IsUpperOrDigit(c) && kept.size() < n) kept += c;
  text = kept;
}

std::string RecordPathLabel(const StructPack& pack, const Record& record, int depth) {
  std::string text;
  (void)GetFatherName(pack, record, text, depth);
  return text + Name(record);
}

std::string LiveValueText(const StructPack& monitor, const Record& record, std::span<const uint8_t> live) {
  if (record.IsContainer()) return {};
  double value = 0.0;
  if (!MemoryByteToVal(record, value, live, monitor.header.bigEndianMode, monitor.header.swapDataBlock)) return {};
  return ValToString(record, value);
}

QRgb BitColour(const Record& field) {
  switch (field.unit[0]) {
    case 'a':
      return 0xFF0000;
    case 'f':
      return 0xFFAA00;
    case 'o':
      return 0x00FF00;
    case 's':
      return 0x80A0FF;
    case 'w':
      return 0xFFFF00;
    default:
      return 0xC0C0C0;
  }
}

std::vector<BitCell> FlagWordCells(const StructPack& monitor, std::size_t container) {
  std::vector<BitCell> cells;
  const Record* word = GetStructPackRecord(monitor, container);
  if (word == nullptr) return cells;
  for (std::size_t position = container + 1; position <= monitor.records.size(); ++position) {
    const Record& field = monitor.records[position - 1];
    if (field.level <= word->level) break;
    if (!IsBitField(field)) continue;
    for (int bit = 0; bit < field.bitSize; ++bit) {
      if (cells.size() == kBitCells) return cells;
      cells.push_back({position, bit, field.bitSize});
    }
  }
  return cells;
}

// ---- the highlight page ------------------------------------------------------

void LivePanel::ClearHilightRow(QTableWidget* table, int row, bool bits) {
  for (int column = 0; column < table->columnCount(); ++column) SetCellText(table, row, column, {});
  if (bits)
    for (int column = 1; column <= kBitCells; ++column) SetCellColour(table, row, column, kClearBitColour);
}

void LivePanel::HilightTabRefreshRow(const Record* record, int slot) {
  if (slot < 0 || slot >= kHilightSlots) return;
  const int table = slot / kHilightRows;
  const int row = slot % kHilightRows;
  QTableWidget* widget = HilightTableWidget(table);
  const StructPack& monitor = Monitor();
  if (slot < kHilightValueSlots) {
    if (record == nullptr) {
      ClearHilightRow(widget, row, false);
    } else {
      SetCellText(widget, row, 0, RecordPathLabel(monitor, *record, kHilightPathDepth));
      SetCellText(widget, row, kColumnValue, {});
      if (!IsBitField(*record)) SetCellText(widget, row, kColumnUnit, Unit(*record));
    }
  } else {
    ClearHilightRow(widget, row, true);
    if (record != nullptr) {
      std::string label;
      (void)GetFatherName(monitor, *record, label, kHilightPathDepth);
      if (!label.empty()) label.pop_back();
      // A flag word right below the root has no containers to name it.
      if (label.empty()) label = Name(*record);
      SetCellText(widget, row, 0, label);
      const auto container = static_cast<std::size_t>(record - monitor.records.data()) + 1;
      int column = 1;
      for (const BitCell& cell : FlagWordCells(monitor, container)) {
        std::string name = Name(monitor.records[cell.position - 1]);
        if (cell.width >= 2) name += std::to_string(cell.bit);
        ShortName(name, kShortNameChars);
        SetCellText(widget, row, column++, name);
      }
    }
  }
  widget->setCurrentCell(row, kColumnUnit, QItemSelectionModel::NoUpdate);
  m_hilightTable = table;
}

void LivePanel::HilightTabRefresh() {
  for (int slot = 0; slot < kHilightSlots; ++slot) {
    const Record* record = SlotRecord(kTabHilight, slot);
    const bool shown = record != nullptr && (slot < kHilightValueSlots
                                                 ? record->IsLeaf()
                                                 : record->kind == RecordKind::Struct && record->bitSize == kBitCells);
    HilightTabRefreshRow(shown ? record : nullptr, slot);
  }
  // Redrawing made the last row current; the tables open at their first rows.
  for (int table = 0; table < 3; ++table) HilightTableWidget(table)->scrollToTop();
}

void LivePanel::HilightTabUpdate(int page, std::span<const uint8_t> live) {
  if (page != kTabHilight) return;
  const StructPack& monitor = Monitor();
  for (int slot = 0; slot < kHilightSlots; ++slot) {
    const Record* record = SlotRecord(kTabHilight, slot);
    if (record == nullptr) continue;
    QTableWidget* widget = HilightTableWidget(slot / kHilightRows);
    const int row = slot % kHilightRows;
    if (slot < kHilightValueSlots) {
      if (record->IsLeaf()) SetCellText(widget, row, kColumnValue, LiveValueText(monitor, *record, live));
      continue;
    }
    if (record->kind != RecordKind::Struct || record->bitSize != kBitCells) continue;
    const auto container = static_cast<std::size_t>(record - monitor.records.data()) + 1;
    int column = 1;
    for (const BitCell& cell : FlagWordCells(monitor, container)) {
      const Record& field = monitor.records[cell.position - 1];
      double value = 0.0;
      const bool known =
          MemoryByteToVal(field, value, live, monitor.header.bigEndianMode, monitor.header.swapDataBlock) != 0;
      const auto bits = known ? static_cast<uint64_t>(std::llround(value)) : 0;
      SetCellColour(widget, row, column++, (bits >> cell.bit) & 1 ? BitColour(field) : kClearBitColour);
    }
  }
}

int LivePanel::GetHilightPos() const {
  const QTableWidget* table = HilightTableWidget(m_hilightTable);
  if (table->currentColumn() < 0) return -1;
  return HilightSlot(m_hilightTable, table->currentRow() + 1);
}

// ---- the info page -----------------------------------------------------------

void LivePanel::InfoTabPopulate(const Record* record, int slot) {
  if (slot < 0 || slot >= kInfoRows) return;
  QTableWidget* table = InfoTable();
  if (record == nullptr) {
    for (int column = 0; column < 3; ++column) SetCellText(table, slot, column, {});
  } else {
    SetCellText(table, slot, 0, RecordPathLabel(Monitor(), *record, kInfoPathDepth));
    SetCellText(table, slot, kColumnValue, {});
    if (!IsBitField(*record)) SetCellText(table, slot, kColumnUnit, Unit(*record));
  }
  table->setCurrentCell(slot, kColumnUnit, QItemSelectionModel::NoUpdate);
}

void LivePanel::InfoTabRefresh() {
  for (int slot = 0; slot < kInfoRows; ++slot) {
    const Record* record = SlotRecord(kTabInfo, slot);
    InfoTabPopulate(record != nullptr && record->IsLeaf() ? record : nullptr, slot);
  }
  InfoTable()->scrollToTop();
}

void LivePanel::InfoTabUpdate(bool connected, int page, const std::vector<uint8_t>* live) {
  if (page != kTabInfo) return;
  ShowInfoRecord();
  ShowErrorList(connected);
  m_form->TMparData->setText(connected ? QString::fromStdString(m_context.engine.TlinkGetDataName()) : QString());
  InfoTabUpdateTable(live);
}

void LivePanel::ShowInfoRecord() {
  const std::optional<link::InfoData> info = m_context.engine.TlinkGetInfoData();
  if (!info) return;
  char text[32];
  const auto show = [](QLineEdit* field, const char* value) {
    const QString shown = QString::fromLatin1(value);
    if (field->text() != shown) field->setText(shown);
  };
  std::snprintf(text, sizeof text, "%u", unsigned{info->firmwareCode});
  show(m_form->NUMfirmwareCode, text);
  std::snprintf(text, sizeof text, "%c %c", Shown(info->fwDevRevision), Shown(info->fwNumRevision));
  show(m_form->STRfirmwareRev, text);
  if (info->compVerIo < 0x61)
    std::snprintf(text, sizeof text, "%d", int{info->compVerIo});
  else
    std::snprintf(text, sizeof text, "%c", static_cast<char>(info->compVerIo));
  show(m_form->STRfirmwareVerIO, text);
  std::snprintf(text, sizeof text, "%c", Shown(info->compVerFw));
  show(m_form->STRfirmwareVerPar, text);
  std::snprintf(text, sizeof text, "%u", unsigned{info->productCode});
  show(m_form->NUMproductCode, text);
  std::snprintf(text, sizeof text, "%u", unsigned{info->productVersion});
  show(m_form->NUMproductVer, text);
  std::snprintf(text, sizeof text, "%c %c", Shown(info->productRevision[0]), Shown(info->productRevision[1]));
  show(m_form->NUMproductRev, text);
  std::snprintf(text, sizeof text, "%2d/%2d/%2d", int{info->date[0]}, int{info->date[1]}, int{info->date[2]});
  show(m_form->TMdate, text);
  std::snprintf(text, sizeof text, "%u", unsigned{info->serialExt});
  show(m_form->NUMproductSerialExt, text);
  std::snprintf(text, sizeof text, "%u", unsigned{info->serialNum});
  show(m_form->NUMproductSerialNum, text);
}

void LivePanel::ShowErrorList(bool connected) {
  QLabel* const lines[kErrorLines] = {m_form->TMerrList1, m_form->TMerrList2, m_form->TMerrList3, m_form->TMerrList4,
                                      m_form->TMerrList5, m_form->TMerrList6, m_form->TMerrList7, m_form->TMerrList8,
                                      m_form->TMerrList9, m_form->TMerrList10};
  std::array<uint8_t, link::kErrorListBytes> list{};
  if (!connected || !m_context.engine.TlinkGetErrorList(list)) {
    for (QLabel* line : lines) {
      line->setText("--");
      line->setEnabled(false);
    }
    return;
  }
  const PackHeader& header = Monitor().header;
  const ErrorListText text = FormatErrorList(list, header.bigEndianMode != header.swapDataBlock);
  for (std::size_t i = 0; i < kErrorLines; ++i) {
    if (text.lines[i].empty()) continue;
    lines[i]->setText(QString::fromStdString(text.lines[i]));
    lines[i]->setEnabled(true);
  }
}

void LivePanel::InfoTabUpdateTable(const std::vector<uint8_t>* live) {
  QTableWidget* table = InfoTable();
  for (int slot = 0; slot < kInfoRows; ++slot) {
    const Record* record = SlotRecord(kTabInfo, slot);
    if (record == nullptr || !record->IsLeaf()) continue;
    SetCellText(table, slot, kColumnValue, live != nullptr ? LiveValueText(Monitor(), *record, *live) : std::string());
  }
}

int LivePanel::GetInfoPos() const {
  const QTableWidget* table = InfoTable();
  if (table->currentColumn() < 0 || table->currentRow() < 0) return -1;
  return table->currentRow();
}

void LivePanel::AddInfo() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetInfoPos();
  const std::size_t position = SelectedTreePosition();
  const Record* record = GetStructPackRecord(Monitor(), position);
  if (slot < 0 || record == nullptr || !record->IsLeaf()) return;
  SetSlot(kTabInfo, slot, position);
  InfoTabPopulate(record, slot);
  command.RestoreCursor();
  SaveChannels();
}

void LivePanel::DelInfo() {
  Command command(*this);
  if (!command.Granted()) return;
  const int slot = GetInfoPos();
  if (slot < 0) return;
  SetSlot(kTabInfo, slot, 0);
  InfoTabPopulate(nullptr, slot);
  command.RestoreCursor();
  SaveChannels();
}

}  // namespace tavomark::ui
