#pragma once
// The expression evaluator's interface for the rest of the program.
//
// Texts are C-like arithmetic expressions without variables: numbers (decimal,
// 0x hexadecimal, 0b binary, 0-prefixed octal, decimals and exponents), the
// named constants and built-in functions of builtins.h, parentheses and the C
// operators (with // for integer division; powers are pow(a, b)). Integers are
// 32-bit and wrap around; / gives an integer only when the division is exact.
//
// Errors never stop an evaluation: they are recorded in the calling thread's
// error flag (errors.h), and each entry point says what it makes of them.
// The evaluator keeps no other state between calls; it is not re-entrant on
// one thread (the flag is shared by the evaluations of that thread), and
// different threads do not disturb each other.

#include <cstdint>
#include <ostream>

#include "errors.h"
#include "parser.h"
#include "value.h"

namespace tavomark::expr {

struct Options {
  int32_t radix;       // base in which print_value writes integers
  int32_t precision;   // digits after the point (or of the mantissa) of floating values
  int32_t group_size;  // above 0: print_value separates groups of this many digits
  bool boolean;        // print_value writes true/false instead of the number
  bool degrees;        // trigonometric functions take and give degrees
  bool scientific;     // print_value always writes floating values in scientific notation
  bool uppercase;      // TRUE/FALSE, and digit letters A-F in radices 11 to 16
};

// Radix 10, precision 6, no grouping, every flag off.
void set_options(Options& options);

// Evaluates a calibration formula (NUL-terminated text) into a single-precision
// number. Returns 1 and writes *out when the whole text was read as one
// expression list, even if errors were raised on the way (an unknown name
// counts as integer 0, a division by zero as described in value.h); returns 0
// and leaves *out alone otherwise, or when text or out is null. A result beyond
// the single-precision range becomes an infinity. Neither clears nor reads the
// error flag.
[[nodiscard]] int process_expression(const char* text, float* out);

// Evaluates an array dimension or a #define value into an integer. Clears the
// error flag first; returns 1 and writes *out (a floating result truncated
// toward zero) only when the text was read whole and no error was raised;
// returns 0 and leaves *out alone otherwise.
[[nodiscard]] int process_expression_int(const char* text, int32_t* out);

// Writes value as text under options:
//   boolean        true/false (TRUE/FALSE with uppercase); a NaN is true
//   floating       fixed "%.*f" with precision, or "%.*e" when scientific is set
//                  or 0 < |x| < 0.000001 or |x| >= 1e9; with group_size, a space
//                  every group_size digits both ways from the point
//   integer        digits in radix (2 upwards), letters for digits 10 to 15 in
//                  radices up to 16; radices from 17 write each digit as a
//                  decimal number separated by ':'; with group_size, a space
//                  every group_size digits from the right (" : " from radix 17)
// A radix below 2 raises "radix cannot be less than 2" and writes nothing.
// Precision is limited to kMaxPrecision digits, which shows any double exactly.
void print_value(std::ostream& stream, const Value& value, const Options& options);

inline constexpr int32_t kMaxPrecision = 1100;

}  // namespace tavomark::expr
