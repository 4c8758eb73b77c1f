#include "errors.h"

#include <cstdarg>
#include <cstdio>

namespace tavomark::expr {

namespace {

constexpr int kMessageBytes = 128;

thread_local int32_t t_errorFlag = 0;
thread_local char t_lastMessage[kMessageBytes] = {};

}  // namespace

void raise_error(int32_t code, const char* format, ...) {
  t_errorFlag = code;
  if (format == nullptr) {
    t_lastMessage[0] = '\0';
    return;
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(t_lastMessage, sizeof t_lastMessage, format, args);
  va_end(args);
}

int32_t error_flag() { return t_errorFlag; }

void clear_error() {
  t_errorFlag = 0;
  t_lastMessage[0] = '\0';
}

const char* last_error_message() { return t_lastMessage; }

}  // namespace tavomark::expr
