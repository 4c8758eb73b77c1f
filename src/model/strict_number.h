#pragma once
// The one reader of numbers that people type: command-line values, table
// cells, prompt answers. The whole text must be a number (blanks around it are
// allowed); NaN, infinities, hexadecimal, a decimal comma or trailing text are
// refused with a message that names the field and quotes the text.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavomark {

// A finite decimal number ("12", "-0.5", "+3", "1e3"). False with error set
// ("<field>: \"<text>\" is not a number") when the text is anything else.
[[nodiscard]] bool ParseStrictNumber(std::string_view text, std::string_view field, double& out,
                                     std::string& error);

// A whole decimal number within [min, max]; the message says which limit a
// number outside them passes.
[[nodiscard]] bool ParseStrictInteger(std::string_view text, std::string_view field, int64_t min, int64_t max,
                                      int64_t& out, std::string& error);

}  // namespace tavomark
