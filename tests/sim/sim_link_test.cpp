// The PC-side protocol engine against the simulated device over a real
// pseudo-terminal. Opening costs two read time-outs (the live size is found by
// waiting out a second reply), so each test keeps one connection and does a
// whole session on it.

#include <gtest/gtest.h>


#include "port_table.h"
#include "protocol_engine.h"
#include "request_waiter.h"
#include "sim_process.h"

namespace tavomark::simtest {
namespace {

constexpr uint16_t kDev = 258;

class SimLink : public ::testing::Test {
 protected:
  // Starts the simulator and an engine; the port is the simulator's pty,
  // added to the engine's port table.
  void Start(std::vector<std::string> args) {
    std::string error;
    ASSERT_TRUE(m_sim.Start(args, error)) << error;
    link::EngineOptions options;
    const auto port = options.ports->AddPath(m_sim.PortPath());
    ASSERT_TRUE(port) << m_sim.PortPath();
    m_port = *port;
    m_engine = std::make_unique<link::ProtocolEngine>(m_waiter, std::move(options));
    ASSERT_TRUE(m_engine->TlinkInit());
  }
  void TearDown() override {
    if (m_engine) m_engine->TlinkTerminate();
  }
  bool Connected() const {
    bool connected = false;
    m_engine->TlinkGetState(connected);
    return connected;
  }

  SimProcess m_sim;
  link::ConditionWaiter m_waiter;
  std::unique_ptr<link::ProtocolEngine> m_engine;
  int32_t m_port = 0;
  uint8_t m_liveSize = 0;
};

TEST_F(SimLink, HealthySessionServesEveryRequest) {
  Start({"--live-size", "37", "--info-code", "258", "--info-par", "q", "--serial", "4242", "--fw-version",
         "SIM 3.1", "--data-name", "Bench", "--alarms", "6", "--device", "258"});
  ASSERT_TRUE(m_engine->TlinkOpenComm(m_port, kDev, m_liveSize));
  EXPECT_EQ(m_liveSize, 37);
  EXPECT_TRUE(Connected());

  const auto info = m_engine->TlinkGetInfoData();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->firmwareCode, 258);
  EXPECT_EQ(info->compVerFw, 'q');
  EXPECT_EQ(info->serialNum, 4242);
  EXPECT_EQ(m_engine->TlinkGetFwVersion(), "SIM 3.1");
  EXPECT_EQ(m_engine->TlinkGetDataName(), "Bench");

  // Every block: write, then read back equal.
  for (uint16_t block = 1; block <= 4; ++block) {
    const Bytes data = Pattern(block == 4 ? 80 : 100 * block + 37, block);
    EXPECT_TRUE(m_engine->TlinkSendData(block, data)) << block;
    Bytes back(data.size());
    EXPECT_TRUE(m_engine->TlinkReceiveData(block, back)) << block;
    EXPECT_EQ(back, data) << block;
  }

  // Live data: the size agreed on opening, the counter moving; a wrong size is
  // refused without asking the device.
  const auto first = m_engine->TlinkGetLiveData(m_liveSize);
  const auto second = m_engine->TlinkGetLiveData(m_liveSize);
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->size(), 37u);
  EXPECT_GT((*second)[0] | ((*second)[1] << 8), (*first)[0] | ((*first)[1] << 8));
  EXPECT_FALSE(m_engine->TlinkGetLiveData(36));

  // Forced functions: ALARM RESET, RESET, ERR LIST RESET.
  const auto alarmWord = [&] {
    const auto live = m_engine->TlinkGetLiveData(m_liveSize);
    return live ? (*live)[2] | ((*live)[3] << 8) : -1;
  };
  EXPECT_EQ(alarmWord() & 6, 6);
  EXPECT_TRUE(m_engine->TlinkSetFunction(1, 0));
  EXPECT_EQ(alarmWord(), 0);
  EXPECT_TRUE(m_engine->TlinkSetFunction(1, 10));
  const auto afterReset = m_engine->TlinkGetLiveData(m_liveSize);
  ASSERT_TRUE(afterReset);
  EXPECT_EQ((*afterReset)[0] | ((*afterReset)[1] << 8), 1);  // the reset reply was sample 0

  std::array<uint8_t, link::kErrorListBytes> errors{};
  ASSERT_TRUE(m_engine->TlinkGetErrorList(errors));
  EXPECT_EQ(Bytes(errors.begin(), errors.end()), Pattern(80, 4));  // what the loop above wrote
  EXPECT_TRUE(m_engine->TlinkSetFunction(1, 2));
  ASSERT_TRUE(m_engine->TlinkGetErrorList(errors));
  EXPECT_EQ(Bytes(errors.begin(), errors.end()), Bytes(80, 0));

  EXPECT_TRUE(m_engine->TlinkSetTestOneShot(3, 4));
  EXPECT_TRUE(m_engine->TlinkCloseComm());
  EXPECT_FALSE(Connected());
}

// Each spoilt reply fails its request and nothing else: the next request on
// the same connection succeeds.
TEST_F(SimLink, EachFaultFailsOneRequestCleanly) {
  const Bytes block(64, 0x5A);
  Start({"--fault", "bad-checksum:8:1", "--fault", "wrong-command:8:3", "--fault", "wrong-device:8:5", "--fault",
         "truncated:8:7", "--fault", "oversize-len:8:9", "--fault", "silence:8:11", "--fault", "miscount:5:2"});
  ASSERT_TRUE(m_engine->TlinkOpenComm(m_port, kDev, m_liveSize));
  ASSERT_TRUE(m_engine->TlinkSendData(2, block));
  const char* faults[] = {"bad-checksum", "wrong-command", "wrong-device", "truncated", "oversize-len", "silence"};
  for (const char* fault : faults) {
    Bytes back(64);
    EXPECT_FALSE(m_engine->TlinkReceiveData(2, back)) << fault;
    EXPECT_TRUE(m_engine->TlinkReceiveData(2, back)) << "after " << fault;
    EXPECT_EQ(back, block) << "after " << fault;
  }
  // The second piece's acknowledgement is one short.
  EXPECT_FALSE(m_engine->TlinkSendData(2, Bytes(200, 1)));
  EXPECT_TRUE(m_engine->TlinkSendData(2, Bytes(200, 2)));
  EXPECT_TRUE(Connected());
}

TEST_F(SimLink, ReplyLaterThanTheTimeOutFails) {
  Start({"--fault", "delay=700:10:1"});
  ASSERT_TRUE(m_engine->TlinkOpenComm(m_port, kDev, m_liveSize));
  EXPECT_FALSE(m_engine->TlinkSetTestOneShot(1, 2));
}

TEST_F(SimLink, OpenFailsWhenTheSecondPingGoesUnanswered) {
  Start({"--fault", "silence:6:2"});
  EXPECT_FALSE(m_engine->TlinkOpenComm(m_port, kDev, m_liveSize));
  EXPECT_FALSE(Connected());
}

// The opening takes six replies: ping, info, version, ping, name twice. After
// them the device falls silent. Requests would keep resetting the failure count
// (a tick that takes one succeeds), so the test waits, on the device's log,
// for five unanswered idle polls; the request posted then is answered by the
// tick that drops the connection. The firmware text read on opening stays.
TEST_F(SimLink, SilentDeviceIsDroppedAfterFiveFailedPolls) {
  Start({"--silent-after", "6", "--fw-version", "KEPT"});
  ASSERT_TRUE(m_engine->TlinkOpenComm(m_port, kDev, m_liveSize));
  int silentPolls = 0;
  for (int lines = 0; silentPolls < 5 && lines < 20; ++lines) {
    const auto line = m_sim.NextLogLine();
    ASSERT_TRUE(line);
    if (line->starts_with("cmd=11 ") && line->find("silence") != std::string::npos) ++silentPolls;
  }
  ASSERT_EQ(silentPolls, 5);
  EXPECT_FALSE(m_engine->TlinkSetTestOneShot(0, 0));
  EXPECT_FALSE(Connected());
  EXPECT_FALSE(m_engine->TlinkGetInfoData());
  EXPECT_EQ(m_engine->TlinkGetFwVersion(), "KEPT");
}

}  // namespace
}  // namespace tavomark::simtest
