#include "parser.h"

#include <cstring>
#include <limits>

#include "builtins.h"
#include "errors.h"
#include "expression.h"

namespace tavomark::expr {

namespace {

using BinaryOperation = void (*)(const Value&, const Value&, Value&);
using LevelParser = TokenKind (*)(Lexer&, Value&);

// A call stores at most this many arguments; further ones are read but dropped.
constexpr int kMaxStoredArguments = 8;

// One left-associative binary level: operands come from the next higher level,
// pick maps an operator token of this level to its operation (nullptr: not ours).
template <typename Pick>
TokenKind ParseBinaryLevel(Lexer& lexer, Value& result, LevelParser higher, Pick pick) {
  TokenKind kind = higher(lexer, result);
  for (BinaryOperation op = pick(kind); op != nullptr; op = pick(kind)) {
    get_token(lexer);
    Value right{};
    kind = higher(lexer, right);
    const Value left = result;
    op(left, right, result);
  }
  return kind;
}

// Counts nesting on the way down. Past kMaxNesting the lexer is abandoned:
// from then on it only yields error tokens, every level unwinds at once and
// evaluate fails.
class NestingGuard {
 public:
  explicit NestingGuard(Lexer& lexer) : m_lexer(lexer) {
    if (++m_lexer.depth > kMaxNesting && !m_lexer.abandoned) {
      raise_error(kErrorEvaluation, "expression nested too deeply");
      m_lexer.abandoned = true;
    }
  }
  ~NestingGuard() { --m_lexer.depth; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  [[nodiscard]] bool TooDeep() const { return m_lexer.abandoned; }

 private:
  Lexer& m_lexer;
};

void ExpectClosingParen(Lexer& lexer) {
  get_token(lexer);
  if (lexer.token.kind != TokenKind::kRightParen) {
    raise_error(kErrorEvaluation, "unmatched parenthesis '('");
  }
}

// After "name(": reads the arguments and the ')' and makes the call.
void ParseCall(Lexer& lexer, const char* name, Value& result) {
  Value arguments[kMaxStoredArguments] = {};
  int count = 0;
  if (peek_token(lexer) != TokenKind::kRightParen) {
    for (;;) {
      Value argument{};
      const TokenKind kind = parse_conditional_expression(lexer, argument);
      if (count < kMaxStoredArguments) {
        arguments[count] = argument;
      } else {
        raise_error(kErrorEvaluation, "too many arguments to function '%s'", name);
      }
      if (count < std::numeric_limits<int>::max()) ++count;
      if (kind != TokenKind::kComma) break;
      get_token(lexer);
    }
  }
  ExpectClosingParen(lexer);
  const bool degrees = lexer.options != nullptr && lexer.options->degrees;
  call_function(name, result, count, arguments, degrees);
}

}  // namespace

bool evaluate(const char* text, Value& result, const Options& options) {
  Lexer lexer = make_lexer(text, &options);
  (void)parse_expression(lexer, result);
  get_token(lexer);
  if (lexer.token.kind == TokenKind::kEnd) return true;
  if (lexer.token.kind == TokenKind::kRightParen) {
    raise_error(kErrorEvaluation, "unmatched parenthesis ')'");
  }
  raise_error(kErrorEvaluation, "unexpected token '%s'", lexer.token.text);
  return false;
}

TokenKind parse_expression(Lexer& lexer, Value& result) {
  TokenKind kind = parse_conditional_expression(lexer, result);
  while (kind == TokenKind::kComma) {
    get_token(lexer);
    kind = parse_conditional_expression(lexer, result);
  }
  return kind;
}

TokenKind parse_conditional_expression(Lexer& lexer, Value& result) {
  const NestingGuard guard(lexer);
  if (guard.TooDeep()) return peek_token(lexer);
  TokenKind kind = parse_logical_or_expression(lexer, result);
  if (kind != TokenKind::kQuestion) return kind;
  const Value condition = result;
  get_token(lexer);

  Value middle{};
  kind = parse_conditional_expression(lexer, middle);
  while (kind == TokenKind::kComma) {
    get_token(lexer);
    kind = parse_conditional_expression(lexer, middle);
  }
  get_token(lexer);
  if (lexer.token.kind != TokenKind::kColon) {
    if (lexer.token.kind == TokenKind::kEnd) raise_error(kErrorEvaluation, "unexpected end of input");
    raise_error(kErrorEvaluation, "unexpected token '%s'", lexer.token.text);
  }

  Value last{};
  kind = parse_conditional_expression(lexer, last);
  conditional(condition, middle, last, result);
  return kind;
}

TokenKind parse_logical_or_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_logical_and_expression,
                          [](TokenKind k) -> BinaryOperation {
                            return k == TokenKind::kLogicalOr ? logical_or : nullptr;
                          });
}

TokenKind parse_logical_and_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_inclusive_or_expression,
                          [](TokenKind k) -> BinaryOperation {
                            return k == TokenKind::kLogicalAnd ? logical_and : nullptr;
                          });
}

TokenKind parse_inclusive_or_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_exclusive_or_expression,
                          [](TokenKind k) -> BinaryOperation {
                            return k == TokenKind::kBar ? bit_or : nullptr;
                          });
}

TokenKind parse_exclusive_or_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_and_expression,
                          [](TokenKind k) -> BinaryOperation {
                            return k == TokenKind::kCaret ? bit_xor : nullptr;
                          });
}

TokenKind parse_and_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_equality_expression,
                          [](TokenKind k) -> BinaryOperation {
                            return k == TokenKind::kAmpersand ? bit_and : nullptr;
                          });
}

TokenKind parse_equality_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_relational_expression,
                          [](TokenKind k) -> BinaryOperation {
                            if (k == TokenKind::kEqual) return equal;
                            if (k == TokenKind::kNotEqual) return not_equal;
                            return nullptr;
                          });
}

TokenKind parse_relational_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_shift_expression,
                          [](TokenKind k) -> BinaryOperation {
                            switch (k) {
                              case TokenKind::kLess: return less_than;
                              case TokenKind::kLessEq: return less_than_eq;
                              case TokenKind::kGreater: return greater_than;
                              case TokenKind::kGreaterEq: return greater_than_eq;
                              default: return nullptr;
                            }
                          });
}

TokenKind parse_shift_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_additive_expression,
                          [](TokenKind k) -> BinaryOperation {
                            if (k == TokenKind::kShiftLeft) return bit_shift_left;
                            if (k == TokenKind::kShiftRight) return bit_shift_right;
                            return nullptr;
                          });
}

TokenKind parse_additive_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_multiplicative_expression,
                          [](TokenKind k) -> BinaryOperation {
                            if (k == TokenKind::kPlus) return add;
                            if (k == TokenKind::kMinus) return subtract;
                            return nullptr;
                          });
}

TokenKind parse_multiplicative_expression(Lexer& lexer, Value& result) {
  return ParseBinaryLevel(lexer, result, parse_unary_expression,
                          [](TokenKind k) -> BinaryOperation {
                            switch (k) {
                              case TokenKind::kStar: return multiply;
                              case TokenKind::kSlash: return divide;
                              case TokenKind::kDoubleSlash: return int_divide;
                              case TokenKind::kPercent: return modulo;
                              default: return nullptr;
                            }
                          });
}

TokenKind parse_unary_expression(Lexer& lexer, Value& result) {
  const NestingGuard guard(lexer);
  if (guard.TooDeep()) return peek_token(lexer);
  const TokenKind kind = peek_token(lexer);
  if (kind != TokenKind::kPlus && kind != TokenKind::kMinus && kind != TokenKind::kExclamation &&
      kind != TokenKind::kTilde) {
    return parse_exponential_expression(lexer, result);
  }
  get_token(lexer);
  Value operand{};
  const TokenKind next = parse_unary_expression(lexer, operand);
  switch (kind) {
    case TokenKind::kPlus: result = operand; break;
    case TokenKind::kMinus: negate(operand, result); break;
    case TokenKind::kExclamation: logical_not(operand, result); break;
    default: bit_not(operand, result); break;
  }
  return next;
}

TokenKind parse_exponential_expression(Lexer& lexer, Value& result) {
  return parse_primary(lexer, result);
}

TokenKind parse_primary(Lexer& lexer, Value& result) {
  get_token(lexer);
  const Token& token = lexer.token;
  switch (token.kind) {
    case TokenKind::kNumber:
      result = token.value;
      break;
    case TokenKind::kIdentifier: {
      char name[sizeof token.text];
      std::memcpy(name, token.text, sizeof name);
      if (peek_token(lexer) == TokenKind::kLeftParen) {
        get_token(lexer);
        ParseCall(lexer, name, result);
      } else {
        get_constant(name, result);
      }
      break;
    }
    case TokenKind::kLeftParen:
      (void)parse_expression(lexer, result);
      ExpectClosingParen(lexer);
      break;
    case TokenKind::kEnd:
      raise_error(kErrorEvaluation, "unexpected end of input");
      break;
    default:
      raise_error(kErrorEvaluation, "unexpected token '%s'", token.text);
      break;
  }
  return peek_token(lexer);
}

}  // namespace tavomark::expr
