// print_value under its options: radix, grouping, colons, notation, truth.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "expr_test_util.h"

namespace tavomark::expr {
namespace {

using test::Float;
using test::Int;

struct PrintCase {
  Value value;
  int32_t radix;
  int32_t precision;
  int32_t group;
  bool scientific;
  bool uppercase;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const PrintCase& c) { return os << c.expected; }

class PrintValue : public ::testing::TestWithParam<PrintCase> {};

TEST_P(PrintValue, WritesTheDocumentedText) {
  const PrintCase& c = GetParam();
  Options options{};
  set_options(options);
  options.radix = c.radix;
  options.precision = c.precision;
  options.group_size = c.group;
  options.scientific = c.scientific;
  options.uppercase = c.uppercase;
  clear_error();
  EXPECT_EQ(test::Printed(c.value, options), c.expected);
  EXPECT_EQ(error_flag(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Integers, PrintValue,
    ::testing::Values(
        PrintCase{Int(-42), 10, 6, 0, false, false, "-42"},
        PrintCase{Int(0), 10, 6, 0, false, false, "0"},
        PrintCase{Int(INT_MIN), 10, 6, 0, false, false, "-2147483648"},
        PrintCase{Int(255), 16, 6, 0, false, false, "ff"},
        PrintCase{Int(255), 16, 6, 0, false, true, "FF"},
        PrintCase{Int(INT_MAX), 16, 6, 0, false, false, "7fffffff"},
        PrintCase{Int(-8), 8, 6, 0, false, false, "-10"},
        PrintCase{Int(255), 2, 6, 4, false, false, "1111 1111"},
        PrintCase{Int(1000), 2, 6, 4, false, false, "11 1110 1000"},
        PrintCase{Int(INT_MIN), 2, 6, 8, false, false,
                  "-10000000 00000000 00000000 00000000"},
        PrintCase{Int(1234567), 10, 6, 3, false, false, "1 234 567"},
        PrintCase{Int(123), 10, 6, 3, false, false, "123"},
        PrintCase{Int(123), 10, 6, -2, false, false, "123"},
        PrintCase{Int(399), 20, 6, 0, false, false, "19:19"},
        PrintCase{Int(399), 20, 6, 1, false, false, "19 : 19"},
        PrintCase{Int(16), 17, 6, 0, false, false, "16"},
        PrintCase{Int(17), 17, 6, 0, false, false, "1:0"},
        PrintCase{Int(8000), 20, 6, 2, false, false, "1:0 : 0:0"},
        PrintCase{Int(35), 36, 6, 0, false, true, "35"},
        PrintCase{Int(INT_MAX), INT_MAX, 6, 0, false, false, "1:0"},
        PrintCase{Int(5), INT_MAX, 6, 0, false, false, "5"}));

INSTANTIATE_TEST_SUITE_P(
    Floating, PrintValue,
    ::testing::Values(
        PrintCase{Float(3.5), 10, 6, 0, false, false, "3.500000"},
        PrintCase{Float(-3.5), 10, 6, 0, false, false, "-3.500000"},
        PrintCase{Float(0.0), 10, 6, 0, false, false, "0.000000"},
        PrintCase{Float(0.0000005), 10, 6, 0, false, false, "5.000000e-07"},
        PrintCase{Float(0.000001), 10, 6, 0, false, false, "0.000001"},
        PrintCase{Float(2000000000.0), 10, 6, 0, false, false, "2.000000e+09"},
        PrintCase{Float(-2000000000.0), 10, 2, 0, false, false, "-2.00e+09"},
        PrintCase{Float(999999999.0), 10, 1, 0, false, false, "999999999.0"},
        PrintCase{Float(3.7), 10, 0, 0, false, false, "4"},
        PrintCase{Float(3.5), 10, 2, 0, true, false, "3.50e+00"},
        PrintCase{Float(1234.5678), 10, 4, 3, false, false, "1 234.567 8"},
        PrintCase{Float(1234.5), 10, 4, 2, true, false, "1.23 45e+03"},
        PrintCase{Float(1234567.0), 10, 0, 3, false, false, "1 234 567"},
        PrintCase{Float(12.0), 2, 1, 0, false, false, "12.0"}));  // radix is for integers

TEST(PrintValue, TruthWordsFollowUppercase) {
  Options options{};
  set_options(options);
  options.boolean = true;
  EXPECT_EQ(test::Printed(Float(0.0), options), "false");
  EXPECT_EQ(test::Printed(Int(7), options), "true");
  EXPECT_EQ(test::Printed(Float(NAN), options), "true");
  options.uppercase = true;
  EXPECT_EQ(test::Printed(Int(0), options), "FALSE");
  EXPECT_EQ(test::Printed(Float(-0.5), options), "TRUE");
}

TEST(PrintValue, RadixBelowTwoRaisesAndWritesNothing) {
  Options options{};
  set_options(options);
  for (const int32_t radix : {1, 0, -16, INT_MIN}) {
    options.radix = radix;
    clear_error();
    EXPECT_EQ(test::Printed(Int(255), options), "");
    EXPECT_EQ(error_flag(), kErrorEvaluation);
    EXPECT_STREQ(last_error_message(), "radix cannot be less than 2");
  }
  // Floating values are not written in a radix, so they print anyway.
  EXPECT_EQ(test::Printed(Float(1.5), options), "1.500000");
}

TEST(PrintValue, HugePrecisionIsBoundedNotAllocatedInFull) {
  Options options{};
  set_options(options);
  options.precision = INT_MAX;
  const std::string text = test::Printed(Float(1.5), options);
  ASSERT_EQ(text.size(), 2u + static_cast<std::size_t>(kMaxPrecision));
  EXPECT_EQ(text.substr(0, 5), "1.500");
}

}  // namespace
}  // namespace tavomark::expr
