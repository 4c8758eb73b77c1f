#pragma once
// Records and struct packs: the typed layout of one firmware structure as a flat
// pre-order list of records, with the layout computation and the walks that all
// other code uses.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavomark {

enum class RecordKind : uint32_t { Leaf = 0, Struct = 1, Union = 2, Enum = 3 };

// One variable or container of a firmware structure. On disk it is a 256-byte
// slot (see struct_pack_file.h); in memory it is a plain value.
struct Record {
  uint16_t level = 0;
  uint16_t offset = 0;
  uint16_t byteSize = 0;
  uint16_t bitOffset = 0;
  uint16_t bitSize = 0;  // in a container: the layout's bit accumulator
  uint16_t arraySize = 0;
  RecordKind kind = RecordKind::Leaf;
  uint8_t isSigned = 0;
  uint16_t decimals = 0;
  double minValue = 0.0;
  double maxValue = 0.0;
  double value = 0.0;
  uint8_t reservedFlag1 = 0;
  uint8_t reservedFlag2 = 0;
  char unit[10] = {};
  char varName[25] = {};
  char varType[20] = {};
  uint16_t numChildren = 0;
  uint16_t fatherIndex = 0;
  uint16_t reserved1 = 0;
  double reserved2 = 0.0;
  double reserved3 = 0.0;

  [[nodiscard]] bool IsLeaf() const { return kind == RecordKind::Leaf; }
  [[nodiscard]] bool IsContainer() const { return kind != RecordKind::Leaf; }
};

// The 64-byte header of every pack and struct pack, fields in file order.
struct PackHeader {
  char projVersion[18] = {};
  uint16_t numRecords = 0;
  uint16_t codeProj = 0;
  char fwDevRevision = 0;
  char fwNumRevision = 0;
  uint8_t fwDay = 0;
  uint8_t fwMonth = 0;
  uint8_t fwYear = 0;
  char compVerIo = 0;
  char compVerFw = 0;
  uint8_t bigEndianMode = 0;
  uint8_t packIndex = 0;
  uint8_t padding0 = 0;  // written out, not left to the compiler
  uint16_t itemSize = 0;
  uint8_t isNew = 0;
  uint8_t isChanged = 0;
  uint8_t swapDataBlock = 0;
  uint8_t reserved[27] = {};
};
static_assert(sizeof(PackHeader) == 64);
static_assert(offsetof(PackHeader, numRecords) == 18);
static_assert(offsetof(PackHeader, itemSize) == 32);
static_assert(offsetof(PackHeader, swapDataBlock) == 36);

inline constexpr std::size_t kPackHeaderBytes = 64;
// Header copies between packs take the fields up to swapDataBlock and the first
// reserved byte.
inline constexpr std::size_t kHeaderCopyBytes = 38;

// Copies the first 38 bytes of a header (identity, flags, item size, counts).
void CopyHeaderPrefix(PackHeader& dst, const PackHeader& src);

using RecordList = std::vector<Record>;

// A header and the records in pre-order; positions are 1-based, 1 is the root.
struct StructPack {
  PackHeader header;
  RecordList records;
};

[[nodiscard]] StructPack CreateStructPack();   // zeroed header with isNew = 1
void DisposeStructPack(StructPack& pack);      // empties it now; safe twice

[[nodiscard]] std::size_t GetStructPackNumRecords(const StructPack& pack);
// The record at a 1-based position, or null outside 1..N.
[[nodiscard]] Record* GetStructPackRecord(StructPack& pack, std::size_t position);
[[nodiscard]] const Record* GetStructPackRecord(const StructPack& pack, std::size_t position);
[[nodiscard]] uint16_t GetStructByteSize(const StructPack& pack);

// Layout: offsets, sizes, bit positions, father links and natural ranges.
// Returns the root's byteSize. Nesting is bounded by the importer that builds
// the list (the recursion follows the levels).
uint16_t CalcStructSize(RecordList& list);
uint16_t CalcRecordData(RecordList& list, uint16_t offset, std::size_t& position, uint16_t father);
void ExtendBitFieldRecordData(RecordList& list, std::size_t& position);

// Visitor of the pre-order walk: (record, its position, its father record - the
// record itself for the first record of a walk -, the father's handle). The
// handle it returns is passed to its children.
using RecordVisitor =
    std::function<int(const Record& record, std::size_t position, const Record& father, int fatherHandle)>;

// Walks the subtree at the position. Returns false at a missing record or a
// container whose numChildren exceed the records left; the records visited up to
// there have been seen by the visitor. Iterative: malformed files cannot exhaust
// the stack.
[[nodiscard]] bool CallRecordTree(const RecordList& list, std::size_t& position, const Record* father,
                                  int fatherHandle, const RecordVisitor& visitor);
[[nodiscard]] bool ForEachRecordInStruct(const RecordList& list, std::size_t start,
                                         const RecordVisitor& visitor);

// Makes dst a self-contained struct pack of the subtree rooted at source position
// startIndex + 1 (root at offset 0, level 0, father links into the new list).
// Returns 1, or 0 with dst's numRecords 0 and isNew 1.
[[nodiscard]] int StructPackCopy(StructPack& dst, const StructPack& src, uint32_t startIndex);

// Appends the dotted names of the record's ancestors below the root to text
// ("A.B."); depth limits how many (negative: no limit). Returns 1.
int GetFatherName(const StructPack& pack, const Record& record, std::string& text, int depth);
// The record's path as the user sees it everywhere: its ancestors below the
// root, dotted, then its own name ("A.B.name").
[[nodiscard]] std::string GetRecordPath(const StructPack& pack, const Record& record);

}  // namespace tavomark
