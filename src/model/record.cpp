#include "record.h"

#include <algorithm>
#include <cstring>

#include "fixed_text.h"
#include "value_codec.h"

namespace tavomark {

void CopyHeaderPrefix(PackHeader& dst, const PackHeader& src) {
  std::memcpy(dst.projVersion, src.projVersion, sizeof dst.projVersion);
  dst.numRecords = src.numRecords;
  dst.codeProj = src.codeProj;
  dst.fwDevRevision = src.fwDevRevision;
  dst.fwNumRevision = src.fwNumRevision;
  dst.fwDay = src.fwDay;
  dst.fwMonth = src.fwMonth;
  dst.fwYear = src.fwYear;
  dst.compVerIo = src.compVerIo;
  dst.compVerFw = src.compVerFw;
  dst.bigEndianMode = src.bigEndianMode;
  dst.packIndex = src.packIndex;
  dst.padding0 = src.padding0;
  dst.itemSize = src.itemSize;
  dst.isNew = src.isNew;
  dst.isChanged = src.isChanged;
  dst.swapDataBlock = src.swapDataBlock;
  dst.reserved[0] = src.reserved[0];
}

StructPack CreateStructPack() {
  StructPack pack;
  pack.header.isNew = 1;
  return pack;
}

void DisposeStructPack(StructPack& pack) {
  pack.records.clear();
  pack.records.shrink_to_fit();
  pack.header = PackHeader{};
}

std::size_t GetStructPackNumRecords(const StructPack& pack) { return pack.records.size(); }

Record* GetStructPackRecord(StructPack& pack, std::size_t position) {
  if (position < 1 || position > pack.records.size()) return nullptr;
  return &pack.records[position - 1];
}

const Record* GetStructPackRecord(const StructPack& pack, std::size_t position) {
  if (position < 1 || position > pack.records.size()) return nullptr;
  return &pack.records[position - 1];
}

uint16_t GetStructByteSize(const StructPack& pack) {
  return pack.records.empty() ? 0 : pack.records.front().byteSize;
}

namespace {

// Lays out one leaf child C of container R at the running offset; returns the
// amount by which the running offset advances.
uint16_t LayOutLeaf(Record& r, Record& c, uint16_t running) {
  double maxValue = 0.0;
  double minValue = 0.0;
  if (RecordValRange(c, maxValue, minValue)) {
    c.minValue = minValue;
    c.maxValue = maxValue;
  }
  c.offset = running;
  if (r.kind == RecordKind::Union) {
    r.bitSize = static_cast<uint16_t>(std::max<int>(r.bitSize, c.byteSize * 8));
    c.bitOffset = 0;
    return c.byteSize;
  }
  if (c.bitSize == 0) {
    c.bitOffset = 0;
    return c.byteSize;
  }
  const int unitBits = c.byteSize * 8;
  c.bitOffset = static_cast<uint16_t>(unitBits ? r.bitSize % unitBits : 0);
  r.bitSize = static_cast<uint16_t>(r.bitSize + c.bitSize);
  // The unit is complete once the accumulated bits reach its end.
  const int unitEndBits = (int(running) - int(r.offset) + int(c.byteSize)) * 8;
  return int(r.bitSize) >= unitEndBits ? c.byteSize : 0;
}

}  // namespace

uint16_t CalcRecordData(RecordList& list, uint16_t offset, std::size_t& position, uint16_t father) {
  const std::size_t count = list.size();
  if (position < 1 || position > count) return 0;
  const std::size_t p = position;
  Record& r = list[p - 1];
  r.fatherIndex = father;
  r.offset = offset;
  if (r.IsLeaf()) return r.byteSize;

  r.byteSize = 0;
  r.numChildren = 0;
  uint16_t running = r.offset;
  ++position;
  if (position > count) return 0;

  for (;;) {
    Record& c = list[position - 1];
    if (c.level <= r.level) return r.byteSize;
    ++r.numChildren;
    uint16_t childSize = 0;
    if (c.IsContainer()) {
      childSize = CalcRecordData(list, running, position, static_cast<uint16_t>(p));
    } else {
      c.fatherIndex = static_cast<uint16_t>(p);
      ++position;
      childSize = LayOutLeaf(r, c, running);
    }
    if (r.kind == RecordKind::Union) {
      r.byteSize = std::max(r.byteSize, childSize);
    } else {
      running = static_cast<uint16_t>(running + childSize);
      if (r.bitSize == 0)
        r.byteSize = static_cast<uint16_t>(r.byteSize + childSize);
      else
        r.byteSize = static_cast<uint16_t>((r.bitSize + 7) / 8);
    }
    if (position > count) return r.byteSize;
  }
}

void ExtendBitFieldRecordData(RecordList& list, std::size_t& position) {
  const std::size_t count = list.size();
  if (position < 1 || position > count) return;
  Record& r = list[position - 1];
  if (r.IsLeaf()) return;
  ++position;
  const bool spreads = (r.kind == RecordKind::Struct || r.kind == RecordKind::Union) && r.bitSize != 0;
  while (position <= count) {
    Record& c = list[position - 1];
    if (c.level <= r.level) return;
    if (c.IsContainer()) {
      if (spreads) c.bitSize = r.bitSize;
      ExtendBitFieldRecordData(list, position);
      continue;
    }
    ++position;
    if (spreads && c.byteSize * 8 < r.bitSize) {
      const int shift = (int(c.offset) - int(r.offset)) * 8;
      if (c.bitSize == 0) {
        c.bitSize = static_cast<uint16_t>(c.byteSize * 8);
        c.bitOffset = static_cast<uint16_t>(shift);
      } else {
        c.bitOffset = static_cast<uint16_t>(c.bitOffset + shift);
      }
      c.offset = r.offset;
      c.byteSize = r.byteSize;
    }
  }
}

uint16_t CalcStructSize(RecordList& list) {
  if (list.empty()) return 0;
  std::size_t position = 1;
  CalcRecordData(list, 0, position, 0);
  position = 1;
  ExtendBitFieldRecordData(list, position);
  return list.front().byteSize;
}

bool CallRecordTree(const RecordList& list, std::size_t& position, const Record* father, int fatherHandle,
                    const RecordVisitor& visitor) {
  struct Frame {
    std::size_t container;  // position of the container whose children are walked
    int handle;
    uint32_t remaining;
  };
  std::vector<Frame> stack;
  const std::size_t count = list.size();

  // Visits the record at the position and opens a frame for its children.
  auto visit = [&](const Record* dad, int dadHandle) {
    if (position < 1 || position > count) return false;
    const Record& r = list[position - 1];
    const std::size_t at = position;
    const int handle = visitor(r, at, dad ? *dad : r, dadHandle);
    ++position;
    if (r.numChildren == 0) return true;
    if (position + r.numChildren > count + 1) return false;
    stack.push_back({at, handle, r.numChildren});
    return true;
  };

  if (!visit(father, fatherHandle)) return false;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.remaining == 0) {
      stack.pop_back();
      continue;
    }
    --top.remaining;
    const Record* dad = &list[top.container - 1];
    const int dadHandle = top.handle;
    if (!visit(dad, dadHandle)) return false;
  }
  return true;
}

bool ForEachRecordInStruct(const RecordList& list, std::size_t start, const RecordVisitor& visitor) {
  std::size_t position = start;
  return CallRecordTree(list, position, nullptr, 0, visitor);
}

int StructPackCopy(StructPack& dst, const StructPack& src, uint32_t startIndex) {
  CopyHeaderPrefix(dst.header, src.header);
  dst.records.clear();
  uint16_t baseLevel = 0;
  uint16_t baseOffset = 0;
  // The copy visitor: the first record of the walk is its own father and sets
  // the base that every copied record is re-based by.
  auto recordCopy = [&](const Record& r, std::size_t, const Record& father, int fatherHandle) {
    if (&father == &r) {
      baseLevel = r.level;
      baseOffset = r.offset;
    }
    Record copy = r;
    copy.offset = static_cast<uint16_t>(r.offset - baseOffset);
    copy.level = static_cast<uint16_t>(r.level - baseLevel);
    copy.fatherIndex = static_cast<uint16_t>(fatherHandle);
    dst.records.push_back(copy);
    return static_cast<int>(dst.records.size());
  };
  const bool ok = ForEachRecordInStruct(src.records, std::size_t{startIndex} + 1, recordCopy);
  if (!ok) {
    dst.header.numRecords = 0;
    dst.header.isNew = 1;
    return 0;
  }
  dst.header.numRecords = static_cast<uint16_t>(dst.records.size());
  return 1;
}

int GetFatherName(const StructPack& pack, const Record& record, std::string& text, int depth) {
  // Ancestors nearest first; the root (position 1) is never named. The chain is
  // bounded by the list length, so a cyclic father link in a damaged file ends.
  std::vector<const Record*> ancestors;
  const Record* current = &record;
  const std::size_t count = pack.records.size();
  while ((depth < 0 || static_cast<int>(ancestors.size()) < depth) && current->fatherIndex >= 2 &&
         current->fatherIndex <= count && ancestors.size() <= count) {
    current = &pack.records[current->fatherIndex - 1];
    ancestors.push_back(current);
  }
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
    text += TextOf((*it)->varName);
    text += '.';
  }
  return 1;
}

std::string GetRecordPath(const StructPack& pack, const Record& record) {
  std::string path;
  (void)GetFatherName(pack, record, path, -1);
  path += TextOf(record.varName);
  return path;
}

}  // namespace tavomark
