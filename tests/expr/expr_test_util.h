#pragma once
// Runs one evaluation the way the batch command does and keeps what a test
// looks at; Expect rows state a result from outside the code.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "expression.h"

namespace tavomark::expr::test {

struct Outcome {
  bool read = false;    // what evaluate returned
  int32_t flag = 0;     // the error flag afterwards
  std::string message;  // the last error raised
  Value value{};
};

inline Outcome Eval(const std::string& text, bool degrees = false) {
  clear_error();
  Options options{};
  set_options(options);
  options.degrees = degrees;
  Outcome out;
  out.read = evaluate(text.c_str(), out.value, options);
  out.flag = error_flag();
  out.message = last_error_message();
  return out;
}

// The type, the exact value (NaN matches any NaN) and the last error ("" for none).
struct Expect {
  const char* text;
  int32_t type;
  double value;
  const char* error = "";
};
inline std::ostream& operator<<(std::ostream& os, const Expect& e) { return os << e.text; }

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
    EXPECT_EQ(out.value.d, e.value) << e.text;
  }
}

// One row of any evaluation table; the tables instantiate this suite.
class Evaluates : public ::testing::TestWithParam<Expect> {};

}  // namespace tavomark::expr::test
