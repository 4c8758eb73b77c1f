// Hostile inputs and lost outputs: every command fails with a reason, never
// hangs, never reports success, and leaves the files as they were.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

#include "cli_process.h"
#include "config_fixture.h"
#include "value_set.h"

namespace tavomark {
namespace {

using test::Quoted;

// Every run is bounded: a command that blocks on its input fails the test
// instead of hanging it.
test::CliRun Cli(const std::string& args) { return test::RunCli(args, 30); }

class CliHardening : public test::ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    SaveConfig(test::MakeConfig());
    m_vts = Path("demo.vts").string();
    ASSERT_EQ(Cli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(m_vts)).exitCode, 0);
  }
  std::string Project() const { return "--project-dir " + Quoted(m_dir.string()) + " "; }
  std::string Cfg() const { return (m_dir / "config" / "PRJ0315cp_C.cfg").string(); }
  std::string Fifo() const {
    const auto path = Path("pipe");
    if (!std::filesystem::exists(path)) {
      EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    return path.string();
  }

  // Runs with standard output on /dev/full; out holds standard error.
  test::CliRun ToFullDisk(const std::string& args) const {
    const auto err = Path("stderr.txt");
    const int status = std::system(("timeout 30 " + Quoted(TAVOMARK_CLI) + " " + args + " > /dev/full 2> " +
                                    Quoted(err.string()))
                                       .c_str());
    const auto bytes = Bytes(err);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(bytes.begin(), bytes.end())};
  }

  std::string m_vts;
};

// 1: a typed value is wholly a finite number (or one character for "CHR").
TEST_F(CliHardening, SetRefusesTextThatIsNotANumber) {
  const auto before = Bytes(m_vts);
  const char* refused[] = {"abc", "", "0x10", "1,5", "12abc", "nan", "inf", "-nan", "1e400"};
  for (const char* text : refused) {
    const auto run = Cli(Project() + "values set " + Quoted(m_vts) + " " + Quoted(std::string("param:speed=") + text));
    EXPECT_EQ(run.exitCode, 1) << text << ": " << run.out;
    EXPECT_NE(run.out.find("param:speed: \"" + std::string(text) + "\""), std::string::npos) << run.out;
    EXPECT_EQ(Bytes(m_vts), before) << text;
  }
  const auto run = Cli(Project() + "values set " + Quoted(m_vts) + " 'param:speed = 7.5 '");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(Cli(Project() + "values show " + Quoted(m_vts)).out.find("param:speed=7.5\n"), std::string::npos);
}

// 1: a NaN already in a value file is not sent as 0.
TEST_F(CliHardening, ImageRefusesANaNInTheFile) {
  ValToSendSet vts;
  ASSERT_TRUE(LoadValToSendSet(m_vts, vts).ok());
  SetItemValue(vts.param.Item(2), std::nanf(""));
  ASSERT_TRUE(SaveValToSendSet(m_vts, vts).ok());
  const auto run = Cli(Project() + "values image " + Quoted(m_vts) + " param " + Quoted(Path("p.bin").string()));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("param:speed: the value file holds \"nan\", not a number"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(Path("p.bin")));
}

// 2: a FIFO or a device is refused at once, whichever command reads it.
TEST_F(CliHardening, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
  const std::string fifo = Quoted(Fifo());
  const std::string commands[] = {
      "config show " + fifo,
      "config show /dev/zero",
      Project() + "values show " + fifo,
      "values new --config " + fifo + " --out " + Quoted(Path("x.vts").string()),
      "values new --config /dev/zero --out " + Quoted(Path("x.vts").string()),
      Project() + "values image " + fifo + " param " + Quoted(Path("x.bin").string()),
      Project() + "values set " + Quoted(m_vts) + " --from " + fifo,
      Project() + "values set " + Quoted(m_vts) + " --from /dev/zero",
  };
  const auto before = Bytes(m_vts);
  for (const auto& command : commands) {
    const auto run = Cli(command);
    EXPECT_EQ(run.exitCode, 1) << command << ": " << run.out;
    EXPECT_NE(run.out.find("not a regular file"), std::string::npos) << command << ": " << run.out;
  }
  EXPECT_EQ(Bytes(m_vts), before);
  EXPECT_FALSE(std::filesystem::exists(Path("x.vts")));
}

// 3: a save keeps the file's mode and links and refuses to replace a FIFO.
TEST_F(CliHardening, SavesRespectTheFile) {
  ASSERT_EQ(::chmod(m_vts.c_str(), 0600), 0);
  const auto link = Path("link.vts");
  std::filesystem::create_symlink("demo.vts", link);
  const auto hard = Path("hard.vts");
  std::filesystem::create_hard_link(m_vts, hard);
  auto run = Cli(Project() + "values set " + Quoted(link.string()) + " param:speed=3");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  struct stat st {};
  ASSERT_EQ(::stat(m_vts.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Bytes(hard), Bytes(m_vts)) << "the hard link sees the change";
  EXPECT_NE(Cli(Project() + "values show " + Quoted(hard.string())).out.find("param:speed=3\n"),
            std::string::npos);

  run = Cli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(Fifo()));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("Errors while Saving file: " + Fifo() + ": " + Fifo() + " is not a regular file"),
            std::string::npos)
      << run.out;
}

// 4: the list of assignments is read whole or not at all.
TEST_F(CliHardening, AssignmentListsThatCannotBeReadChangeNothing) {
  const auto before = Bytes(m_vts);
  WriteBytes(Path("nul.txt"), {'p', 'a', 'r', 'a', 'm', ':', 's', 'p', 'e', 'e', 'd', '=', '1', 0, '2', '\n'});
  const std::pair<std::string, std::string> cases[] = {
      {Path("config").string(), "not a regular file"},
      {Path("nul.txt").string(), ":1: the line holds a NUL byte"},
      {Path("none.txt").string(), "No such file or directory"},
  };
  for (const auto& [list, expected] : cases) {
    const auto run = Cli(Project() + "values set " + Quoted(m_vts) + " --from " + Quoted(list));
    EXPECT_EQ(run.exitCode, 1) << list << ": " << run.out;
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
    EXPECT_EQ(Bytes(m_vts), before) << list;
  }
}

// 5: output that cannot be written fails the command.
TEST_F(CliHardening, LostOutputIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string commands[] = {
      Project() + "values show " + Quoted(m_vts),
      "config show " + Quoted(Cfg()),
      "eval 1+2",
  };
  for (const auto& command : commands) {
    const auto run = ToFullDisk(command);
    EXPECT_EQ(run.exitCode, 1) << command << ": " << run.out;
    EXPECT_NE(run.out.find("cannot write the output: No space left on device"), std::string::npos) << run.out;
  }
  WriteBytes(Path("batch.txt"), {'1', '+', '2', '\n'});
  const auto run = ToFullDisk("eval --batch < " + Quoted(Path("batch.txt").string()));
  EXPECT_EQ(run.exitCode, 1) << run.out;
}

// 6: a name near the file system's limit can be saved as well as read.
TEST_F(CliHardening, LongFileNamesCanBeSaved) {
  const auto path = Path(std::string(251, 'n') + ".vts");  // 255 bytes
  auto run = Cli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(path.string()));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  run = Cli(Project() + "values set " + Quoted(path.string()) + " param:speed=2");
  EXPECT_EQ(run.exitCode, 0) << run.out;
}

// 8: one block's image does not depend on the other blocks.
TEST_F(CliHardening, ImageOfOneBlockIgnoresDamageInAnother) {
  ConfigSet config = test::MakeConfig();
  config.calib.records[1].byteSize = 9;  // cannot be encoded
  SaveConfig(config);
  const std::string bin = Path("param.bin").string();
  auto run = Cli(Project() + "values image " + Quoted(m_vts) + " param " + Quoted(bin));
  EXPECT_EQ(run.exitCode, 0) << run.out;
  run = Cli(Project() + "values image " + Quoted(m_vts) + " calib " + Quoted(bin));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("the calib block's values do not fit its device image"), std::string::npos) << run.out;
}

// 10: failed loads and saves say why.
TEST_F(CliHardening, FailuresSayWhy) {
  WriteBytes(Path("short.vts"), {'F', 'W', 0, 0});
  WriteBytes(m_dir / "config" / "PRJ0315cp_C.usr", {'F', 'W', 0, 0});
  const std::pair<std::string, std::string> cases[] = {
      {Project() + "values show " + Quoted(Path("none.vts").string()),
       "Invalid Parameter File: " + Path("none.vts").string() + ": cannot open " + Path("none.vts").string() +
           ": No such file or directory"},
      {Project() + "values show " + Quoted(Path("short.vts").string()),
       "param block: header cut short, the file ends at byte 4"},
      {"config show " + Quoted(Path("short.vts").string()),
       "Config Load Error: " + Path("short.vts").string() + ": monitor pack: header cut short"},
      {Project() + "channels show --config " + Quoted(Cfg()),
       "channels: no channels in " + (m_dir / "config" / "PRJ0315cp_C.usr").string() + ": header cut short"},
      {"values new --config " + Quoted(Cfg()) + " --out " + Quoted(Path("no/x.vts").string()),
       "Errors while Saving file: " + Path("no/x.vts").string() + ": cannot create a temporary file in " +
           Path("no").string() + ": No such file or directory"},
  };
  for (const auto& [command, expected] : cases) {
    const auto run = Cli(command);
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
  }
  std::filesystem::remove(Cfg());
  const auto run = Cli(Project() + "values show " + Quoted(m_vts));
  EXPECT_NE(run.out.find("File Configuration not found in program sub folder 'config': cannot open"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace tavomark

namespace tavomark {
namespace {

// 7: log.txt and the dump are outputs the user asked for.
class CliImportFiles : public test::ProjectDirTest {
 protected:
  int Import(const std::string& structName = "DeviceMemory_t") const {
    const std::string command = "cd " + test::Quoted(m_dir.string()) + " && timeout 60 " +
                                test::Quoted(TAVOMARK_CLI) + " import --header " +
                                test::Quoted(TAVOMARK_SOURCE_DIR "/demo/firmware/main.h") + " --struct " +
                                structName + " > out.txt 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Out() const {
    const auto bytes = Bytes(Path("out.txt"));
    return {bytes.begin(), bytes.end()};
  }
};

TEST_F(CliImportFiles, AnUnwritableLogOrDumpFailsTheImport) {
  ASSERT_EQ(Import(), 0) << Out();
  ASSERT_TRUE(std::filesystem::is_regular_file(Path("log.txt")));
  std::filesystem::path dump;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir))
    if (entry.path().filename().string().ends_with("_log.txt")) dump = entry.path();
  ASSERT_FALSE(dump.empty());

  // A folder where the file should go cannot be replaced.
  std::filesystem::remove(Path("log.txt"));
  std::filesystem::create_directories(Path("log.txt"));
  EXPECT_EQ(Import(), 1);
  EXPECT_NE(Out().find("cannot write log.txt"), std::string::npos) << Out();

  std::filesystem::remove(Path("log.txt"));
  std::filesystem::remove(dump);
  std::filesystem::create_directories(dump);
  EXPECT_EQ(Import(), 1);
  EXPECT_NE(Out().find("cannot write " + dump.filename().string()), std::string::npos) << Out();
}

TEST_F(CliImportFiles, AMissingStructureIsNamedWithItsHeader) {
  EXPECT_EQ(Import("Missing_t"), 1);
  EXPECT_NE(Out().find("Import Error: view log.txt file for detail: no structure Missing_t in " TAVOMARK_SOURCE_DIR
                       "/demo/firmware/main.h or the headers it includes"),
            std::string::npos)
      << Out();
}

}  // namespace
}  // namespace tavomark
