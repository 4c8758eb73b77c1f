#include "expression.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace tavomark::expr {

namespace {

// Converting a double beyond the float range is undefined in C++; such a result
// becomes the infinity of its sign, as an IEEE conversion would give.
float ToSingle(double x) {
  if (x > static_cast<double>(FLT_MAX)) return INFINITY;
  if (x < -static_cast<double>(FLT_MAX)) return -INFINITY;
  return static_cast<float>(x);
}

std::string FormatFloating(double x, bool scientific, int precision) {
  const char* format = scientific ? "%.*e" : "%.*f";
  const int length = std::snprintf(nullptr, 0, format, precision, x);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, precision, x);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

void PrintTruth(std::ostream& stream, const Value& value, const Options& options) {
  const bool truth = value_truth(value);
  if (options.uppercase) {
    stream << (truth ? "TRUE" : "FALSE");
  } else {
    stream << (truth ? "true" : "false");
  }
}

// Groups run from the point both ways: a space before the integer digit whose
// distance to the point is a multiple of the group, and before the fraction
// digit whose distance from the point is one more than a multiple. The
// exponent is never grouped.
void PrintFloating(std::ostream& stream, double x, const Options& options) {
  if (x < 0) {
    stream << '-';
    x = -x;
  }
  const bool scientific = options.scientific || (x > 0 && x < 0.000001) || x >= 1000000000.0;
  const std::string text =
      FormatFloating(x, scientific, std::min(options.precision, kMaxPrecision));
  const std::size_t point = std::min(text.find('.'), text.size());
  const std::size_t group = options.group_size > 0 ? static_cast<std::size_t>(options.group_size) : 0;
  bool inExponent = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == 'e' || c == 'E') inExponent = true;
    if (group > 0 && !inExponent) {
      const bool integerBreak = i > 0 && i < point && (point - i) % group == 0;
      const bool fractionBreak = i > point + 1 && (i - point - 1) % group == 0;
      if (integerBreak || fractionBreak) stream << ' ';
    }
    stream << c;
  }
}

void PrintDigit(std::ostream& stream, uint32_t digit, const Options& options) {
  if (digit >= 10 && options.radix <= 16) {
    stream << static_cast<char>((options.uppercase ? 'A' : 'a') + (digit - 10));
  } else {
    stream << digit;
  }
}

// Digits are written most significant first. Before every digit but the first,
// a space starts a new group when the digit's place (counted from 1 at the
// right) is a multiple of the group size; radices from 17 also separate their
// decimal-written digits with ':' (" : " at a group boundary).
void PrintInteger(std::ostream& stream, int32_t n, const Options& options) {
  if (options.radix < 2) {
    raise_error(kErrorEvaluation, "radix cannot be less than 2");
    return;
  }
  uint32_t magnitude = static_cast<uint32_t>(n);
  if (n < 0) {
    stream << '-';
    magnitude = 0u - magnitude;
  }
  if (magnitude == 0) {
    stream << '0';
    return;
  }
  // 32 places hold any 32-bit magnitude in radix 2 or more.
  std::array<uint32_t, 32> digits{};
  const auto radix = static_cast<uint32_t>(options.radix);
  std::size_t count = 0;
  for (; magnitude != 0; magnitude /= radix) digits[count++] = magnitude % radix;

  const bool colons = options.radix >= 17;
  for (std::size_t place = count; place >= 1; --place) {
    if (place != count) {
      if (options.group_size > 0 && place % static_cast<std::size_t>(options.group_size) == 0) {
        stream << ' ';
        if (colons) stream << ": ";
      } else if (colons) {
        stream << ':';
      }
    }
    PrintDigit(stream, digits[place - 1], options);
  }
}

}  // namespace

void set_options(Options& options) {
  options.radix = 10;
  options.precision = 6;
  options.group_size = 0;
  options.boolean = false;
  options.degrees = false;
  options.scientific = false;
  options.uppercase = false;
}

int process_expression(const char* text, float* out) {
  if (text == nullptr || out == nullptr) return 0;
  Value result{};
  value_set_int(result, 0);
  Options options{};
  set_options(options);
  if (!evaluate(text, result, options)) return 0;
  *out = result.type == kTypeInt ? static_cast<float>(result.i) : ToSingle(result.d);
  return 1;
}

int process_expression_int(const char* text, int32_t* out) {
  clear_error();
  if (text == nullptr || out == nullptr) return 0;
  Value result{};
  value_set_int(result, 0);
  Options options{};
  set_options(options);
  if (!evaluate(text, result, options) || error_flag() != 0) return 0;
  *out = value_get_int(result);
  return 1;
}

void print_value(std::ostream& stream, const Value& value, const Options& options) {
  if (options.boolean) {
    PrintTruth(stream, value, options);
  } else if (value.type == kTypeFloat) {
    PrintFloating(stream, value.d, options);
  } else {
    PrintInteger(stream, value.i, options);
  }
}

}  // namespace tavomark::expr
