// tavomark-cli interp and calib: what scripts see (one result per line, the
// error lines, the exit codes) and the calibration table of a project.

#include <gtest/gtest.h>

#include <fstream>

#include "cli_process.h"
#include "config_fixture.h"
#include "value_set.h"

namespace tavomark {
namespace {

using test::Quoted;
using test::RunCli;

TEST(CliInterp, SingleRequests) {
  const std::pair<const char*, const char*> cases[] = {
      {"interp search 75 0,10,20,30,40,50,60,70,80,90,100,110,120,130,140,150", "7 8\n"},
      {"interp search -5 -20,-10,0", "1 2\n"},
      {"interp search --unsigned 32768 0,16,65535", "1 2\n"},
      {"interp search -1 65535", "error: TABLE: 65535 is above the largest value, 32767\n"},
      {"interp 1d 5 0,10,20 0,100,300", "50\n"},
      {"interp 1d 1 0,4 0,-2", "-1\n"},
      {"interp 2d 5 5 0,10 0,10 0,10,20,30", "15\n"},
      {"interp 3d 5 5 5 0,10 0,10 0,10 0,0,0,0,10,10,10,10", "5\n"},
      {"interp nearest 5 0,10", "1\n"},
      {"interp array 0,0,0,0,8", "0,2,4,6,8\n"},
      {"interp array 0,0,1", "0,0.5,1\n"},
      {"interp array 0,0,0,1", "0,0.3333333333333333,0.6666666666666666,1\n"},
  };
  for (auto [args, expected] : cases) {
    const auto run = RunCli(args);
    if (std::string(expected).rfind("error:", 0) == 0) {
      EXPECT_EQ(run.exitCode, 1) << args;
      EXPECT_EQ(run.out.rfind("error:", 0), 0u) << args << ": " << run.out;
    } else {
      EXPECT_EQ(run.exitCode, 0) << args << ": " << run.out;
      EXPECT_EQ(run.out, expected) << args;
    }
  }
}

TEST(CliInterp, BatchAnswersEveryLineAndGoesOnAfterErrors) {
  const auto input = std::filesystem::temp_directory_path() / ("interp_batch_" + std::to_string(::getpid()));
  std::ofstream(input) << "search S 5 0,5,5,5,9\n"
                          "search U 65535 0,65535\n"
                          "1d 40000 0,10 0,1\n"
                          "2d 5 0,10 0,10 0,10,20,30\n"
                          "\n"
                          "1d 3 0,10 10,0\n"
                          "nearest 4 0,10\n"
                          "array 1,x,3\n"
                          "cube 1\n"
                          "array 1,1,3\n";
  const auto run = RunCli("interp --batch < " + Quoted(input.string()));
  std::filesystem::remove(input);
  EXPECT_EQ(run.exitCode, 1);
  std::istringstream lines(run.out);
  std::vector<std::string> out;
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  ASSERT_EQ(out.size(), 10u) << run.out;
  EXPECT_EQ(out[0], "1 1");
  EXPECT_EQ(out[1], "1 1");
  EXPECT_EQ(out[2].rfind("error: X", 0), 0u) << out[2];  // beyond 16 bits
  EXPECT_EQ(out[3].rfind("error: Y", 0), 0u) << out[3];  // the list where Y belongs
  EXPECT_EQ(out[4], "error: empty request");
  EXPECT_EQ(out[5], "7");
  EXPECT_EQ(out[6], "0");
  EXPECT_EQ(out[7].rfind("error: ARRAY", 0), 0u) << out[7];
  EXPECT_EQ(out[8].rfind("error: unknown operation", 0), 0u) << out[8];
  EXPECT_EQ(out[9], "1,2,3");
}

TEST(CliCalib, EvalPrintsTheExpansionAndTheResult) {
  auto run = RunCli("calib eval '(#M - @M) * 2' --measure 3 --typed-measure 5");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out, "(5 -   3.000000) * 2\n4\n");
  run = RunCli("calib eval '@T + #T / 3' --target-text 1 --typed-target 012");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out, "1 + 12 / 3\n5\n");
  run = RunCli("calib eval '1/0.0'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "1/0.0\nInvalid formula\n");
  run = RunCli("calib eval '#T + 1'");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_NE(run.out.find("--typed-target"), std::string::npos) << run.out;
  run = RunCli("calib eval '#M + 1' --typed-measure 1e3");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  run = RunCli("calib eval '@M' --measure nan");
  EXPECT_EQ(run.exitCode, 3) << run.out;
}

class CliCalibTable : public test::ProjectDirTest {
 protected:
  void SetUp() override {
    ProjectDirTest::SetUp();
    ConfigSet config = test::MakeConfig(315, 'C');
    test::Identify(config.calib, 315, 'B');
    SaveConfig(config);
    ValToSendSet set = CreateValToSendSet(config);
    ASSERT_TRUE(SaveValToSendSet(Path("tavomark.dat"), set).ok());
  }
  void WriteCal(const std::string& name, const std::string& text) const {
    std::ofstream(m_dir / "config" / name) << text;
  }
  std::string Project() const { return "--project-dir " + Quoted(m_dir.string()) + " "; }
};

TEST_F(CliCalibTable, RowsOfTheLeavesWithoutTheChecksumWord) {
  WriteCal("PRJ0315cp_B.cal",
           "[HEADER]\ncodeProj=315\ncompVerCal=B\n[CALIB1]\nformula=@V*2\nload=12\n[CALIB3]\ntarget=t\n");
  const auto run = RunCli(Project() + "calib table");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out,
            "1\t2\tspeed\t\t12.0\t\t@V*2\n"
            "2\t4\ttemp.temp[0]\t\t0.0\t\t\n"
            "3\t5\ttemp.temp[1]\t\t0.0\tt\t\n");
}

TEST_F(CliCalibTable, AFileOfAnotherConfigurationIsRefused) {
  WriteCal("other.cal", "[HEADER]\ncodeProj=59\ncompVerCal=B\n");  // 315 cut to 8 bits
  auto run = RunCli(Project() + "calib table --cal " + Quoted((m_dir / "config" / "other.cal").string()));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("is for project 59 version 'B'"), std::string::npos) << run.out;
  run = RunCli(Project() + "calib table");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("no calibration file"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tavomark
