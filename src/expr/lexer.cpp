#include "lexer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "errors.h"

namespace tavomark::expr {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentifierChar(char c) { return IsLetter(c) || IsDigit(c); }
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void SkipWhitespace(Lexer& lexer) {
  while (is_whitespace(static_cast<unsigned char>(lexer.text[lexer.pos]))) ++lexer.pos;
}

void ClearToken(Token& token) {
  token.kind = TokenKind::kNone;
  token.text[0] = '\0';
  value_set_int(token.value, 0);
}

void SetTokenText(Token& token, const char* from, std::size_t count) {
  count = std::min(count, sizeof token.text - 1);
  std::memcpy(token.text, from, count);
  token.text[count] = '\0';
}

// The kind of a one- or two-character operator starting at p, with its length.
TokenKind OperatorAt(const char* p, std::size_t& length) {
  length = 1;
  const char next = p[1];
  auto two = [&length](TokenKind kind) {
    length = 2;
    return kind;
  };
  switch (p[0]) {
    case '(': return TokenKind::kLeftParen;
    case ')': return TokenKind::kRightParen;
    case '?': return TokenKind::kQuestion;
    case ':': return TokenKind::kColon;
    case ',': return TokenKind::kComma;
    case '+': return TokenKind::kPlus;
    case '-': return TokenKind::kMinus;
    case '*': return TokenKind::kStar;
    case '%': return TokenKind::kPercent;
    case '^': return TokenKind::kCaret;
    case '~': return TokenKind::kTilde;
    case '/': return next == '/' ? two(TokenKind::kDoubleSlash) : TokenKind::kSlash;
    case '!': return next == '=' ? two(TokenKind::kNotEqual) : TokenKind::kExclamation;
    case '&': return next == '&' ? two(TokenKind::kLogicalAnd) : TokenKind::kAmpersand;
    case '|': return next == '|' ? two(TokenKind::kLogicalOr) : TokenKind::kBar;
    case '=': return next == '=' ? two(TokenKind::kEqual) : TokenKind::kError;
    case '<':
      if (next == '=') return two(TokenKind::kLessEq);
      if (next == '<') return two(TokenKind::kShiftLeft);
      return TokenKind::kLess;
    case '>':
      if (next == '=') return two(TokenKind::kGreaterEq);
      if (next == '>') return two(TokenKind::kShiftRight);
      return TokenKind::kGreater;
    default: return TokenKind::kError;
  }
}

// ---- number literals ---------------------------------------------------------

// The digits of a literal are read in up to three states: the integer part,
// the fraction and the exponent. The integer part is kept as a wrapping 32-bit
// integer until a '.' or an exponent turns the literal floating.
struct LiteralReader {
  const char* text;
  std::size_t pos;
  int radix = 10;
  uint32_t integer = 0;
  double floating = 0.0;
  bool isFloat = false;
  double weight = 0.1;
  int32_t exponent = 0;
  bool exponentNegative = false;
};

// Exponent digits stop counting here: 10 to this power is already beyond every
// double, so the value is the same and the count cannot overflow.
constexpr int32_t kExponentCap = 100000;

void RaiseDigitError(int radix, char c) {
  if (radix == 2) {
    raise_error(kErrorEvaluation, "unexpected digit '%c' in binary constant", c);
  } else if (radix == 8) {
    raise_error(kErrorEvaluation, "unexpected digit '%c' in octal constant", c);
  } else if (radix == 10) {
    raise_error(kErrorEvaluation, "unexpected digit '%c' in constant", c);
  }
}

void Accumulate(LiteralReader& r, unsigned digit) {
  r.integer = r.integer * static_cast<uint32_t>(r.radix) + digit;
}

void TurnFloating(LiteralReader& r) {
  r.floating = static_cast<double>(static_cast<int32_t>(r.integer));
  r.isFloat = true;
}

void ReadExponent(LiteralReader& r) {
  ++r.pos;  // the 'E' or 'e'
  if (r.text[r.pos] == '-') {
    r.exponentNegative = true;
    ++r.pos;
  } else if (r.text[r.pos] == '+') {
    ++r.pos;
  }
  if (!IsDigit(r.text[r.pos])) raise_error(kErrorEvaluation, "exponent has no digits");
  while (IsDigit(r.text[r.pos])) {
    const int32_t digit = r.text[r.pos] - '0';
    r.exponent = std::min(kExponentCap, r.exponent * r.radix + digit);
    ++r.pos;
  }
}

void ReadFraction(LiteralReader& r) {
  for (;;) {
    const char c = r.text[r.pos];
    if (IsDigit(c)) {
      r.floating += (c - '0') * r.weight;
      r.weight /= r.radix;
      ++r.pos;
    } else if (c == 'E' || c == 'e') {
      return ReadExponent(r);
    } else {
      return;
    }
  }
}

// Reads the integer part; hands over to the fraction or exponent when one starts.
void ReadInteger(LiteralReader& r) {
  for (;;) {
    const char c = r.text[r.pos];
    if (IsDigit(c)) {
      const unsigned digit = static_cast<unsigned>(c - '0');
      if ((r.radix == 2 && digit >= 2) || (r.radix == 8 && digit >= 8)) {
        RaiseDigitError(r.radix, c);
      }
      Accumulate(r, digit);
      ++r.pos;
    } else if (c == 'E' || c == 'e') {
      if (r.radix == 16) {
        Accumulate(r, 14);
        ++r.pos;
      } else if (r.radix == 10) {
        TurnFloating(r);
        return ReadExponent(r);
      } else {
        RaiseDigitError(r.radix, c);
        ++r.pos;
      }
    } else if (IsHexDigit(c)) {
      RaiseDigitError(r.radix, c);
      const unsigned digit = static_cast<unsigned>(c >= 'a' ? c - 'a' : c - 'A') + 10;
      Accumulate(r, digit);
      ++r.pos;
    } else if (c == '.') {
      if (r.radix == 2) raise_error(kErrorEvaluation, "binary constant must be an integer");
      if (r.radix == 16) raise_error(kErrorEvaluation, "hexadecimal constant must be an integer");
      TurnFloating(r);
      ++r.pos;
      return ReadFraction(r);
    } else {
      return;
    }
  }
}

// A leading 0 picks the radix: 0b binary, 0x hexadecimal, otherwise octal, unless
// the run of the literal holds a '.' or an exponent letter (then it is decimal,
// so that 010.5 is ten and a half).
void ChooseRadix(LiteralReader& r) {
  bool floatHint = false;
  for (std::size_t i = r.pos; IsHexDigit(r.text[i]) || r.text[i] == '.'; ++i) {
    const char c = r.text[i];
    if (c == '.' || c == 'E' || c == 'e') floatHint = true;
  }
  if (r.text[r.pos] != '0') return;
  const char next = r.text[r.pos + 1];
  if (next == 'B' || next == 'b') {
    r.radix = 2;
    r.pos += 2;
  } else if (next == 'X' || next == 'x') {
    r.radix = 16;
    r.pos += 2;
  } else if (!floatHint) {
    r.radix = 8;
    r.pos += 1;
  }
}

}  // namespace

Lexer make_lexer(const char* text, const Options* options) {
  Lexer lexer{};
  lexer.text = text != nullptr ? text : "";
  lexer.options = options;
  ClearToken(lexer.token);
  return lexer;
}

bool is_whitespace(int c) { return c == 9 || c == 10 || c == 13 || c == 32; }

TokenKind peek_token(Lexer& lexer) {
  SkipWhitespace(lexer);
  if (lexer.abandoned) return TokenKind::kError;
  const char c = lexer.text[lexer.pos];
  if (c == '\0') return TokenKind::kEnd;
  if (IsLetter(c)) return TokenKind::kIdentifier;
  if (IsDigit(c) || c == '.') return TokenKind::kNumber;
  std::size_t length = 0;
  const TokenKind kind = OperatorAt(lexer.text + lexer.pos, length);
  if (kind == TokenKind::kError) {
    if (c == '=') {
      raise_error(kErrorEvaluation, "assignment operator '=' is not supported");
    } else {
      raise_error(kErrorEvaluation, "unexpected character '%c'", c);
    }
  }
  return kind;
}

void get_token(Lexer& lexer) {
  ClearToken(lexer.token);
  SkipWhitespace(lexer);
  const TokenKind kind = peek_token(lexer);
  switch (kind) {
    case TokenKind::kIdentifier:
      get_identifier(lexer);
      break;
    case TokenKind::kNumber:
      get_literal(lexer);
      break;
    case TokenKind::kEnd:
    case TokenKind::kError:
    case TokenKind::kNone:
      lexer.token.kind = kind;
      break;
    default: {
      std::size_t length = 0;
      OperatorAt(lexer.text + lexer.pos, length);
      lexer.token.kind = kind;
      SetTokenText(lexer.token, lexer.text + lexer.pos, length);
      lexer.pos += length;
      break;
    }
  }
  SkipWhitespace(lexer);
}

void get_identifier(Lexer& lexer) {
  const std::size_t start = lexer.pos;
  while (lexer.pos - start < kMaxIdentifierChars && IsIdentifierChar(lexer.text[lexer.pos])) {
    ++lexer.pos;
  }
  lexer.token.kind = TokenKind::kIdentifier;
  SetTokenText(lexer.token, lexer.text + start, lexer.pos - start);
  value_set_int(lexer.token.value, 0);
}

void get_literal(Lexer& lexer) {
  const std::size_t start = lexer.pos;
  LiteralReader r{lexer.text, start};
  ChooseRadix(r);
  ReadInteger(r);

  Token& token = lexer.token;
  token.kind = TokenKind::kNumber;
  if (r.isFloat) {
    double x = r.floating;
    if (r.exponent != 0) {
      x *= std::pow(10.0, r.exponentNegative ? -r.exponent : r.exponent);
    }
    value_set_float(token.value, x);
  } else {
    value_set_int(token.value, static_cast<int32_t>(r.integer));
  }
  SetTokenText(token, lexer.text + start, std::min(r.pos - start, kMaxNumberTextChars));
  lexer.pos = r.pos;
}

}  // namespace tavomark::expr
