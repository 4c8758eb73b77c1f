// Number literals in every radix, the token kinds and the lexer's cut-off rules.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "expr_test_util.h"
#include "lexer.h"

namespace tavomark::expr {
namespace {

using test::Evaluates;
using test::Expect;

constexpr double kInf = HUGE_VAL;
constexpr int32_t kI = kTypeInt;
constexpr int32_t kF = kTypeFloat;

INSTANTIATE_TEST_SUITE_P(
    EveryRadix, Evaluates,
    ::testing::Values(
        // hexadecimal: both prefixes and letter cases; E is a digit here
        Expect{"0x1F", kI, 31}, Expect{"0XfF", kI, 255}, Expect{"0x1e", kI, 30},
        Expect{"0xFFFFFFFF", kI, -1}, Expect{"0x", kI, 0}, Expect{"0b101", kI, 5},
        Expect{"0B11", kI, 3}, Expect{"017", kI, 15}, Expect{"0777", kI, 511}, Expect{"0", kI, 0},
        // the decimal point or exponent that makes a leading 0 decimal
        Expect{"010.5", kF, 10.5}, Expect{"01e2", kF, 100.0}, Expect{".5", kF, 0.5},
        Expect{"1.", kF, 1.0}, Expect{"1e3", kF, 1000.0}, Expect{"1E-3", kF, 0.001},
        Expect{"1e+2", kF, 100.0}, Expect{"1.25e2", kF, 125.0}, Expect{"1e0", kF, 1.0},
        Expect{"1e99999999999", kF, kInf}, Expect{"1e-99999999999", kF, 0.0},
        // fractions sum digit by digit: 0.3 is 3 x 0.1, one ulp above the nearest double
        Expect{"0.3", kF, 0.30000000000000004},
        // 32-bit wrap-around without an overflow check
        Expect{"2147483648", kI, INT_MIN}, Expect{"4294967297", kI, 1},
        // errors that still deliver a number
        Expect{"08", kI, 8, "unexpected digit '8' in octal constant"},
        Expect{"0b12", kI, 4, "unexpected digit '2' in binary constant"},
        Expect{"0b1e1", kI, 3, "unexpected digit 'e' in binary constant"},
        Expect{"07a", kI, 66, "unexpected digit 'a' in octal constant"},
        Expect{"12ab", kI, 1311, "unexpected digit 'b' in constant"},
        Expect{"0x1.8", kF, 1.8, "hexadecimal constant must be an integer"},
        Expect{"0b1.1", kF, 1.1, "binary constant must be an integer"},
        Expect{"1e", kF, 1.0, "exponent has no digits"},
        Expect{"1e+", kF, 1.0, "exponent has no digits"}));

TEST(Tokens, LongNumbersKeep31CharactersAndLongNamesSplitAfter33) {
  const std::string digits(40, '1');
  const std::string name(40, 'a');
  Lexer lexer = make_lexer(digits.c_str(), nullptr);
  get_token(lexer);
  EXPECT_EQ(lexer.token.text, digits.substr(0, 31));
  EXPECT_EQ(lexer.pos, digits.size());  // the whole literal is consumed
  lexer = make_lexer(name.c_str(), nullptr);
  get_token(lexer);
  EXPECT_EQ(lexer.token.text, name.substr(0, 33));
  const test::Outcome out = test::Eval(name);
  EXPECT_FALSE(out.read);
  EXPECT_EQ(out.message, "unexpected token '" + name.substr(0, 7) + "'");
}

TEST(Tokens, WhitespaceIsTabLineFeedCarriageReturnAndSpaceOnly) {
  for (const char c : {'\t', '\n', '\r', ' '}) EXPECT_TRUE(is_whitespace(c)) << int{c};
  for (const char c : {'\v', '\f', '\0'}) EXPECT_FALSE(is_whitespace(c)) << int{c};
  EXPECT_EQ(test::Eval("\t1\r\n+ 2 ").value.i, 3);
  EXPECT_FALSE(test::Eval("1\v+2").read);
}

TEST(Tokens, BadCharactersGiveErrorTokensThatConsumeNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"= 1", "assignment operator '=' is not supported"},
      {"# 2", "unexpected character '#'"},
      {"\x7f", "unexpected character '\x7f'"}};
  for (const auto& [text, message] : cases) {
    clear_error();
    Lexer lexer = make_lexer(text, nullptr);
    get_token(lexer);
    EXPECT_EQ(lexer.token.kind, TokenKind::kError) << text;
    EXPECT_EQ(lexer.pos, 0u) << text;
    EXPECT_STREQ(last_error_message(), message);
    EXPECT_FALSE(test::Eval(std::string("1 ") + text).read) << text;
  }
}

}  // namespace
}  // namespace tavomark::expr
