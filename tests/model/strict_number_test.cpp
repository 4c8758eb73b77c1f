#include <gtest/gtest.h>

#include <string>

#include "strict_number.h"

namespace tavomark {
namespace {

struct NumberCase {
  const char* text;
  bool ok;
  double value;
};

class StrictNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(StrictNumber, AcceptsOnlyAWholeFiniteDecimal) {
  const NumberCase& c = GetParam();
  double value = -123.0;
  std::string error;
  EXPECT_EQ(ParseStrictNumber(c.text, "setPoint", value, error), c.ok) << c.text;
  if (c.ok) {
    EXPECT_DOUBLE_EQ(value, c.value);
    EXPECT_TRUE(error.empty());
  } else {
    EXPECT_DOUBLE_EQ(value, -123.0) << "a refused text leaves the value alone";
    EXPECT_EQ(error.rfind("setPoint: \"", 0), 0u) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, StrictNumber,
                         ::testing::Values(NumberCase{"12", true, 12}, NumberCase{" -0.5 ", true, -0.5},
                                           NumberCase{"+3", true, 3}, NumberCase{"1e3", true, 1000},
                                           NumberCase{".5", true, 0.5}, NumberCase{"", false, 0},
                                           NumberCase{"  ", false, 0}, NumberCase{"abc", false, 0},
                                           NumberCase{"12abc", false, 0}, NumberCase{"1,5", false, 0},
                                           NumberCase{"0x10", false, 0}, NumberCase{"nan", false, 0},
                                           NumberCase{"-inf", false, 0}, NumberCase{"infinity", false, 0},
                                           NumberCase{"1e999", false, 0}, NumberCase{"+-1", false, 0},
                                           NumberCase{"12.5.1", false, 0}, NumberCase{"1 2", false, 0}));

TEST(StrictNumber, MessageQuotesControlCharactersVisibly) {
  double value = 0;
  std::string error;
  ASSERT_FALSE(ParseStrictNumber(std::string("1\0" "2", 3), "gain", value, error));
  EXPECT_EQ(error, "gain: \"1\\x002\" is not a number");
}

TEST(StrictInteger, KeepsToItsLimits) {
  int64_t value = 0;
  std::string error;
  EXPECT_TRUE(ParseStrictInteger("-32768", "table", -32768, 32767, value, error));
  EXPECT_EQ(value, -32768);
  EXPECT_FALSE(ParseStrictInteger("32768", "table", -32768, 32767, value, error));
  EXPECT_EQ(error, "table: \"32768\" is outside -32768..32767");
  EXPECT_FALSE(ParseStrictInteger("1.0", "table", -32768, 32767, value, error));
  EXPECT_FALSE(ParseStrictInteger("99999999999999999999", "table", -32768, 32767, value, error));
  EXPECT_EQ(value, -32768);
}

}  // namespace
}  // namespace tavomark
