// The simulator filled from a project folder and a value file: its blocks must
// be exactly the images the model builds from the same values.

#include <gtest/gtest.h>

#include "config_fixture.h"
#include "device_image.h"
#include "live_motion.h"
#include "project_memory.h"
#include "sim_process.h"
#include "value_set.h"

namespace tavomark::simtest {
namespace {

constexpr uint16_t kCode = 315;  // 0x013B

class SimProject : public test::ProjectDirTest {
 protected:
  void SetUp() override {
    test::ProjectDirTest::SetUp();
    m_config = test::MakeConfig(kCode, 'C');
    SaveConfig(m_config);
    m_values = CreateValToSendSet(m_config);
    ASSERT_TRUE(SaveValToSendSet(Path("Demo.vts"), m_values).ok());
    SetText(m_values.name, "Demo");
  }
  void Launch(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--project", m_dir.string(), "--values", Path("Demo.vts").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(m_sim.Start(args, error)) << error;
    ASSERT_TRUE(m_port.Open(m_sim.PortPath()));
  }

  ConfigSet m_config;
  ValToSendSet m_values;
  SimProcess m_sim;
  PortClient m_port;
};

TEST_F(SimProject, BlocksHoldTheValueFilesImages) {
  DeviceSet expected = CreateDeviceSet(m_config);
  ASSERT_EQ(ValToSendSetToDeviceSet(m_values, expected), 1);
  Launch();
  EXPECT_EQ(m_port.ReadBlock(kCode, 1, expected.param.totalSize), expected.param.buffer);
  EXPECT_EQ(m_port.ReadBlock(kCode, 2, expected.calib.totalSize), expected.calib.buffer);
  EXPECT_EQ(m_port.ReadBlock(kCode, 3, expected.info.totalSize), expected.info.buffer);
}

TEST_F(SimProject, IdentityComesFromTheConfiguration) {
  Launch({"--serial", "7"});
  auto r = m_port.Exchange(11, kCode, {});
  ASSERT_TRUE(r);
  // code 315, revision "A1", I/O version, parameter 'C' (compVerFw), ..., serial 7
  ASSERT_EQ(r->payload.size(), 18u);
  const std::vector<uint8_t> head(r->payload.begin(), r->payload.begin() + 4);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x01, 0x3B, 'A', '1'}));
  EXPECT_EQ(r->payload[5], 'C');
  EXPECT_EQ(r->payload[17], 7);

  r = m_port.Exchange(1, kCode, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(std::string(r->payload.begin(), r->payload.end()), "FW0315 V1.00");
  r = m_port.Exchange(14, kCode, {0});
  ASSERT_TRUE(r);
  EXPECT_EQ(std::string(r->payload.begin(), r->payload.end()), "Demo");
}

TEST_F(SimProject, RefusesAValueFileWithoutItsConfiguration) {
  std::filesystem::remove_all(m_dir / "config");
  std::string error;
  EXPECT_FALSE(m_sim.Start({"--project", m_dir.string(), "--values", Path("Demo.vts").string()}, error));
  EXPECT_NE(error.find("Demo.vts"), std::string::npos) << error;
}

TEST(SimMotion, ChoosesHowEachLeafMoves) {
  struct Case {
    Record leaf;
    sim::Motion motion;
  };
  const Case cases[] = {
      {test::Leaf(1, "AlarmWord", "U16", 2), sim::Motion::Alarms},
      {test::Leaf(1, "ready", "U16", 2, false, 1), sim::Motion::Flags},
      {test::Leaf(1, "StatusBits", "U16", 2), sim::Motion::Flags},
      {test::Leaf(1, "lifeCnt", "U32", 4), sim::Motion::Counter},
      {test::Leaf(1, "temp", "S16", 2, true), sim::Motion::Sine},
      {test::Leaf(1, "volts", "U16", 2, false, 0, 2), sim::Motion::Sine},
      {test::Leaf(1, "speed", "U16", 2), sim::Motion::Ramp},
      {test::Leaf(1, "label", "CHR", 1), sim::Motion::Fixed},
  };
  for (const Case& c : cases) EXPECT_EQ(sim::ChooseMotion(c.leaf), c.motion) << c.leaf.varName;
}

// Leaves move inside their limits, and a sine leaf of a monitor struct really
// moves between two samples a second apart.
TEST(SimMotion, MonitorLeavesStayInRangeAndMove) {
  ConfigSet config = test::MakeConfig();
  StructPack& mon = config.monitor;
  mon.records[1].minValue = 10.0;  // speed, 1 decimal: 10.0 .. 20.0
  mon.records[1].maxValue = 20.0;
  sim::LiveState live(sim::MonitorLiveLayout(mon), 0, 0);
  ASSERT_EQ(live.Size(), 8u);
  for (double t : {0.0, 2.5, 7.5, 9.99}) {
    const Bytes b = live.Sample(t);
    const unsigned speed = b[0] | (b[1] << 8);
    EXPECT_GE(speed, 100u) << t;
    EXPECT_LE(speed, 200u) << t;
  }
  const Bytes a = live.Sample(0.0);
  const Bytes b = live.Sample(1.0);
  EXPECT_NE(Bytes(a.begin() + 2, a.begin() + 4), Bytes(b.begin() + 2, b.begin() + 4));  // temp[0]
}

}  // namespace
}  // namespace tavomark::simtest
