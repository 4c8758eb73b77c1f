#pragma once
// The recursive-descent parser. Every sub-expression is computed while it is
// read; there is no syntax tree. One function per precedence level, lowest
// first; each parses its operands into result and returns the kind of the token
// that follows what it read. Binary levels are left-associative.
//
//   expression list   conditional { , conditional }          (the last one remains)
//   conditional       logical-or [ ? expression-list : conditional ]
//   logical or / and  ||  /  &&                               (no short-circuit)
//   inclusive or, exclusive or, and     |  ^  &
//   equality          ==  !=
//   relational        <  <=  >  >=
//   shift             <<  >>
//   additive          +  -
//   multiplicative    *  /  //  %
//   unary             + - ! ~ unary, or exponential
//   exponential       primary (powers are written pow(a, b))
//   primary           number | constant | call(args) | ( expression-list )
//
// Every operand is evaluated, so an error in a branch that is not taken still
// reaches the error flag. No error stops the parse: a level stops at any token
// it has no use for, and evaluate reports what is left over.

#include "lexer.h"
#include "value.h"

namespace tavomark::expr {

struct Options;

// The deepest nesting (brackets, unary operators and conditionals together)
// that is followed; beyond it the evaluation fails with "expression nested too
// deeply" instead of running out of stack.
inline constexpr int kMaxNesting = 256;

// Evaluates text into result, which the caller has initialised (an empty text
// leaves it untouched). True when the whole text was read as one expression
// list; errors raised on the way do not make it false, the error flag tells.
[[nodiscard]] bool evaluate(const char* text, Value& result, const Options& options);

TokenKind parse_expression(Lexer& lexer, Value& result);
TokenKind parse_conditional_expression(Lexer& lexer, Value& result);
TokenKind parse_logical_or_expression(Lexer& lexer, Value& result);
TokenKind parse_logical_and_expression(Lexer& lexer, Value& result);
TokenKind parse_inclusive_or_expression(Lexer& lexer, Value& result);
TokenKind parse_exclusive_or_expression(Lexer& lexer, Value& result);
TokenKind parse_and_expression(Lexer& lexer, Value& result);
TokenKind parse_equality_expression(Lexer& lexer, Value& result);
TokenKind parse_relational_expression(Lexer& lexer, Value& result);
TokenKind parse_shift_expression(Lexer& lexer, Value& result);
TokenKind parse_additive_expression(Lexer& lexer, Value& result);
TokenKind parse_multiplicative_expression(Lexer& lexer, Value& result);
TokenKind parse_unary_expression(Lexer& lexer, Value& result);
TokenKind parse_exponential_expression(Lexer& lexer, Value& result);
TokenKind parse_primary(Lexer& lexer, Value& result);

}  // namespace tavomark::expr
