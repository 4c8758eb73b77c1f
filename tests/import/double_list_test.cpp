#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double_list.h"

namespace tavomark {
namespace {

std::vector<std::string> Keys(const DoubleList& list) {
  std::vector<std::string> keys;
  for (std::size_t i = 1; i <= list.NumItems(); ++i) keys.emplace_back(list.GetItem(i)->key);
  return keys;
}

TEST(DoubleList, DefinesSortLongestFirstThenDescendingBytes) {
  DoubleList list;
  for (const char* key : {"A", "LEN", "LEN_MAX", "B", "ABC", "Z"}) list.InsertInOrder(key, "1", StringLen);
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"LEN_MAX", "LEN", "ABC", "Z", "B", "A"}));
}

TEST(DoubleList, TypedefsSortByBytesAndFindExactCase) {
  DoubleList list;
  for (const char* key : {"b_t", "A_t", "a_t"}) list.InsertInOrder(key, std::string("v") + key, CmpString);
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"A_t", "a_t", "b_t"}));
  ASSERT_NE(list.BinSearch("a_t", CmpString), nullptr);
  EXPECT_EQ(*list.BinSearch("a_t", CmpString), "va_t");
  EXPECT_EQ(list.BinSearch("B_t", CmpString), nullptr);
  EXPECT_EQ(list.GetItem(0), nullptr);
  EXPECT_EQ(list.GetItem(4), nullptr);
}

TEST(DoubleList, TwiceDefinedNameFindsTheFirstRead) {
  DoubleList list;
  list.InsertInOrder("N", "4", StringLen);
  list.InsertInOrder("M", "1", StringLen);
  list.InsertInOrder("N", "8", StringLen);
  EXPECT_EQ(*list.BinSearch("N", StringLen), "4");
  std::string text = "N";
  EXPECT_EQ(list.SubstString(text), 1);
  EXPECT_EQ(text, "4");
}

TEST(CompareFunctions, IncludeNamesCompareWithoutCase) {
  EXPECT_EQ(NoCaseSensitiveCmpString("Sub/X.h", "sub/x.H"), 0);
  EXPECT_LT(NoCaseSensitiveCmpString("ab", "abc"), 0);
}

struct ReplaceCase {
  const char* text;
  const char* find;
  const char* replacement;
  const char* expected;
  bool replaced;
};

class ReplaceStrTable : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceStrTable, ReplacesPlainSubstrings) {
  const ReplaceCase& c = GetParam();
  std::string text = c.text;
  EXPECT_EQ(ReplaceStr(text, c.find, c.replacement), c.replaced);
  EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceStrTable,
    ::testing::Values(ReplaceCase{"BAR", "A", "(2)", "B(2)R", true},  // not whole identifiers
                      ReplaceCase{"N*N+1", "N", "4", "4*4+1", true},
                      ReplaceCase{"X", "X", "X", "X", false},       // equal texts: nothing
                      ReplaceCase{"none", "Q", "1", "none", false},
                      // The search goes on from the inserted text: "xA"+"B" forms AB again.
                      ReplaceCase{"ABB", "AB", "xA", "xxA", true},
                      // A replacement holding its own name is not searched again.
                      ReplaceCase{"A+A", "A", "(A+1)", "(A+1)+(A+1)", true}));

TEST(DefineSubstitution, LongerNameIsReplacedBeforeItsPrefix) {
  DoubleList list;
  list.InsertInOrder("LEN", "2", StringLen);
  list.InsertInOrder("LEN_MAX", "(LEN*4)", StringLen);
  std::string text = "LEN_MAX+LEN";
  EXPECT_EQ(list.SubstString(text), 2);
  EXPECT_EQ(text, "(2*4)+2");
}

TEST(DefineSubstitution, SelfReferenceAndDoublingChainsStopAtTheLimit) {
  DoubleList loop;
  loop.InsertInOrder("Da0", "(B+1)", StringLen);
  loop.InsertInOrder("B", "(Da0+1)", StringLen);
  DoubleList doubling;  // each name doubles the text: 40 levels would need a terabyte
  for (int i = 0; i < 40; ++i) {
    const std::string name = "D" + std::string(1, static_cast<char>('a' + i % 26)) + std::to_string(i);
    const std::string next = "D" + std::string(1, static_cast<char>('a' + (i + 1) % 26)) + std::to_string(i + 1);
    doubling.InsertInOrder(name, next + "+" + next, StringLen);
  }
  for (DoubleList* list : {&loop, &doubling}) {
    std::string text = "Da0";
    EXPECT_EQ(list->SubstString(text), kSubstLimitExceeded);
  }
}

// The list keeps its texts in blocks of its own: texts that fill a block, pass
// its end or are larger than one must all read back whole after the list has
// grown and been sorted.
TEST(DoubleList, TextsOfEverySizeReadBackAfterGrowing) {
  DoubleList list;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 3000; ++i) {
    const std::size_t length = i == 1500 ? 200000 : static_cast<std::size_t>(i % 97);
    entries.emplace_back("NAME_" + std::to_string(i * 7919 % 3001), std::string(length, static_cast<char>('a' + i % 26)));
  }
  for (const auto& [key, value] : entries) list.InsertInOrder(key, value, StringLen);
  for (const auto& [key, value] : entries) {
    const std::string_view* found = list.BinSearch(key, StringLen);
    ASSERT_NE(found, nullptr) << key;
    EXPECT_EQ(*found, value) << key;
  }
  list.Clear();
  EXPECT_EQ(list.NumItems(), 0u);
  EXPECT_EQ(list.BinSearch("NAME_0", StringLen), nullptr);
}

// A list in byte order substitutes in that order too: of two names found in
// the text the one earlier in the list goes first.
TEST(DefineSubstitution, ListInByteOrderReplacesInItsOwnOrder) {
  DoubleList list;
  list.InsertInOrder("B", "AX", CmpString);
  list.InsertInOrder("AX", "1", CmpString);
  list.InsertInOrder("A", "2", CmpString);
  std::string text = "B+AX";
  // "A" (first in byte order) turns "AX" into "2X" before "B" is replaced.
  EXPECT_EQ(list.SubstString(text), 3);
  EXPECT_EQ(text, "2X+2X");
}

}  // namespace
}  // namespace tavomark
