// Number literals in every radix, the token kinds and the lexer's cut-off rules.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "expr_test_util.h"
#include "lexer.h"

namespace tavomark::expr {
namespace {

using test::Expect;

constexpr double kInf = HUGE_VAL;

class Literal : public ::testing::TestWithParam<Expect> {};

TEST_P(Literal, ReadsValueTypeAndErrors) { test::ExpectOutcome(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    EveryRadix, Literal,
    ::testing::Values(
        // hexadecimal: both prefixes and letter cases; E is a digit here
        Expect{"0x1F", kTypeInt, 31}, Expect{"0XfF", kTypeInt, 255}, Expect{"0x1e", kTypeInt, 30},
        Expect{"0xFFFFFFFF", kTypeInt, -1}, Expect{"0x", kTypeInt, 0},
        // binary
        Expect{"0b101", kTypeInt, 5}, Expect{"0B11", kTypeInt, 3},
        // octal, and the decimal point or exponent that makes a leading 0 decimal
        Expect{"017", kTypeInt, 15}, Expect{"0777", kTypeInt, 511}, Expect{"0", kTypeInt, 0},
        Expect{"010.5", kTypeFloat, 10.5}, Expect{"01e2", kTypeFloat, 100.0},
        // decimal and floating forms
        Expect{".5", kTypeFloat, 0.5}, Expect{"1.", kTypeFloat, 1.0},
        Expect{"1e3", kTypeFloat, 1000.0}, Expect{"1E-3", kTypeFloat, 0.001},
        Expect{"1e+2", kTypeFloat, 100.0}, Expect{"1.25e2", kTypeFloat, 125.0},
        Expect{"1e0", kTypeFloat, 1.0}, Expect{"1e99999999999", kTypeFloat, kInf},
        Expect{"1e-99999999999", kTypeFloat, 0.0},
        // 32-bit wrap-around without an overflow check
        Expect{"2147483648", kTypeInt, INT_MIN}, Expect{"4294967297", kTypeInt, 1},
        // errors that still deliver a number
        Expect{"08", kTypeInt, 8, "unexpected digit '8' in octal constant"},
        Expect{"0b12", kTypeInt, 4, "unexpected digit '2' in binary constant"},
        Expect{"0b1e1", kTypeInt, 3, "unexpected digit 'e' in binary constant"},
        Expect{"07a", kTypeInt, 66, "unexpected digit 'a' in octal constant"},
        Expect{"12ab", kTypeInt, 1311, "unexpected digit 'b' in constant"},
        Expect{"0x1.8", kTypeFloat, 1.8, "hexadecimal constant must be an integer"},
        Expect{"0b1.1", kTypeFloat, 1.1, "binary constant must be an integer"},
        Expect{"1e", kTypeFloat, 1.0, "exponent has no digits"},
        Expect{"1e+", kTypeFloat, 1.0, "exponent has no digits"}));

TEST(LiteralFraction, SumsDigitByDigitInDouble) {
  // 0.3 is read as 3 x 0.1, one ulp above the double nearest to 0.3.
  const test::Outcome out = test::Eval("0.3");
  ASSERT_EQ(out.value.type, kTypeFloat);
  EXPECT_EQ(out.value.d, 0.30000000000000004);
}

TEST(Tokens, LongNumbersKeep31CharactersAndLongNamesSplitAfter33) {
  const std::string digits(40, '1');
  Lexer lexer = make_lexer(digits.c_str(), nullptr);
  get_token(lexer);
  EXPECT_EQ(lexer.token.text, digits.substr(0, 31));
  EXPECT_EQ(lexer.pos, digits.size());  // the whole literal is consumed

  const std::string name(40, 'a');
  lexer = make_lexer(name.c_str(), nullptr);
  get_token(lexer);
  EXPECT_EQ(lexer.token.text, name.substr(0, 33));
  const test::Outcome out = test::Eval(name);
  EXPECT_FALSE(out.read);
  EXPECT_EQ(out.message, "unexpected token '" + name.substr(0, 7) + "'");
}

TEST(Tokens, EveryOperatorHasItsKindAndText) {
  const char* text = "( ) ? : , + - * / // % == != < <= > >= && || ! & | ^ ~ << >> x1 2";
  using K = TokenKind;
  const TokenKind kinds[] = {
      K::kLeftParen, K::kRightParen, K::kQuestion,   K::kColon,      K::kComma,
      K::kPlus,      K::kMinus,      K::kStar,       K::kSlash,      K::kDoubleSlash,
      K::kPercent,   K::kEqual,      K::kNotEqual,   K::kLess,       K::kLessEq,
      K::kGreater,   K::kGreaterEq,  K::kLogicalAnd, K::kLogicalOr,  K::kExclamation,
      K::kAmpersand, K::kBar,        K::kCaret,      K::kTilde,      K::kShiftLeft,
      K::kShiftRight, K::kIdentifier, K::kNumber,    K::kEnd};
  Lexer lexer = make_lexer(text, nullptr);
  std::string source = text;
  for (const TokenKind kind : kinds) {
    get_token(lexer);
    EXPECT_EQ(lexer.token.kind, kind) << lexer.token.text;
    EXPECT_EQ(lexer.token.text, source.substr(0, source.find(' '))) << "token text";
    source = source.find(' ') == std::string::npos ? "" : source.substr(source.find(' ') + 1);
  }
}

TEST(Tokens, WhitespaceIsTabLineFeedCarriageReturnAndSpaceOnly) {
  EXPECT_TRUE(is_whitespace('\t'));
  EXPECT_TRUE(is_whitespace('\n'));
  EXPECT_TRUE(is_whitespace('\r'));
  EXPECT_TRUE(is_whitespace(' '));
  EXPECT_FALSE(is_whitespace('\v'));
  EXPECT_FALSE(is_whitespace('\f'));
  EXPECT_FALSE(is_whitespace('\0'));
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
