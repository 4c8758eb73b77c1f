// The floating and error paths of every operator, the integer cases the
// differential test cannot reach (0 and -1 divisors, shift counts beyond 31),
// the constants, and the functions with their argument counts.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <numbers>
#include <string>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

using test::Evaluates;
using test::Expect;

constexpr double kNaN = NAN;
constexpr double kInf = HUGE_VAL;
constexpr double kPi = std::numbers::pi;
constexpr int32_t kI = kTypeInt;
constexpr int32_t kF = kTypeFloat;

TEST_P(Evaluates, TypeValueAndError) { test::ExpectOutcome(GetParam()); }

// A failing operator leaves its result slot as it was: at the top level that
// slot already holds the left operand.
const Expect kArithmetic[] = {
    {"7/2", kF, 3.5}, {"6/3", kI, 2}, {"-7/2", kF, -3.5}, {"7.0/2", kF, 3.5},
    {"1/0", kI, 1, "division by zero"}, {"1/0.0", kF, kInf, "division by zero"},
    {"-1.0/0", kF, -kInf, "division by zero"}, {"0.0/0.0", kF, kNaN, "division by zero"},
    {"7//2", kI, 3}, {"-7//2", kI, -3},
    {"7.5//2", kI, 3, "integer division operator '//' requires integer operands"},
    {"7//0.5", kI, 7, "division by zero"}, {"-7%3", kI, -1}, {"7%0", kI, 7, "mod by zero"},
    {"7.0%2", kF, 7.0, "modulo operator '%' requires integer operands"},
    // the one quotient that does not fit wraps, as -INT_MIN does; nothing traps
    {"INT_MIN / -1", kI, INT_MIN}, {"INT_MIN // -1", kI, INT_MIN}, {"INT_MIN % -1", kI, 0},
    {"fmod(INT_MIN, -1)", kI, 0}, {"-INT_MIN", kI, INT_MIN}, {"2147483647+1", kI, INT_MIN},
    {"65536*65536", kI, 0}, {"2147483647+1.0", kF, 2147483648.0}, {"0.5*3 - 0.25", kF, 1.25}};
INSTANTIATE_TEST_SUITE_P(Arithmetic, Evaluates, ::testing::ValuesIn(kArithmetic));

const Expect kBitsLogicAndComparison[] = {
    {"1 << 33", kI, 2}, {"1 << -1", kI, INT_MIN}, {"-8 >> 1", kI, -4},
    {"1.0 & 1", kF, 1.0, "bitwise AND operator '&' requires integer operands"},
    {"1 | 2.0", kI, 1, "bitwise OR operator '|' requires integer operands"},
    {"3 ^ 1.5", kI, 3, "bitwise XOR operator '^' requires integer operands"},
    {"~1.5", kI, 0, "bitwise NOT operator '~' requires an integer operand"},
    {"2.0 << 1", kF, 2.0, "bit shift operator '<<' requires integer operands"},
    {"4 >> 1.0", kI, 4, "bit shift operator '>>' requires integer operands"},
    {"sqrt(-1) == sqrt(-1)", kI, 0}, {"sqrt(-1) != sqrt(-1)", kI, 1}, {"sqrt(-1) < 1", kI, 0},
    {"sqrt(-1) >= 1", kI, 0}, {"0.0 ? 1 : 2", kI, 2}, {"sqrt(-1) ? 1 : 2", kI, 1},
    {"!0.0", kI, 1}, {"!sqrt(-1)", kI, 0}, {"2 && 0.5", kI, 1}, {"0 || 0.0", kI, 0},
    {"2 > 1.5", kI, 1}, {"1 == 1.0", kI, 1}};
INSTANTIATE_TEST_SUITE_P(BitsLogicAndComparison, Evaluates,
                         ::testing::ValuesIn(kBitsLogicAndComparison));

const Expect kFunctions[] = {
    {"pow(2,10)", kI, 1024}, {"pow(2,-1)", kF, 0.5}, {"pow(2.0,3)", kF, 8.0}, {"pow(0,0)", kI, 1},
    {"pow(2,31)", kI, INT_MIN}, {"pow(3,40)", kI, 689956897}, {"exp2(3)", kI, 8},
    {"exp2(-1)", kF, 0.5}, {"floor(-1.5)", kI, -2}, {"ceil(1.2)", kI, 2}, {"floor(7)", kI, 7},
    {"floor(1e20)", kI, INT_MAX}, {"ceil(-1e20)", kI, INT_MIN}, {"round(2.5)", kI, 3},
    {"round(-2.5)", kI, -3}, {"round(0.5 - DBL_EPSILON / 4)", kI, 0}, {"round(sqrt(-1))", kI, 0},
    {"trunc(7)", kI, 7}, {"trunc(-7.9)", kF, -7.0}, {"abs(-3)", kI, 3}, {"abs(-2.5)", kF, 2.5},
    {"abs(INT_MIN)", kI, INT_MIN}, {"max(3,5)", kI, 5}, {"min(3,5)", kI, 3},
    {"max(3,5.5)", kF, 5.5}, {"min(2.5,1)", kF, 1.0}, {"fmod(-7,3)", kI, -1},
    {"fmod(7.5,2)", kF, 1.5}, {"fmod(7,0)", kI, 0, "mod by zero"}, {"sqrt(-1)", kF, kNaN},
    {"log2(8)", kF, 3.0}, {"hypot(3,4)", kF, 5.0},
    // names and argument counts; the result slot is left as it was
    {"pow(1)", kI, 0, "function 'pow' requires more than 1 argument"},
    {"pow()", kI, 0, "function 'pow' does not take 0 arguments"},
    {"sqrt(1,2)", kI, 0, "function 'sqrt' does not take 2 arguments"},
    {"rand(1)", kI, 0, "function 'rand' does not take 1 arguments"},
    {"foo", kI, 0, "unknown identifier 'foo'"},
    {"foo(1)", kI, 0, "unknown function identifier 'foo'"},
    {"pi", kI, 0, "unknown identifier 'pi'"}};
INSTANTIATE_TEST_SUITE_P(Functions, Evaluates, ::testing::ValuesIn(kFunctions));

// All thirty-one, each exactly the nearest double, not merely close.
const Expect kConstants[] = {
    {"PI", kF, kPi}, {"E", kF, std::numbers::e}, {"PHI", kF, std::numbers::phi},
    {"RAND_MAX", kI, 32767}, {"CHAR_MAX", kI, 127}, {"CHAR_MIN", kI, -128},
    {"DBL_DIG", kI, DBL_DIG}, {"DBL_EPSILON", kF, DBL_EPSILON}, {"DBL_MAX", kF, DBL_MAX},
    {"DBL_MANT_DIG", kI, DBL_MANT_DIG}, {"DBL_MAX_EXP", kI, DBL_MAX_EXP}, {"DBL_MIN", kF, DBL_MIN},
    {"DBL_MIN_EXP", kI, DBL_MIN_EXP}, {"FLT_DIG", kI, FLT_DIG}, {"FLT_EPSILON", kF, FLT_EPSILON},
    {"FLT_MANT_DIG", kI, FLT_MANT_DIG}, {"FLT_MAX", kF, FLT_MAX}, {"FLT_MIN", kF, FLT_MIN},
    {"FLT_MAX_EXP", kI, FLT_MAX_EXP}, {"FLT_MIN_EXP", kI, FLT_MIN_EXP},
    {"INT_MAX", kI, INT_MAX}, {"INT_MIN", kI, INT_MIN}, {"LONG_MAX", kI, INT_MAX},
    {"LONG_MIN", kI, INT_MIN}, {"SCHAR_MAX", kI, SCHAR_MAX}, {"SCHAR_MIN", kI, SCHAR_MIN},
    {"SHRT_MAX", kI, SHRT_MAX}, {"SHRT_MIN", kI, SHRT_MIN}, {"UCHAR_MAX", kI, UCHAR_MAX},
    {"USHRT_MAX", kI, USHRT_MAX}, {"FLT_RADIX", kI, FLT_RADIX}};
INSTANTIATE_TEST_SUITE_P(Constants, Evaluates, ::testing::ValuesIn(kConstants));

TEST(Functions, AllThirtyNineNamesTakeTheirArgumentCount) {
  const std::pair<const char*, int> functions[] = {
      {"pow", 2}, {"sqrt", 1}, {"cbrt", 1}, {"abs", 1}, {"floor", 1}, {"ceil", 1}, {"trunc", 1},
      {"round", 1}, {"sin", 1}, {"cos", 1}, {"tan", 1}, {"asin", 1}, {"acos", 1}, {"atan", 1},
      {"atan2", 2}, {"exp", 1}, {"exp2", 1}, {"log", 1}, {"log10", 1}, {"log2", 1}, {"rand", 0},
      {"hypot", 2}, {"expm1", 1}, {"log1p", 1}, {"sinh", 1}, {"cosh", 1}, {"tanh", 1},
      {"asinh", 1}, {"acosh", 1}, {"atanh", 1}, {"erf", 1}, {"erfc", 1}, {"lgamma", 1},
      {"tgamma", 1}, {"fmod", 2}, {"remainder", 2}, {"nextafter", 2}, {"max", 2}, {"min", 2}};
  for (const auto& [name, count] : functions) {
    std::string args = count == 0 ? "" : "1";
    for (int i = 1; i < count; ++i) args += ", 1";
    const test::Outcome good = test::Eval(std::string(name) + "(" + args + ")");
    EXPECT_TRUE(good.read && good.flag == 0) << name << ": " << good.message;
    const test::Outcome bad = test::Eval(std::string(name) + "(" + args + (count ? ", 1)" : "1)"));
    EXPECT_EQ(bad.message, "function '" + std::string(name) + "' does not take " +
                               std::to_string(count + 1) + " arguments");
  }
}

TEST(Functions, TrigonometryFollowsTheDegreesOption) {
  EXPECT_DOUBLE_EQ(test::Eval("sin(90)", true).value.d, 1.0);
  EXPECT_DOUBLE_EQ(test::Eval("atan2(1, 0)", true).value.d, 90.0);
  EXPECT_DOUBLE_EQ(test::Eval("acos(-1)", true).value.d, 180.0);
  EXPECT_DOUBLE_EQ(test::Eval("acos(-1)", false).value.d, kPi);
}

TEST(Functions, RandGivesFifteenBitIntegers) {
  for (int i = 0; i < 1000; ++i) {
    const Value v = test::Eval("rand()").value;
    ASSERT_TRUE(v.type == kTypeInt && v.i >= 0 && v.i <= 32767) << v.i;
  }
}

}  // namespace
}  // namespace tavomark::expr
