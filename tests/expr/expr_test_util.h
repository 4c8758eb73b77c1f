#pragma once
// Runs one evaluation the way the batch command does and keeps everything a
// test may look at.

#include <cmath>
#include <ostream>
#include <sstream>
#include <string>

#include "expression.h"

namespace tavomark::expr::test {

struct Outcome {
  bool read = false;       // what evaluate returned
  int32_t flag = 0;        // the error flag afterwards
  std::string message;     // the last error raised
  Value value{};
};

inline Outcome Eval(const std::string& text, bool degrees = false) {
  clear_error();
  Options options{};
  set_options(options);
  options.degrees = degrees;
  Outcome out;
  value_set_int(out.value, 0);
  out.read = evaluate(text.c_str(), out.value, options);
  out.flag = error_flag();
  out.message = last_error_message();
  return out;
}

inline std::string Printed(const Value& value, const Options& options) {
  std::ostringstream stream;
  print_value(stream, value, options);
  return stream.str();
}

inline Value Int(int32_t n) {
  Value v{};
  value_set_int(v, n);
  return v;
}

inline Value Float(double x) {
  Value v{};
  value_set_float(v, x);
  return v;
}

// An expected result: its type and value, or the error message that must be
// the last one raised ("" for none).
struct Expect {
  const char* text;
  int32_t type;
  double value;
  const char* error = "";
};

inline std::ostream& operator<<(std::ostream& os, const Expect& e) { return os << e.text; }

// Checks an outcome against an expectation: the exact type, the exact value (a
// NaN expectation matches any NaN) and the last error message.
inline void ExpectOutcome(const Expect& e) {
  const Outcome out = Eval(e.text);
  EXPECT_EQ(out.message, e.error) << e.text;
  EXPECT_EQ(out.flag, e.error[0] == '\0' ? 0 : 1) << e.text;
  ASSERT_EQ(out.value.type, e.type) << e.text;
  if (e.type == kTypeInt) {
    EXPECT_EQ(out.value.i, static_cast<int32_t>(e.value)) << e.text;
  } else if (std::isnan(e.value)) {
    EXPECT_TRUE(std::isnan(out.value.d)) << e.text;
  } else {
    EXPECT_DOUBLE_EQ(out.value.d, e.value) << e.text;
  }
}

}  // namespace tavomark::expr::test
