#pragma once
// Runs tavomark-cli and captures what it prints.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace tavomark::test {

struct CliRun {
  int exitCode = -1;
  std::string out;  // standard output and standard error, in order
};

inline std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// seconds > 0 bounds the run (timeout(1)): a command that blocks ends with
// exit code 124 instead of hanging the test.
inline CliRun RunCli(const std::string& args, int seconds = 0) {
  CliRun run;
  const std::string bound = seconds > 0 ? "timeout -k 5 " + std::to_string(seconds) + " " : "";
  const std::string command = bound + Quoted(TAVOMARK_CLI) + " " + args + " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buf{};
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace tavomark::test
