#include "strict_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tavomark {

namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Quoted(std::string_view field, std::string_view text, const char* verdict) {
  std::string message(field);
  message += ": \"";
  for (char c : text) {
    // A control character would garble the terminal or the pop-up.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      message += "\\x";
      message += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      message += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      message += c;
    }
  }
  message += "\" ";
  message += verdict;
  return message;
}

// Only digits, one sign in front, one point and one exponent: from_chars
// alone would also take "inf", "nan" and hexadecimal floats.
bool LooksDecimal(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

bool ParseStrictNumber(std::string_view text, std::string_view field, double& out, std::string& error) {
  const std::string_view trimmed = Trim(text);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (!LooksDecimal(digits) || (digits.size() < trimmed.size() && digits.front() == '-') || digits.front() == '+') {
    error = Quoted(field, text, "is not a number");
    return false;
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) {
    error = Quoted(field, text, "is out of range");
    return false;
  }
  if (ec != std::errc() || end != digits.data() + digits.size()) {
    error = Quoted(field, text, "is not a number");
    return false;
  }
  if (!std::isfinite(value)) {
    error = Quoted(field, text, "is out of range");
    return false;
  }
  out = value;
  return true;
}

bool ParseStrictInteger(std::string_view text, std::string_view field, int64_t min, int64_t max, int64_t& out,
                        std::string& error) {
  const std::string_view trimmed = Trim(text);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (!digits.empty() && digits.size() < trimmed.size() && digits.front() == '-') digits = {};
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || digits.front() == '+' || (ec != std::errc() && ec != std::errc::result_out_of_range) ||
      end != digits.data() + digits.size()) {
    error = Quoted(field, text, "is not a whole number");
    return false;
  }
  if (ec == std::errc::result_out_of_range || value < min || value > max) {
    error = Quoted(field, text, "is outside ") + std::to_string(min) + ".." + std::to_string(max);
    return false;
  }
  out = value;
  return true;
}

}  // namespace tavomark
