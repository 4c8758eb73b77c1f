// print_value under its options: radix, grouping, colons, notation, truth.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "expression.h"

namespace tavomark::expr {
namespace {

struct PrintCase {
  bool floating;
  double number;
  int32_t radix;      // integers
  int32_t precision;  // floating values
  int32_t group;
  bool flag;          // uppercase for integers, scientific for floating values
  const char* expected;
};
std::ostream& operator<<(std::ostream& os, const PrintCase& c) { return os << c.expected; }

PrintCase I(double n, int32_t radix, int32_t group, const char* text, bool upper = false) {
  return {false, n, radix, 6, group, upper, text};
}
PrintCase F(double x, int32_t precision, int32_t group, const char* text, bool sci = false) {
  return {true, x, 10, precision, group, sci, text};
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
  (c.floating ? options.scientific : options.uppercase) = c.flag;
  Value value{};
  c.floating ? value_set_float(value, c.number)
             : value_set_int(value, static_cast<int32_t>(c.number));
  clear_error();
  EXPECT_EQ(Printed(value, options), c.expected);
  EXPECT_EQ(error_flag(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Integers, PrintValue,
    ::testing::Values(I(-42, 10, 0, "-42"), I(0, 10, 0, "0"), I(INT_MIN, 10, 0, "-2147483648"),
                      I(255, 16, 0, "ff"), I(255, 16, 0, "FF", true), I(-8, 8, 0, "-10"),
                      I(255, 2, 4, "1111 1111"), I(1000, 2, 4, "11 1110 1000"),
                      I(INT_MIN, 2, 8, "-10000000 00000000 00000000 00000000"),
                      I(1234567, 10, 3, "1 234 567"), I(123, 10, -2, "123"),
                      I(399, 20, 0, "19:19"), I(399, 20, 1, "19 : 19"), I(16, 17, 0, "16"),
                      I(8000, 20, 2, "1:0 : 0:0"), I(INT_MAX, INT_MAX, 0, "1:0")));

INSTANTIATE_TEST_SUITE_P(
    Floating, PrintValue,
    ::testing::Values(F(3.5, 6, 0, "3.500000"), F(-3.5, 6, 0, "-3.500000"),
                      F(0.0000005, 6, 0, "5.000000e-07"), F(0.000001, 6, 0, "0.000001"),
                      F(2000000000.0, 6, 0, "2.000000e+09"), F(-2e9, 2, 0, "-2.00e+09"),
                      F(999999999.0, 1, 0, "999999999.0"), F(3.7, 0, 0, "4"),
                      F(3.5, 2, 0, "3.50e+00", true), F(1234.5678, 4, 3, "1 234.567 8"),
                      F(1234.5, 4, 2, "1.23 45e+03", true), F(1234567.0, 0, 3, "1 234 567")));

TEST(PrintValue, TruthWordsFollowUppercase) {
  Options options{};
  set_options(options);
  options.boolean = true;
  Value v{};
  value_set_float(v, 0.0);
  EXPECT_EQ(Printed(v, options), "false");
  value_set_float(v, NAN);
  EXPECT_EQ(Printed(v, options), "true");
  options.uppercase = true;
  value_set_int(v, 7);
  EXPECT_EQ(Printed(v, options), "TRUE");
}

TEST(PrintValue, RadixBelowTwoRaisesAndWritesNothing) {
  Options options{};
  set_options(options);
  Value v{};
  value_set_int(v, 255);
  for (const int32_t radix : {1, 0, INT_MIN}) {
    options.radix = radix;
    clear_error();
    EXPECT_EQ(Printed(v, options), "");
    EXPECT_EQ(error_flag(), kErrorEvaluation);
    EXPECT_STREQ(last_error_message(), "radix cannot be less than 2");
  }
}

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
