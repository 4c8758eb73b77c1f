#pragma once
// Tokens of the expression language and the lexer that reads them from a
// NUL-terminated text, one token at a time and without backtracking.

#include <cstddef>
#include <cstdint>

#include "value.h"

namespace tavomark::expr {

struct Options;

enum class TokenKind : int32_t {
  kNone,  // a cleared token, before get_token fills it
  kError,  // a byte that starts no token, or a lone '='
  kEnd,
  kIdentifier,
  kNumber,
  kLeftParen,
  kRightParen,
  kQuestion,
  kColon,
  kComma,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kDoubleSlash,
  kPercent,
  kEqual,
  kNotEqual,
  kLess,
  kLessEq,
  kGreater,
  kGreaterEq,
  kLogicalAnd,
  kLogicalOr,
  kExclamation,
  kAmpersand,
  kBar,
  kCaret,
  kTilde,
  kShiftLeft,
  kShiftRight,
};

// The longest identifier and number source text a token keeps. A longer
// identifier is cut and its rest starts the next token; a longer number is read
// whole and only its text is cut.
inline constexpr std::size_t kMaxIdentifierChars = 33;
inline constexpr std::size_t kMaxNumberTextChars = 31;

struct Token {
  TokenKind kind;
  char text[40];  // NUL-terminated source characters of the token
  Value value;    // a number's value; integer 0 for every other token
};

struct Lexer {
  const char* text;         // the expression, NUL-terminated, never written
  std::size_t pos;          // index of the next unread byte
  const Options* options;   // the parser reads its degrees flag
  Token token;              // the token most recently read by get_token
  int depth;                // current nesting of the parser, see parser.cpp
  bool abandoned;           // set when nesting ran too deep: only error tokens follow
};

// A lexer at the start of text.
[[nodiscard]] Lexer make_lexer(const char* text, const Options* options);

// TAB, line feed, carriage return and space; not vertical tab or form feed.
[[nodiscard]] bool is_whitespace(int c);

// The kind of the next token, without consuming it (leading whitespace is
// skipped). A byte that starts no token raises "unexpected character '%c'"
// and a lone '=' "assignment operator '=' is not supported"; both give kError.
[[nodiscard]] TokenKind peek_token(Lexer& lexer);

// Consumes the next token into lexer.token, then skips the whitespace after it.
// The end and error tokens consume nothing.
void get_token(Lexer& lexer);

// Reads the number literal at pos into lexer.token (get_token's part for
// numbers). Literal errors are raised and the reading goes on.
void get_literal(Lexer& lexer);

// Reads the identifier at pos (at most kMaxIdentifierChars) into lexer.token.
void get_identifier(Lexer& lexer);

}  // namespace tavomark::expr
