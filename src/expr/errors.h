#pragma once
// The evaluator's error sink. An evaluation never stops at an error: the
// operation that finds one records it here and carries on as documented for it,
// and the entry points (expression.h) decide afterwards what the error means.
//
// The flag belongs to the calling thread, so evaluations on different threads
// never see each other's errors; on one thread it behaves as the single shared
// flag the callers rely on: it keeps the last code raised until someone clears it.

#include <cstdint>

namespace tavomark::expr {

// Every evaluation error uses this code.
inline constexpr int32_t kErrorEvaluation = 1;
// Kept for callers that test for it; this evaluator allocates nothing while
// printing, so it never raises it.
inline constexpr int32_t kErrorMemory = 2;

// Records code in the calling thread's error flag and returns. The message,
// formatted like printf, is kept only as the thread's last message (for
// diagnostics, see last_error_message); it is never shown or logged here.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void raise_error(int32_t code, const char* format, ...);

// The calling thread's error flag: 0 when nothing was raised since it was last
// cleared, otherwise the code most recently raised.
[[nodiscard]] int32_t error_flag();

// Sets the calling thread's error flag back to 0 and forgets the last message.
void clear_error();

// The text of the most recent error raised on this thread (cut at 127 bytes),
// or "" when none was raised since clear_error.
[[nodiscard]] const char* last_error_message();

}  // namespace tavomark::expr
