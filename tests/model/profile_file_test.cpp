// The INI reader shared by the calibration files and the settings: what it
// makes of the lines a hand-edited file may hold.

#include <gtest/gtest.h>

#include <string>

#include "profile_file.h"

namespace tavomark {
namespace {

TEST(ProfileFile, LinesOfAHandEditedFile) {
  ProfileFile file;
  const std::string longValue(300, 'x');
  file.LoadText(
      "\xEF\xBB\xBF"
      "orphan=before any section\r\n"
      "[Main]\r\n"
      "# a comment\r\n"
      "; another\r\n"
      "plain = a b c \r\n"
      "commented=value ; the rest is a comment\r\n"
      "semicolon=a;b\r\n"
      "no equals sign here\r\n"
      "   indented=own line\r\n"
      "long=" + longValue + "\r\n"
      "after=long\r\n"
      "[other]\r\n"
      "plain=other section\r\n"
      "[MAIN]\r\n"
      "late=second section of the same name\r\n");
  EXPECT_EQ(file.Find("main", "PLAIN"), "a b c");
  EXPECT_EQ(file.Find("Main", "commented"), "value");
  EXPECT_EQ(file.Find("Main", "semicolon"), "a;b");
  EXPECT_EQ(file.Find("Main", "indented"), "own line");
  EXPECT_EQ(file.Find("Main", "late"), "second section of the same name");
  EXPECT_EQ(file.Find("", "orphan"), "before any section");
  EXPECT_EQ(file.Find("Main", "orphan"), std::nullopt);
  // A line longer than the parser's buffer is cut; its rest is not a line.
  const std::optional<std::string> cut = file.Find("Main", "long");
  ASSERT_TRUE(cut.has_value());
  EXPECT_GE(cut->size(), 99u);
  EXPECT_EQ(*cut, longValue.substr(0, cut->size()));
  EXPECT_EQ(file.Find("Main", "after"), "long");
  EXPECT_EQ(file.Entries().size(), 9u);

  EXPECT_EQ(file.GetString("main", "plain", "def", 3), "a b");
  EXPECT_EQ(file.GetString("main", "missing", "default", 99), "default");
  EXPECT_EQ(file.GetInt("nosuch", "plain", 42), 42);
  EXPECT_EQ(file.GetInt("main", "plain", 42), 0);  // present, but no number
}

TEST(ProfileFile, MissingFileKeepsNothing) {
  ProfileFile file;
  file.LoadText("[a]\nb=c\n");
  EXPECT_FALSE(file.Load("/nonexistent/tavomark.cal"));
  EXPECT_TRUE(file.Entries().empty());
}

}  // namespace
}  // namespace tavomark
