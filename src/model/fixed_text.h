#pragma once
// The records' and headers' text fields are fixed-size arrays: their capacity is
// part of the file formats and of what the user sees, so texts are truncated to
// fit and always terminated.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tavomark {

// Stores at most N-1 characters of text and a terminator; the rest is zeroed.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), n);
}

// The field's text, up to its terminator or its capacity (a field read from a
// file may fill its array without a terminator).
template <std::size_t N>
std::string_view TextOf(const char (&field)[N]) {
  return std::string_view(field, ::strnlen(field, N));
}

// The text without the blanks that pad it on either side (numbers are
// formatted to a width).
inline std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace tavomark
