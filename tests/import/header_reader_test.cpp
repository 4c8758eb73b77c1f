#include <gtest/gtest.h>

#include <string>

#include "header_reader.h"
#include "import_test_util.h"

namespace tavomark {
namespace {

using test::TempTree;

struct CommentCase {
  const char* line;
  bool openBefore;
  const char* expected;
  bool openAfter;
};

class RemoveCommentTable : public ::testing::TestWithParam<CommentCase> {};

TEST_P(RemoveCommentTable, StripsUntilFinished) {
  const CommentCase& c = GetParam();
  std::string line = c.line;
  bool open = c.openBefore;
  while (!RemoveComment(line, open)) {
  }
  EXPECT_EQ(line, c.expected);
  EXPECT_EQ(open, c.openAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveCommentTable,
    ::testing::Values(CommentCase{"/* a */ U8 x; // b", false, " U8 x; ", false},
                      CommentCase{"x // see /* y", false, "x ", false},
                      CommentCase{"U8 a; /* open", false, "U8 a; ", true},
                      CommentCase{"still inside", true, "", true},
                      CommentCase{"end */ U8 b;", true, " U8 b;", false},
                      CommentCase{"a/**/b/* c */d", false, "abd", false},
                      CommentCase{"s = \"//x\";", false, "s = \"", false}));  // quotes are not special

class ReaderTest : public ::testing::Test {
 protected:
  bool Compile(const std::string& main = "main.h") { return m_reader.CompileFile(m_tree.Root() / main); }
  [[nodiscard]] std::string Define(const char* name) const {
    const std::string_view* v = m_defines.BinSearch(name, StringLen);
    return v ? std::string(*v) : "<none>";
  }
  [[nodiscard]] std::string Typedef(const char* name) const {
    const std::string_view* v = m_typedefs.BinSearch(name, CmpString);
    return v ? std::string(*v) : "<none>";
  }

  TempTree m_tree;
  ImportLog m_log;
  DoubleList m_defines;
  DoubleList m_typedefs;
  HeaderReader m_reader{m_log, m_defines, m_typedefs};
};

TEST_F(ReaderTest, TypedefSplitAcrossLinesJoinsWithoutSeparator) {
  m_tree.Write("main.h",
               "typedef struct\n{\n  U8 a; /* first\n  still comment */ U16 b;\n} My Type ; U8 lost;\n"
               "typedef struct Fwd Fwd_t;\ntypedef unsigned char BYTE;\n#define AFTER 1\n");
  ASSERT_TRUE(Compile());
  EXPECT_EQ(Typedef("MyType"), "struct{  U8 a;  U16 b;}");
  EXPECT_EQ(Typedef("BYTE"), "<none>");
  EXPECT_EQ(m_typedefs.NumItems(), 1u);
  EXPECT_EQ(Define("AFTER"), "1");
  EXPECT_NE(m_log.Text().find("STRUCT  MyType struct{  U8 a;  U16 b;}\n"), std::string::npos);
}

TEST_F(ReaderTest, BlockCommentOpenAtEndOfFileDoesNotSwallowTheNextFile) {
  m_tree.Write("main.h", "#include \"b.h\"\n/* never closed\n");
  m_tree.Write("b.h", "#define B_VALUE 7\n");
  ASSERT_TRUE(Compile());
  EXPECT_EQ(Define("B_VALUE"), "7");
}

TEST_F(ReaderTest, DefineCaptureRules) {
  m_tree.Write("main.h",
               "#define MAX(a,b) a\n#define EMPTY\n#define N (4)\n#define\tTAB_D  x y  \n"
               "  #define LATE 2 // note\n");
  ASSERT_TRUE(Compile());
  EXPECT_EQ(Define("MAX(a,b)"), "<none>");
  EXPECT_EQ(Define("EMPTY"), "<none>");
  EXPECT_EQ(Define("N"), "(4)");
  EXPECT_EQ(Define("TAB_D"), "x y  ");
  EXPECT_EQ(Define("LATE"), "2 ");
  EXPECT_EQ(m_defines.NumItems(), 3u);
  EXPECT_NE(m_log.Text().find("DEFINE N (4)\n"), std::string::npos);
}

TEST_F(ReaderTest, TypedefFailuresStopTheImport) {
  m_tree.Write("main.h", "typedef unsigned char\n  BYTE;\n");
  EXPECT_FALSE(Compile());
  m_tree.Write("stray.h", "typedef struct\n} x;\n");
  EXPECT_FALSE(Compile("stray.h"));
  EXPECT_NE(m_log.Text().find("STRUCT STATEMENT ERROR"), std::string::npos);
  m_tree.Write("noname.h", "typedef struct { U8 a; } x\n");
  EXPECT_FALSE(Compile("noname.h"));
  EXPECT_NE(m_log.Text().find("STRUCT NAME NOT FOUND"), std::string::npos);
}

TEST_F(ReaderTest, IncludesResolveBreadthFirstOnceInAnyCase) {
  m_tree.Write("main.h", "#include \"sub\\a.h\"\n#include <stdint.h>\n#include \"SUB/A.H\"\n#include \"c.h\"\n");
  m_tree.Write("sub/a.h", "#include \"b.h\"\n#define A 1\n#include \"Common.h\"\n");
  m_tree.Write("sub/b.h", "#define B 2\n");  // next to the including file
  m_tree.Write("c.h", "#include \"sub/B.h\"\n#include \"missing.h\"\n");
  m_tree.Write("common.h", "#define COMMON 1\n");  // found in the main directory, in another case
  ASSERT_TRUE(Compile());
  const std::string root = m_tree.Root().string();
  const std::vector<std::string> expected = {root + "/main.h", root + "/sub/a.h", root + "/c.h", root + "/sub/b.h",
                                             root + "/common.h", root + "/missing.h"};
  EXPECT_EQ(m_reader.Files(), expected);
  EXPECT_EQ(Define("B"), "2");
  EXPECT_EQ(Define("COMMON"), "1");
  const std::string& log = m_log.Text();
  EXPECT_NE(log.find("INCLUDE <sub/a.h>\n"), std::string::npos);
  EXPECT_NE(log.find("\nFILE " + root + "/missing.h NOT FOUND \n"), std::string::npos);
  EXPECT_EQ(log.find("stdint"), std::string::npos);
}

}  // namespace
}  // namespace tavomark
