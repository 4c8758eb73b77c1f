// The grammar (precedence, association, no short-circuit), what evaluate
// returns and raises, the two entry points' success rules and print_value.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

using test::Evaluates;
using test::Expect;
constexpr int32_t kI = kTypeInt;

const Expect kGrammar[] = {
    {"1, 2, 3", kI, 3}, {"2 - 3 - 4", kI, -5}, {"100 / 10 / 5", kI, 2}, {"16 // 4 // 2", kI, 2},
    {"2 * 3 % 4", kI, 2}, {"2 + 3 * 4", kI, 14}, {"(2 + 3) * 4", kI, 20}, {"1 << 2 + 1", kI, 8},
    {"1 | 2 ^ 3 & 1", kI, 3}, {"5 & 3 == 3", kI, 1}, {"1 < 2 == 1", kI, 1}, {"3 > 2 > 1", kI, 0},
    {"1 || 0 && 0", kI, 1}, {"- - 4", kI, 4}, {"!0 + ~0", kI, 0}, {"+2.5", kTypeFloat, 2.5},
    {"-(1, 2)", kI, -2},
    // the conditional: right-associative, comma lists in the middle, type kept
    {"1 ? 2 : 0 ? 3 : 4", kI, 2}, {"0 ? 2 : 0 ? 3 : 4", kI, 4}, {"1 ? 1, 2 : 3", kI, 2},
    {"1 ? 2.5 : 3", kTypeFloat, 2.5},
    // calls: a bracketed comma list is one argument; PI() is a call
    {"max((1, 7), 3)", kI, 7}, {"PI ()", kI, 0, "unknown function identifier 'PI'"},
    {"max(1,2,3,4,5,6,7,8,9)", kI, 0, "function 'max' does not take 9 arguments"},
    // every operand is evaluated: errors of unselected branches count
    {"0 ? 1/0 : 5", kI, 5, "division by zero"}, {"1 || 1/0", kI, 1, "division by zero"},
    {"0 && 1 % 0", kI, 0, "mod by zero"},
    // a failed operand counts as integer 0
    {"1 + foo", kI, 1, "unknown identifier 'foo'"},
    {"2 * (3", kI, 6, "unmatched parenthesis '('"}};
INSTANTIATE_TEST_SUITE_P(PrecedenceAndAssociation, Evaluates, ::testing::ValuesIn(kGrammar));

TEST(Evaluate, ReturnsFalseOnlyWhenTextIsLeftOver) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"1 2", false, "unexpected token '2'"}, {"1)", false, "unexpected token ')'"},
      {"max(1 2)", false, "unexpected token ')'"}, {"(1", true, "unmatched parenthesis '('"},
      {"1 +", true, "unexpected end of input"}, {"*", true, "unexpected token '*'"},
      {"", true, "unexpected end of input"},
      // a missing ':' is reported, then the missing last operand
      {"1 ? 2 3", true, "unexpected end of input"}};
  for (const auto& [text, read, message] : cases) {
    const test::Outcome out = test::Eval(text);
    EXPECT_EQ(out.read, read) << text;
    EXPECT_EQ(out.flag, 1) << text;
    EXPECT_EQ(out.message, message) << text;
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

// A failing call leaves its output as it was (-99 here).
TEST(EntryPoints, SucceedOnlyOnTheirOwnErrorRules) {
  const std::pair<const char*, float> single[] = {
      {"1/4", 0.25f}, {"1/3", 1.0f / 3.0f}, {"", 0.0f}, {"0.0 > 0 ? 100/0.0 : 7", 7.0f},
      {"0 > 0 ? 100/0 : 7", 7.0f}, {"1 + foo", 1.0f}, {"1e300", HUGE_VALF},
      {"-1e300", -HUGE_VALF}, {"1 2", -99}, {"1)", -99}, {"1 # 2", -99}, {"a = 1", -99}};
  for (const auto& [text, expected] : single) {
    float out = -99.0f;
    EXPECT_EQ(process_expression(text, &out), expected != -99) << text;
    EXPECT_EQ(out, expected) << text;
  }
  const std::pair<const char*, int32_t> integer[] = {
      {"4*8", 32}, {"0x10", 16}, {"7/2", 3}, {"-7/2", -3}, {"1e10", INT_MAX}, {"-1e10", INT_MIN},
      {"1/0", -99}, {"(2", -99}, {"1 2", -99}, {"08", -99}, {"0 ? 1 % 0 : 4", -99}, {"", -99}};
  for (const auto& [text, expected] : integer) {
    int32_t out = -99;
    EXPECT_EQ(process_expression_int(text, &out), expected != -99) << text;
    EXPECT_EQ(out, expected) << text;
  }
}

// process_expression neither clears nor reads the flag; process_expression_int clears it.
TEST(EntryPoints, OnlyTheIntegerOneClearsAnEarlierError) {
  clear_error();
  raise_error(kErrorEvaluation, "earlier");
  float single = 0.0f;
  EXPECT_EQ(process_expression("2", &single), 1);
  EXPECT_EQ(single, 2.0f);
  EXPECT_EQ(error_flag(), 1);
  int32_t out = 0;
  EXPECT_EQ(process_expression_int("2", &out), 1);
  EXPECT_EQ(out, 2);
}

// print_value under its options: radix, grouping, colons, notation, truth.
struct PrintCase {
  bool floating;
  double number;
  int32_t radix;      // integers; below 2 raises and writes nothing
  int32_t precision;  // floating values
  int32_t group;
  bool flag;          // uppercase for integers, scientific for floating values
  const char* expected;
  bool boolean = false;
};
std::ostream& operator<<(std::ostream& os, const PrintCase& c) { return os << c.expected; }

PrintCase I(double n, int32_t radix, int32_t group, const char* text, bool upper = false) {
  return {false, n, radix, 6, group, upper, text};
}
PrintCase F(double x, int32_t precision, int32_t group, const char* text, bool sci = false) {
  return {true, x, 10, precision, group, sci, text};
}
PrintCase Truth(bool floating, double x, bool upper, const char* text) {
  return {floating, x, 10, 6, 0, upper, text, true};
}

std::string Printed(const Value& value, const Options& options) {
  std::ostringstream stream;
  print_value(stream, value, options);
  return stream.str();
}

class PrintValue : public ::testing::TestWithParam<PrintCase> {};

TEST_P(PrintValue, WritesTheDocumentedText) {
  const PrintCase& c = GetParam();
  Options options{};
  set_options(options);
  options.radix = c.radix;
  options.precision = c.precision;
  options.group_size = c.group;
  options.boolean = c.boolean;
  (c.floating && !c.boolean ? options.scientific : options.uppercase) = c.flag;
  Value value{};
  c.floating ? value_set_float(value, c.number)
             : value_set_int(value, static_cast<int32_t>(c.number));
  clear_error();
  EXPECT_EQ(Printed(value, options), c.expected);
  EXPECT_EQ(error_flag(), c.radix < 2 ? kErrorEvaluation : 0);
  if (c.radix < 2) {
    EXPECT_STREQ(last_error_message(), "radix cannot be less than 2");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Integers, PrintValue,
    ::testing::Values(I(-42, 10, 0, "-42"), I(0, 10, 0, "0"), I(INT_MIN, 10, 0, "-2147483648"),
                      I(255, 16, 0, "ff"), I(255, 16, 0, "FF", true), I(-8, 8, 0, "-10"),
                      I(255, 2, 4, "1111 1111"), I(1000, 2, 4, "11 1110 1000"),
                      I(INT_MIN, 2, 8, "-10000000 00000000 00000000 00000000"),
                      I(1234567, 10, 3, "1 234 567"), I(123, 10, -2, "123"),
                      I(399, 20, 0, "19:19"), I(399, 20, 1, "19 : 19"), I(16, 17, 0, "16"),
                      I(8000, 20, 2, "1:0 : 0:0"), I(INT_MAX, INT_MAX, 0, "1:0"),
                      I(255, 1, 0, ""), I(255, 0, 0, ""), I(255, INT_MIN, 0, "")));

INSTANTIATE_TEST_SUITE_P(
    Floating, PrintValue,
    ::testing::Values(F(3.5, 6, 0, "3.500000"), F(-3.5, 6, 0, "-3.500000"),
                      F(0.0000005, 6, 0, "5.000000e-07"), F(0.000001, 6, 0, "0.000001"),
                      F(2000000000.0, 6, 0, "2.000000e+09"), F(-2e9, 2, 0, "-2.00e+09"),
                      F(999999999.0, 1, 0, "999999999.0"), F(3.7, 0, 0, "4"),
                      F(3.5, 2, 0, "3.50e+00", true), F(1234.5678, 4, 3, "1 234.567 8"),
                      F(1234.5, 4, 2, "1.23 45e+03", true), F(1234567.0, 0, 3, "1 234 567")));

INSTANTIATE_TEST_SUITE_P(TruthWordsFollowUppercase, PrintValue,
                         ::testing::Values(Truth(true, 0.0, false, "false"),
                                           Truth(true, NAN, false, "true"),
                                           Truth(false, 7, true, "TRUE")));

TEST(PrintValue, HugePrecisionIsBoundedNotAllocatedInFull) {
  Options options{};
  set_options(options);
  options.precision = INT_MAX;
  Value v{};
  value_set_float(v, 1.5);
  EXPECT_EQ(Printed(v, options).size(), 2u + static_cast<std::size_t>(kMaxPrecision));
}

}  // namespace
}  // namespace tavomark::expr
