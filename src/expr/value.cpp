#include "value.h"

#include <climits>
#include <cmath>

#include "errors.h"

namespace tavomark::expr {

namespace {

// Wrapping 32-bit arithmetic: done on unsigned numbers, where overflow is
// defined, and brought back (C++20 defines the conversion as modulo 2^32).
int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Quotient and remainder truncated toward zero; b must not be 0. The one
// overflowing case, INT_MIN / -1, wraps like the other operators do.
int32_t TruncQuotient(int32_t a, int32_t b) {
  if (b == -1) return WrapSub(0, a);
  return a / b;
}
int32_t TruncRemainder(int32_t a, int32_t b) {
  if (b == -1) return 0;
  return a % b;
}

bool BothInt(const Value& a, const Value& b) {
  return a.type == kTypeInt && b.type == kTypeInt;
}

void SetBool(Value& result, bool truth) { value_set_int(result, truth ? 1 : 0); }

// Shift counts use the low five bits of the count: the count modulo 32.
unsigned ShiftCount(int32_t b) { return static_cast<uint32_t>(b) & 31u; }

}  // namespace

// ---- access and conversion ----------------------------------------------------

void value_set_int(Value& v, int32_t n) {
  v = Value{};
  v.i = n;
  v.type = kTypeInt;
}

void value_set_float(Value& v, double x) {
  v.d = x;
  v.type = kTypeFloat;
}

int32_t truncate_to_int(double x) {
  if (std::isnan(x)) return 0;
  if (x <= static_cast<double>(INT_MIN)) return INT_MIN;
  if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int32_t>(x);
}

int32_t round_half_away(double x) {
  // std::round rounds halves away from zero without the double rounding that
  // adding 0.5 suffers just below a half (0.49999999999999994 + 0.5 == 1.0).
  return truncate_to_int(std::round(x));
}

int32_t value_get_int(const Value& v) {
  return v.type == kTypeInt ? v.i : truncate_to_int(v.d);
}

double value_get_float(const Value& v) {
  return v.type == kTypeInt ? static_cast<double>(v.i) : v.d;
}

void round_to_int(Value& v) {
  if (v.type == kTypeInt) return;
  value_set_int(v, round_half_away(v.d));
}

bool value_truth(const Value& v) {
  if (v.type == kTypeInt) return v.i != 0;
  return !(v.d == 0.0);
}

// ---- arithmetic -----------------------------------------------------------------

void add(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return value_set_int(result, WrapAdd(a.i, b.i));
  value_set_float(result, value_get_float(a) + value_get_float(b));
}

void subtract(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return value_set_int(result, WrapSub(a.i, b.i));
  value_set_float(result, value_get_float(a) - value_get_float(b));
}

void multiply(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return value_set_int(result, WrapMul(a.i, b.i));
  value_set_float(result, value_get_float(a) * value_get_float(b));
}

void divide(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) {
    if (b.i == 0) return raise_error(kErrorEvaluation, "division by zero");
    if (TruncRemainder(a.i, b.i) == 0) return value_set_int(result, TruncQuotient(a.i, b.i));
    return value_set_float(result, static_cast<double>(a.i) / static_cast<double>(b.i));
  }
  const double divisor = value_get_float(b);
  if (divisor == 0.0) raise_error(kErrorEvaluation, "division by zero");
  value_set_float(result, value_get_float(a) / divisor);
}

void int_divide(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    raise_error(kErrorEvaluation, "integer division operator '//' requires integer operands");
  }
  const int32_t dividend = value_get_int(a);
  const int32_t divisor = value_get_int(b);
  if (divisor == 0) return raise_error(kErrorEvaluation, "division by zero");
  value_set_int(result, TruncQuotient(dividend, divisor));
}

void modulo(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "modulo operator '%%' requires integer operands");
  }
  if (b.i == 0) return raise_error(kErrorEvaluation, "mod by zero");
  value_set_int(result, TruncRemainder(a.i, b.i));
}

void power(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b) && b.i >= 0) {
    int32_t base = a.i;
    int32_t exponent = b.i;
    int32_t product = 1;
    while (exponent != 0) {
      if (exponent & 1) product = WrapMul(product, base);
      base = WrapMul(base, base);
      exponent >>= 1;
    }
    return value_set_int(result, product);
  }
  value_set_float(result, std::pow(value_get_float(a), value_get_float(b)));
}

void negate(const Value& a, Value& result) {
  if (a.type == kTypeInt) return value_set_int(result, WrapSub(0, a.i));
  value_set_float(result, -a.d);
}

// ---- comparison ------------------------------------------------------------------
// The double comparisons are false whenever a NaN takes part, except !=.

void equal(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i == b.i);
  SetBool(result, value_get_float(a) == value_get_float(b));
}

void not_equal(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i != b.i);
  SetBool(result, value_get_float(a) != value_get_float(b));
}

void less_than(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i < b.i);
  SetBool(result, value_get_float(a) < value_get_float(b));
}

void less_than_eq(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i <= b.i);
  SetBool(result, value_get_float(a) <= value_get_float(b));
}

void greater_than(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i > b.i);
  SetBool(result, value_get_float(a) > value_get_float(b));
}

void greater_than_eq(const Value& a, const Value& b, Value& result) {
  if (BothInt(a, b)) return SetBool(result, a.i >= b.i);
  SetBool(result, value_get_float(a) >= value_get_float(b));
}

// ---- logic -------------------------------------------------------------------------

void logical_and(const Value& a, const Value& b, Value& result) {
  SetBool(result, value_truth(a) && value_truth(b));
}

void logical_or(const Value& a, const Value& b, Value& result) {
  SetBool(result, value_truth(a) || value_truth(b));
}

void logical_not(const Value& a, Value& result) {
  if (a.type == kTypeInt) return SetBool(result, a.i == 0);
  SetBool(result, a.d == 0.0);
}

// ---- bits ----------------------------------------------------------------------------

void bit_and(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "bitwise AND operator '&' requires integer operands");
  }
  value_set_int(result, a.i & b.i);
}

void bit_or(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "bitwise OR operator '|' requires integer operands");
  }
  value_set_int(result, a.i | b.i);
}

void bit_xor(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "bitwise XOR operator '^' requires integer operands");
  }
  value_set_int(result, a.i ^ b.i);
}

void bit_not(const Value& a, Value& result) {
  if (a.type != kTypeInt) {
    return raise_error(kErrorEvaluation, "bitwise NOT operator '~' requires an integer operand");
  }
  value_set_int(result, ~a.i);
}

void bit_shift_left(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "bit shift operator '<<' requires integer operands");
  }
  value_set_int(result, static_cast<int32_t>(static_cast<uint32_t>(a.i) << ShiftCount(b.i)));
}

void bit_shift_right(const Value& a, const Value& b, Value& result) {
  if (!BothInt(a, b)) {
    return raise_error(kErrorEvaluation, "bit shift operator '>>' requires integer operands");
  }
  // C++20 defines >> of a negative number as the arithmetic shift.
  value_set_int(result, a.i >> ShiftCount(b.i));
}

void conditional(const Value& condition, const Value& when_true, const Value& when_false,
                 Value& result) {
  result = value_truth(condition) ? when_true : when_false;
}

}  // namespace tavomark::expr
