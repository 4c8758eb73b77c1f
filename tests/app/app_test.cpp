#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

class Programs : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = std::filesystem::temp_directory_path() /
            ("tavomark_app_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // The environment of this process without any display or Qt platform, plus
  // the given variables.
  static std::vector<std::string> NoDisplay(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env;
    for (char** v = environ; *v != nullptr; ++v) {
      const std::string entry = *v;
      if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
          entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("TAVOMARK_PORTS=", 0) == 0)
        continue;
      env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }

  // Runs a program to its end (bounded by timeout(1)) with stdout and stderr in files.
  ProgramRun Start(std::vector<std::string> args, const std::vector<std::string>& env) {
    args.insert(args.begin(), {"timeout", "-k", "5", "60"});
    const auto outPath = m_dir / "out.txt";
    const auto errPath = m_dir / "err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    std::vector<char*> envp;
    for (std::string& e : envCopy) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t child = 0;
    ProgramRun run;
    const int spawned = posix_spawnp(&child, "timeout", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
  }

  std::filesystem::path m_dir;
};

TEST_F(Programs, HelpAndVersionNeedNoDisplay) {
  ProgramRun run = Start({TAVOMARK_APP_PATH, "--help"}, NoDisplay());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("--port <PORT>"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--version"), std::string::npos);
  EXPECT_EQ(run.err, "");

  run = Start({TAVOMARK_APP_PATH, "--version"}, NoDisplay());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, std::string("tavomark ") + TAVOMARK_VERSION + "\n");
  EXPECT_EQ(run.err, "");

  run = Start({TAVOMARK_APP_PATH, "--no-such-option"}, NoDisplay());
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("no-such-option"), std::string::npos) << run.err;
}

#ifdef TAVOMARK_CLI_PATH
struct PortText {
  const char* text;
  bool known;           // a port both programs accept
  const char* opening;  // what opening it says, after "Can't connect..."
};

// Both programs read a port through the one reader: a text one takes, the
// other takes too, and a path that cannot be opened says why in both.
class SamePortReading : public Programs, public ::testing::WithParamInterface<PortText> {};

TEST_P(SamePortReading, DesktopProgramAndCliAgree) {
  std::filesystem::copy(TAVOMARK_DEMO_PROJECT, m_dir / "project", std::filesystem::copy_options::recursive);
  const std::string project = (m_dir / "project").string();
  const ProgramRun cli = Start({TAVOMARK_CLI_PATH, "--project-dir", project, "device", "--port", GetParam().text, "version"},
                        NoDisplay());
  const ProgramRun app = Start({TAVOMARK_APP_PATH, "-platform", "offscreen", "--project-dir", project, "--port",
                         GetParam().text, "--screenshot", (m_dir / "shot.png").string()},
                        NoDisplay());
  EXPECT_EQ(cli.exitCode, 1);
  EXPECT_EQ(app.exitCode, 0) << app.err;
  const std::string unknown = std::string("Unknown port: ") + GetParam().text;
  EXPECT_EQ(cli.err.find(unknown) != std::string::npos, !GetParam().known) << cli.err;
  EXPECT_EQ(app.err.find(unknown) != std::string::npos, !GetParam().known) << app.err;
  if (GetParam().known) {
    const std::string connect = std::string("Can't connect...") + GetParam().opening;
    EXPECT_EQ(cli.err, connect + "\n");
    EXPECT_NE(app.err.find("Open Communication: " + connect + "\n"), std::string::npos) << app.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SamePortReading,
    ::testing::Values(PortText{"T_CAN", true, ""}, PortText{"t_ser", true, ""},
                      PortText{"/nonexistent/tavomark-port", true,
                               " /nonexistent/tavomark-port: No such file or directory"},
                      PortText{"COM0", false, ""}),
    [](const auto& info) { return std::to_string(info.index); });
#endif

}  // namespace
