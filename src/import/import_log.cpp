#include "import_log.h"

#include <cstdarg>
#include <cstdio>

namespace tavomark {

// Formats straight into the text; only a line longer than the room left
// after it is formatted a second time, into room of its size.
void ImportLog::Printf(const char* format, ...) {
  constexpr std::size_t kRoom = 256;
  const std::size_t old = m_text.size();
  m_text.resize(old + kRoom);
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(m_text.data() + old, kRoom, format, args);
  va_end(args);
  if (needed < 0) {
    m_text.resize(old);
  } else if (static_cast<std::size_t>(needed) < kRoom) {
    m_text.resize(old + static_cast<std::size_t>(needed));
  } else {
    m_text.resize(old + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(m_text.data() + old, static_cast<std::size_t>(needed) + 1, format, again);
    m_text.resize(old + static_cast<std::size_t>(needed));
  }
  va_end(again);
}

}  // namespace tavomark
