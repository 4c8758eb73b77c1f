#pragma once
// Output that is lost is a failure: a command that prints its result checks,
// before it reports success, that standard output took every byte.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace tavomark::cli {

// Flushes standard output; false, after a message on standard error, when a
// write failed (a full disk, a closed pipe, /dev/full).
[[nodiscard]] inline bool OutputWritten() {
  errno = 0;
  std::cout.flush();
  int code = errno;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout) && std::cout.good()) return true;
  if (code == 0) code = errno;
  std::cerr << "cannot write the output: " << (code != 0 ? std::strerror(code) : "write error") << "\n";
  return false;
}

}  // namespace tavomark::cli
