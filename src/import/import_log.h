#pragma once
// The text of "log.txt": every finding of one header import, in order. Kept in
// memory while the import runs and written out once at its end.

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tavomark {

class ImportLog {
 public:
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Write(std::string_view text) { m_text += text; }
  // Appends each part in turn: texts as they are, integers in decimal (as
  // "%d" prints them). The import's frequent lines go through here.
  template <typename... Parts>
  void Put(const Parts&... parts) {
    (Append(parts), ...);
  }
  [[nodiscard]] const std::string& Text() const { return m_text; }
  // The text handed over whole (a large log is not copied); the log is empty
  // after it.
  [[nodiscard]] std::string TakeText() { return std::exchange(m_text, std::string()); }
  void Clear() { m_text.clear(); }

 private:
  template <typename T>
  void Append(const T& part) {
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>) {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, part).ptr;
      m_text.append(digits, end);
    } else {
      m_text += std::string_view(part);
    }
  }

  std::string m_text;
};

}  // namespace tavomark
