#include <gtest/gtest.h>

#include <vector>

#include "model_test_util.h"
#include "record.h"

namespace tavomark {
namespace {

using test::Container;
using test::Leaf;
using test::U16;
using test::U8;

StructPack PackOf(RecordList records) {
  StructPack pack = CreateStructPack();
  pack.records = std::move(records);
  CalcStructSize(pack.records);
  return pack;
}

// ---- layout -----------------------------------------------------------------

// Where the layout put a record: offset, byteSize, bitOffset, bitSize.
std::vector<int> Placed(const Record& r) { return {r.offset, r.byteSize, r.bitOffset, r.bitSize}; }

TEST(StructLayout, TwoBitFieldsFillingOneByteStayInTheirUnit) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "s"), Leaf(1, "a", "U8", 1, false, 3),
                      Leaf(1, "b", "U8", 1, false, 5)});
  EXPECT_EQ(GetStructByteSize(pack), 1);
  EXPECT_EQ(Placed(pack.records[1]), (std::vector<int>{0, 1, 0, 3}));
  EXPECT_EQ(Placed(pack.records[2]), (std::vector<int>{0, 1, 3, 5}));
}

TEST(StructLayout, BitFieldsBeyondTheirUnitBecomeFieldsOfTheWholeStorage) {
  RecordList list{Container(0, RecordKind::Struct, "s")};
  for (const char* name : {"a", "b", "c", "d"}) list.push_back(Leaf(1, name, "U8", 1, false, 4));
  auto pack = PackOf(list);
  EXPECT_EQ(GetStructByteSize(pack), 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Placed(pack.records[i + 1u]), (std::vector<int>{0, 2, 4 * i, 4})) << i;
}

TEST(StructLayout, FortyEightOneBitFieldsDoNotOverlap) {
  RecordList list{Container(0, RecordKind::Struct, "flags")};
  for (int k = 0; k < 48; ++k) list.push_back(Leaf(1, "f" + std::to_string(k), "U16", 2, false, 1));
  auto pack = PackOf(list);
  EXPECT_EQ(GetStructByteSize(pack), 6);
  for (int k = 0; k < 48; ++k) EXPECT_EQ(Placed(pack.records[k + 1u]), (std::vector<int>{0, 6, k, 1})) << k;
}

TEST(StructLayout, UnionMembersShareItsOffsetAndNestedBytesBecomeBitFields) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "head"),
                      Container(1, RecordKind::Union, "u"), U16(2, "word"), Container(2, RecordKind::Struct, "b"),
                      U8(3, "lo"), U8(3, "hi"), U8(1, "tail")});
  EXPECT_EQ(Placed(pack.records[2]), (std::vector<int>{1, 2, 0, 16}));  // u: its bit width is its widest leaf
  EXPECT_EQ(Placed(pack.records[3]), (std::vector<int>{1, 2, 0, 0}));   // word
  EXPECT_EQ(Placed(pack.records[4]), (std::vector<int>{1, 2, 0, 16}));  // b inherits the width
  EXPECT_EQ(Placed(pack.records[5]), (std::vector<int>{1, 2, 0, 8}));   // lo
  EXPECT_EQ(Placed(pack.records[6]), (std::vector<int>{1, 2, 8, 8}));   // hi
  EXPECT_EQ(pack.records[7].offset, 3);                                 // tail follows the union
  EXPECT_EQ(GetStructByteSize(pack), 4);
}

TEST(StructLayout, ArraysAndNestedStructsGetAbsoluteOffsetsFathersAndCounts) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "first"),
                      Container(1, RecordKind::Struct, "v", 3), U16(2, "v[0]"), U16(2, "v[1]"), U16(2, "v[2]"),
                      Container(1, RecordKind::Struct, "inner"), Leaf(2, "temp", "S16", 2, true, 0, 1),
                      Leaf(2, "big", "U32", 4)});
  std::vector<int> offsets, sizes, fathers, children;
  for (const Record& r : pack.records) {
    offsets.push_back(r.offset);
    sizes.push_back(r.byteSize);
    fathers.push_back(r.fatherIndex);
    children.push_back(r.numChildren);
  }
  EXPECT_EQ(offsets, (std::vector<int>{0, 0, 1, 1, 3, 5, 7, 7, 9}));
  EXPECT_EQ(sizes, (std::vector<int>{13, 1, 6, 2, 2, 2, 6, 2, 4}));
  EXPECT_EQ(fathers, (std::vector<int>{0, 1, 1, 3, 3, 3, 1, 7, 7}));
  EXPECT_EQ(children, (std::vector<int>{3, 0, 3, 0, 0, 0, 2, 0, 0}));
  // Natural ranges are filled in by the layout.
  EXPECT_DOUBLE_EQ(pack.records[7].maxValue, 3276.7);
  EXPECT_DOUBLE_EQ(pack.records[7].minValue, -3276.8);
  EXPECT_DOUBLE_EQ(pack.records[8].maxValue, 4294967295.0);
}

TEST(StructLayout, ListCutShortGetsTheSizeOfWhatIsThere) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), U16(1, "a"), Container(1, RecordKind::Struct, "s")});
  EXPECT_EQ(GetStructByteSize(pack), 2);
  EXPECT_EQ(pack.records[2].byteSize, 0);
}

// ---- walk ---------------------------------------------------------------------

TEST(RecordWalk, VisitsInPreOrderPassingTheFathersHandle) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), Container(1, RecordKind::Struct, "a"), U8(2, "a1"),
                      U8(2, "a2"), U8(1, "b")});
  std::vector<std::pair<std::size_t, int>> seen;  // position, father handle
  const bool ok = ForEachRecordInStruct(pack.records, 1, [&](const Record&, std::size_t pos, const Record&, int h) {
    seen.emplace_back(pos, h);
    return static_cast<int>(pos * 10);
  });
  EXPECT_TRUE(ok);
  const std::vector<std::pair<std::size_t, int>> expected{{1, 0}, {2, 10}, {3, 20}, {4, 20}, {5, 10}};
  EXPECT_EQ(seen, expected);
}

TEST(RecordWalk, FailsWhenChildrenExceedTheListAfterVisitingWhatCame) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "a"), U8(1, "b")});
  pack.records[0].numChildren = 5;
  int visits = 0;
  EXPECT_FALSE(ForEachRecordInStruct(pack.records, 1, [&](const Record&, std::size_t, const Record&, int) {
    ++visits;
    return 0;
  }));
  EXPECT_EQ(visits, 1);
  EXPECT_FALSE(ForEachRecordInStruct(pack.records, 9, [](const Record&, std::size_t, const Record&, int) { return 0; }));
}

TEST(RecordWalk, DeepDamagedNestingDoesNotExhaustTheStack) {
  // A damaged file can chain containers one inside the other for the whole list.
  RecordList list(60000);
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    list[i].kind = RecordKind::Struct;
    list[i].numChildren = 1;
  }
  std::size_t visits = 0;
  EXPECT_TRUE(ForEachRecordInStruct(list, 1, [&](const Record&, std::size_t, const Record&, int) {
    ++visits;
    return 0;
  }));
  EXPECT_EQ(visits, list.size());
}

// ---- sub-struct extraction and names -------------------------------------------

TEST(StructPackCopy, ExtractsARebasedSelfContainedPack) {
  auto src = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "pad"), Container(1, RecordKind::Struct, "par"),
                     U16(2, "speed"), Container(2, RecordKind::Struct, "lim"), U16(3, "lo"), U16(3, "hi"),
                     U8(1, "after")});
  src.header.codeProj = 315;
  StructPack dst = CreateStructPack();
  ASSERT_EQ(StructPackCopy(dst, src, 2), 1);  // position 3: "par"
  ASSERT_EQ(dst.records.size(), 5u);
  EXPECT_EQ(dst.header.numRecords, 5);
  EXPECT_EQ(dst.header.codeProj, 315);
  const Record& root = dst.records[0];
  EXPECT_EQ(root.offset, 0);
  EXPECT_EQ(root.level, 0);
  EXPECT_EQ(root.fatherIndex, 0);
  EXPECT_EQ(root.byteSize, 6);
  EXPECT_EQ(dst.records[1].offset, 0);  // speed
  EXPECT_EQ(dst.records[1].level, 1);
  EXPECT_EQ(dst.records[1].fatherIndex, 1);
  EXPECT_EQ(dst.records[3].offset, 2);  // lo
  EXPECT_EQ(dst.records[3].fatherIndex, 3);
  EXPECT_EQ(dst.records[4].offset, 4);  // hi
  EXPECT_EQ(dst.records[4].level, 2);
}

TEST(StructPackCopy, FailureLeavesAnEmptyCountAndTheNewFlag) {
  auto src = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "a")});
  src.records[0].numChildren = 3;
  src.header.isNew = 0;
  StructPack dst = CreateStructPack();
  dst.header.isNew = 0;
  EXPECT_EQ(StructPackCopy(dst, src, 0), 0);
  EXPECT_EQ(dst.header.numRecords, 0);
  EXPECT_EQ(dst.header.isNew, 1);
}

TEST(GetFatherName, NamesAncestorsBelowTheRootWithinTheDepth) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), Container(1, RecordKind::Struct, "A"),
                      Container(2, RecordKind::Struct, "B"), U8(3, "x"), U8(1, "direct")});
  const Record& x = pack.records[3];
  auto path = [&](const Record& r, int depth) {
    std::string text = "pre:";
    EXPECT_EQ(GetFatherName(pack, r, text, depth), 1);
    return text;
  };
  EXPECT_EQ(path(x, -1), "pre:A.B.");
  EXPECT_EQ(path(x, 2), "pre:A.B.");
  EXPECT_EQ(path(x, 1), "pre:B.");
  EXPECT_EQ(path(x, 0), "pre:");
  EXPECT_EQ(path(pack.records[4], -1), "pre:");
}

TEST(GetFatherName, CyclicFatherLinksEnd) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), Container(1, RecordKind::Struct, "A"), U8(2, "x")});
  pack.records[1].fatherIndex = 3;
  pack.records[2].fatherIndex = 2;
  std::string text;
  EXPECT_EQ(GetFatherName(pack, pack.records[2], text, -1), 1);
  EXPECT_LT(text.size(), 64u);
}

TEST(StructPackAccess, PositionsAreOneBased) {
  auto pack = PackOf({Container(0, RecordKind::Struct, "root"), U8(1, "a")});
  EXPECT_EQ(GetStructPackNumRecords(pack), 2u);
  EXPECT_EQ(GetStructPackRecord(pack, 0), nullptr);
  EXPECT_EQ(GetStructPackRecord(pack, 3), nullptr);
  ASSERT_NE(GetStructPackRecord(pack, 2), nullptr);
  EXPECT_STREQ(GetStructPackRecord(pack, 2)->varName, "a");
  StructPack empty = CreateStructPack();
  EXPECT_EQ(empty.header.isNew, 1);
  EXPECT_EQ(GetStructByteSize(empty), 0);
}

}  // namespace
}  // namespace tavomark
