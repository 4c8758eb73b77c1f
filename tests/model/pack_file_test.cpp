#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "bytes.h"
#include "fixed_text.h"
#include "config_fixture.h"
#include "pack.h"
#include "struct_pack_file.h"

namespace tavomark {
namespace {

namespace fs = std::filesystem;

class TempDir : public test::ProjectDirTest {
 protected:
  static std::string Text(const fs::path& path) {
    const auto bytes = Bytes(path);
    return {bytes.begin(), bytes.end()};
  }
  static void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  }
};

PackHeader SampleHeader() {
  PackHeader h;
  SetText(h.projVersion, "FW_DEMO 1.02");
  h.codeProj = 315;
  h.fwDevRevision = 'B';
  h.fwNumRevision = '7';
  h.fwDay = 14;
  h.fwMonth = 3;
  h.fwYear = 24;
  h.compVerIo = 'A';
  h.compVerFw = 'C';
  h.bigEndianMode = 1;
  h.packIndex = 2;
  h.swapDataBlock = 1;
  return h;
}

Record SampleRecord() {
  Record r = test::Leaf(3, "speedLimit", "S32", 4, true, 0, 2);
  r.offset = 0x0102;
  r.bitOffset = 5;
  r.bitSize = 9;
  r.arraySize = 7;
  r.kind = RecordKind::Union;
  r.minValue = -12.5;
  r.maxValue = 1234.567;
  r.value = 3.25;
  r.reservedFlag1 = 1;
  r.reservedFlag2 = 1;
  SetText(r.unit, "km/h");
  r.numChildren = 11;
  r.fatherIndex = 4;
  r.reserved1 = 99;
  r.reserved2 = 0.5;
  r.reserved3 = -8.0;
  return r;
}

// ---- binary struct packs ----------------------------------------------------------

TEST_F(TempDir, BinaryStructPackPutsEveryFieldAtItsOffset) {
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  pack.header.isChanged = 1;
  pack.records = {test::Container(0, RecordKind::Struct, "root"), SampleRecord()};
  ASSERT_TRUE(SaveStructPack(Path("p.bin"), pack, true).ok());
  EXPECT_EQ(pack.header.isChanged, 0);

  const auto b = Bytes(Path("p.bin"));
  ASSERT_EQ(b.size(), 64u + 2 * 256u);
  auto bytesAt = [&](std::size_t at, std::size_t n) { return std::vector<uint8_t>(&b[at], &b[at] + n); };
  EXPECT_EQ(std::string(b.begin(), b.begin() + 12), "FW_DEMO 1.02");
  // numRecords, codeProj, revisions, date, letters, bigEndianMode, packIndex,
  // padding, itemSize, isNew, isChanged (as it was when written), swapDataBlock
  EXPECT_EQ(bytesAt(18, 19), (std::vector<uint8_t>{2, 0, 0x3B, 0x01, 'B', '7', 14, 3, 24, 'A', 'C', 1, 2, 0, 0, 0, 0,
                                                   1, 1}));

  const std::size_t s = 64 + 256;
  // level, offset, byteSize, bitOffset, bitSize, arraySize, kind, isSigned, pad, decimals, pad
  EXPECT_EQ(bytesAt(s, 24), (std::vector<uint8_t>{3, 0, 2, 1, 4, 0, 5, 0, 9, 0, 7, 0, 2, 0, 0, 0, 1, 0, 2, 0, 0, 0,
                                                   0, 0}));
  EXPECT_EQ(GetF64(&b[s + 24]), -12.5);
  EXPECT_EQ(GetF64(&b[s + 32]), 1234.567);
  EXPECT_EQ(GetF64(&b[s + 40]), 3.25);
  EXPECT_EQ(bytesAt(s + 48, 2), (std::vector<uint8_t>{1, 1}));
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[s + 50]), "km/h");
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[s + 60]), "speedLimit");
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[s + 85]), "S32");
  // pad, numChildren, fatherIndex, reserved1
  EXPECT_EQ(bytesAt(s + 105, 7), (std::vector<uint8_t>{0, 11, 0, 4, 0, 99, 0}));
  EXPECT_EQ(GetF64(&b[s + 112]), 0.5);
  EXPECT_EQ(GetF64(&b[s + 120]), -8.0);
  EXPECT_EQ(bytesAt(s + 128, 128), std::vector<uint8_t>(128, 0));

  StructPack back = CreateStructPack();
  ASSERT_TRUE(LoadStructPack(Path("p.bin"), back, true).ok());
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.header.isNew, 1);
  EXPECT_EQ(back.header.isChanged, 0);
  const Record& r = back.records[1];
  EXPECT_EQ(r.maxValue, 1234.567);
  EXPECT_EQ(r.kind, RecordKind::Union);
  EXPECT_STREQ(r.unit, "km/h");
}

TEST_F(TempDir, BinaryReaderRejectsABadSignatureAndKeepsWhatAShortFileHeld) {
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  pack.records.assign(3, SampleRecord());
  ASSERT_TRUE(SaveStructPack(Path("p.bin"), pack, true).ok());
  auto bytes = Bytes(Path("p.bin"));

  bytes[1] = 'X';
  WriteText(Path("bad.bin"), std::string(bytes.begin(), bytes.end()));
  StructPack other = CreateStructPack();
  other.records.push_back(SampleRecord());
  EXPECT_FALSE(LoadStructPack(Path("bad.bin"), other, true).ok());
  EXPECT_EQ(other.records.size(), 1u);

  bytes[1] = 'W';
  bytes.resize(64 + 256 * 2 + 100);
  WriteText(Path("short.bin"), std::string(bytes.begin(), bytes.end()));
  EXPECT_FALSE(LoadStructPack(Path("short.bin"), other, true).ok());
  EXPECT_EQ(other.records.size(), 2u);
  EXPECT_FALSE(LoadStructPack(Path("missing.bin"), other, true).ok());
}

// ---- text struct packs --------------------------------------------------------------

TEST_F(TempDir, TextLayoutUsesTheFixedFieldFormats) {
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  Record r = test::Leaf(1, "volt", "U16", 2, false, 0, 1);
  r.maxValue = 6553.5;
  r.value = 12.5;
  r.fatherIndex = 1;
  SetText(r.unit, "V");
  pack.records = {r};
  ASSERT_TRUE(SaveStructPack(Path("p.txt"), pack, false).ok());
  const std::string sp(1, ' ');
  auto pad = [](std::size_t width, const std::string& s) { return std::string(width - s.size(), ' ') + s; };
  const std::string header = pad(16, "FW_DEMO 1.02") + ";    1; 315;'B';'7';14; 3;24;'A';'C'; 1; 2;   0; 1\n";
  const std::string line = "   1; 1;   0;   2;" + std::string(" 0; 0;    0; 0;") + " 0; 1;" + pad(15, "0.000") +
                           ";" + pad(15, "6553.500") + ";" + pad(15, "12.500") + "; 0; 0;" + pad(10, "V") + ";" +
                           pad(25, "volt") + ";" + pad(20, "U16") + ";   0;   1;   0;" + pad(15, "0.000") + ";" +
                           pad(15, "0.000") + ";\n";
  EXPECT_EQ(Text(Path("p.txt")), header + line);
}

// The record lines are written without printf; they must stay what the
// file format's printf formats give, for every kind of number.
TEST_F(TempDir, TextLayoutMatchesItsPrintfFormatsForAwkwardValues) {
  struct Case {
    double min, max, value, reserved2;
    uint16_t offset, arraySize;
    const char* name;
  };
  const Case cases[] = {
      {-0.0004, 0.0005, 2.0005, -0.0, 0, 0, "rounding"},
      {-32768.0, 32767.0, -1.5, 1e-9, 65535, 65535, "widths"},
      {-1e20, 1.7976931348623157e308, 123456789012.345678, -4.9e-324, 9999, 10000, "huge_and_tiny"},
      {0.1, 0.7, 1.0005, 2.675, 1, 1, "a_name_of_24_characters_"},
      {std::nan(""), INFINITY, -INFINITY, 0.125, 12, 3, ""},
      {-0.0, 999999999999999.0, 1e15, -65535.0, 7, 2, "whole_numbers"},
      {4294967295.0, -999999999999999.0, 18446744073709551616.0, 0.0, 8, 0, "whole_at_the_edges"},
  };
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  std::string expected;
  for (const Case& c : cases) {
    Record r = test::Leaf(2, c.name, "U32", 4, true, 1, 1);
    r.minValue = c.min;
    r.maxValue = c.max;
    r.value = c.value;
    r.reserved2 = c.reserved2;
    r.offset = c.offset;
    r.arraySize = c.arraySize;
    r.bitOffset = 31;
    SetText(r.unit, "mV/s");
    pack.records.push_back(r);
    char line[1024];
    std::snprintf(line, sizeof line,
                  "%4u;%2u;%4u;%4u;%2u;%2u;%5u;%2u;%2u;%2u;%15.3lf;%15.3lf;%15.3lf;%2u;%2u;%10s;%25s;%20s;%4u;%4u;%4u;"
                  "%15.3lf;%15.3lf;\n",
                  unsigned(pack.records.size()), 2u, unsigned(c.offset), 4u, 31u, unsigned(r.bitSize),
                  unsigned(c.arraySize), unsigned(static_cast<uint32_t>(r.kind)), unsigned(r.isSigned),
                  unsigned(r.decimals), c.min, c.max, c.value, 0u, 0u, "mV/s", c.name, "U32",
                  unsigned(r.numChildren), unsigned(r.fatherIndex), 0u, c.reserved2, 0.0);
    expected += line;
  }
  ASSERT_TRUE(SaveStructPack(Path("p.txt"), pack, false).ok());
  const std::string text = Text(Path("p.txt"));
  ASSERT_NE(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.substr(text.find('\n') + 1), expected);
}

TEST_F(TempDir, TextRoundTripKeepsThreeDecimalsAndTrimsTexts) {
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  Record a = SampleRecord();
  a.value = 1.23456;
  a.maxValue = 18446744073709551615.0;  // a U64's natural max: a long field
  SetText(a.varName, "  padded");
  pack.records = {test::Container(0, RecordKind::Struct, "root"), a};
  ASSERT_TRUE(SaveStructPack(Path("p.txt"), pack, false).ok());

  StructPack back = CreateStructPack();
  back.header.isChanged = 1;
  ASSERT_TRUE(LoadStructPack(Path("p.txt"), back, false).ok());
  EXPECT_EQ(back.header.isChanged, 1);  // the text reader leaves the flags alone
  EXPECT_STREQ(back.header.projVersion, "FW_DEMO 1.02");
  EXPECT_EQ(back.header.codeProj, 315);
  EXPECT_EQ(back.header.compVerFw, 'C');
  EXPECT_EQ(back.header.swapDataBlock, 1);
  ASSERT_EQ(back.records.size(), 2u);
  const Record& r = back.records[1];
  EXPECT_DOUBLE_EQ(r.value, 1.235);
  EXPECT_DOUBLE_EQ(r.maxValue, 18446744073709551615.0);
  EXPECT_DOUBLE_EQ(r.minValue, -12.5);
  EXPECT_STREQ(r.varName, "padded");
  EXPECT_STREQ(r.unit, "km/h");
  EXPECT_EQ(r.offset, 0x0102);
  EXPECT_EQ(r.kind, RecordKind::Union);
  EXPECT_EQ(r.numChildren, 11);
  EXPECT_EQ(r.reserved2, 0.5);
}

TEST_F(TempDir, TextReaderFailureRules) {
  const std::string header = "  demo;    3; 315;'A';'1'; 1; 1;24;'A';'C'; 0; 0;   0; 0\n";
  const std::string zero = "  demo;    0; 315;'A';'1'; 1; 1;24;'A';'C'; 0; 0;   0; 0\n";
  const std::string line1 = "   1; 0;   0;   2; 0; 0;    0; 1;\n";
  const std::string line2 = "   2; 1;   0;   2; 0; 0;    0; 0; 1; 2;  -1.5;\n";
  StructPack pack = CreateStructPack();

  WriteText(Path("zero.txt"), zero + line1);
  EXPECT_FALSE(LoadStructPack(Path("zero.txt"), pack, false).ok());

  WriteText(Path("fewer.txt"), header + line1 + line2);
  ASSERT_TRUE(LoadStructPack(Path("fewer.txt"), pack, false).ok());
  ASSERT_EQ(pack.records.size(), 2u);
  // A line whose fields stop early keeps zeroed slot values for the rest.
  const Record& r = pack.records[1];
  EXPECT_EQ(r.isSigned, 1);
  EXPECT_EQ(r.decimals, 2);
  EXPECT_EQ(r.minValue, -1.5);
  EXPECT_EQ(r.maxValue, 0.0);
  EXPECT_STREQ(r.varName, "");
  EXPECT_EQ(r.reservedFlag1, 0);

  WriteText(Path("gap.txt"), header + line1 + "   3; 1;\n");
  EXPECT_FALSE(LoadStructPack(Path("gap.txt"), pack, false).ok());
  EXPECT_EQ(pack.records.size(), 2u);  // the line before the gap, and the bad one's slot

  WriteText(Path("header_only.txt"), header);
  EXPECT_TRUE(LoadStructPack(Path("header_only.txt"), pack, false).ok());
  EXPECT_TRUE(pack.records.empty());
}

TEST_F(TempDir, TextReaderCutsOverlongFieldsAndLines) {
  const std::string longName(300, 'n');
  const std::string text = std::string(40, 'P') + ";    1; 315;'A';'1'; 1; 1;24;'A';'C'; 0; 0;   0; 0\n" +
                           "   1; 0;   0;   2; 0; 0;    0; 0; 0; 0;" + std::string(500, '9') +
                           ";1;2; 0; 0;unitunitunitunit;" + longName + ";" + longName + ";\n";
  WriteText(Path("long.txt"), text);
  StructPack pack = CreateStructPack();
  ASSERT_TRUE(LoadStructPack(Path("long.txt"), pack, false).ok());
  EXPECT_EQ(std::string(pack.header.projVersion), std::string(17, 'P'));
  ASSERT_EQ(pack.records.size(), 1u);
  EXPECT_EQ(std::string(pack.records[0].unit), "unitunitu");
  EXPECT_EQ(std::string(pack.records[0].varName), std::string(24, 'n'));
  EXPECT_EQ(std::string(pack.records[0].varType), std::string(19, 'n'));
  EXPECT_TRUE(std::isinf(pack.records[0].minValue));
}

// ---- packs --------------------------------------------------------------------------

TEST_F(TempDir, PackRoundTripAndItemSizeCheck) {
  Pack pack = CreatePack(32);
  pack.header = SampleHeader();
  pack.header.isChanged = 1;
  std::vector<uint8_t> item(32);
  for (int i = 0; i < 3; ++i) {
    item[0] = static_cast<uint8_t>(i + 1);
    item[31] = 0xEE;
    pack.Append(item);
  }
  ASSERT_TRUE(SavePack(Path("v.pk"), pack));
  const auto b = Bytes(Path("v.pk"));
  ASSERT_EQ(b.size(), 64u + 3 * 32u);
  EXPECT_EQ(GetU16(&b[18]), 3);
  EXPECT_EQ(GetU16(&b[32]), 32);
  EXPECT_EQ(b[35], 0);  // isChanged cleared before the header is written
  EXPECT_EQ(b[64 + 32], 2);
  EXPECT_EQ(b[64 + 95], 0xEE);

  Pack back = CreatePack(32);
  ASSERT_TRUE(LoadPack(Path("v.pk"), back));
  EXPECT_EQ(GetPackNumRecords(back), 3u);
  EXPECT_EQ(back.Item(3)[0], 3);
  EXPECT_EQ(back.header.isNew, 1);
  EXPECT_TRUE(back.Item(4).empty());

  Pack other = CreatePack(24);
  EXPECT_EQ(LoadPack(Path("v.pk"), other).message(), "pack: item size 32 at byte 32, expected 24");
  EXPECT_EQ(GetPackNumRecords(other), 0u);

  auto cut = b;
  cut.resize(64 + 32 + 10);
  WriteText(Path("cut.pk"), std::string(cut.begin(), cut.end()));
  EXPECT_EQ(LoadPack(Path("cut.pk"), back).message(),
            "pack: 3 items announced at byte 18, the file ends at byte 106 (1 whole items)");
  EXPECT_EQ(GetPackNumRecords(back), 1u);
}

TEST(PackOps, CopyCompatibilityAndIteration) {
  Pack src = CreatePack(4);
  src.header = SampleHeader();
  Pack dst = CreatePack(4);
  dst.Append(std::vector<uint8_t>{1, 2, 3, 4});
  EXPECT_EQ(CopyPack(dst, src), 0);
  EXPECT_EQ(GetPackNumRecords(dst), 0u);
  EXPECT_EQ(dst.header.numRecords, 0);

  src.Append(std::vector<uint8_t>{9, 9, 9, 9});
  src.Append(std::vector<uint8_t>{8, 8});
  src.header.isNew = 0;
  ASSERT_EQ(CopyPack(dst, src), 1);
  EXPECT_EQ(GetPackNumRecords(dst), 2u);
  EXPECT_EQ(dst.header.isNew, 1);
  EXPECT_EQ(dst.header.codeProj, 315);
  EXPECT_EQ(dst.Item(2)[2], 0);  // short items are zero-padded

  PackHeader a = SampleHeader();
  PackHeader b = SampleHeader();
  b.fwDevRevision = 'Z';
  b.fwDay = 1;
  SetText(b.projVersion, "other");
  EXPECT_TRUE(CheckPackCompatibility(a, b));
  b.compVerFw = 'D';
  EXPECT_FALSE(CheckPackCompatibility(a, b));

  std::vector<std::size_t> order;
  EXPECT_EQ(ForEachRecordInPack(dst, false,
                                [&](std::size_t i, std::span<uint8_t>) {
                                  order.push_back(i);
                                  return 1;
                                }),
            1);
  EXPECT_EQ(order, (std::vector<std::size_t>{2, 1}));
  order.clear();
  EXPECT_EQ(ForEachRecordInPack(dst, true,
                                [&](std::size_t i, std::span<uint8_t>) {
                                  order.push_back(i);
                                  return -1;
                                }),
            1);
  EXPECT_EQ(order, (std::vector<std::size_t>{1}));
}

// ---- saving never destroys a good file ----------------------------------------------

TEST_F(TempDir, FailedSaveKeepsThePreviousFile) {
  StructPack pack = CreateStructPack();
  pack.header = SampleHeader();
  pack.records.assign(2, SampleRecord());
  ASSERT_TRUE(SaveStructPack(Path("keep.bin"), pack, true).ok());
  const auto before = Bytes(Path("keep.bin"));

  const auto saved = SaveFileAtomically(Path("keep.bin"), [](std::FILE* f) {
    std::fputs("half of a new file", f);
    return false;  // the writer fails half-way
  });
  EXPECT_FALSE(saved);
  EXPECT_EQ(saved.message(), "the content could not be written");
  EXPECT_EQ(Bytes(Path("keep.bin")), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2) << "temporary left behind";

  EXPECT_FALSE(SaveStructPack(Path("no_such_dir/x.bin"), pack, true).ok());
}

}  // namespace
}  // namespace tavomark
