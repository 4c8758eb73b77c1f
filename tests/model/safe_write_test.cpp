// The difference list, backup names and their pruning, and the checked write
// over a device played by two functions.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "config_fixture.h"
#include "device_backup.h"
#include "safe_write.h"
#include "value_diff.h"

namespace tavomark::test {
namespace {

constexpr std::size_t kSpeed = 2, kTemp0 = 4, kTemp1 = 5;

TEST(ValueDiff, ListsExactlyTheLeavesThatDiffer) {
  const ConfigSet config = MakeConfig(315, 'C');
  ValToSendSet device = CreateValToSendSet(config);
  ValToSendSet send = CreateValToSendSet(config);
  SetItemValue(send.param.Item(kTemp0), -2.0f);
  SetItemValue(send.param.Item(kTemp1), std::nanf(""));
  SetItemValue(send.calib.Item(kSpeed), 9.5f);
  // A skipped item is not written, so it changes nothing.
  SetItemValue(send.param.Item(kSpeed), 77.0f);
  SetItemSkip(send.param.Item(kSpeed), 1);
  const std::vector<Block> all = {Block::Parameters, Block::Information, Block::Calibration};
  const std::vector<ValueDiff> diffs = DiffValueSets(config, device, send, all);
  ASSERT_EQ(diffs.size(), 3u);
  EXPECT_EQ(diffs[0].path, "temp.temp[0]");
  EXPECT_EQ(diffs[0].sendValue, "-2");
  EXPECT_EQ(diffs[1].position, kTemp1);
  EXPECT_EQ(diffs[2].block, Block::Calibration);
  EXPECT_EQ(diffs[2].path, "speed");
  EXPECT_TRUE(DiffValueSets(config, device, device, all).empty());
}

struct NameCase {
  const char* stem;
  bool valid;
  const char* key;
  uint16_t block;
};

class BackupNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(BackupNames, ParseOnlyWhatASaveWrites) {
  BackupName name;
  ASSERT_EQ(ParseBackupName(GetParam().stem, name), GetParam().valid);
  if (!GetParam().valid) return;
  EXPECT_EQ(name.key, GetParam().key);
  EXPECT_EQ(name.block, GetParam().block);
}

INSTANTIATE_TEST_SUITE_P(
    Backup, BackupNames,
    ::testing::Values(NameCase{"dev315-sn0.7_my_data_b1_20261207-024651-123", true, "dev315-sn0.7", 1},
                      NameCase{"dev1-sn2.3_x_b65535_20200101-000000-000", true, "dev1-sn2.3", 65535},
                      NameCase{"dev1-sn2.3_x_b65536_20200101-000000-000", false, "", 0},
                      NameCase{"dev1-sn2.3_x_b1_2020010-000000-0000", false, "", 0},
                      NameCase{"dev1-sn2.3_b1_20200101-000000-000", false, "", 0},
                      NameCase{"other_x_b1_20200101-000000-000", false, "", 0},
                      NameCase{"notes", false, "", 0}));

class BackupFolderTest : public ProjectDirTest {};

TEST_F(BackupFolderTest, TheNewestFiftyOfADeviceAreKept) {
  const std::vector<uint8_t> image = {1, 2, 3};
  std::filesystem::create_directories(BackupFolder(m_dir));
  // 52 backups of one device, named in time order, and one of another device.
  for (int i = 0; i < 52; ++i) {
    char stem[96];
    std::snprintf(stem, sizeof stem, "dev1-sn0.5_name_b1_20260101-0000%02d-000", i);
    std::ofstream(BackupFolder(m_dir) / (std::string(stem) + ".img")) << "x";
    std::ofstream(BackupFolder(m_dir) / (std::string(stem) + ".vts")) << "x";
  }
  std::ofstream(BackupFolder(m_dir) / "dev2-sn0.5_name_b1_20250101-000000-000.img") << "x";
  EXPECT_EQ(PruneDeviceBackups(m_dir, BackupKey(1, 0, 5)), 2u);
  const std::vector<std::string> kept = ListDeviceBackups(m_dir, "dev1-sn0.5");
  ASSERT_EQ(kept.size(), kKeptBackups);
  EXPECT_EQ(kept.front(), "dev1-sn0.5_name_b1_20260101-000002-000");
  EXPECT_FALSE(std::filesystem::exists(BackupFolder(m_dir) / "dev1-sn0.5_name_b1_20260101-000000-000.vts"));
  EXPECT_EQ(ListDeviceBackups(m_dir, "dev2-sn0.5").size(), 1u);

  const auto saved = SaveDeviceBackup(m_dir, "dev1-sn0.5", "a/b c", 3, image, nullptr);
  ASSERT_TRUE(saved) << saved.message();
  const auto backup = LoadDeviceBackup(saved.value());
  ASSERT_TRUE(backup) << backup.message();
  EXPECT_EQ(backup.value().name.block, 3);
  EXPECT_EQ(backup.value().name.dataName, "a_b_c");
  EXPECT_EQ(backup.value().image, image);
}

// The device: one block in memory; sends land there unless it forgets them.
struct FakeBlockDevice {
  std::vector<uint8_t> memory = std::vector<uint8_t>(8, 0);
  bool forget = false;
  bool readFails = false;
  int sends = 0;
  DeviceIo Io() {
    DeviceIo io;
    io.read = [this](uint16_t, std::span<uint8_t> buffer) -> Result<void> {
      if (readFails || buffer.size() != memory.size()) return Fail("no answer");
      std::copy(memory.begin(), memory.end(), buffer.begin());
      return {};
    };
    io.send = [this](uint16_t, std::span<const uint8_t> data) -> Result<void> {
      ++sends;
      if (!forget) memory.assign(data.begin(), data.end());
      return {};
    };
    return io;
  }
};

struct WriteCase {
  const char* name;
  bool forget, readFails, dryRun, confirm, same;
  SafeWriteResult result;
  int sends;
  bool backedUp;
};

class SafeWriteSteps : public ProjectDirTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SafeWriteSteps, NothingIsSentUnlessAskedAndAWriteIsCheckedAfterwards) {
  const WriteCase& c = GetParam();
  FakeBlockDevice device;
  device.forget = c.forget;
  device.readFails = c.readFails;
  SafeWriteJob job;
  job.projectDir = m_dir;
  job.backupKey = "dev9-sn0.0";
  job.dryRun = c.dryRun;
  job.blocks.push_back(BlockWrite{4, c.same ? device.memory : std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 2}, {}, {}});
  int asked = 0;
  const SafeWriteOutcome outcome = RunSafeWrite(job, device.Io(), [&](const SafeWriteOutcome& o) {
    ++asked;
    EXPECT_FALSE(o.byRecords);
    EXPECT_EQ(o.bytesDiffering, 2u);
    return c.confirm;
  });
  EXPECT_EQ(outcome.result, c.result);
  if (c.readFails) {
    EXPECT_EQ(outcome.detail, "no answer") << "the transfer's reason is passed on";
  }
  EXPECT_EQ(device.sends, c.sends);
  EXPECT_EQ(!ListDeviceBackups(m_dir, "dev9-sn0.0").empty(), c.backedUp);
  EXPECT_LE(asked, 1);
}

INSTANTIATE_TEST_SUITE_P(
    SafeWrite, SafeWriteSteps,
    ::testing::Values(
        WriteCase{"Written", false, false, false, true, false, SafeWriteResult::kWritten, 1, true},
        WriteCase{"Declined", false, false, false, false, false, SafeWriteResult::kDeclined, 0, false},
        WriteCase{"DryRun", false, false, true, true, false, SafeWriteResult::kDryRun, 0, false},
        WriteCase{"NoDifference", false, false, false, true, true, SafeWriteResult::kNoDifference, 0, false},
        WriteCase{"ReadFails", false, true, false, true, false, SafeWriteResult::kReadFailed, 0, false},
        WriteCase{"Forgotten", true, false, false, true, false, SafeWriteResult::kMismatch, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavomark::test
