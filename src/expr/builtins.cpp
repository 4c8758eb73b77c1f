#include "builtins.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "errors.h"

namespace tavomark::expr {

namespace {

// ---- constants -------------------------------------------------------------------

struct Constant {
  const char* name;
  int32_t type;
  double floating;
  int32_t integer;
};

constexpr Constant Int(const char* name, int32_t n) { return {name, kTypeInt, 0.0, n}; }
constexpr Constant Float(const char* name, double x) { return {name, kTypeFloat, x, 0}; }

// The float limits are the single-precision values, held as doubles.
constexpr Constant kConstants[] = {
    Float("PI", 3.141592653589793),
    Float("E", 2.718281828459045),
    Float("PHI", 1.618033988749895),
    Int("RAND_MAX", 32767),
    Int("CHAR_MAX", 127),
    Int("CHAR_MIN", -128),
    Int("DBL_DIG", 15),
    Float("DBL_EPSILON", 2.220446049250313e-16),
    Int("DBL_MANT_DIG", 53),
    Float("DBL_MAX", 1.7976931348623157e+308),
    Int("DBL_MAX_EXP", 1024),
    Float("DBL_MIN", 2.2250738585072014e-308),
    Int("DBL_MIN_EXP", -1021),
    Int("FLT_DIG", 6),
    Float("FLT_EPSILON", 1.1920928955078125e-07),
    Int("FLT_MANT_DIG", 24),
    Float("FLT_MAX", 3.4028234663852886e+38),
    Int("FLT_MAX_EXP", 128),
    Float("FLT_MIN", 1.1754943508222875e-38),
    Int("FLT_MIN_EXP", -125),
    Int("FLT_RADIX", 2),
    Int("INT_MAX", 2147483647),
    Int("INT_MIN", -2147483647 - 1),
    Int("LONG_MAX", 2147483647),
    Int("LONG_MIN", -2147483647 - 1),
    Int("SCHAR_MAX", 127),
    Int("SCHAR_MIN", -128),
    Int("SHRT_MAX", 32767),
    Int("SHRT_MIN", -32768),
    Int("UCHAR_MAX", 255),
    Int("USHRT_MAX", 65535),
};
static_assert(std::size(kConstants) == 31);

// ---- functions ---------------------------------------------------------------------

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;

struct Call {
  const Value* args;
  bool degrees;
  [[nodiscard]] double X() const { return value_get_float(args[0]); }
  [[nodiscard]] double Y() const { return value_get_float(args[1]); }
  [[nodiscard]] bool IntArgs(int count) const {
    for (int i = 0; i < count; ++i) {
      if (args[i].type != kTypeInt) return false;
    }
    return true;
  }
  // Angle arguments and results in the caller's unit.
  [[nodiscard]] double AngleIn() const { return degrees ? X() * kRadiansPerDegree : X(); }
  [[nodiscard]] double AngleOut(double radians) const {
    return degrees ? radians * kDegreesPerRadian : radians;
  }
};

using Compute = void (*)(const Call& call, Value& result);

struct Function {
  const char* name;
  int arguments;
  Compute compute;
};

// The pseudo-random generator of the C library's own example: 15-bit results
// (0 to 32767), a fixed start, one sequence per thread.
thread_local uint32_t t_randState = 1;

int32_t NextRand() {
  t_randState = t_randState * 1103515245u + 12345u;
  return static_cast<int32_t>((t_randState / 65536u) % 32768u);
}

// An integer argument is copied; a floating one goes through the math function
// and becomes an integer by rounding.
template <double (*kMath)(double)>
void IntegralOf(const Call& call, Value& result) {
  if (call.args[0].type == kTypeInt) {
    result = call.args[0];
    return;
  }
  value_set_int(result, round_half_away(kMath(call.X())));
}

double Floor(double x) { return std::floor(x); }
double Ceil(double x) { return std::ceil(x); }

template <double (*kMath)(double)>
void Floating1(const Call& call, Value& result) {
  value_set_float(result, kMath(call.X()));
}

template <double (*kMath)(double, double)>
void Floating2(const Call& call, Value& result) {
  value_set_float(result, kMath(call.X(), call.Y()));
}

// Plain function pointers to the math library, unambiguous among its overloads.
double Sqrt(double x) { return std::sqrt(x); }
double Cbrt(double x) { return std::cbrt(x); }
double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }
double Log10(double x) { return std::log10(x); }
double Log2(double x) { return std::log2(x); }
double Expm1(double x) { return std::expm1(x); }
double Log1p(double x) { return std::log1p(x); }
double Sinh(double x) { return std::sinh(x); }
double Cosh(double x) { return std::cosh(x); }
double Tanh(double x) { return std::tanh(x); }
double Asinh(double x) { return std::asinh(x); }
double Acosh(double x) { return std::acosh(x); }
double Atanh(double x) { return std::atanh(x); }
double Erf(double x) { return std::erf(x); }
double Erfc(double x) { return std::erfc(x); }
double Lgamma(double x) { return std::lgamma(x); }
double Tgamma(double x) { return std::tgamma(x); }
double Trunc(double x) { return std::trunc(x); }
double Hypot(double x, double y) { return std::hypot(x, y); }
double Fmod(double x, double y) { return std::fmod(x, y); }
double Remainder(double x, double y) { return std::remainder(x, y); }
double Nextafter(double x, double y) { return std::nextafter(x, y); }

void Pow(const Call& call, Value& result) { power(call.args[0], call.args[1], result); }

void Exp2(const Call& call, Value& result) {
  Value two{};
  value_set_int(two, 2);
  power(two, call.args[0], result);
}

void Abs(const Call& call, Value& result) {
  const Value& x = call.args[0];
  if (x.type == kTypeInt) {
    // INT_MIN has no positive counterpart and stays INT_MIN.
    if (x.i < 0) return negate(x, result);
    result = x;
    return;
  }
  value_set_float(result, std::fabs(x.d));
}

void Round(const Call& call, Value& result) {
  result = call.args[0];
  round_to_int(result);
}

void Sin(const Call& call, Value& result) { value_set_float(result, std::sin(call.AngleIn())); }
void Cos(const Call& call, Value& result) { value_set_float(result, std::cos(call.AngleIn())); }
void Tan(const Call& call, Value& result) { value_set_float(result, std::tan(call.AngleIn())); }

void Asin(const Call& call, Value& result) {
  value_set_float(result, call.AngleOut(std::asin(call.X())));
}
void Acos(const Call& call, Value& result) {
  value_set_float(result, call.AngleOut(std::acos(call.X())));
}
void Atan(const Call& call, Value& result) {
  value_set_float(result, call.AngleOut(std::atan(call.X())));
}
void Atan2(const Call& call, Value& result) {
  value_set_float(result, call.AngleOut(std::atan2(call.X(), call.Y())));
}

void Rand(const Call&, Value& result) { value_set_int(result, NextRand()); }

void FmodCall(const Call& call, Value& result) {
  if (!call.IntArgs(2)) return Floating2<Fmod>(call, result);
  const int32_t y = call.args[1].i;
  if (y == 0) return raise_error(kErrorEvaluation, "mod by zero");
  // INT_MIN % -1 overflows in C++; the remainder is 0.
  value_set_int(result, y == -1 ? 0 : call.args[0].i % y);
}

void Max(const Call& call, Value& result) {
  if (call.IntArgs(2)) {
    return value_set_int(result, call.args[0].i > call.args[1].i ? call.args[0].i : call.args[1].i);
  }
  value_set_float(result, std::fmax(call.X(), call.Y()));
}

void Min(const Call& call, Value& result) {
  if (call.IntArgs(2)) {
    return value_set_int(result, call.args[0].i < call.args[1].i ? call.args[0].i : call.args[1].i);
  }
  value_set_float(result, std::fmin(call.X(), call.Y()));
}

void TruncCall(const Call& call, Value& result) {
  if (call.args[0].type == kTypeInt) {
    result = call.args[0];
    return;
  }
  value_set_float(result, Trunc(call.X()));
}

constexpr Function kFunctions[] = {
    {"pow", 2, Pow},
    {"sqrt", 1, Floating1<Sqrt>},
    {"cbrt", 1, Floating1<Cbrt>},
    {"abs", 1, Abs},
    {"floor", 1, IntegralOf<Floor>},
    {"ceil", 1, IntegralOf<Ceil>},
    {"trunc", 1, TruncCall},
    {"round", 1, Round},
    {"sin", 1, Sin},
    {"cos", 1, Cos},
    {"tan", 1, Tan},
    {"asin", 1, Asin},
    {"acos", 1, Acos},
    {"atan", 1, Atan},
    {"atan2", 2, Atan2},
    {"exp", 1, Floating1<Exp>},
    {"exp2", 1, Exp2},
    {"log", 1, Floating1<Log>},
    {"log10", 1, Floating1<Log10>},
    {"log2", 1, Floating1<Log2>},
    {"rand", 0, Rand},
    {"hypot", 2, Floating2<Hypot>},
    {"expm1", 1, Floating1<Expm1>},
    {"log1p", 1, Floating1<Log1p>},
    {"sinh", 1, Floating1<Sinh>},
    {"cosh", 1, Floating1<Cosh>},
    {"tanh", 1, Floating1<Tanh>},
    {"asinh", 1, Floating1<Asinh>},
    {"acosh", 1, Floating1<Acosh>},
    {"atanh", 1, Floating1<Atanh>},
    {"erf", 1, Floating1<Erf>},
    {"erfc", 1, Floating1<Erfc>},
    {"lgamma", 1, Floating1<Lgamma>},
    {"tgamma", 1, Floating1<Tgamma>},
    {"fmod", 2, FmodCall},
    {"remainder", 2, Floating2<Remainder>},
    {"nextafter", 2, Floating2<Nextafter>},
    {"max", 2, Max},
    {"min", 2, Min},
};
static_assert(std::size(kFunctions) == 39);

}  // namespace

void get_constant(const char* name, Value& result) {
  for (const Constant& c : kConstants) {
    if (std::strcmp(c.name, name) != 0) continue;
    if (c.type == kTypeInt) {
      value_set_int(result, c.integer);
    } else {
      value_set_float(result, c.floating);
    }
    return;
  }
  raise_error(kErrorEvaluation, "unknown identifier '%s'", name);
}

void call_function(const char* name, Value& result, int argument_count, const Value* arguments,
                   bool degrees) {
  for (const Function& f : kFunctions) {
    if (std::strcmp(f.name, name) != 0) continue;
    if (argument_count != f.arguments) {
      if (f.arguments == 2 && argument_count == 1) {
        raise_error(kErrorEvaluation, "function '%s' requires more than 1 argument", name);
      } else {
        raise_error(kErrorEvaluation, "function '%s' does not take %d arguments", name,
                    argument_count);
      }
      return;
    }
    f.compute(Call{arguments, degrees}, result);
    return;
  }
  raise_error(kErrorEvaluation, "unknown function identifier '%s'", name);
}

}  // namespace tavomark::expr
