// tavomark-cli device write / restore / --trace against the simulated device:
// the difference list, dry runs, backups, read-back and the trace file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "config_fixture.h"
#include "sim_process.h"
#include "value_set.h"

namespace tavomark::simtest {
namespace {

// Positions in every block of the small configuration: 2 speed (U16, 1
// decimal), 4 temp[0], 5 temp[1] (S16). The parameter block is 8 bytes of
// image and a 36-byte trailer.
constexpr std::size_t kSpeed = 2, kTemp0 = 4, kTemp1 = 5;
constexpr std::size_t kParamBytes = 44;

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SafeWriteCli : public test::ProjectDirTest {
 protected:
  // The device holds speed 33.3, temp[0] -120, temp[1] 5 in its parameters.
  void Launch(const std::vector<std::string>& faults = {}) {
    const ConfigSet config = test::MakeConfig(315, 'C');
    SaveConfig(config);
    ValToSendSet defaults = CreateValToSendSet(config);
    ASSERT_TRUE(SaveValToSendSet(Path("tavomark.dat"), defaults).ok());
    SaveValues("device.vts", {{kSpeed, 33.3f}, {kTemp0, -120.0f}, {kTemp1, 5.0f}});
    std::vector<std::string> args{"--project", m_dir.string(), "--values", Path("device.vts").string()};
    for (const std::string& f : faults) args.insert(args.end(), {"--fault", f});
    std::string error;
    ASSERT_TRUE(m_sim.Start(args, error)) << error;
  }
  void SaveValues(const std::string& name, const std::map<std::size_t, float>& param) {
    ValToSendSet set = CreateValToSendSet(test::MakeConfig(315, 'C'));
    for (const auto& [position, value] : param) SetItemValue(set.param.Item(position), value);
    ASSERT_TRUE(SaveValToSendSet(Path(name), set).ok());
  }
  CliResult Device(const std::vector<std::string>& command, const std::vector<std::string>& before = {}) {
    std::string line = "'" TAVOMARK_CLI_PATH "' --project-dir '" + m_dir.string() + "' device --port '" +
                       m_sim.PortPath() + "'";
    for (const std::string& a : before) line += " '" + a + "'";
    for (const std::string& a : command) line += " '" + a + "'";
    line += " >'" + Path("cli.out").string() + "' 2>'" + Path("cli.err").string() + "'";
    const int status = std::system(line.c_str());
    CliResult run;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = Slurp(Path("cli.out"));
    run.err = Slurp(Path("cli.err"));
    return run;
  }
  std::vector<uint8_t> DeviceParams() {
    const CliResult run = Device({"read", "1", std::to_string(kParamBytes), Path("held.bin").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return Bytes(Path("held.bin"));
  }
  // The simulator's request log so far holds a block write.
  bool LogShowsAWrite() {
    const std::string log = m_sim.DrainStderr();
    return log.find("cmd=4 ") != std::string::npos || log.find("cmd=5 ") != std::string::npos;
  }
  std::vector<std::filesystem::path> Backups(const char* ext) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Path("backups"), ec))
      if (e.path().extension() == ext) found.push_back(e.path());
    return found;
  }

  SimProcess m_sim;
};

TEST_F(SafeWriteCli, DryRunListsExactlyTheChangedRecordsAndWritesNothing) {
  Launch();
  // speed as held (33.3), temp[0] and temp[1] changed.
  SaveValues("new.vts", {{kSpeed, 33.3f}, {kTemp0, -2.0f}, {kTemp1, 300.0f}});
  const std::vector<uint8_t> before = DeviceParams();
  const CliResult run = Device({"write", "1", Path("new.vts").string(), "--dry-run"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 5u) << run.err;
  EXPECT_EQ(lines[0], "2 records differ:");
  EXPECT_EQ(lines[1], "  path          device  to send  unit");
  EXPECT_EQ(lines[2].substr(0, 14), "  temp.temp[0]") << lines[2];
  EXPECT_NE(lines[2].find("-120"), std::string::npos);
  EXPECT_NE(lines[2].find("-2"), std::string::npos);
  EXPECT_EQ(lines[3].substr(0, 14), "  temp.temp[1]") << lines[3];
  EXPECT_NE(lines[3].find("300"), std::string::npos);
  EXPECT_EQ(lines[4], "--dry-run: nothing was written");
  EXPECT_FALSE(LogShowsAWrite());
  EXPECT_EQ(DeviceParams(), before);
  EXPECT_TRUE(Backups(".img").empty());
}

TEST_F(SafeWriteCli, WriteKeepsABackupThatRestoresTheBlockByteForByte) {
  Launch();
  const std::vector<uint8_t> original = DeviceParams();
  SaveValues("new.vts", {{kSpeed, 12.3f}, {kTemp0, -2.0f}, {kTemp1, 5.0f}});
  CliResult run = Device({"write", "1", Path("new.vts").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("2 records differ:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Backup: "), std::string::npos) << run.err;
  const std::vector<uint8_t> written = DeviceParams();
  EXPECT_NE(written, original);

  const auto images = Backups(".img");
  ASSERT_EQ(images.size(), 1u);
  ASSERT_EQ(Backups(".vts").size(), 1u);
  EXPECT_EQ(Bytes(images[0]), original);
  // The backup's value file loads like any other and holds what the device had.
  ValToSendSet held = CreateValToSendSet(test::MakeConfig(315, 'C'));
  std::filesystem::path vts = images[0];
  ASSERT_TRUE(LoadValToSendSet(vts.replace_extension(".vts"), held).ok());
  EXPECT_FLOAT_EQ(ItemValue(held.param.Item(kTemp0)), -120.0f);

  run = Device({"restore", images[0].string(), "--dry-run"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(DeviceParams(), written);
  run = Device({"restore", images[0].string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(DeviceParams(), original);
  // The restore kept a backup of its own: what it replaced.
  EXPECT_EQ(Backups(".img").size(), 2u);
}

TEST_F(SafeWriteCli, NothingDiffersNothingIsWritten) {
  Launch();
  SaveValues("same.vts", {{kSpeed, 33.3f}, {kTemp0, -120.0f}, {kTemp1, 5.0f}});
  (void)m_sim.DrainStderr();
  const CliResult run = Device({"write", "1", Path("same.vts").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "No value differs from the device: nothing was written\n");
  EXPECT_FALSE(LogShowsAWrite());
}

TEST_F(SafeWriteCli, ADeviceThatForgetsTheWriteFailsTheReadBack) {
  Launch({"forget-write:5"});
  SaveValues("new.vts", {{kSpeed, 12.3f}});
  const CliResult run = Device({"write", "1", Path("new.vts").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("The device does not hold the values sent"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Backup: "), std::string::npos);
}

TEST_F(SafeWriteCli, TraceFileShowsTheFramesOfARead) {
  Launch({"bad-checksum:8:2"});
  CliResult run = Device({"read", "1", std::to_string(kParamBytes), Path("a.bin").string()},
                   {"--trace", Path("trace.txt").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines = Lines(Slurp(Path("trace.txt")));
  std::vector<std::string> reads;
  for (const std::string& l : lines)
    if (l.find("ReadBlock(8)") != std::string::npos) reads.push_back(l);
  ASSERT_EQ(reads.size(), 2u) << Slurp(Path("trace.txt"));
  EXPECT_NE(reads[0].find("TX  ReadBlock(8)       dev   315  len   5  sum ok  sent"), std::string::npos)
      << reads[0];
  EXPECT_NE(reads[0].find("AA F0 05 08 01 3B 00 00 00 01 2C"), std::string::npos) << reads[0];
  EXPECT_NE(reads[1].find("RX  ReadBlock(8)       dev   315  len  44  sum ok  answered"), std::string::npos)
      << reads[1];

  // The second read request's reply comes with a bad checksum.
  run = Device({"read", "1", std::to_string(kParamBytes), Path("b.bin").string()},
               {"--trace", Path("trace.txt").string()});
  EXPECT_EQ(run.exitCode, 1);
  lines = Lines(Slurp(Path("trace.txt")));
  bool bad = false;
  for (const std::string& l : lines)
    bad = bad || (l.find("RX  ReadBlock(8)") != std::string::npos && l.find("sum bad bad checksum") != std::string::npos);
  EXPECT_TRUE(bad) << Slurp(Path("trace.txt"));
}

}  // namespace
}  // namespace tavomark::simtest
