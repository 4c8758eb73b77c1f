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

inline CliRun RunCli(const std::string& args) {
  CliRun run;
  const std::string command = Quoted(TAVOMARK_CLI) + " " + args + " 2>&1";
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
