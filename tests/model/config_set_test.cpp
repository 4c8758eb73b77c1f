#include <gtest/gtest.h>

#include <algorithm>

#include "config_fixture.h"
#include "pack.h"
#include "settings.h"  // MainTitleText
#include "struct_pack_file.h"

namespace tavomark {
namespace {

using test::MakeConfig;

class ConfigFileTest : public test::ProjectDirTest {};

TEST_F(ConfigFileTest, LineFeedBytesAreStoredAsCrLfAndReadBack) {
  ConfigSet config = MakeConfig();
  // A record at offset 10 puts a 0x0A byte into the layout.
  config.param.records[5].offset = 10;
  ASSERT_TRUE(SaveConfigSet(Path("c.cfg"), config).ok());

  // The same packs in the plain binary layout, to count the line feeds.
  std::vector<uint8_t> plain;
  for (StructPack* p : {&config.monitor, &config.param, &config.info, &config.calib}) {
    uint8_t header[64];
    SerializeHeader(p->header, header);
    plain.insert(plain.end(), header, header + 64);
    for (const Record& r : p->records) {
      uint8_t slot[256];
      SerializeRecord(r, slot);
      plain.insert(plain.end(), slot, slot + 256);
    }
  }
  const auto lineFeeds = static_cast<std::size_t>(std::count(plain.begin(), plain.end(), 0x0A));
  ASSERT_GT(lineFeeds, 0u);
  const auto file = Bytes(Path("c.cfg"));
  ASSERT_EQ(file.size(), plain.size() + lineFeeds);
  for (std::size_t i = 0; i < file.size(); ++i)
    if (file[i] == 0x0A) {
      ASSERT_TRUE(i > 0 && file[i - 1] == 0x0D) << i;
    }

  ConfigSet back = CreateConfigSet();
  ASSERT_TRUE(LoadConfigSet(Path("c.cfg"), back).ok());
  EXPECT_EQ(back.param.records[5].offset, 10);
  EXPECT_EQ(back.monitor.records.size(), 6u);
  EXPECT_EQ(back.calib.header.codeProj, 315);
  EXPECT_STREQ(back.info.records[0].varName, "info");
}

TEST(CrLf, TranslationBothWays) {
  const std::vector<uint8_t> raw{0x0A, 0x41, 0x0D, 0x0D, 0x0A, 0x0A};
  const std::vector<uint8_t> stored{0x0D, 0x0A, 0x41, 0x0D, 0x0D, 0x0D, 0x0A, 0x0D, 0x0A};
  EXPECT_EQ(ToCrLf(raw), stored);
  EXPECT_EQ(FromCrLf(stored), raw);
  // A lone CR, also at the very end, is kept.
  EXPECT_EQ(FromCrLf({0x0D, 0x41, 0x0D}), (std::vector<uint8_t>{0x0D, 0x41, 0x0D}));
}

TEST_F(ConfigFileTest, DamagedFilesFailAndKeepWhatWasRead) {
  ConfigSet config = MakeConfig();
  ASSERT_TRUE(SaveConfigSet(Path("c.cfg"), config).ok());
  auto bytes = Bytes(Path("c.cfg"));
  bytes.resize(bytes.size() / 2);
  WriteBytes(Path("half.cfg"), bytes);
  ConfigSet back = CreateConfigSet();
  EXPECT_FALSE(LoadConfigSet(Path("half.cfg"), back).ok());
  EXPECT_EQ(back.monitor.records.size(), 6u);

  bytes[0] = 'X';
  WriteBytes(Path("bad.cfg"), bytes);
  EXPECT_FALSE(LoadConfigSet(Path("bad.cfg"), back).ok());
  WriteBytes(Path("empty.cfg"), {});
  EXPECT_FALSE(LoadConfigSet(Path("empty.cfg"), back).ok());
  EXPECT_FALSE(LoadConfigSet(Path("none.cfg"), back).ok());
}

TEST_F(ConfigFileTest, UserConfigurationRoundTrip) {
  UserConfSet user = CreateUserConfSet();
  SetText(user.header.projVersion, "FW0315 V1.00");
  user.header.codeProj = 315;
  user.header.compVerFw = 'C';
  user.header.isChanged = 1;
  user.SetEntry(0, 0, 10);  // a 0x0A data byte
  user.SetEntry(6, 47, 0x0A0A0A0A);
  ASSERT_TRUE(SaveUserConfDefaultPath(m_dir, user).ok());
  EXPECT_EQ(user.header.isChanged, 0);
  const auto path = m_dir / "config" / "PRJ0315cp_C.usr";
  EXPECT_EQ(Bytes(path).size(), 64u + 1344u + 5u);

  UserConfSet back = CreateUserConfSet();
  ASSERT_TRUE(LoadUserConfSet(path, back).ok());
  EXPECT_EQ(back.Entry(0, 0), 10u);
  EXPECT_EQ(back.Entry(6, 47), 0x0A0A0A0Au);
  EXPECT_EQ(back.header.isNew, 1);
  EXPECT_EQ(back.header.compVerFw, 'C');
}

TEST(ConfigSet, PredicatesTabsAndCopy) {
  ConfigSet config = MakeConfig();
  EXPECT_TRUE(IsCompleteConfigSet(config));
  EXPECT_TRUE(IsCoherentConfigSet(config, 'C'));
  EXPECT_TRUE(IsCoherentConfigSet(config, 0));
  EXPECT_FALSE(IsCoherentConfigSet(config, 'D'));
  config.calib.header.codeProj = 1;  // calib is not compared
  EXPECT_TRUE(IsCoherentConfigSet(config, 0));
  config.monitor.header.codeProj = 1;
  EXPECT_FALSE(IsCoherentConfigSet(config, 0));

  EXPECT_EQ(&GetTabIndexedStruct(config, Block::Parameters), &config.param);
  EXPECT_EQ(&GetTabIndexedStruct(config, Block::Information), &config.info);
  EXPECT_EQ(&GetTabIndexedStruct(config, Block::Calibration), &config.calib);
  EXPECT_EQ(&GetTabIndexedStruct(config, Block::Monitor), &config.monitor);

  ConfigSet copy = CreateConfigSet();
  SetText(config.name, "PRJ0315cp_C");
  ASSERT_EQ(CopyConfigSet(copy, config), 1);
  EXPECT_STREQ(copy.name, "PRJ0315cp_C");
  EXPECT_EQ(copy.param.records.size(), 6u);
  config.info.records.clear();
  EXPECT_FALSE(IsCompleteConfigSet(config));
  EXPECT_EQ(CopyConfigSet(copy, config), 0);
}

// ---- names and paths ----------------------------------------------------------------

TEST(Names, ConfigurationNamesAndPaths) {
  std::string text;
  EXPECT_TRUE(GetConfigName(315, 'C', text));
  EXPECT_EQ(text, "PRJ0315cp_C");
  EXPECT_TRUE(GetHeaderString(315, 'C', text));
  EXPECT_EQ(text, "PRJ0315C");
  EXPECT_FALSE(GetConfigName(0, 'C', text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(GetConfigPath("/p", 315, 'C'), std::filesystem::path("/p/config/PRJ0315cp_C.cfg"));
  EXPECT_EQ(GetConfigPath("/p", 0, 'C'), std::filesystem::path("/p/config/.cfg"));
  PackHeader h;
  h.codeProj = 12345;
  h.compVerFw = 'Z';
  EXPECT_EQ(GetUserConfPath("/p", h), std::filesystem::path("/p/config/PRJ12345cp_Z.usr"));
}

struct SplitCase {
  const char* path;
  const char* extension;
  const char* name;
};

class SplitFileNames : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFileNames, OnBothSeparators) {
  const auto& c = GetParam();
  EXPECT_EQ(GetFileExtension(c.path), c.extension);
  std::string name = "old";
  const std::size_t at = SplitFileName(c.path, name);
  EXPECT_EQ(name, c.name);
  const std::string path = c.path;
  EXPECT_EQ(path.substr(at), c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitFileNames,
    ::testing::Values(SplitCase{"/home/eng/values/file.vts", "vts", "file"},
                      SplitCase{"C:\\work\\values\\file.vts", "vts", "file"},
                      SplitCase{"C:\\work.old\\values\\file", "", "file"},
                      SplitCase{"/work.d/file", "", "file"}, SplitCase{"/work/file.backup", "", "file.backup"},
                      SplitCase{"*.cfg", "cfg", "*"}, SplitCase{"plain", "", "plain"}, SplitCase{"", "", ""},
                      SplitCase{"mixed/dir\\name.txt", "txt", "name"}));

TEST(MainTitle, CodeWithLeadingZerosLetterAndFileName) {
  EXPECT_EQ(MainTitleText(315, 'C', ""), "TQ0315C_USER Rev.AB - ");
  EXPECT_EQ(MainTitleText(4321, 'A', "demo"), "TQ4321A_USER Rev.AB - demo");
}

}  // namespace
}  // namespace tavomark
