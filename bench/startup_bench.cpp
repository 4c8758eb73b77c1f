// Program start to window shown: the desktop program's start-up (window_probe)
// next to an empty Qt Widgets program (empty_window), each started as a fresh
// process, alternately, and timed until it reports its window's first paint.
// The project folder is copied first, so the settings the program writes stay
// out of it. Without a display the offscreen platform is used.
// Usage: startup_bench BIN_DIR PROJECT_DIR [runs]   (default 7; best and median)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Seconds from spawning the program until it writes its line; negative when
// it fails.
double TimeToShown(const std::vector<std::string>& command, char* const* environment) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environment);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  char buffer[64];
  const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return n > 0 ? seconds : -1;
}

struct Times {
  std::vector<double> values;
  double Best() const { return *std::min_element(values.begin(), values.end()); }
  double Median() const {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench BIN_DIR PROJECT_DIR [runs]\n");
    return 2;
  }
  const std::filesystem::path bin = argv[1];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
  // Without a display the programs run on Qt's offscreen platform.
  std::vector<std::string> variables;
  for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr)
    variables.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> environment;
  for (std::string& v : variables) environment.push_back(v.data());
  environment.push_back(nullptr);
  char* const* env = environment.data();
  const auto project = std::filesystem::temp_directory_path() / "tavomark_startup_bench";
  std::filesystem::remove_all(project);
  std::filesystem::copy(argv[2], project, std::filesystem::copy_options::recursive);

  const std::vector<std::string> empty = {(bin / "empty_window").string()};
  const std::vector<std::string> program = {(bin / "window_probe").string(), project.string()};
  Times emptyTimes;
  Times programTimes;
  // One start of each first, unmeasured: the libraries reach the page cache.
  if (TimeToShown(empty, env) < 0 || TimeToShown(program, env) < 0) {
    std::fprintf(stderr, "startup_bench: a program did not show its window\n");
    return 1;
  }
  for (int r = 0; r < runs; ++r) {
    emptyTimes.values.push_back(TimeToShown(empty, env));
    programTimes.values.push_back(TimeToShown(program, env));
  }
  std::filesystem::remove_all(project);
  if (std::min(emptyTimes.Best(), programTimes.Best()) < 0) {
    std::fprintf(stderr, "startup_bench: a program did not show its window\n");
    return 1;
  }
  std::printf("%-22s %10s %10s\n", "", "best ms", "median ms");
  std::printf("%-22s %10.1f %10.1f\n", "empty Qt Widgets", emptyTimes.Best() * 1e3, emptyTimes.Median() * 1e3);
  std::printf("%-22s %10.1f %10.1f\n", "tavomark window", programTimes.Best() * 1e3, programTimes.Median() * 1e3);
  std::printf("%-22s %10.2f %10.2f\n", "ratio", programTimes.Best() / emptyTimes.Best(),
              programTimes.Median() / emptyTimes.Median());
  return 0;
}
