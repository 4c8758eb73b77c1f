#include <gtest/gtest.h>

#include "cli_process.h"
#include "config_fixture.h"
#include "device_image.h"
#include "value_set.h"

namespace tavomark {
namespace {

using test::Quoted;
using test::RunCli;

class CliValues : public test::ProjectDirTest {
 protected:
  std::string Project() const { return "--project-dir " + Quoted(m_dir.string()) + " "; }
  std::string Cfg() const { return (m_dir / "config" / "PRJ0315cp_C.cfg").string(); }
};

TEST_F(CliValues, ConfigShowPrintsTheFourPacksInFileOrder) {
  SaveConfig(test::MakeConfig());
  const auto run = RunCli("config show " + Quoted(Cfg()));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const auto monitor = run.out.find("monitor\n");
  const auto param = run.out.find("param\n");
  const auto info = run.out.find("info\n");
  const auto calib = run.out.find("calib\n");
  ASSERT_NE(monitor, std::string::npos);
  EXPECT_LT(monitor, param);
  EXPECT_LT(param, info);
  EXPECT_LT(info, calib);
  // Each pack in the struct text layout: header line, then numbered record lines.
  EXPECT_NE(run.out.find("    FW0315 V1.00;    6; 315;'A';'1';"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("   2; 1;   0;   2;"), std::string::npos);
  EXPECT_EQ(RunCli("config show " + Quoted((m_dir / "none.cfg").string())).exitCode, 1);
}

TEST_F(CliValues, NewShowAndImageOfAValueFile) {
  SaveConfig(test::MakeConfig());
  const std::string vts = (m_dir / "demo.vts").string();
  auto run = RunCli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(vts));
  ASSERT_EQ(run.exitCode, 0) << run.out;

  run = RunCli(Project() + "values show " + Quoted(vts));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("param:speed=12.5\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("param:temp.temp[0]=-7\n"), std::string::npos);
  EXPECT_NE(run.out.find("calib:crc=0\n"), std::string::npos);
  EXPECT_EQ(run.out.find("param:temp="), std::string::npos) << "containers carry no value";

  const std::string image = (m_dir / "param.bin").string();
  run = RunCli(Project() + "values image " + Quoted(vts) + " param " + Quoted(image));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const auto bytes = Bytes(image);
  ASSERT_EQ(bytes.size(), 8u + 36u);
  EXPECT_EQ(bytes[0], 125);  // 12.5 with one decimal
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "demo");
  EXPECT_EQ(bytes[8 + 35], 'C');
}

TEST_F(CliValues, SetChangesValuesByPathAndRefusesUnknownOnes) {
  SaveConfig(test::MakeConfig());
  const std::string vts = (m_dir / "demo.vts").string();
  ASSERT_EQ(RunCli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(vts)).exitCode, 0);
  WriteBytes(m_dir / "more.txt", {'#', ' ', 'x', '\n', 'c', 'a', 'l', 'i', 'b', ':', 'c', 'r', 'c', '=', '7', '\r', '\n'});
  auto run = RunCli(Project() + "values set " + Quoted(vts) + " param:speed=99.94 'param:temp.temp[1]=-40000' --from " +
                    Quoted((m_dir / "more.txt").string()));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  run = RunCli(Project() + "values show " + Quoted(vts));
  EXPECT_NE(run.out.find("param:speed=99.94\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("param:temp.temp[1]=-32768\n"), std::string::npos) << "clamped to the field";
  EXPECT_NE(run.out.find("calib:crc=7\n"), std::string::npos);

  const auto before = Bytes(vts);
  run = RunCli(Project() + "values set " + Quoted(vts) + " param:speed=1 param:nothing=2");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("no value \"nothing\""), std::string::npos) << run.out;
  EXPECT_EQ(Bytes(vts), before);
}

TEST_F(CliValues, RefusalsCarryTheirTexts) {
  ConfigSet incomplete = test::MakeConfig();
  incomplete.calib.records.clear();
  SaveConfig(incomplete);
  const std::string vts = (m_dir / "x.vts").string();
  auto run = RunCli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(vts));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("Config File isn't complete"), std::string::npos) << run.out;

  ConfigSet incoherent = test::MakeConfig();
  incoherent.info.header.codeProj = 9;
  SaveConfig(incoherent);
  run = RunCli("values new --config " + Quoted(Cfg()) + " --out " + Quoted(vts));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("Coherence Errors in Config File"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(vts));

  // Values whose configuration is not in the project folder.
  ValToSendSet values = CreateValToSendSet(test::MakeConfig(316, 'C'));
  ASSERT_TRUE(SaveValToSendSet(vts, values).ok());
  run = RunCli(Project() + "values show " + Quoted(vts));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("File Configuration not found in program sub folder 'config'"), std::string::npos);
}

}  // namespace
}  // namespace tavomark
