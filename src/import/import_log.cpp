#include "import_log.h"

#include <cstdarg>
#include <cstdio>

namespace tavomark {

void ImportLog::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed > 0) {
    const std::size_t old = m_text.size();
    m_text.resize(old + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(m_text.data() + old, static_cast<std::size_t>(needed) + 1, format, again);
    m_text.resize(old + static_cast<std::size_t>(needed));
  }
  va_end(again);
}

}  // namespace tavomark
