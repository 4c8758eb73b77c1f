#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config_editor.h"
#include "import_test_util.h"
#include "value_set.h"

namespace tavomark {
namespace {

using test::ImportText;
using test::TempTree;

const char* const kFirmware =
    "#define COMP_VER_FW 'F'\n#define COMP_VER_PAR 'P'\n#define COMP_VER_PRODINFO 'I'\n#define COMP_VER_CALIB 'K'\n"
    "typedef struct { U16 gain_c; U8 mode; } Par_t;\n"
    "typedef struct { struct { U8 level_d; } a; U8 level_d; } Cal_t;\n"
    "typedef struct { Par_t par; Cal_t cal; struct { U8 x; } mon; U8 lone; } All_t;\n";

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_imported = ImportText(m_tree, kFirmware, "All_t");
    ASSERT_TRUE(m_imported.ok && m_imported.report.parsed) << m_imported.report.log;
  }
  [[nodiscard]] std::size_t At(const char* path) const { return FindRecordByPath(m_imported.pack.pack, path); }

  TempTree m_tree;
  test::Imported m_imported;
  ConfigSet m_set = CreateConfigSet();
};

TEST_F(EditorTest, SelectCopiesTheContainerWithTheTabsLetter) {
  ASSERT_EQ(At("par"), 2u);
  const struct {
    Block block;
    const char* path;
    char letter;
    int packIndex;
  } cases[] = {{Block::Parameters, "par", 'P', 0},
               {Block::Information, "par", 'I', 1},
               {Block::Calibration, "cal", 'K', 2},
               {Block::Monitor, "mon", 'F', 3}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Select(m_set, c.block, m_imported.pack, At(c.path))) << c.path;
    const StructPack& pack = GetTabIndexedStruct(m_set, c.block);
    EXPECT_EQ(pack.header.compVerFw, c.letter) << c.packIndex;
    EXPECT_EQ(pack.header.packIndex, c.packIndex);
    EXPECT_EQ(pack.header.isChanged, 1);
    EXPECT_STREQ(pack.records[0].varName, c.path);
    EXPECT_EQ(pack.records[0].offset, 0);
    EXPECT_EQ(pack.records[0].level, 0);
  }
  EXPECT_EQ(m_set.calib.records.size(), 4u);
  EXPECT_EQ(m_set.calib.records[3].offset, 1);  // re-based: cal starts at byte 3 of the import
}

TEST_F(EditorTest, SelectIgnoresLeavesAndBadPositions) {
  ASSERT_TRUE(Select(m_set, Block::Parameters, m_imported.pack, At("par")));
  EXPECT_FALSE(Select(m_set, Block::Parameters, m_imported.pack, At("lone")));
  EXPECT_FALSE(Select(m_set, Block::Parameters, m_imported.pack, 0));
  EXPECT_STREQ(m_set.param.records[0].varName, "par");
  EXPECT_EQ(At("par.nothing"), 0u);
  EXPECT_EQ(At("cal.a.level"), 7u);
}

TEST_F(EditorTest, CheckParentsNameComparesTheChainUpToARoot) {
  ASSERT_TRUE(Select(m_set, Block::Calibration, m_imported.pack, At("cal")));
  const StructPack& all = m_imported.pack.pack;
  // cal.level against the sub-struct's own level: the copy's root ends the chain.
  EXPECT_TRUE(CheckParentsName(m_set.calib, 4, all, At("cal.level")));
  EXPECT_FALSE(CheckParentsName(m_set.calib, 3, all, At("cal.level")));  // a.level: father a != cal
  EXPECT_FALSE(CheckParentsName(m_set.calib, 99, all, 1));
}

TEST_F(EditorTest, CopyValByNameTakesMatchingLeavesOnly) {
  ASSERT_TRUE(Select(m_set, Block::Calibration, m_imported.pack, At("cal")));
  StructPack source = m_set.calib;
  source.records[2].value = 1.5;  // a.level
  source.records[2].maxValue = 9.0;
  source.records[3].value = 2.5;  // level
  StructPack renamed = source;
  std::strcpy(renamed.records[1].varName, "b");  // a -> b: a.level no longer matches
  m_set.calib.records[2].value = 7.0;
  EXPECT_TRUE(CopyValByName(m_set.calib, renamed));
  EXPECT_DOUBLE_EQ(m_set.calib.records[2].value, 7.0);
  EXPECT_DOUBLE_EQ(m_set.calib.records[3].value, 2.5);
  EXPECT_TRUE(CopyValByName(m_set.calib, source));
  EXPECT_DOUBLE_EQ(m_set.calib.records[2].value, 1.5);
  EXPECT_DOUBLE_EQ(m_set.calib.records[2].maxValue, 9.0);
}

TEST_F(EditorTest, CopyValByPosSkipsContainers) {
  ASSERT_TRUE(Select(m_set, Block::Parameters, m_imported.pack, At("par")));
  Pack values = CreateValToSendPack(m_set.param);
  SetItemValue(values.Item(1), 11.0f);  // the container: ignored
  SetItemValue(values.Item(2), 1.25f);
  SetItemValue(values.Item(3), 3.0f);
  EXPECT_TRUE(CopyValByPos(values, m_set.param));
  EXPECT_DOUBLE_EQ(m_set.param.records[0].value, 0.0);
  EXPECT_DOUBLE_EQ(m_set.param.records[1].value, 1.25);
  EXPECT_DOUBLE_EQ(m_set.param.records[2].value, 3.0);
}

TEST(GatherCell, LimitsToTheTypesRange) {
  Record r;
  std::strcpy(r.varType, "U8");
  r.byteSize = 1;
  r.decimals = 2;
  r.value = 1.0;
  r.maxValue = 2.55;
  EXPECT_TRUE(GatherCellEditTree(r, "9", "-4", "2.56"));
  EXPECT_DOUBLE_EQ(r.maxValue, 2.55);
  EXPECT_DOUBLE_EQ(r.minValue, 0.0);
  EXPECT_DOUBLE_EQ(r.value, 2.55);
  EXPECT_FALSE(GatherCellValue(r, "abc"));
  EXPECT_FALSE(GatherCellValue(r, "nan"));
  const auto text = GatherCellValue(r, "2.5x", "DefVal");  // a number followed by text
  EXPECT_EQ(text.message(), "DefVal: \"2.5x\" is not a number");
  EXPECT_FALSE(GatherCellEditTree(r, "1", "0", "2.5x"));
  EXPECT_DOUBLE_EQ(r.value, 2.55);  // text that is no number changes nothing
}

}  // namespace
}  // namespace tavomark
