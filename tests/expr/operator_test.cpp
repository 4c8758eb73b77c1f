// Every operator's integer, floating and error paths; the constants; the
// functions with their argument counts.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <numbers>
#include <string>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

using test::Expect;

constexpr double kNaN = NAN;
constexpr double kInf = HUGE_VAL;

class Operator : public ::testing::TestWithParam<Expect> {};

TEST_P(Operator, ComputesTypeValueAndErrors) { test::ExpectOutcome(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Division, Operator,
    ::testing::Values(
        Expect{"7/2", kTypeFloat, 3.5}, Expect{"6/3", kTypeInt, 2},
        Expect{"-7/2", kTypeFloat, -3.5}, Expect{"7.0/2", kTypeFloat, 3.5},
        Expect{"-6/3", kTypeInt, -2},
        Expect{"1/0", kTypeInt, 1, "division by zero"},  // the slot keeps the dividend
        Expect{"1/0.0", kTypeFloat, kInf, "division by zero"},
        Expect{"-1.0/0", kTypeFloat, -kInf, "division by zero"},
        Expect{"0.0/0.0", kTypeFloat, kNaN, "division by zero"},
        Expect{"7//2", kTypeInt, 3}, Expect{"-7//2", kTypeInt, -3},
        Expect{"7.5//2", kTypeInt, 3, "integer division operator '//' requires integer operands"},
        Expect{"7//0.5", kTypeInt, 7, "division by zero"},
        Expect{"7%3", kTypeInt, 1}, Expect{"-7%3", kTypeInt, -1}, Expect{"7%-3", kTypeInt, 1},
        Expect{"7%0", kTypeInt, 7, "mod by zero"},
        Expect{"7.0%2", kTypeFloat, 7.0, "modulo operator '%' requires integer operands"},
        // the one quotient that does not fit wraps, like -INT_MIN does; nothing traps
        Expect{"INT_MIN / -1", kTypeInt, INT_MIN}, Expect{"INT_MIN // -1", kTypeInt, INT_MIN},
        Expect{"INT_MIN % -1", kTypeInt, 0}, Expect{"fmod(INT_MIN, -1)", kTypeInt, 0}));

INSTANTIATE_TEST_SUITE_P(
    WrapAround, Operator,
    ::testing::Values(Expect{"2147483647+1", kTypeInt, INT_MIN},
                      Expect{"-2147483647-2", kTypeInt, INT_MAX},
                      Expect{"65536*65536", kTypeInt, 0}, Expect{"-INT_MIN", kTypeInt, INT_MIN},
                      Expect{"abs(INT_MIN)", kTypeInt, INT_MIN},
                      Expect{"2147483647+1.0", kTypeFloat, 2147483648.0},
                      Expect{"0.5*3", kTypeFloat, 1.5}, Expect{"1-0.25", kTypeFloat, 0.75}));

INSTANTIATE_TEST_SUITE_P(
    Bits, Operator,
    ::testing::Values(
        Expect{"1 << 33", kTypeInt, 2}, Expect{"1 << 31", kTypeInt, INT_MIN},
        Expect{"1 << -1", kTypeInt, INT_MIN}, Expect{"-8 >> 1", kTypeInt, -4},
        Expect{"INT_MIN >> 31", kTypeInt, -1}, Expect{"12 & 10", kTypeInt, 8},
        Expect{"12 | 10", kTypeInt, 14}, Expect{"12 ^ 10", kTypeInt, 6},
        Expect{"~0", kTypeInt, -1},
        Expect{"1.0 & 1", kTypeFloat, 1.0, "bitwise AND operator '&' requires integer operands"},
        Expect{"1 | 2.0", kTypeInt, 1, "bitwise OR operator '|' requires integer operands"},
        Expect{"3 ^ 1.5", kTypeInt, 3, "bitwise XOR operator '^' requires integer operands"},
        Expect{"~1.5", kTypeInt, 0, "bitwise NOT operator '~' requires an integer operand"},
        Expect{"2.0 << 1", kTypeFloat, 2.0, "bit shift operator '<<' requires integer operands"},
        Expect{"4 >> 1.0", kTypeInt, 4, "bit shift operator '>>' requires integer operands"}));

INSTANTIATE_TEST_SUITE_P(
    ComparisonAndLogic, Operator,
    ::testing::Values(
        Expect{"2 > 1.5", kTypeInt, 1}, Expect{"-1 < 0", kTypeInt, 1},
        Expect{"3 <= 3", kTypeInt, 1}, Expect{"3 >= 3.5", kTypeInt, 0},
        Expect{"1 == 1.0", kTypeInt, 1}, Expect{"1 != 1.0", kTypeInt, 0},
        Expect{"INT_MIN < INT_MAX", kTypeInt, 1},
        Expect{"sqrt(-1) == sqrt(-1)", kTypeInt, 0}, Expect{"sqrt(-1) != sqrt(-1)", kTypeInt, 1},
        Expect{"sqrt(-1) < 1", kTypeInt, 0}, Expect{"sqrt(-1) >= 1", kTypeInt, 0},
        Expect{"0.0 ? 1 : 2", kTypeInt, 2}, Expect{"sqrt(-1) ? 1 : 2", kTypeInt, 1},
        Expect{"!0.0", kTypeInt, 1}, Expect{"!sqrt(-1)", kTypeInt, 0}, Expect{"!7", kTypeInt, 0},
        Expect{"2 && 0.5", kTypeInt, 1}, Expect{"0 || 0.0", kTypeInt, 0},
        Expect{"0.0 || sqrt(-1)", kTypeInt, 1}));

INSTANTIATE_TEST_SUITE_P(
    Functions, Operator,
    ::testing::Values(
        Expect{"pow(2,10)", kTypeInt, 1024}, Expect{"pow(2,-1)", kTypeFloat, 0.5},
        Expect{"pow(2.0,3)", kTypeFloat, 8.0}, Expect{"pow(0,0)", kTypeInt, 1},
        Expect{"pow(2,31)", kTypeInt, INT_MIN}, Expect{"pow(3,40)", kTypeInt, 689956897},
        Expect{"exp2(3)", kTypeInt, 8}, Expect{"exp2(-1)", kTypeFloat, 0.5},
        Expect{"floor(-1.5)", kTypeInt, -2}, Expect{"ceil(1.2)", kTypeInt, 2},
        Expect{"floor(7)", kTypeInt, 7}, Expect{"floor(1e20)", kTypeInt, INT_MAX},
        Expect{"ceil(-1e20)", kTypeInt, INT_MIN}, Expect{"round(2.5)", kTypeInt, 3},
        Expect{"round(-2.5)", kTypeInt, -3}, Expect{"round(0.5 - DBL_EPSILON / 4)", kTypeInt, 0},
        Expect{"round(sqrt(-1))", kTypeInt, 0}, Expect{"trunc(7)", kTypeInt, 7},
        Expect{"trunc(-7.9)", kTypeFloat, -7.0}, Expect{"abs(-3)", kTypeInt, 3},
        Expect{"abs(-2.5)", kTypeFloat, 2.5}, Expect{"max(3,5)", kTypeInt, 5},
        Expect{"min(3,5)", kTypeInt, 3}, Expect{"max(3,5.5)", kTypeFloat, 5.5},
        Expect{"min(2.5,1)", kTypeFloat, 1.0}, Expect{"fmod(7,3)", kTypeInt, 1},
        Expect{"fmod(-7,3)", kTypeInt, -1}, Expect{"fmod(7.5,2)", kTypeFloat, 1.5},
        Expect{"fmod(7,0)", kTypeInt, 0, "mod by zero"}, Expect{"sqrt(16)", kTypeFloat, 4.0},
        Expect{"sqrt(-1)", kTypeFloat, kNaN}, Expect{"sin(PI/2)", kTypeFloat, 1.0},
        Expect{"cos(0)", kTypeFloat, 1.0}, Expect{"atan2(1,0)", kTypeFloat, std::numbers::pi / 2},
        Expect{"asin(1)", kTypeFloat, std::numbers::pi / 2}, Expect{"exp(0)", kTypeFloat, 1.0},
        Expect{"log(E)", kTypeFloat, 1.0}, Expect{"log10(1000)", kTypeFloat, 3.0},
        Expect{"log2(8)", kTypeFloat, 3.0}, Expect{"cbrt(-27)", kTypeFloat, -3.0},
        Expect{"hypot(3,4)", kTypeFloat, 5.0}, Expect{"tgamma(5)", kTypeFloat, 24.0},
        Expect{"lgamma(1)", kTypeFloat, 0.0}, Expect{"erf(0)", kTypeFloat, 0.0},
        Expect{"erfc(0)", kTypeFloat, 1.0}, Expect{"cosh(0)", kTypeFloat, 1.0},
        Expect{"remainder(7,4)", kTypeFloat, -1.0},
        Expect{"nextafter(1,2)", kTypeFloat, 1.0 + DBL_EPSILON}));

INSTANTIATE_TEST_SUITE_P(
    NamesAndArgumentCounts, Operator,
    ::testing::Values(
        Expect{"pow(1)", kTypeInt, 0, "function 'pow' requires more than 1 argument"},
        Expect{"pow(1,2,3)", kTypeInt, 0, "function 'pow' does not take 3 arguments"},
        Expect{"pow()", kTypeInt, 0, "function 'pow' does not take 0 arguments"},
        Expect{"sqrt(1,2)", kTypeInt, 0, "function 'sqrt' does not take 2 arguments"},
        Expect{"sqrt()", kTypeInt, 0, "function 'sqrt' does not take 0 arguments"},
        Expect{"rand(1)", kTypeInt, 0, "function 'rand' does not take 1 arguments"},
        Expect{"foo", kTypeInt, 0, "unknown identifier 'foo'"},
        Expect{"foo(1)", kTypeInt, 0, "unknown function identifier 'foo'"},
        Expect{"pi", kTypeInt, 0, "unknown identifier 'pi'"},
        Expect{"Sqrt(4)", kTypeInt, 0, "unknown function identifier 'Sqrt'"}));

TEST(Functions, AllThirtyNineNamesTakeTheirArgumentCount) {
  const std::pair<const char*, int> functions[] = {
      {"pow", 2},    {"sqrt", 1},   {"cbrt", 1},   {"abs", 1},       {"floor", 1},
      {"ceil", 1},   {"trunc", 1},  {"round", 1},  {"sin", 1},       {"cos", 1},
      {"tan", 1},    {"asin", 1},   {"acos", 1},   {"atan", 1},      {"atan2", 2},
      {"exp", 1},    {"exp2", 1},   {"log", 1},    {"log10", 1},     {"log2", 1},
      {"rand", 0},   {"hypot", 2},  {"expm1", 1},  {"log1p", 1},     {"sinh", 1},
      {"cosh", 1},   {"tanh", 1},   {"asinh", 1},  {"acosh", 1},     {"atanh", 1},
      {"erf", 1},    {"erfc", 1},   {"lgamma", 1}, {"tgamma", 1},    {"fmod", 2},
      {"remainder", 2}, {"nextafter", 2}, {"max", 2}, {"min", 2}};
  ASSERT_EQ(std::size(functions), 39u);
  for (const auto& [name, count] : functions) {
    std::string args;
    for (int i = 0; i < count; ++i) args += i == 0 ? "1" : ", 1";
    const std::string good = std::string(name) + "(" + args + ")";
    const test::Outcome out = test::Eval(good);
    EXPECT_TRUE(out.read) << good;
    EXPECT_EQ(out.flag, 0) << good << ": " << out.message;

    const std::string bad = std::string(name) + "(" + args + (count ? ", 1)" : "1)");
    const int given = count + 1;
    EXPECT_EQ(test::Eval(bad).message, "function '" + std::string(name) + "' does not take " +
                                            std::to_string(given) + " arguments");
  }
}

TEST(Functions, TrigonometryFollowsTheDegreesOption) {
  EXPECT_DOUBLE_EQ(test::Eval("sin(90)", true).value.d, 1.0);
  EXPECT_DOUBLE_EQ(test::Eval("cos(180)", true).value.d, -1.0);
  EXPECT_DOUBLE_EQ(test::Eval("atan(1)", true).value.d, 45.0);
  EXPECT_DOUBLE_EQ(test::Eval("atan2(1, 0)", true).value.d, 90.0);
  EXPECT_DOUBLE_EQ(test::Eval("acos(-1)", true).value.d, 180.0);
  EXPECT_DOUBLE_EQ(test::Eval("acos(-1)", false).value.d, std::numbers::pi);
}

TEST(Functions, RandGivesFifteenBitIntegers) {
  bool differs = false;
  const int32_t first = test::Eval("rand()").value.i;
  for (int i = 0; i < 1000; ++i) {
    const test::Outcome out = test::Eval("rand()");
    ASSERT_EQ(out.value.type, kTypeInt);
    ASSERT_GE(out.value.i, 0);
    ASSERT_LE(out.value.i, 32767);
    differs = differs || out.value.i != first;
  }
  EXPECT_TRUE(differs);
}

TEST(Constants, AllThirtyOneHaveTheirTypeAndValue) {
  const Expect constants[] = {
      {"PI", kTypeFloat, std::numbers::pi},          {"E", kTypeFloat, std::numbers::e},
      {"PHI", kTypeFloat, 1.618033988749895},
      {"RAND_MAX", kTypeInt, 32767},     {"CHAR_MAX", kTypeInt, 127},
      {"CHAR_MIN", kTypeInt, -128},      {"DBL_DIG", kTypeInt, DBL_DIG},
      {"DBL_EPSILON", kTypeFloat, DBL_EPSILON}, {"DBL_MANT_DIG", kTypeInt, DBL_MANT_DIG},
      {"DBL_MAX", kTypeFloat, DBL_MAX},  {"DBL_MAX_EXP", kTypeInt, DBL_MAX_EXP},
      {"DBL_MIN", kTypeFloat, DBL_MIN},  {"DBL_MIN_EXP", kTypeInt, DBL_MIN_EXP},
      {"FLT_DIG", kTypeInt, FLT_DIG},    {"FLT_EPSILON", kTypeFloat, FLT_EPSILON},
      {"FLT_MANT_DIG", kTypeInt, FLT_MANT_DIG}, {"FLT_MAX", kTypeFloat, FLT_MAX},
      {"FLT_MAX_EXP", kTypeInt, FLT_MAX_EXP}, {"FLT_MIN", kTypeFloat, FLT_MIN},
      {"FLT_MIN_EXP", kTypeInt, FLT_MIN_EXP}, {"FLT_RADIX", kTypeInt, FLT_RADIX},
      {"INT_MAX", kTypeInt, INT_MAX},    {"INT_MIN", kTypeInt, INT_MIN},
      {"LONG_MAX", kTypeInt, INT_MAX},   {"LONG_MIN", kTypeInt, INT_MIN},
      {"SCHAR_MAX", kTypeInt, SCHAR_MAX}, {"SCHAR_MIN", kTypeInt, SCHAR_MIN},
      {"SHRT_MAX", kTypeInt, SHRT_MAX},  {"SHRT_MIN", kTypeInt, SHRT_MIN},
      {"UCHAR_MAX", kTypeInt, UCHAR_MAX}, {"USHRT_MAX", kTypeInt, USHRT_MAX}};
  ASSERT_EQ(std::size(constants), 31u);
  for (const Expect& c : constants) {
    const test::Outcome out = test::Eval(c.text);
    EXPECT_EQ(out.flag, 0) << c.text;
    ASSERT_EQ(out.value.type, c.type) << c.text;
    if (c.type == kTypeInt) {
      EXPECT_EQ(out.value.i, static_cast<int32_t>(c.value)) << c.text;
    } else {
      EXPECT_EQ(out.value.d, c.value) << c.text;  // exactly the nearest double
    }
  }
}

}  // namespace
}  // namespace tavomark::expr
