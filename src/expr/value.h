#pragma once
// The evaluator's number: a 32-bit integer or a double, and every operation the
// parser applies to numbers.
//
// Integer arithmetic wraps in 32-bit two's complement; as soon as one operand
// is floating, both are taken as doubles and the result is floating.
// Comparisons and logical operations give integer 0 or 1. Each operation writes
// a whole value into its result slot, except where an error is documented to
// leave the slot unchanged; operands are never changed.

#include <cstdint>

namespace tavomark::expr {

inline constexpr int32_t kTypeInt = 0;
inline constexpr int32_t kTypeFloat = 1;

struct Value {
  union {
    int32_t i;  // meaningful when type == kTypeInt
    double d;   // meaningful when type == kTypeFloat
  };
  int32_t type;
};

// A value-initialised Value{} is integer 0.
static_assert(sizeof(Value) == 16);

// ---- access and conversion ----------------------------------------------------

// v becomes integer n (the whole payload is cleared first).
void value_set_int(Value& v, int32_t n);
// v becomes floating x.
void value_set_float(Value& v, double x);
// An integer's value, or a floating value truncated toward zero (see
// truncate_to_int for values outside the integer range).
[[nodiscard]] int32_t value_get_int(const Value& v);
// A floating value's double, or an integer converted exactly.
[[nodiscard]] double value_get_float(const Value& v);
// A floating v becomes the integer nearest to it, halves away from zero; an
// integer is left alone.
void round_to_int(Value& v);

// Truncation toward zero and rounding half away from zero into 32 bits. A value
// beyond the integer range gives INT_MIN or INT_MAX (the nearer end), a NaN 0.
[[nodiscard]] int32_t truncate_to_int(double x);
[[nodiscard]] int32_t round_half_away(double x);

// An integer is true when not 0; a floating value when it is not equal to 0.0,
// so a NaN is true.
[[nodiscard]] bool value_truth(const Value& v);

// ---- operators (a is the left operand, b the right one) -----------------------

void add(const Value& a, const Value& b, Value& result);
void subtract(const Value& a, const Value& b, Value& result);
void multiply(const Value& a, const Value& b, Value& result);
// Integers divide to an integer only when the division is exact, else to a
// floating quotient. An integer 0 divisor raises "division by zero" and leaves
// result unchanged; a 0 divisor of a floating division raises it and stores the
// IEEE quotient (an infinity or NaN). INT_MIN / -1 wraps to INT_MIN.
void divide(const Value& a, const Value& b, Value& result);
// Integer quotient truncated toward zero (INT_MIN // -1 wraps to INT_MIN).
// Floating operands raise an error and are truncated to integers first.
void int_divide(const Value& a, const Value& b, Value& result);
// Integer remainder with the sign of a (INT_MIN % -1 is 0). Floating operands
// or a 0 divisor raise an error and leave result unchanged.
void modulo(const Value& a, const Value& b, Value& result);
// a to the power b: integers with b >= 0 give a wrapping integer power
// (0 to the power 0 is 1); anything else the floating pow.
void power(const Value& a, const Value& b, Value& result);
void negate(const Value& a, Value& result);

void equal(const Value& a, const Value& b, Value& result);
void not_equal(const Value& a, const Value& b, Value& result);
void less_than(const Value& a, const Value& b, Value& result);
void less_than_eq(const Value& a, const Value& b, Value& result);
void greater_than(const Value& a, const Value& b, Value& result);
void greater_than_eq(const Value& a, const Value& b, Value& result);

// `and`, `or` and `not` are reserved words in C++, hence the longer names.
void logical_and(const Value& a, const Value& b, Value& result);
void logical_or(const Value& a, const Value& b, Value& result);
void logical_not(const Value& a, Value& result);

// The bitwise operators take integers only; a floating operand raises an error
// and leaves result unchanged. Shift counts are taken modulo 32 (the count's
// low five bits, so -1 shifts by 31); `>>` copies the sign bit.
void bit_and(const Value& a, const Value& b, Value& result);
void bit_or(const Value& a, const Value& b, Value& result);
void bit_xor(const Value& a, const Value& b, Value& result);
void bit_not(const Value& a, Value& result);
void bit_shift_left(const Value& a, const Value& b, Value& result);
void bit_shift_right(const Value& a, const Value& b, Value& result);

// result becomes a copy of when_true if condition is true, else of when_false.
void conditional(const Value& condition, const Value& when_true, const Value& when_false,
                 Value& result);

}  // namespace tavomark::expr
