// The grammar (precedence, association, no short-circuit), what evaluate
// returns and raises, and the two entry points' success rules.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <thread>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

using test::Expect;
constexpr int32_t kI = kTypeInt;

class Grammar : public ::testing::TestWithParam<Expect> {};

TEST_P(Grammar, GroupsAndAssociatesLikeC) { test::ExpectOutcome(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndAssociation, Grammar,
    ::testing::Values(
        Expect{"1, 2, 3", kI, 3}, Expect{"2 - 3 - 4", kI, -5}, Expect{"100 / 10 / 5", kI, 2},
        Expect{"16 // 4 // 2", kI, 2}, Expect{"2 * 3 % 4", kI, 2}, Expect{"2 + 3 * 4", kI, 14},
        Expect{"(2 + 3) * 4", kI, 20}, Expect{"1 << 2 + 1", kI, 8},
        Expect{"1 | 2 ^ 3 & 1", kI, 3}, Expect{"5 & 3 == 3", kI, 1},
        Expect{"1 < 2 == 1", kI, 1}, Expect{"3 > 2 > 1", kI, 0}, Expect{"1 || 0 && 0", kI, 1},
        Expect{"- - 4", kI, 4}, Expect{"!0 + ~0", kI, 0}, Expect{"+2.5", kTypeFloat, 2.5},
        Expect{"-(1, 2)", kI, -2},
        // the conditional: right-associative, comma lists in the middle, type kept
        Expect{"1 ? 2 : 0 ? 3 : 4", kI, 2}, Expect{"0 ? 2 : 0 ? 3 : 4", kI, 4},
        Expect{"1 ? 1, 2 : 3", kI, 2}, Expect{"1 ? 2.5 : 3", kTypeFloat, 2.5},
        // calls: a bracketed comma list is one argument; PI() is a call
        Expect{"max((1, 7), 3)", kI, 7}, Expect{"PI", kTypeFloat, 3.141592653589793},
        Expect{"PI ()", kI, 0, "unknown function identifier 'PI'"},
        Expect{"max(1,2,3,4,5,6,7,8,9)", kI, 0, "function 'max' does not take 9 arguments"},
        // every operand is evaluated: errors of unselected branches count
        Expect{"0 ? 1/0 : 5", kI, 5, "division by zero"},
        Expect{"1 || 1/0", kI, 1, "division by zero"},
        Expect{"0 && 1 % 0", kI, 0, "mod by zero"},
        // a failed operand counts as integer 0
        Expect{"1 + foo", kI, 1, "unknown identifier 'foo'"},
        Expect{"2 * (3", kI, 6, "unmatched parenthesis '('"}));

TEST(Evaluate, ReturnsFalseOnlyWhenTextIsLeftOver) {
  struct Case {
    const char* text;
    bool read;
    const char* message;
  };
  const Case cases[] = {
      {"1 2", false, "unexpected token '2'"},
      {"1)", false, "unexpected token ')'"},
      {"max(1 2)", false, "unexpected token ')'"},
      {"(1", true, "unmatched parenthesis '('"},
      {"1 +", true, "unexpected end of input"},
      {"*", true, "unexpected token '*'"},
      {"", true, "unexpected end of input"},
      // a missing ':' is reported, then the missing last operand
      {"1 ? 2 3", true, "unexpected end of input"},
  };
  for (const Case& c : cases) {
    const test::Outcome out = test::Eval(c.text);
    EXPECT_EQ(out.read, c.read) << c.text;
    EXPECT_EQ(out.flag, 1) << c.text;
    EXPECT_EQ(out.message, c.message) << c.text;
  }
}

TEST(Evaluate, DeepNestingFailsCleanlyInsteadOfOverflowingTheStack) {
  EXPECT_EQ(test::Eval(std::string(100, '(') + "7" + std::string(100, ')')).value.i, 7);
  std::string chain;
  for (int i = 0; i < 50000; ++i) chain += "1?1:";
  for (const std::string& text : {std::string(200000, '(') + "1", std::string(200000, '-') + "1",
                                  chain + "1"}) {
    const test::Outcome out = test::Eval(text);
    EXPECT_FALSE(out.read);
    EXPECT_EQ(out.flag, 1);
  }
}

TEST(ErrorFlag, BelongsToTheThreadThatRaisedIt) {
  clear_error();
  std::thread other([] { raise_error(kErrorEvaluation, "elsewhere"); });
  other.join();
  EXPECT_EQ(error_flag(), 0);
  raise_error(kErrorMemory, "here %d", 2);
  EXPECT_EQ(error_flag(), kErrorMemory);
  EXPECT_STREQ(last_error_message(), "here 2");
}

// ---- entry points ---------------------------------------------------------------

TEST(ProcessExpression, DeliversSinglePrecisionEvenAfterSurvivableErrors) {
  const std::pair<const char*, float> cases[] = {
      {"1/4", 0.25f},  {"1/3", 1.0f / 3.0f},  {"", 0.0f},
      {"0.0 > 0 ? 100/0.0 : 7", 7.0f},        {"0 > 0 ? 100/0 : 7", 7.0f},
      {"1 + foo", 1.0f}, {"1e300", HUGE_VALF}, {"-1e300", -HUGE_VALF}};
  for (const auto& [text, expected] : cases) {
    float out = -99.0f;
    EXPECT_EQ(process_expression(text, &out), 1) << text;
    EXPECT_EQ(out, expected) << text;
  }
  for (const char* text : {"1 2", "1)", "1 # 2", "a = 1"}) {
    float out = -99.0f;
    EXPECT_EQ(process_expression(text, &out), 0) << text;
    EXPECT_EQ(out, -99.0f) << text;
  }
}

TEST(ProcessExpression, NeitherClearsNorReadsTheErrorFlag) {
  clear_error();
  raise_error(kErrorEvaluation, "earlier");
  float out = 0.0f;
  EXPECT_EQ(process_expression("2", &out), 1);
  EXPECT_EQ(out, 2.0f);
  EXPECT_EQ(error_flag(), 1);
}

TEST(ProcessExpressionInt, SucceedsOnlyWithoutAnyError) {
  const std::pair<const char*, int32_t> good[] = {
      {"4*8", 32}, {"0x10", 16}, {"7/2", 3}, {"-7/2", -3}, {"1e10", INT_MAX}, {"-1e10", INT_MIN}};
  for (const auto& [text, expected] : good) {
    int32_t out = -99;
    EXPECT_EQ(process_expression_int(text, &out), 1) << text;
    EXPECT_EQ(out, expected) << text;
  }
  for (const char* text : {"1/0", "(2", "1 2", "08", "0 ? 1 % 0 : 4", ""}) {
    int32_t out = -99;
    EXPECT_EQ(process_expression_int(text, &out), 0) << text;
    EXPECT_EQ(out, -99) << text;
  }
}

TEST(ProcessExpressionInt, ClearsAnErrorLeftByAnEarlierCall) {
  float single = 0.0f;
  EXPECT_EQ(process_expression("1/0", &single), 1);
  ASSERT_NE(error_flag(), 0);
  int32_t out = 0;
  EXPECT_EQ(process_expression_int("2", &out), 1);
  EXPECT_EQ(out, 2);
}

}  // namespace
}  // namespace tavomark::expr
