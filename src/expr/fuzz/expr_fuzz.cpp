// Feeds arbitrary bytes to the evaluator and the value printer. The first bytes
// choose the print options, the rest is the expression text (cut at the first
// NUL, as every caller passes C strings).

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "expression.h"

namespace {

using namespace tavomark::expr;

Options OptionsFrom(const uint8_t* data) {
  Options options{};
  set_options(options);
  // Radix 0 to 63 reaches the error path, the letter digits and the colon form.
  options.radix = data[0] & 63;
  // Precision -4 to 59 and grouping -2 to 13 cover the negative cases too.
  options.precision = static_cast<int32_t>(data[1] & 63) - 4;
  options.group_size = static_cast<int32_t>(data[2] & 15) - 2;
  options.boolean = (data[3] & 1) != 0;
  options.degrees = (data[3] & 2) != 0;
  options.scientific = (data[3] & 4) != 0;
  options.uppercase = (data[3] & 8) != 0;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kOptionBytes = 4;
  if (size < kOptionBytes) return 0;
  const Options options = OptionsFrom(data);
  const std::string text(reinterpret_cast<const char*>(data + kOptionBytes), size - kOptionBytes);

  clear_error();
  Value result{};
  value_set_int(result, 0);
  (void)evaluate(text.c_str(), result, options);
  std::ostringstream printed;
  print_value(printed, result, options);

  float single = 0.0f;
  (void)process_expression(text.c_str(), &single);
  int32_t integer = 0;
  (void)process_expression_int(text.c_str(), &integer);
  return 0;
}
