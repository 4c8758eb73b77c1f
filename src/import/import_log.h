#pragma once
// The text of "log.txt": every finding of one header import, in order. Kept in
// memory while the import runs and written out once at its end.

#include <string>

namespace tavomark {

class ImportLog {
 public:
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Write(const std::string& text) { m_text += text; }
  [[nodiscard]] const std::string& Text() const { return m_text; }
  void Clear() { m_text.clear(); }

 private:
  std::string m_text;
};

}  // namespace tavomark
