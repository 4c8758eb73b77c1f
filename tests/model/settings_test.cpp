#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "config_fixture.h"
#include "settings.h"

namespace tavomark {
namespace {

class SettingsTest : public test::ProjectDirTest {
 protected:
  std::string Text() {
    std::ifstream in(Path("tavomark.ini"), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  void WriteText(const std::string& text) {
    std::ofstream(Path("tavomark.ini"), std::ios::binary) << text;
  }
  // The block of older versions: port i16 LE, four 260-byte paths.
  static std::vector<uint8_t> OldBlock(int16_t port, const std::string& value, const std::string& header) {
    std::vector<uint8_t> bytes(1042, 0);
    bytes[0] = static_cast<uint8_t>(port & 0xFF);
    bytes[1] = static_cast<uint8_t>((port >> 8) & 0xFF);
    std::memcpy(bytes.data() + 2, value.data(), value.size());
    std::memcpy(bytes.data() + 2 + 260, header.data(), header.size());
    return bytes;
  }
};

TEST_F(SettingsTest, EveryFieldRoundTripsThroughReadableText) {
  SettingsBlock s;
  s.portIndex = -2;
  s.lastValueFile = "/data/values/demo.vts";
  s.lastHeaderFile = "/fw/main.h";
  s.lastStructTextFile = "/tmp/struct dump.txt";
  s.lastNewValueFile = std::string(600, 'x');  // longer than the old 259
  s.recentValueFiles = {"/a.vts", "/b.vts"};
  s.windowGeometry = "AdnQywADAAAAAAB+AAAAWgAABF4AAAK/";
  s.folders.value = "/data/values";
  s.folders.recording = "/rec";
  s.liveEditChannels = true;
  s.askBeforeSend = false;
  s.mainTimerMs = 50;
  ASSERT_TRUE(WriteInitFile(m_dir, s));
  const std::string text = Text();
  EXPECT_NE(text.find("[Port]\nSelector=-2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ValueFile=/data/values/demo.vts\n"), std::string::npos);
  EXPECT_NE(text.find("ValueFile2=/b.vts\n"), std::string::npos);
  EXPECT_NE(text.find("AskBeforeSend=0\n"), std::string::npos);

  SettingsBlock back;
  SettingsRead status = SettingsRead::kMissing;
  ASSERT_EQ(ReadInitFile(m_dir, back, &status), 1);
  EXPECT_EQ(status, SettingsRead::kText);
  EXPECT_EQ(back.portIndex, -2);
  EXPECT_EQ(back.lastValueFile, s.lastValueFile);
  EXPECT_EQ(back.lastHeaderFile, s.lastHeaderFile);
  EXPECT_EQ(back.lastStructTextFile, s.lastStructTextFile);
  EXPECT_EQ(back.lastNewValueFile, s.lastNewValueFile);
  EXPECT_EQ(back.recentValueFiles, s.recentValueFiles);
  EXPECT_EQ(back.windowGeometry, s.windowGeometry);
  EXPECT_EQ(back.folders.value, "/data/values");
  EXPECT_EQ(back.folders.recording, "/rec");
  EXPECT_EQ(back.folders.header, "");
  EXPECT_TRUE(back.liveEditChannels);
  EXPECT_FALSE(back.liveShowCalib);
  EXPECT_FALSE(back.askBeforeSend);
  EXPECT_EQ(back.mainTimerMs, 50);
}

TEST_F(SettingsTest, OldBlockWithAndWithoutTailIsMigrated) {
  for (const bool withTail : {false, true}) {
    std::vector<uint8_t> bytes = OldBlock(7, "/v/run7.vts", "/h/main.h");
    if (withTail) bytes.insert(bytes.end(), {'T', 'M', 'X', '1', 1, 0, 0, 0});
    WriteBytes(Path("tavomark.ini"), bytes);
    SettingsBlock back;
    SettingsRead status = SettingsRead::kText;
    ASSERT_EQ(ReadInitFile(m_dir, back, &status), 1);
    EXPECT_EQ(status, SettingsRead::kMigrated);
    EXPECT_EQ(back.portIndex, 7);
    EXPECT_EQ(back.lastValueFile, "/v/run7.vts");
    EXPECT_EQ(back.lastHeaderFile, "/h/main.h");
    EXPECT_EQ(back.lastStructTextFile, "");
    EXPECT_EQ(back.recentValueFiles, std::vector<std::string>{"/v/run7.vts"});
    EXPECT_EQ(back.liveEditChannels, withTail);
    EXPECT_TRUE(back.askBeforeSend);

    ASSERT_TRUE(WriteInitFile(m_dir, back));
    SettingsBlock again;
    ASSERT_EQ(ReadInitFile(m_dir, again, &status), 1);
    EXPECT_EQ(status, SettingsRead::kText) << "written as text once migrated";
    EXPECT_EQ(again.lastValueFile, "/v/run7.vts");
  }
}

TEST_F(SettingsTest, MissingOrJunkFileGivesDefaults) {
  SettingsBlock s;
  s.portIndex = 4;
  s.lastHeaderFile = "/h/main.h";
  SettingsRead status = SettingsRead::kText;
  EXPECT_EQ(ReadInitFile(m_dir, s, &status), 0);
  EXPECT_EQ(status, SettingsRead::kMissing);
  EXPECT_EQ(s.portIndex, 0);
  EXPECT_EQ(s.lastHeaderFile, "");

  std::vector<uint8_t> junk(1041, 0);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37);
  WriteBytes(Path("tavomark.ini"), junk);
  s.portIndex = 4;
  EXPECT_EQ(ReadInitFile(m_dir, s, &status), 0);
  EXPECT_EQ(status, SettingsRead::kMissing);
  EXPECT_EQ(s.portIndex, 0);
  EXPECT_TRUE(s.askBeforeSend);
}

struct DamagedCase {
  const char* name;
  std::string text;
};

// Each file holds one bad entry among good ones: that entry takes its
// default, the others are kept, and the file is reported for rewriting.
class DamagedSettings : public SettingsTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedSettings, BadEntryTakesItsDefault) {
  WriteText("[Recent]\nHeaderFile=/h/good.h\n" + GetParam().text);
  SettingsBlock back;
  SettingsRead status = SettingsRead::kText;
  ASSERT_EQ(ReadInitFile(m_dir, back, &status), 1);
  EXPECT_EQ(status, SettingsRead::kRepaired);
  EXPECT_EQ(back.lastHeaderFile, "/h/good.h");
  EXPECT_EQ(back.portIndex, 0);
  EXPECT_EQ(back.lastValueFile, "");
  EXPECT_TRUE(back.recentValueFiles.empty());
  EXPECT_FALSE(back.liveShowCalib);
  EXPECT_TRUE(back.askBeforeSend);
  EXPECT_EQ(back.windowGeometry, "");
  EXPECT_EQ(back.mainTimerMs, kDefaultMainTimerMs);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DamagedSettings,
    ::testing::Values(DamagedCase{"PortNotANumber", "[Port]\nSelector=COM3\n"},
                      DamagedCase{"PortOutOfRange", "[Port]\nSelector=300\n"},
                      DamagedCase{"PortTrailingText", "[Port]\nSelector=3x\n"},
                      DamagedCase{"PortOverflow", "[Port]\nSelector=99999999999999999999999\n"},
                      DamagedCase{"FlagNotABool", "[View]\nLiveShowCalib=maybe\n"},
                      DamagedCase{"AskNotABool", "[View]\nAskBeforeSend=2\n"},
                      DamagedCase{"TimerTooShort", "[View]\nMainTimerMs=5\n"},
                      DamagedCase{"TimerNotANumber", "[View]\nMainTimerMs=50ms\n"},
                      DamagedCase{"PathTooLong", "[Recent]\nValueFile=/" + std::string(4096, 'p') + "\n"},
                      DamagedCase{"RecentTooLong", "[Recent]\nValueFile3=/" + std::string(5000, 'p') + "\n"},
                      DamagedCase{"GeometryTooLong", "[Window]\nGeometry=" + std::string(5000, 'A') + "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, TextThatCannotBeStoredIsWrittenEmpty) {
  SettingsBlock s;
  s.lastValueFile = "/a\nSelector=9";
  s.lastHeaderFile = "/h/x ;comment";
  s.lastStructTextFile = "/ok.txt";
  s.lastNewValueFile = "/old\x05" "block.vts";  // a control byte, as an old block may hold
  s.portIndex = 3;
  ASSERT_TRUE(WriteInitFile(m_dir, s));
  SettingsBlock back;
  SettingsRead status = SettingsRead::kMissing;
  ASSERT_EQ(ReadInitFile(m_dir, back, &status), 1);
  EXPECT_EQ(status, SettingsRead::kText) << "what is written reads back as text";
  EXPECT_EQ(back.portIndex, 3) << "a line break cannot smuggle an entry in";
  EXPECT_EQ(back.lastValueFile, "");
  EXPECT_EQ(back.lastHeaderFile, "");
  EXPECT_EQ(back.lastNewValueFile, "");
  EXPECT_EQ(back.lastStructTextFile, "/ok.txt");
}

TEST(RecentValueFiles, NewestFirstEightAtMostNoDuplicates) {
  SettingsBlock s;
  for (int i = 1; i <= 10; ++i) AddRecentValueFile(s, "/v" + std::to_string(i) + ".vts");
  ASSERT_EQ(s.recentValueFiles.size(), 8u);
  EXPECT_EQ(s.recentValueFiles.front(), "/v10.vts");
  EXPECT_EQ(s.recentValueFiles.back(), "/v3.vts");
  AddRecentValueFile(s, "/v5.vts");
  ASSERT_EQ(s.recentValueFiles.size(), 8u);
  EXPECT_EQ(s.recentValueFiles[0], "/v5.vts");
  EXPECT_EQ(s.recentValueFiles[1], "/v10.vts");
  AddRecentValueFile(s, "");
  EXPECT_EQ(s.recentValueFiles[0], "/v5.vts");
}

}  // namespace
}  // namespace tavomark
