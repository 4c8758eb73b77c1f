#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "declaration_parser.h"

namespace tavomark {
namespace {

// The parser over hand-made dictionaries, as the reader would have filled them.
class ParserTest : public ::testing::Test {
 protected:
  ParserTest() {
    m_defines.InsertInOrder("NUM_T", "(2*2)", StringLen);
    m_defines.InsertInOrder("NUM", "3", StringLen);
    m_defines.InsertInOrder("LOOP", "(LOOP+1)", StringLen);
    m_defines.InsertInOrder("W_BITS", "(NUM+1)", StringLen);
    m_typedefs.InsertInOrder("MyType_t", "struct {U8 a;U16 b_dV;}", CmpString);
    m_typedefs.InsertInOrder("MyEnum_t", "enum {OFF, ON}", CmpString);
    m_typedefs.InsertInOrder("Self_t", "struct {Self_t s;}", CmpString);
  }
  // Parses "struct {body}root" at level 0, as the root of an import.
  bool Parse(const std::string& body) {
    m_records.clear();
    m_parser.SetParseLevel(0);
    bool error = false;
    const auto end = m_parser.ParseTypedef("struct {" + body + "}root", "ROOT", error);
    return end.has_value() && !error;
  }
  [[nodiscard]] std::string Names() const {
    std::string names;
    for (const Record& r : m_records) names += std::to_string(r.level) + ":" + r.varName + " ";
    return names;
  }
  // One record as "kind type bytes/bits [array] decimals unit sign": L=leaf S=struct U=union E=enum.
  [[nodiscard]] std::string Fields(std::size_t i) const {
    const Record& r = m_records.at(i);
    return std::string(1, "LSUE"[static_cast<int>(r.kind)]) + " " + r.varType + " " +
           std::to_string(r.byteSize) + "/" + std::to_string(r.bitSize) + " [" +
           std::to_string(r.arraySize) + "] " + std::to_string(r.decimals) + " " + r.unit +
           (r.isSigned ? " s" : " u");
  }

  ImportLog m_log;
  DoubleList m_defines;
  DoubleList m_typedefs;
  RecordList m_records;
  DeclarationParser m_parser{m_log, m_defines, m_typedefs, m_records};
};

TEST_F(ParserTest, BitFieldIsALeafWithItsWidth) {
  ASSERT_TRUE(Parse("U16 flags : 4;U16 mode : W_BITS;"));
  EXPECT_EQ(Names(), "0:root 1:flags 1:mode ");
  EXPECT_EQ(Fields(1), "L U16 2/4 [0] 0  u");
  EXPECT_EQ(m_records[2].bitSize, 4);  // a width written with defines is evaluated
  EXPECT_EQ(m_log.Text().find("0 VARTYPE ROOT STRUCT VARNAME root \n1 VARTYPE U16 BYTESIZE 2 UNSIGNED BITSIZE 4 "
                              "DECIMALS 0 UNIT \"\" VARNAME \"flags\"\n"),
            0u);
}

TEST_F(ParserTest, ArraySizedByDefineExpressionExpandsOneLevelDeeper) {
  ASSERT_TRUE(Parse("S16 Temp_dC[NUM_T];"));
  EXPECT_EQ(Names(), "0:root 1:Temp 2:Temp[0] 2:Temp[1] 2:Temp[2] 2:Temp[3] ");
  EXPECT_EQ(Fields(1).substr(0, 16), "S S16 2/0 [4] 1 ");
  EXPECT_EQ(std::string(m_records[1].unit), "C");
  EXPECT_EQ(Fields(5).substr(0, 2), "L ");
  EXPECT_EQ(m_records[5].isSigned, 1);
  EXPECT_NE(m_log.Text().find("ARRAYSIZE 4 DECIMALS 1 UNIT \"C\" VARNAME \"Temp\"\n2 ADD ARRAY ITEM 0 Temp\n"),
            std::string::npos);
}

TEST_F(ParserTest, ArraysOfStructuresBecomeOneBlockPerElement) {
  ASSERT_TRUE(Parse("MyType_t s[2];"));
  EXPECT_EQ(Names(), "0:root 1:s[0] 2:a 2:b 1:s[1] 2:a 2:b ");
  EXPECT_EQ(std::string(m_records[1].varType), "MyType_t");
  EXPECT_EQ(m_records[3].decimals, 1);
  EXPECT_EQ(std::string(m_records[3].unit), "V");
}

TEST_F(ParserTest, StructureArrayInAUnionKeepsItsElementsApart) {
  ASSERT_TRUE(Parse("union { MyType_t s[2]; U32 raw; } u;"));
  EXPECT_EQ(Names(), "0:root 1:u 2:s 3:s[0] 4:a 4:b 3:s[1] 4:a 4:b 2:raw ");
  EXPECT_EQ(m_records[2].arraySize, 2);
  CalcStructSize(m_records);
  EXPECT_EQ(m_records[6].offset, 3);  // s[1] follows s[0] instead of overlapping it
  EXPECT_EQ(m_records[1].byteSize, 6);
}

TEST_F(ParserTest, AnonymousUnionEnumFieldAndOneDeclaratorPerStatement) {
  ASSERT_TRUE(Parse("union { U16 w; U8 b[2]; } u; MyEnum_t Mode_x; MyEnum_t e[2]; U8 a, b;"));
  EXPECT_EQ(Names(), "0:root 1:u 2:w 2:b 3:b[0] 3:b[1] 1:Mode_x 1:Mode 1:e[0] 1:e[0] 1:e[1] 1:e[1] 1:a, ");
  EXPECT_EQ(Fields(1).substr(0, 2), "U ");  // no type name
  EXPECT_EQ(Fields(6).substr(0, 11), "E MyEnum_t ");
  EXPECT_EQ(m_records[7].byteSize, 2);
  EXPECT_EQ(std::string(m_records[7].unit), "x");
  EXPECT_TRUE(m_records[9].IsLeaf());
}

struct FailCase {
  const char* body;
  const char* logText;
};

class ParserFailures : public ParserTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(ParserFailures, FailTheStructureWithTheirLogLine) {
  EXPECT_FALSE(Parse(GetParam().body));
  EXPECT_NE(m_log.Text().find(GetParam().logText), std::string::npos) << m_log.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParserFailures,
    ::testing::Values(FailCase{"U8 buf[0];", "ARRAYSIZE buf[0]ERROR \n"},
                      FailCase{"U8 buf[NOPE];", "ARRAYSIZE buf[NOPE]ERROR \n"},
                      FailCase{"const U8 x;", "VARTYPE const UNDEFINED ERROR\n"},
                      FailCase{"U8 ;", "VARIABLE NAME ERROR "},
                      FailCase{"U8", "VARTYPE NOT FOUND ERROR "},
                      FailCase{"U8 x : 9;", "BITSIZE 9 ERROR \n"},
                      FailCase{"U8 big[LOOP];", "DEFINE SUBSTITUTION LIMIT EXCEEDED ERROR"},
                      FailCase{"Self_t s;", "NESTING DEEPER THAN 64 LEVELS ERROR"},
                      FailCase{"U8 many[70000];", "RECORD LIMIT OF 65535 EXCEEDED ERROR"},
                      FailCase{"enum Mode_t m; union { U8 a; } u;", "VARTYPE enum UNDEFINED ERROR\n"}));

struct SuffixCase {
  const char* name;
  const char* base;
  uint16_t decimals;
  const char* unit;
};

class ScaleAndUnitTable : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(ScaleAndUnitTable, SplitsAtTheLastUnderscore) {
  uint16_t decimals = 99;
  std::string unit = "old";
  EXPECT_EQ(ParseScaleAndUnit(GetParam().name, decimals, unit), GetParam().base);
  EXPECT_EQ(decimals, GetParam().decimals);
  EXPECT_EQ(unit, GetParam().unit);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScaleAndUnitTable,
                         ::testing::Values(SuffixCase{"Volt_cV", "Volt", 2, "V"}, SuffixCase{"T_dC", "T", 1, "C"},
                                           SuffixCase{"Time_ms", "Time", 3, "s"},
                                           SuffixCase{"Motor_Speed", "Motor", 0, "Speed"},
                                           SuffixCase{"Max_cnt", "Max", 2, "nt"}, SuffixCase{"a_b_x", "a_b", 0, "x"},
                                           SuffixCase{"End_", "End", 0, ""}, SuffixCase{"_hidden", "_hidden", 0, ""},
                                           SuffixCase{"plain", "plain", 0, ""}));

TEST(RemoveCast, DropsOnlyALeadingCast) {
  EXPECT_EQ(RemoveCast("(U8)1"), "1");
  EXPECT_EQ(RemoveCast("((U8)1)"), "((U8)1)");
  EXPECT_EQ(RemoveCast("(1)"), "(1)");  // a value in parentheses is not a cast
  EXPECT_EQ(RemoveCast("1)"), "1)");
  EXPECT_EQ(RemoveCast("(U8)(1)"), "(1)");
  EXPECT_EQ(RemoveCast("'B'"), "'B'");
}

}  // namespace
}  // namespace tavomark
