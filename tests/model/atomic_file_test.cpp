// Saves keep what the file is (mode, links, kind); reads take regular files only.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "atomic_file.h"
#include "config_fixture.h"
#include "config_set.h"
#include "value_set.h"

namespace tavomark {
namespace {

class SaveInPlace : public test::ProjectDirTest {
 protected:
  static bool SaveText(const std::filesystem::path& path, const std::string& text, std::string* error = nullptr) {
    const auto saved = SaveFileAtomically(
        path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); });
    if (error) *error = saved.message();
    return saved.ok();
  }
  static std::string Text(const std::filesystem::path& path) {
    const auto bytes = Bytes(path);
    return {bytes.begin(), bytes.end()};
  }
  // Files left in the folder besides the ones named.
  std::size_t Entries() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_dir)) ++n;
    return n;
  }
};

TEST_F(SaveInPlace, KeepsThePermissionBits) {
  const auto path = Path("private.vts");
  ASSERT_TRUE(SaveText(path, "old"));
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(SaveText(path, "new"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Text(path), "new");
}

TEST_F(SaveInPlace, WritesThroughASymbolicLinkToItsTarget) {
  std::filesystem::create_directories(Path("real"));
  const auto target = Path("real") / "values.vts";
  ASSERT_TRUE(SaveText(target, "old"));
  const auto link = Path("link.vts");
  std::filesystem::create_symlink("real/values.vts", link);
  ASSERT_TRUE(SaveText(link, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Text(target), "new");
  // A link to a file that does not exist yet creates the target.
  const auto dangling = Path("later.vts");
  std::filesystem::create_symlink("real/later.vts", dangling);
  ASSERT_TRUE(SaveText(dangling, "first"));
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_EQ(Text(Path("real") / "later.vts"), "first");
}

TEST_F(SaveInPlace, UpdatesEveryHardLink) {
  const auto a = Path("a.vts");
  const auto b = Path("b.vts");
  ASSERT_TRUE(SaveText(a, "old content"));
  std::filesystem::create_hard_link(a, b);
  ASSERT_TRUE(SaveText(a, "new"));
  EXPECT_EQ(Text(b), "new");
  EXPECT_EQ(std::filesystem::hard_link_count(a), 2u);
  EXPECT_EQ(Entries(), 3u) << "no temporary file left behind";  // a, b, config
}

TEST_F(SaveInPlace, RefusesToReplaceWhatIsNotARegularFile) {
  const auto fifo = Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(SaveText(fifo, "x", &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_FALSE(SaveText(Path("config"), "x", &error));
  EXPECT_TRUE(std::filesystem::is_directory(Path("config")));
}

TEST_F(SaveInPlace, ANameAtTheFileSystemLimitCanBeSaved) {
  const auto path = Path(std::string(250, 'v') + ".vts");  // 254 bytes
  std::string error;
  ASSERT_TRUE(SaveText(path, "long", &error)) << error;
  EXPECT_EQ(Text(path), "long");
}

TEST_F(SaveInPlace, AFailedCreateNamesTheFolder) {
  std::string error;
  EXPECT_FALSE(SaveText(Path("missing") / "x.vts", "x", &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

// Readers of every format refuse what is not a regular file at once.
TEST_F(SaveInPlace, ReadersOpenOnlyRegularFiles) {
  const auto fifo = Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::filesystem::path& path : {fifo, std::filesystem::path("/dev/zero"), Path("config")}) {
    FileHandle file(path, "rb");
    EXPECT_FALSE(file) << path;
    EXPECT_NE(file.error().find("not a regular file"), std::string::npos) << file.error();
    ConfigSet config = CreateConfigSet();
    const auto read = LoadConfigSet(path, config);
    EXPECT_FALSE(read.ok()) << path;
    const std::string why = read.message();
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    ValToSendSet vts;
    EXPECT_FALSE(LoadValToSendSet(path, vts).ok());
    UserConfSet user = CreateUserConfSet();
    EXPECT_FALSE(LoadUserConfSet(path, user).ok());
  }
}

TEST(ReadLineChecked, StopsAtItsLimitAndReportsTheEnd) {
  const std::string text = "abc\ndefgh\nij";
  std::FILE* f = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ASSERT_NE(f, nullptr);
  std::string line;
  EXPECT_EQ(ReadLineChecked(f, line, 4), LineStatus::kLine);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(ReadLineChecked(f, line, 4), LineStatus::kTooLong);
  std::fclose(f);
  f = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  EXPECT_EQ(ReadLineChecked(f, line, 10), LineStatus::kLine);
  EXPECT_EQ(ReadLineChecked(f, line, 10), LineStatus::kLine);
  EXPECT_EQ(ReadLineChecked(f, line, 10), LineStatus::kLine);
  EXPECT_EQ(line, "ij");
  EXPECT_EQ(ReadLineChecked(f, line, 10), LineStatus::kEnd);
  std::fclose(f);
}

// Why a load failed: missing file, which block is cut short and where.
class LoadReasons : public test::ProjectDirTest {};

TEST_F(LoadReasons, SayWhichBlockAndWhichByte) {
  ConfigSet config = test::MakeConfig();
  ValToSendSet vts = CreateValToSendSet(config);
  const auto path = Path("demo.vts");
  ASSERT_TRUE(SaveValToSendSet(path, vts).ok());
  auto bytes = Bytes(path);
  const std::size_t paramBytes = 64 + vts.param.Count() * kValToSendItemBytes;

  struct Case {
    const char* name;
    std::vector<uint8_t> content;
    std::string expected;
  };
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(paramBytes + 10));
  std::vector<uint8_t> noMark = bytes;
  noMark[paramBytes] = 'X';
  std::vector<uint8_t> shortItems(bytes.begin(), bytes.begin() + static_cast<long>(paramBytes + 64 + 40));
  const Case cases[] = {
      {"info header cut", cut, std::string("info block: header cut short, the file ends at byte ") + std::to_string(paramBytes + 10)},
      {"info without FW", noMark, std::string("info block: no \"FW\" at byte ") + std::to_string(paramBytes)},
      {"info items cut", shortItems, "info block: 6 items announced"},
      {"empty", {}, "param block: missing, the file ends at byte 0"},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.content);
    ValToSendSet loaded;
    const auto read = LoadValToSendSet(path, loaded);
    EXPECT_FALSE(read.ok()) << c.name;
    const std::string why = read.message();
    EXPECT_NE(why.find(c.expected), std::string::npos) << c.name << ": " << why;
  }
  ValToSendSet loaded;
  const auto missing = LoadValToSendSet(Path("none.vts"), loaded);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("No such file or directory"), std::string::npos) << missing.message();
}

TEST_F(LoadReasons, DamagedUserConfigurationIsRefusedWithItsReason) {
  UserConfSet user = CreateUserConfSet();
  user.header.codeProj = 315;
  user.header.compVerFw = 'C';
  SetText(user.header.projVersion, "FW0315 V1.00");
  user.SetEntry(0, 0, 3);
  const auto path = Path("PRJ0315up_C.usr");
  ASSERT_TRUE(SaveUserConfSet(path, user).ok());
  const auto good = Bytes(path);
  struct Case {
    const char* name;
    std::vector<uint8_t> content;
    const char* expected;
  };
  std::vector<uint8_t> cut(good.begin(), good.begin() + 500);
  std::vector<uint8_t> noMark = good;
  noMark[1] = 'X';
  std::vector<uint8_t> huge(kMaxUserConfFileBytes + 1, 'F');
  const Case cases[] = {
      {"lists cut", cut, "the lists end at byte 500"},
      {"no FW", noMark, "no \"FW\""},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 20), "header cut short"},
      {"too large", huge, "larger than"},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.content);
    UserConfSet loaded = CreateUserConfSet();
    const auto read = LoadUserConfSet(path, loaded);
    EXPECT_FALSE(read.ok()) << c.name;
    const std::string why = read.message();
    EXPECT_NE(why.find(c.expected), std::string::npos) << c.name << ": " << why;
  }
}

}  // namespace
}  // namespace tavomark
