// values show prints what values set --from reads back exactly; texts that do
// not fit a "CHR" value are refused, never shortened.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "config_fixture.h"

namespace tavomark {
namespace {

using test::Quoted;
using test::RunCli;

class ShowSet : public test::ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    const std::filesystem::path demo = TAVOMARK_DEMO_PROJECT;
    ASSERT_TRUE(std::filesystem::exists(demo / "demo.vts")) << demo;
    std::filesystem::copy(demo / "config", m_dir / "config", std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(demo / "demo.vts", Path("demo.vts"));
  }
  std::string Project() const { return "--project-dir " + Quoted(m_dir.string()) + " "; }
  test::CliRun Show(const std::string& file) { return RunCli(Project() + "values show " + Quoted(Path(file).string())); }
  test::CliRun SetFrom(const std::string& file, const std::string& list) {
    std::ofstream(Path("list.txt"), std::ios::binary) << list;
    return RunCli(Project() + "values set " + Quoted(Path(file).string()) + " --from " +
                  Quoted(Path("list.txt").string()));
  }
  // The paths ("block:path") of the "CHR" values, whose values print quoted.
  std::vector<std::string> CharPaths(const std::string& shown) {
    std::vector<std::string> paths;
    std::istringstream lines(shown);
    for (std::string line; std::getline(lines, line);) {
      const auto equals = line.find('=');
      if (equals != std::string::npos && line.compare(equals + 1, 1, "\"") == 0) paths.push_back(line.substr(0, equals));
    }
    return paths;
  }
};

TEST_F(ShowSet, ShownListRebuildsTheValueFileByteForByte) {
  const auto shown = Show("demo.vts");
  ASSERT_EQ(shown.exitCode, 0) << shown.out;
  const std::vector<std::string> chars = CharPaths(shown.out);
  // Bytes that need escapes: NUL, backslash, quote, '#', control, >= 0x80.
  const char* odd[] = {"\"\\0\"", "\"\\\\\"", "\"\\\"\"", "\"\\x23\"", "\"\\x01\"", "\"\\xFF\"", "\"\\x80\"", "\" \""};
  ASSERT_GE(chars.size(), std::size(odd)) << shown.out;
  std::string oddList;
  for (std::size_t i = 0; i < std::size(odd); ++i) oddList += chars[i] + "=" + odd[i] + "\n";
  oddList += "param:tempOffset.tempOffset[1]=0.1\n";  // no short decimal is exact in binary
  std::filesystem::copy_file(Path("demo.vts"), Path("odd.vts"));
  auto run = SetFrom("odd.vts", oddList);
  ASSERT_EQ(run.exitCode, 0) << run.out;

  for (const char* original : {"demo.vts", "odd.vts"}) {
    const auto list = Show(original);
    ASSERT_EQ(list.exitCode, 0) << list.out;
    // Onto a copy of the other file, so every value really is written.
    std::filesystem::remove(Path("copy.vts"));
    std::filesystem::copy_file(Path(std::string(original) == "demo.vts" ? "odd.vts" : "demo.vts"), Path("copy.vts"));
    run = SetFrom("copy.vts", list.out);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(Bytes(Path("copy.vts")), Bytes(Path(original))) << original;
  }
  EXPECT_NE(Show("odd.vts").out.find(chars[3] + "=\"\\x23\""), std::string::npos);
}

struct BadText {
  const char* text;
  const char* why;
};

class BadCharText : public ShowSet, public ::testing::WithParamInterface<BadText> {};

TEST_P(BadCharText, IsRefusedWithPathAndTextAndNothingChanges) {
  const auto shown = Show("demo.vts");
  const std::vector<std::string> chars = CharPaths(shown.out);
  ASSERT_FALSE(chars.empty());
  const auto before = Bytes(Path("demo.vts"));
  const auto run = SetFrom("demo.vts", chars[0] + "=" + GetParam().text + "\n");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find(chars[0] + ": "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(GetParam().text), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(GetParam().why), std::string::npos) << run.out;
  EXPECT_EQ(Bytes(Path("demo.vts")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadCharText,
    ::testing::Values(BadText{"\"AB\"", "is not one character"}, BadText{"\"\"", "is not one character"},
                      BadText{"AB", "is not one character"}, BadText{"\"\\q\"", "unknown escape \\q"},
                      BadText{"\"\\x4\"", "unknown escape \\x"}, BadText{"\"\\xG1\"", "unknown escape \\x"},
                      BadText{"\"A", "closing quote"}, BadText{"\"\\\"", "lone backslash"},
                      BadText{"\"A\"B\"", "unescaped quote"}, BadText{"\"\\x41\\x42\"", "is not one character"}),
    [](const auto& info) { return "Text" + std::to_string(info.index); });

}  // namespace
}  // namespace tavomark
