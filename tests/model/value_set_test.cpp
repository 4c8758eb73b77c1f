#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "config_fixture.h"
#include "value_set.h"

namespace tavomark {
namespace {

using test::MakeConfig;

class DataSetTest : public test::ProjectDirTest {
 protected:
  // Saves a value file made from a configuration and loads it into a fresh data set.
  DataSet Loaded(ConfigSet config, void (*tweak)(ValToSendSet&) = nullptr) {
    ValToSendSet vts = CreateValToSendSet(config);
    if (tweak) tweak(vts);
    EXPECT_TRUE(SaveValToSendSet(Path("values.vts"), vts).ok());
    DataSet data = CreateDataSet();
    EXPECT_TRUE(LoadValToSendSet(Path("values.vts"), data.vts).ok());
    return data;
  }
};

TEST_F(DataSetTest, AttachesTheConfigurationAndUserConfiguration) {
  SaveConfig(MakeConfig());
  DataSet data = Loaded(MakeConfig());
  EXPECT_STREQ(data.vts.name, "values");
  ASSERT_TRUE(UpdateDataSet(data, m_dir).ok());
  EXPECT_STREQ(data.config.name, "PRJ0315cp_C");
  EXPECT_EQ(data.config.param.records.size(), 6u);
  // No .usr file: the user part takes the monitor header.
  EXPECT_EQ(data.user.header.codeProj, 315);
  EXPECT_TRUE(CheckCompatibilityValToSend(data.vts, data.config));
}

TEST_F(DataSetTest, UserConfigurationOfAnotherFirmwareIsCleared) {
  SaveConfig(MakeConfig());
  UserConfSet user = CreateUserConfSet();
  SetText(user.header.projVersion, "FW0315 V1.00");
  user.header.codeProj = 315;
  user.header.compVerFw = 'C';
  user.SetEntry(2, 5, 17);
  ASSERT_TRUE(SaveUserConfSet(m_dir / "config" / "PRJ0315cp_C.usr", user).ok());

  DataSet data = Loaded(MakeConfig());
  ASSERT_TRUE(UpdateDataSet(data, m_dir).ok());
  EXPECT_EQ(data.user.Entry(2, 5), 17u);

  // A .usr whose header names another letter keeps its header, loses its rows.
  user.header.compVerFw = 'D';
  ASSERT_TRUE(SaveUserConfSet(m_dir / "config" / "PRJ0315cp_C.usr", user).ok());
  DataSet again = Loaded(MakeConfig());
  ASSERT_TRUE(UpdateDataSet(again, m_dir).ok());
  EXPECT_EQ(again.user.Entry(2, 5), 0u);
}

TEST_F(DataSetTest, ErrorCodesComeInTheirOrder) {
  // Empty info pack: -2, whatever else is wrong.
  DataSet data = Loaded(MakeConfig(), [](ValToSendSet& v) {
    v.info.Clear();
    v.calib.header.codeProj = 999;
  });
  const auto voidPacket = UpdateDataSet(data, m_dir);
  EXPECT_EQ(voidPacket.code(), kVtsVoidPacket);
  EXPECT_EQ(voidPacket.message(), "File VTS contain void packet");

  // Another code in calib: -1 before any configuration is looked for.
  std::filesystem::remove_all(m_dir / "config");
  data = Loaded(MakeConfig(), [](ValToSendSet& v) { v.calib.header.codeProj = 316; });
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kVtsIncoherent);

  // No config folder at all.
  data = Loaded(MakeConfig());
  const auto missing = UpdateDataSet(data, m_dir);
  EXPECT_EQ(missing.code(), kConfigNotFound);
  // The code's text, then which file was looked for and why it did not load.
  EXPECT_EQ(missing.message().rfind("File Configuration not found in program sub folder 'config': cannot open ", 0),
            0u)
      << missing.message();
  EXPECT_NE(missing.message().find("PRJ0315cp_C.cfg: No such file or directory"), std::string::npos)
      << missing.message();
  std::filesystem::create_directories(m_dir / "config");

  // The configuration has one more parameter record than the values.
  SaveConfig(MakeConfig(315, 'C', 1));
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kWrongParamCount);

  ConfigSet moreInfo = MakeConfig();
  moreInfo.info = test::BlockPack("info", 315, 'C', 3);
  SaveConfig(moreInfo);
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kWrongInfoCount);

  ConfigSet moreCalib = MakeConfig();
  moreCalib.calib = test::BlockPack("cal", 315, 'C', 1);
  SaveConfig(moreCalib);
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kWrongCalibCount);

  ConfigSet otherParamLetter = MakeConfig();
  otherParamLetter.param.header.compVerFw = 'B';
  SaveConfig(otherParamLetter);
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kCompatibilityMismatch);

  ConfigSet incoherent = MakeConfig();
  incoherent.info.header.codeProj = 7;
  SaveConfig(incoherent);
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kConfigIncoherent);

  ConfigSet incomplete = MakeConfig();
  incomplete.info.records.clear();
  SaveConfig(incomplete);
  data = Loaded(MakeConfig());
  EXPECT_EQ(UpdateDataSet(data, m_dir).code(), kConfigVoidPacket);
}

TEST(ValToSendErrorString, TextsOfTheCodes) {
  EXPECT_EQ(GetValToSendErrorString(0), "");
  EXPECT_EQ(GetValToSendErrorString(-2), "File VTS contain void packet");
  EXPECT_EQ(GetValToSendErrorString(-3), "File Configuration not found in program sub folder 'config'");
  EXPECT_EQ(GetValToSendErrorString(-7), "Wrong Param records's number");
  EXPECT_EQ(GetValToSendErrorString(-10), "Invalid Parameter File");
  EXPECT_EQ(GetValToSendErrorString(-11), "Unknown error occurred...");
  EXPECT_EQ(GetValToSendErrorString(1), "Unknown error occurred...");
}

TEST_F(DataSetTest, ValueFileLayoutAndTheOptionalLetter) {
  ConfigSet config = MakeConfig();
  config.monitor.header.compVerFw = 'M';
  ValToSendSet vts = CreateValToSendSet(config);
  EXPECT_EQ(vts.configLetter, 'M');
  SetItemValue(GetValToSendRecord(vts.param, 2), 0.1f);
  ASSERT_TRUE(SaveValToSendSet(Path("a.vts"), vts).ok());

  auto bytes = Bytes(Path("a.vts"));
  const std::size_t packBytes = 64 + 6 * 32;
  ASSERT_EQ(bytes.size(), 3 * packBytes + 1);
  EXPECT_EQ(bytes.back(), 'M');
  EXPECT_EQ(bytes[0], 'F');
  EXPECT_EQ(bytes[32], 32);  // itemSize

  ValToSendSet back = CreateValToSendSet(CreateConfigSet());
  ASSERT_TRUE(LoadValToSendSet(Path("a.vts"), back).ok());
  EXPECT_EQ(back.configLetter, 'M');
  EXPECT_EQ(ItemValue(GetValToSendRecord(back.param, 2)), 0.1f);
  EXPECT_NE(static_cast<double>(ItemValue(GetValToSendRecord(back.param, 2))), 0.1);
  EXPECT_EQ(ItemValue(GetValToSendRecord(back.param, 4)), -7.0f);
  EXPECT_EQ(back.param.header.isChanged, 0);
  EXPECT_EQ(back.param.header.isNew, 1);

  bytes.pop_back();  // no letter: it is the param header's compVerFw
  WriteBytes(Path("b.vts"), bytes);
  ASSERT_TRUE(LoadValToSendSet(Path("b.vts"), back).ok());
  EXPECT_EQ(back.configLetter, 'C');

  bytes.resize(2 * packBytes + 10);
  WriteBytes(Path("short_name.vts"), bytes);
  EXPECT_FALSE(LoadValToSendSet(Path("short_name.vts"), back).ok());
  EXPECT_STREQ(back.name, "short_name");  // named whatever the outcome
}

TEST_F(DataSetTest, FailedSaveIsReportedAndKeepsThePreviousFile) {
  ValToSendSet vts = CreateValToSendSet(MakeConfig());
  // The target is a folder: the new file cannot take its place.
  std::filesystem::create_directories(Path("taken.vts") / "inside");
  EXPECT_FALSE(SaveValToSendSet(Path("taken.vts"), vts).ok());
  EXPECT_TRUE(std::filesystem::is_directory(Path("taken.vts") / "inside"));
  EXPECT_FALSE(SaveValToSendSet(Path("missing/x.vts"), vts).ok());
}

TEST(ValToSendSet, TabsPredicatesAndCopies) {
  ConfigSet config = MakeConfig();
  ValToSendSet vts = CreateValToSendSet(config);
  EXPECT_EQ(&GetTabIndexedValToSendPack(vts, Block::Parameters), &vts.param);
  EXPECT_EQ(&GetTabIndexedValToSendPack(vts, Block::Information), &vts.info);
  EXPECT_EQ(&GetTabIndexedValToSendPack(vts, Block::Calibration), &vts.calib);
  EXPECT_TRUE(IsCompleteValToSendSet(vts));
  EXPECT_TRUE(IsCoherentValToSendSet(vts));
  EXPECT_TRUE(IsNewValToSendSet(vts));
  EXPECT_FALSE(IsChangedValToSendSet(vts));
  EXPECT_TRUE(GetValToSendRecord(vts.param, 7).empty());

  vts.info.header.codeProj = 1;
  EXPECT_FALSE(IsCoherentValToSendSet(vts));
  ConfigSet other = MakeConfig(315, 'C', 2);
  EXPECT_FALSE(CheckCompatibilityValToSend(vts, other));

  ValToSendSet copy;
  SetText(vts.name, "Demo");
  ASSERT_EQ(CopyValToSendSet(copy, vts), 1);
  EXPECT_STREQ(copy.name, "Demo");
  EXPECT_EQ(copy.configLetter, 'C');
  EXPECT_EQ(copy.param.Count(), 6u);
}

}  // namespace
}  // namespace tavomark
