// tavomark-cli device against the simulated device: the command contract as a
// script sees it (output lines and exit codes).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "config_fixture.h"
#include "sim_process.h"
#include "value_set.h"

namespace tavomark::simtest {
namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the CLI to its end with stdout and stderr in files of dir.
CliRun RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  std::string command = "'" TAVOMARK_CLI_PATH "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + (dir / "cli.out").string() + "' 2>'" + (dir / "cli.err").string() + "'";
  const int status = std::system(command.c_str());
  CliRun run;
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.out = Slurp(dir / "cli.out");
  run.err = Slurp(dir / "cli.err");
  return run;
}

class SimCli : public test::ProjectDirTest {
 protected:
  void Launch(const std::vector<std::string>& args) {
    std::string error;
    ASSERT_TRUE(m_sim.Start(args, error)) << error;
  }
  CliRun Device(std::vector<std::string> command, bool withDevice = true) {
    std::vector<std::string> args{"--project-dir", m_dir.string(), "device", "--port", m_sim.PortPath()};
    if (withDevice) args.insert(args.end(), {"--device", "258"});
    args.insert(args.end(), command.begin(), command.end());
    return RunCli(m_dir, args);
  }

  SimProcess m_sim;
};

TEST_F(SimCli, InfoPrintsEveryField) {
  Launch({"--info-code", "258", "--info-par", "k", "--serial", "31"});
  const CliRun run = Device({"info"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Sample identity: revision "A1", I/O 'a', product version 1, revision "B2", date 1/1/24.
  EXPECT_EQ(run.out,
            "firmware code: 258\n"
            "firmware revision: A 1\n"
            "I/O version: a\n"
            "parameter version: k\n"
            "product code: 0\n"
            "product version: 1\n"
            "product revision: B 2\n"
            "date:  1/ 1/24\n"
            "serial extension: 0\n"
            "serial number: 31\n");
}

// The sample calibration block is 64 bytes: a write backs up what it replaces.
TEST_F(SimCli, WriteThenReadBackAFile) {
  Launch({});
  std::vector<uint8_t> data(64);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3 + 1);
  WriteBytes(Path("in.bin"), data);
  CliRun run = Device({"write", "2", Path("in.bin").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = Device({"read", "2", "64", Path("back.bin").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Bytes(Path("back.bin")), data);
}

// The sample list: 0x0103 12 h 5 min once, 0x0207 345 h 59 min three times,
// 0x0A01 1000 h 0 min twelve times.
TEST_F(SimCli, ErrorsPrintsTheEntriesInUse) {
  Launch({});
  const CliRun run = Device({"errors"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "Err:00259 (001-003) Rep:01 - 00012h 05m\n"
            "Err:00519 (002-007) Rep:03 - 00345h 59m\n"
            "Err:02561 (010-001) Rep:12 - 01000h 00m\n");
}

// The device number defaults to the project code of tavomark.dat; the
// simulator answers only that number, so a wrong default would not connect.
TEST_F(SimCli, ProjectDeviceAnswersVersionAndLive) {
  ConfigSet config = test::MakeConfig(315, 'C');
  SaveConfig(config);
  ValToSendSet values = CreateValToSendSet(config);
  ASSERT_TRUE(SaveValToSendSet(Path("tavomark.dat"), values).ok());
  Launch({"--project", m_dir.string(), "--values", Path("tavomark.dat").string(), "--device", "315"});
  CliRun run = Device({"version"}, false);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "FW0315 V1.00\n");
  run = Device({"live"}, false);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.size(), 8u * 3u);  // "XX XX ... XX\n": the monitor struct's 8 bytes
}

// The monitor struct is mon { speed (1 decimal), temp[2], crc }: the
// simulator sweeps speed and temp as sines and keeps crc still.
TEST_F(SimCli, RecordWritesAReadableCsvOfTheLiveData) {
  ConfigSet config = test::MakeConfig(315, 'C');
  SaveConfig(config);
  ValToSendSet values = CreateValToSendSet(config);
  ASSERT_TRUE(SaveValToSendSet(Path("tavomark.dat"), values).ok());
  Launch({"--project", m_dir.string(), "--values", Path("tavomark.dat").string()});
  CliRun run = Device({"record", "--out", Path("rec.csv").string(), "--duration", "0.5", "--interval", "50",
                       "--channels", "temp.temp[1],speed"},
                      false);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(Slurp(Path("rec.csv")));
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_GE(all.size(), 4u + 5u) << "about ten rows in half a second";
  EXPECT_EQ(all[0], "# tavomark live recording");
  EXPECT_EQ(all[1].rfind("# start 20", 0), 0u) << all[1];
  EXPECT_EQ(all[3], "time_s,temp.temp[1],speed");
  double previous = -1;
  for (std::size_t i = 4; i < all.size(); ++i) {
    double time = 0, temp = 0, speed = 0;
    ASSERT_EQ(std::sscanf(all[i].c_str(), "%lf,%lf,%lf", &time, &temp, &speed), 3) << all[i];
    EXPECT_GT(time, previous);
    previous = time;
  }
  EXPECT_NE(run.err.find(std::to_string(all.size() - 4) + " rows recorded"), std::string::npos) << run.err;

  run = Device({"record", "--out", Path("rec2.csv").string(), "--duration", "1", "--channels", "nope"}, false);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no value \"nope\" in the monitor struct"), std::string::npos) << run.err;
  run = Device({"record", "--out", Path("rec2.csv").string(), "--duration", "nan"}, false);
  EXPECT_NE(run.exitCode, 0);
}

TEST_F(SimCli, SilentDeviceCannotBeConnected) {
  Launch({"--fault", "silence"});
  const CliRun run = Device({"version"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Can't connect...\n");
}

TEST_F(SimCli, MiscountedWriteFailsWithExitCodeOne) {
  Launch({"--fault", "miscount:5:1"});
  WriteBytes(Path("in.bin"), std::vector<uint8_t>(10, 7));
  const CliRun run = Device({"write", "1", Path("in.bin").string()});
  EXPECT_EQ(run.exitCode, 1);
  // The list of what differs comes first; nothing about the sample block is
  // described by a configuration, so it is counted in bytes.
  EXPECT_TRUE(run.err.ends_with("\nCommunication Error: block 1 at byte 0 of 10: the device counted other bytes\n"))
      << run.err;
}

}  // namespace
}  // namespace tavomark::simtest
