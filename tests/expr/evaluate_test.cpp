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

class Grammar : public ::testing::TestWithParam<Expect> {};

TEST_P(Grammar, GroupsAndAssociatesLikeC) { test::ExpectOutcome(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndAssociation, Grammar,
    ::testing::Values(
        Expect{"1, 2, 3", kTypeInt, 3}, Expect{"2 - 3 - 4", kTypeInt, -5},
        Expect{"100 / 10 / 5", kTypeInt, 2}, Expect{"16 // 4 // 2", kTypeInt, 2},
        Expect{"2 * 3 % 4", kTypeInt, 2}, Expect{"2 + 3 * 4", kTypeInt, 14},
        Expect{"(2 + 3) * 4", kTypeInt, 20}, Expect{"1 << 2 + 1", kTypeInt, 8},
        Expect{"1 | 2 ^ 3 & 1", kTypeInt, 3}, Expect{"5 & 3 == 3", kTypeInt, 1},
        Expect{"1 < 2 == 1", kTypeInt, 1}, Expect{"3 > 2 > 1", kTypeInt, 0},
        Expect{"1 || 0 && 0", kTypeInt, 1}, Expect{"- - 4", kTypeInt, 4},
        Expect{"-2 * -3", kTypeInt, 6}, Expect{"!0 + ~0", kTypeInt, 0},
        Expect{"+2.5", kTypeFloat, 2.5}, Expect{"-(1, 2)", kTypeInt, -2},
        // the conditional: right-associative, comma lists in the middle
        Expect{"1 ? 2 : 3", kTypeInt, 2}, Expect{"1 ? 2 : 0 ? 3 : 4", kTypeInt, 2},
        Expect{"0 ? 2 : 0 ? 3 : 4", kTypeInt, 4}, Expect{"1 ? 1, 2 : 3", kTypeInt, 2},
        Expect{"0 ? 1, 2 : 3", kTypeInt, 3}, Expect{"1 ? 2.5 : 3", kTypeFloat, 2.5},
        Expect{"0 ? 2.5 : 3", kTypeInt, 3},
        // calls: a bracketed comma list is one argument; PI() is a call
        Expect{"max((1, 7), 3)", kTypeInt, 7}, Expect{"max( 2 , pow(2, 3) )", kTypeInt, 8},
        Expect{"PI", kTypeFloat, 3.141592653589793},
        Expect{"PI ()", kTypeInt, 0, "unknown function identifier 'PI'"},
        // every operand is evaluated: errors of unselected branches count
        Expect{"0 ? 1/0 : 5", kTypeInt, 5, "division by zero"},
        Expect{"1 || 1/0", kTypeInt, 1, "division by zero"},
        Expect{"0 && 1 % 0", kTypeInt, 0, "mod by zero"},
        Expect{"max(1,2,3,4,5,6,7,8,9)", kTypeInt, 0, "function 'max' does not take 9 arguments"},
        // a failed operand counts as integer 0
        Expect{"1 + foo", kTypeInt, 1, "unknown identifier 'foo'"},
        Expect{"2 * (3", kTypeInt, 6, "unmatched parenthesis '('"},
        Expect{"1 +", kTypeInt, 1, "unexpected end of input"}));

TEST(Evaluate, ReturnsFalseOnlyWhenTextIsLeftOver) {
  struct Case {
    const char* text;
    bool read;
    const char* message;
  };
  const Case cases[] = {
      {"1 2", false, "unexpected token '2'"},
      {"1)", false, "unexpected token ')'"},
      {"(1", true, "unmatched parenthesis '('"},
      {"1 +", true, "unexpected end of input"},
      // a missing ':' is reported, then the last operand is missing too
      {"1 ? 2", true, "unexpected end of input"},
      {"1 ? 2 3", true, "unexpected end of input"},
      {"max(1 2)", false, "unexpected token ')'"},
      {"", true, "unexpected end of input"},
      {"*", true, "unexpected token '*'"},
  };
  for (const Case& c : cases) {
    const test::Outcome out = test::Eval(c.text);
    EXPECT_EQ(out.read, c.read) << c.text;
    EXPECT_EQ(out.flag, 1) << c.text;
    EXPECT_EQ(out.message, c.message) << c.text;
  }
}

TEST(Evaluate, EmptyTextLeavesTheCallersResultAlone) {
  Options options{};
  set_options(options);
  Value result = test::Float(2.5);
  EXPECT_TRUE(evaluate("  ", result, options));
  EXPECT_EQ(result.type, kTypeFloat);
  EXPECT_EQ(result.d, 2.5);
}

TEST(Evaluate, DeepNestingFailsCleanlyInsteadOfOverflowingTheStack) {
  const int shallow = 100;
  const test::Outcome ok =
      test::Eval(std::string(shallow, '(') + "7" + std::string(shallow, ')'));
  EXPECT_TRUE(ok.read);
  EXPECT_EQ(ok.flag, 0);
  EXPECT_EQ(ok.value.i, 7);

  const int deep = 200000;
  for (const std::string& text :
       {std::string(deep, '(') + "1" + std::string(deep, ')'), std::string(deep, '-') + "1",
        std::string(deep, '!') + "1", [] {
          std::string chain;
          for (int i = 0; i < deep / 4; ++i) chain += "1?1:";
          return chain + "1";
        }()}) {
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
  clear_error();
  EXPECT_EQ(error_flag(), 0);
}

// ---- entry points ---------------------------------------------------------------

TEST(ProcessExpression, DeliversSinglePrecisionEvenAfterSurvivableErrors) {
  struct Case {
    const char* text;
    float expected;
  };
  const Case cases[] = {
      {"1/4", 0.25f},
      {"1/3", 1.0f / 3.0f},
      {"", 0.0f},
      {"0.0 > 0 ? 100/0.0 : 7", 7.0f},
      {"0 > 0 ? 100/0 : 7", 7.0f},
      {"1 + foo", 1.0f},
      {"1e300", HUGE_VALF},
      {"-1e300", -HUGE_VALF},
      {"INT_MAX", 2147483648.0f},
  };
  for (const Case& c : cases) {
    float out = -99.0f;
    EXPECT_EQ(process_expression(c.text, &out), 1) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
  }
}

TEST(ProcessExpression, FailsWithoutWritingWhenTextIsLeftOver) {
  for (const char* text : {"1 2", "1)", "1 # 2", "a = 1"}) {
    float out = -99.0f;
    EXPECT_EQ(process_expression(text, &out), 0) << text;
    EXPECT_EQ(out, -99.0f) << text;
  }
  float out = 0.0f;
  EXPECT_EQ(process_expression(nullptr, &out), 0);
  EXPECT_EQ(process_expression("1", nullptr), 0);
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
  struct Case {
    const char* text;
    int ok;
    int32_t expected;
  };
  const Case cases[] = {
      {"4*8", 1, 32},          {"0x10", 1, 16},  {"7/2", 1, 3},    {"-7/2", 1, -3},
      {"1e10", 1, INT_MAX},    {"-1e10", 1, INT_MIN},
      {"1/0", 0, -99},         {"(2", 0, -99},   {"1 2", 0, -99},  {"08", 0, -99},
      {"0 ? 1 % 0 : 4", 0, -99}, {"", 0, -99},
  };
  for (const Case& c : cases) {
    int32_t out = -99;
    EXPECT_EQ(process_expression_int(c.text, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
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
