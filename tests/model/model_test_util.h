#pragma once
// Small builders for record lists as the declaration parser would produce them:
// pre-order, levels set, sizes of leaves set, layout not yet computed.

#include <string>

#include "fixed_text.h"
#include "record.h"

namespace tavomark::test {

inline Record Leaf(uint16_t level, const std::string& name, const std::string& type, uint16_t byteSize,
                   bool isSigned = false, uint16_t bitSize = 0, uint16_t decimals = 0) {
  Record r;
  r.level = level;
  r.kind = RecordKind::Leaf;
  r.byteSize = byteSize;
  r.isSigned = isSigned ? 1 : 0;
  r.bitSize = bitSize;
  r.decimals = decimals;
  SetText(r.varName, name);
  SetText(r.varType, type);
  return r;
}

inline Record Container(uint16_t level, RecordKind kind, const std::string& name, uint16_t arraySize = 0) {
  Record r;
  r.level = level;
  r.kind = kind;
  r.arraySize = arraySize;
  SetText(r.varName, name);
  SetText(r.varType, kind == RecordKind::Union ? "UNION" : "STRUCT");
  return r;
}

inline Record U16(uint16_t level, const std::string& name) { return Leaf(level, name, "U16", 2); }
inline Record U8(uint16_t level, const std::string& name) { return Leaf(level, name, "U8", 1); }

}  // namespace tavomark::test
