#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "import_test_util.h"

namespace tavomark {
namespace {

using test::ImportText;
using test::TempTree;

const char* const kStruct = "typedef struct {\n  U16 speed_dHz;\n  U8 mode;\n} Demo_t;\n";

struct IdentityCase {
  const char* defines;
  uint8_t bigEndianMode;
  uint8_t swapDataBlock;
  char compVerFw;
  char compVerPar;
  char compVerCalib;
  const char* logText;
};

class IdentityDefaults : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityDefaults, FillTheHeader) {
  const IdentityCase& c = GetParam();
  TempTree tree;
  const auto imported = ImportText(tree, std::string(c.defines) + kStruct, "Demo_t");
  ASSERT_TRUE(imported.ok) << imported.report.log;
  const PackHeader& h = imported.pack.pack.header;
  EXPECT_EQ(h.bigEndianMode, c.bigEndianMode);
  EXPECT_EQ(h.swapDataBlock, c.swapDataBlock);
  EXPECT_EQ(h.compVerFw, c.compVerFw);
  EXPECT_EQ(imported.pack.compVerPar, c.compVerPar);
  EXPECT_EQ(imported.pack.compVerCalib, c.compVerCalib);
  EXPECT_NE(imported.report.log.find(c.logText), std::string::npos) << imported.report.log;
  EXPECT_TRUE(imported.report.dumpSaved);  // no version: the dump is the bare "_log.txt"
  EXPECT_TRUE(std::filesystem::exists(tree.Root() / "_log.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentityDefaults,
    ::testing::Values(
        IdentityCase{"", 1, 1, ' ', ' ', ' ',
                     "\nDefnine BIG_ENDIAN_MODE not Found Error\n\nDefnine COMM_SWAP_DATA_BLOCK not Found Error\n"},
        IdentityCase{"#define BIG_ENDIAN_MODE (U8)1\n", 1, 0, ' ', ' ', ' ',
                     "\nDefnine COMM_SWAP_DATA_BLOCK not Found Error\n"},
        IdentityCase{"#define BIG_ENDIAN_MODE (0)\n#define COMM_SWAP_DATA_BLOCK nonsense(\n", 0, 1, ' ', ' ', ' ',
                     "\nDefine COMM_SWAP_DATA_BLOCK not Recognized Error\n"},
        IdentityCase{"#define ON 1\n#define BIG_ENDIAN_MODE ?\n#define COMM_SWAP_DATA_BLOCK (U8)(ON)\n", 1, 1, ' ', ' ',
                     ' ', "\nDefine BIG_ENDIAN_MODE not Recognized Error\n"},
        IdentityCase{"#define COMP_VER_PAR 'C'\n", 1, 1, 'C', 'C', 'C',
                     "\nDefnine COMP_VER_FW not Found\n\nOld Stile Compatibility version Recognized Warning\n"},
        IdentityCase{"#define COMP_VER_FW 'A'\n#define COMP_VER_PAR 'B'\n#define COMP_VER_CALIB (char)'D'\n", 1, 1,
                     'A', 'B', 'D', "\nPROCESSING Demo_t of  \n"}));

TEST(RetrieveFwPack, ReadsTheIdentityAndLaysOutALowerCaseRoot) {
  TempTree tree;
  const auto imported = ImportText(tree,
                                   "#define szPROJ_VERSION \"  FW0315 V1.02\"\n#define CODE_PROJ (U16)315\n"
                                   "#define FW_DEV_REVISION 'B'\n#define FW_DAY 17\n#define FW_YEAR 24\n" +
                                       std::string(kStruct),
                                   "Demo_t");
  ASSERT_TRUE(imported.ok);
  EXPECT_TRUE(imported.report.parsed);
  EXPECT_EQ(imported.name, "demo_t");
  const StructPack& pack = imported.pack.pack;
  // projVersion[18], numRecords, codeProj (little-endian), revisions, day, month, year;
  // a missing revision is a space, a missing month is left as it was.
  const uint8_t expected[] = {'F', 'W', '0', '3', '1', '5', ' ', 'V', '1', '.', '0', '2', 0, 0, 0, 0, 0, 0,
                              3, 0, 0x3B, 0x01, 'B', ' ', 17, 0, 24};
  const auto* bytes = reinterpret_cast<const uint8_t*>(&pack.header);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + sizeof expected),
            std::vector<uint8_t>(std::begin(expected), std::end(expected)));
  ASSERT_EQ(pack.records.size(), 3u);
  EXPECT_STREQ(pack.records[0].varName, "demo_t");
  EXPECT_STREQ(pack.records[0].varType, "ROOT");
  EXPECT_EQ(pack.records[0].byteSize, 3);
  EXPECT_EQ(pack.records[2].offset, 2);
  EXPECT_DOUBLE_EQ(pack.records[1].maxValue, 6553.5);
  EXPECT_NE(imported.report.log.find("\nPROCESS STRUCT demo_t OK\n"), std::string::npos);
  EXPECT_EQ(tree.Read("log.txt"), imported.report.log);
  EXPECT_NE(tree.Read("FW0315 V1.02_log.txt").find("demo_t"), std::string::npos);
}

TEST(RetrieveFwPack, MissingStructureOrHeaderFails) {
  TempTree tree;
  auto imported = ImportText(tree, kStruct, "DEMO_T");
  EXPECT_FALSE(imported.ok);
  EXPECT_NE(imported.report.log.find("STRUTTURA 'DEMO_T' NON TROVATA\n"), std::string::npos);
  EXPECT_EQ(imported.error, "no structure DEMO_T in " + (tree.Root() / "main.h").string() +
                                " or the headers it includes");

  FwImportPack pack;
  FwImportReport report;
  std::string name = "Demo_t";
  const auto missing = tree.Root() / "none.h";
  const auto failed = RetrieveFwPack(missing, name, pack, report, tree.Root());
  EXPECT_FALSE(failed);
  EXPECT_EQ(report.log, "\nFILE " + missing.string() + " NOT FOUND \nSTRUTTURA 'Demo_t' NON TROVATA\n");
  // The main header that could not be read is named with the system's reason.
  EXPECT_NE(failed.message().find("(cannot open " + missing.string() + ": No such file or directory)"),
            std::string::npos)
      << failed.message();
  EXPECT_TRUE(report.logSaved);
}

TEST(RetrieveFwPack, FailedParseKeepsThePartialRecords) {
  TempTree tree;
  const auto imported =
      ImportText(tree, "typedef struct { U8 a; U8 buf[0]; U8 c; } Bad_t;\n#define szPROJ_VERSION \"a/b\"\n", "Bad_t");
  ASSERT_TRUE(imported.ok);
  EXPECT_FALSE(imported.report.parsed);
  EXPECT_EQ(imported.pack.pack.records.size(), 3u);
  EXPECT_NE(imported.report.log.find("\nPROCESS STRUCT bad_t ERROR\n"), std::string::npos);
  EXPECT_EQ(imported.report.dumpPath.filename(), "a_b_log.txt");  // never a path into another folder
}

}  // namespace
}  // namespace tavomark
