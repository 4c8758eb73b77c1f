#include "config_editor.h"

#include <string>

#include "strict_number.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark {

bool Select(ConfigSet& set, Block block, const FwImportPack& importPack, std::size_t position) {
  const Record* record = GetStructPackRecord(importPack.pack, position);
  if (!record || record->IsLeaf() || record->numChildren == 0) return false;
  StructPack copy = CreateStructPack();
  if (!StructPackCopy(copy, importPack.pack, static_cast<uint32_t>(position - 1))) return false;
  copy.header.packIndex = static_cast<uint8_t>(TabOfBlock(block));
  copy.header.isChanged = 1;
  switch (block) {
    case Block::Parameters:
      copy.header.compVerFw = importPack.compVerPar;
      break;
    case Block::Information:
      copy.header.compVerFw = importPack.compVerProdInfo;
      break;
    case Block::Calibration:
      copy.header.compVerFw = importPack.compVerCalib;
      break;
    case Block::Monitor:
      break;
  }
  GetTabIndexedStruct(set, block) = std::move(copy);
  return true;
}

std::size_t FindRecordByPath(const StructPack& pack, std::string_view dottedPath) {
  const RecordList& list = pack.records;
  if (list.empty()) return 0;
  std::size_t current = 1;
  while (!dottedPath.empty()) {
    const std::size_t dot = dottedPath.find('.');
    const std::string_view name = dottedPath.substr(0, dot);
    dottedPath = dot == std::string_view::npos ? std::string_view{} : dottedPath.substr(dot + 1);
    const uint16_t level = list[current - 1].level;
    std::size_t found = 0;
    for (std::size_t p = current + 1; p <= list.size() && list[p - 1].level > level; ++p) {
      if (list[p - 1].level == level + 1 && name == list[p - 1].varName) {
        found = p;
        break;
      }
    }
    if (found == 0) return 0;
    current = found;
  }
  return current;
}

bool CheckParentsName(const StructPack& packA, std::size_t positionA, const StructPack& packB,
                      std::size_t positionB) {
  // Each step goes one father up; more steps than records means a loop in a
  // damaged file.
  const std::size_t maxSteps = packA.records.size() + packB.records.size() + 1;
  for (std::size_t step = 0; step < maxSteps; ++step) {
    const Record* a = GetStructPackRecord(packA, positionA);
    const Record* b = GetStructPackRecord(packB, positionB);
    if (!a || !b) return false;
    if (std::string_view(a->varName) != std::string_view(b->varName) ||
        std::string_view(a->varType) != std::string_view(b->varType)) {
      return false;
    }
    if (a->level == 0 || b->level == 0) return true;
    positionA = a->fatherIndex;
    positionB = b->fatherIndex;
  }
  return false;
}

bool CopyValByName(StructPack& dst, const StructPack& src) {
  for (std::size_t d = 1; d <= dst.records.size(); ++d) {
    Record& target = dst.records[d - 1];
    if (!target.IsLeaf()) continue;
    for (std::size_t s = 1; s <= src.records.size(); ++s) {
      const Record& source = src.records[s - 1];
      if (!source.IsLeaf() || source.level > target.level) continue;
      if (!CheckParentsName(dst, d, src, s)) continue;
      target.minValue = source.minValue;
      target.maxValue = source.maxValue;
      target.value = source.value;
      break;
    }
  }
  return true;
}

bool CopyValByPos(const Pack& valToSend, StructPack& pack) {
  for (std::size_t i = 1; i <= pack.records.size(); ++i) {
    Record& record = pack.records[i - 1];
    if (!record.IsLeaf()) continue;
    const auto item = GetValToSendRecord(valToSend, i);
    if (item.empty()) continue;
    record.value = ItemValue(item);
  }
  return true;
}

Result<double> GatherCellValue(const Record& record, std::string_view text, std::string_view fieldName) {
  double value = 0.0;
  if (std::string message; !ParseStrictNumber(text, fieldName, value, message)) return Fail(message);
  double maxValue = 0.0;
  double minValue = 0.0;
  if (RecordValRange(record, maxValue, minValue)) {
    if (value > maxValue) value = maxValue;
    if (value < minValue) value = minValue;
  }
  return value;
}

namespace {

// Text that is not a number leaves the field as it was.
bool GatherCell(const Record& record, std::string_view text, double& field, std::string_view fieldName) {
  const auto value = GatherCellValue(record, text, fieldName);
  if (value) field = value.value();
  return value.ok();
}

}  // namespace

bool GatherCellEditTree(Record& record, std::string_view maxText, std::string_view minText,
                        std::string_view valueText) {
  const bool maxOk = GatherCell(record, maxText, record.maxValue, "Max");
  const bool minOk = GatherCell(record, minText, record.minValue, "Min");
  const bool valueOk = GatherCell(record, valueText, record.value, "DefVal");
  return maxOk && minOk && valueOk;
}

}  // namespace tavomark
