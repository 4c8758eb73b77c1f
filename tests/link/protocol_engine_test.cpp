#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>

#include "fake_transport.h"
#include "protocol_engine.h"

namespace tavomark::link {
namespace {

using testing::Bytes;
using testing::FakeDevice;
using testing::FakeTransport;

constexpr uint16_t kDevice = 0x0102;

// Waits by running the engine's ticks on the waiting thread, as many as the
// request needs; a nested request can be posted from inside a wait.
class HandWaiter final : public RequestWaiter {
 public:
  void Wait(const std::function<bool()>& served) override {
    while (!served()) {
      if (beforeTick) {
        std::exchange(beforeTick, nullptr)();
        continue;
      }
      ASSERT_LT(ticks, 1000) << "request never served";
      engine->TlinkProtHandler();
      ++ticks;
    }
  }
  void Wake() override {}

  ProtocolEngine* engine = nullptr;
  std::function<void()> beforeTick;  // runs once, inside the next wait
  int ticks = 0;
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    EngineOptions options;
    options.ownThread = false;
    options.createTransport = [this] {
      auto t = std::make_unique<FakeTransport>(&device);
      transport = t.get();
      return t;
    };
    options.clock = [this] { return transport->seconds; };
    engine = std::make_unique<ProtocolEngine>(waiter, options);
    waiter.engine = engine.get();
    EXPECT_TRUE(engine->TlinkInit());
  }

  bool Connect() {
    uint8_t liveSize = 0;
    return engine->TlinkOpenComm(1, kDevice, liveSize);
  }
  bool Connected() const {
    bool connected = false;
    engine->TlinkGetState(connected);
    return connected;
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) engine->TlinkProtHandler();
  }

  FakeDevice device;
  FakeTransport* transport = nullptr;
  HandWaiter waiter;
  std::unique_ptr<ProtocolEngine> engine;
};

TEST_F(EngineTest, OpenRunsTheConnectSequenceInOneTick) {
  uint8_t liveSize = 0;
  ASSERT_TRUE(engine->TlinkOpenComm(1, kDevice, liveSize));
  EXPECT_EQ(waiter.ticks, 1);
  EXPECT_EQ(liveSize, 37);
  // ping (ignored), info, firmware version, ping (must succeed), data name twice
  EXPECT_EQ(device.commands, (Bytes{6, 11, 1, 6, 14, 14}));
  for (const Bytes& frame : device.requests) EXPECT_EQ((frame[4] << 8) | frame[5], kDevice);
  EXPECT_TRUE(Connected());
  EXPECT_EQ(engine->TlinkGetFwVersion(), "FW 2.17");
  EXPECT_EQ(engine->TlinkGetDataName(), "Dataset A");
  const auto info = engine->TlinkGetInfoData();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->firmwareCode, 0x1234);
  EXPECT_EQ(info->compVerFw, 'C');
  EXPECT_EQ(info->productCode, 42);
  EXPECT_EQ(info->productRevision[1], '1');
  EXPECT_EQ(info->date[2], 31);
  EXPECT_EQ(info->serialExt, 0x0102);
  EXPECT_EQ(info->serialNum, 0xBEEF);
}

TEST_F(EngineTest, OpenFailsOnUnknownPortOrWhenSecondPingFails) {
  uint8_t liveSize = 0;
  EXPECT_FALSE(engine->TlinkOpenComm(7, kDevice, liveSize));
  EXPECT_TRUE(device.requests.empty());
  device.silentCommands = {6};  // the first ping fails too, silently
  EXPECT_FALSE(Connect());
  EXPECT_FALSE(Connected());
  EXPECT_FALSE(transport->open);
  EXPECT_EQ(device.commands, (Bytes{6, 11, 1, 6}));
  EXPECT_FALSE(engine->TlinkGetInfoData().has_value());
  device.silentCommands.clear();
  EXPECT_TRUE(Connect());
}

TEST_F(EngineTest, OpenWhileConnectedAnswersAtOnceWithLiveSize) {
  ASSERT_TRUE(Connect());
  const std::size_t framesBefore = device.requests.size();
  uint8_t liveSize = 0;
  EXPECT_TRUE(engine->TlinkOpenComm(5, 0x9999, liveSize));
  EXPECT_EQ(liveSize, 37);
  EXPECT_EQ(transport->opens, 1);
  EXPECT_EQ(transport->openedPort, 1);
  // The tick that answered went on with its idle poll, still to the first device.
  ASSERT_EQ(device.requests.size(), framesBefore + 1);
  EXPECT_EQ(device.requests.back()[3], 11);
  EXPECT_EQ(device.requests.back()[5], 0x02);
}

TEST_F(EngineTest, RequestsWhileClosedAreRefusedAfterOneTick) {
  Bytes buffer(10);
  EXPECT_FALSE(engine->TlinkSendData(1, buffer));
  EXPECT_FALSE(engine->TlinkReceiveData(1, buffer));
  EXPECT_FALSE(engine->TlinkSetTestOneShot(1, 2));
  EXPECT_FALSE(engine->TlinkSetFunction(1, 0));
  EXPECT_FALSE(engine->TlinkGetLiveData(0).has_value());
  EXPECT_TRUE(engine->TlinkCloseComm());
  EXPECT_EQ(waiter.ticks, 6);
  EXPECT_TRUE(device.requests.empty());
}

TEST_F(EngineTest, RequestIsTakenOnOneTickAndRunOnTheNext) {
  ASSERT_TRUE(Connect());
  device.blocks[1] = Bytes(300);
  std::iota(device.blocks[1].begin(), device.blocks[1].end(), uint8_t{0});
  waiter.ticks = 0;
  Bytes buffer(300);
  ASSERT_TRUE(engine->TlinkReceiveData(1, buffer));
  EXPECT_EQ(waiter.ticks, 2);
  EXPECT_EQ(buffer, device.blocks[1]);
}

// A failed transfer names the block, the byte it stopped at and what the
// last frame did.
TEST_F(EngineTest, FailedTransfersSayWhereAndWhy) {
  Bytes buffer(300);
  EXPECT_EQ(engine->TlinkReceiveData(1, buffer).message(), "no connection to the device");
  ASSERT_TRUE(Connect());
  device.blocks[1] = Bytes(300, 7);
  device.countError = 1;
  EXPECT_EQ(engine->TlinkSendData(2, Bytes(20, 4)).message(),
            "block 2 at byte 0 of 20: the device counted other bytes");
  device.countError = 0;
  device.repliesLeft = 1;
  const Result<void> read = engine->TlinkReceiveData(1, buffer);
  EXPECT_FALSE(read);
  EXPECT_EQ(read.message(), "block 1 at byte 128 of 300: time-out");
}

TEST_F(EngineTest, SendAndLivePostedTogetherAreServedSendFirst) {
  ASSERT_TRUE(Connect());
  device.commands.clear();
  std::optional<Bytes> live;
  // The live request arrives while the send is still waiting, as from a panel timer.
  waiter.beforeTick = [this, &live] { live = engine->TlinkGetLiveData(37); };
  EXPECT_TRUE(engine->TlinkSendData(1, Bytes(20, 4)));
  ASSERT_TRUE(live.has_value());
  EXPECT_EQ(*live, device.live);
  // block write, then the info and name refresh after it, then the live exchange
  EXPECT_EQ(device.commands, (Bytes{4, 5, 11, 14, 14, 6}));
}

TEST_F(EngineTest, SecondRequestOfSameKindGetsItsOwnAnswer) {
  ASSERT_TRUE(Connect());
  device.blocks[1] = Bytes(16, 0x11);
  device.blocks[2] = Bytes(16, 0x22);
  Bytes first(16);
  Bytes second(16);
  bool secondOk = false;
  waiter.beforeTick = [&] { secondOk = engine->TlinkReceiveData(2, second).ok(); };
  EXPECT_TRUE(engine->TlinkReceiveData(1, first));
  EXPECT_TRUE(secondOk);
  EXPECT_EQ(first, device.blocks[1]);
  EXPECT_EQ(second, device.blocks[2]);
}

// A forced function is a live request in mode 1; the error list is an
// 80-byte read of block 4.
TEST_F(EngineTest, FunctionOneShotAndErrorListRequests) {
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(engine->TlinkSetFunction(1, 10));
  EXPECT_EQ(device.requests.back(), testing::MakeFrame(6, kDevice, {1, 0, 10}));
  EXPECT_TRUE(engine->TlinkSetTestOneShot(3, 4));
  EXPECT_EQ(device.requests.back(), testing::MakeFrame(10, kDevice, {3, 4}));
  device.blocks[4] = Bytes(80, 0x44);
  std::array<uint8_t, 80> list{};
  ASSERT_TRUE(engine->TlinkGetErrorList(list));
  EXPECT_EQ(Bytes(list.begin(), list.end()), device.blocks[4]);
}

TEST_F(EngineTest, LiveDataOfWrongSizeReturnsNothingWithoutRequest) {
  ASSERT_TRUE(Connect());
  const std::size_t framesBefore = device.requests.size();
  waiter.ticks = 0;
  EXPECT_FALSE(engine->TlinkGetLiveData(36).has_value());
  EXPECT_EQ(waiter.ticks, 0);
  EXPECT_EQ(device.requests.size(), framesBefore);
}

TEST_F(EngineTest, DropsAfterFiveFailingIdlePolls) {
  ASSERT_TRUE(Connect());
  device.silent = true;
  Tick(5);  // five failing polls
  EXPECT_TRUE(Connected());
  Tick();  // the count reaches five
  EXPECT_FALSE(Connected());
  EXPECT_FALSE(transport->open);
  EXPECT_FALSE(engine->TlinkGetInfoData().has_value());
  EXPECT_EQ(engine->TlinkGetFwVersion(), "FW 2.17");
  EXPECT_EQ(engine->LiveSize(), 37);
}

TEST_F(EngineTest, TakingARequestBreaksTheFailureRun) {
  ASSERT_TRUE(Connect());
  device.silent = true;
  Tick(4);
  device.silent = false;
  device.silentCommands = {11};
  EXPECT_TRUE(engine->TlinkGetLiveData(37).has_value());
  Tick(5);
  EXPECT_TRUE(Connected());
  Tick();
  EXPECT_FALSE(Connected());
}

TEST_F(EngineTest, FailedPollKeepsLastGoodInfoRecord) {
  ASSERT_TRUE(Connect());
  device.info[1] = 0x35;
  Tick();
  device.info[0] = 0xFF;
  device.info.pop_back();  // a short reply: its first bytes reach the frame buffer only
  Tick();
  const auto info = engine->TlinkGetInfoData();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->firmwareCode, 0x1235);
}

TEST_F(EngineTest, LongTextsAreCutTo32Characters) {
  device.fwVersion = std::string(128, 'v');
  device.names = {std::string(100, 'n')};
  ASSERT_TRUE(Connect());
  EXPECT_EQ(engine->TlinkGetFwVersion(), std::string(32, 'v'));
  EXPECT_EQ(engine->TlinkGetDataName(), std::string(32, 'n'));
}

TEST_F(EngineTest, RequestsAfterTerminateFailAtOnce) {
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(engine->TlinkTerminate());
  const int ticks = waiter.ticks;
  Bytes buffer(4);
  EXPECT_FALSE(engine->TlinkReceiveData(1, buffer));
  EXPECT_EQ(waiter.ticks, ticks);
}

// Shutting down after a disconnect closes nothing a second time: no close
// request, so no tick to wait for.
TEST_F(EngineTest, TerminateAfterCloseTakesNoTick) {
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(engine->TlinkCloseComm());
  const int ticks = waiter.ticks;
  EXPECT_TRUE(engine->TlinkTerminate());
  EXPECT_EQ(waiter.ticks, ticks);
}

std::unique_ptr<ProtocolEngine> ThreadedEngine(RequestWaiter& waiter, FakeDevice& device) {
  EngineOptions options;
  options.tickPeriod = std::chrono::milliseconds(1);
  options.createTransport = [&device] { return std::make_unique<FakeTransport>(&device); };
  return std::make_unique<ProtocolEngine>(waiter, options);
}

// Runs under ThreadSanitizer as well: requests from this thread, queries from
// another, ticks on the engine's thread.
TEST(EngineThread, RequestsAndQueriesFromOtherThreads) {
  FakeDevice device;
  const Bytes expected(200, 0x31);
  device.blocks[1] = expected;
  ConditionWaiter waiter;
  const auto threaded = ThreadedEngine(waiter, device);
  ProtocolEngine& engine = *threaded;
  ASSERT_TRUE(engine.TlinkInit());

  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) {
      bool connected = false;
      engine.TlinkGetState(connected);
      const auto info = engine.TlinkGetInfoData();
      if (info) {
        EXPECT_EQ(info->serialNum, 0xBEEF);
      }
      (void)engine.TlinkGetFwVersion();
      (void)engine.TlinkGetDataName();
    }
  });

  uint8_t liveSize = 0;
  ASSERT_TRUE(engine.TlinkOpenComm(1, kDevice, liveSize));
  for (int i = 0; i < 20; ++i) {
    Bytes buffer(200);
    EXPECT_TRUE(engine.TlinkReceiveData(1, buffer));
    EXPECT_EQ(buffer, expected) << i;
    EXPECT_TRUE(engine.TlinkGetLiveData(liveSize).has_value());
    EXPECT_TRUE(engine.TlinkSendData(2, Bytes(50, static_cast<uint8_t>(i))));
  }
  EXPECT_TRUE(engine.TlinkCloseComm());
  stop.store(true);
  reader.join();
  EXPECT_TRUE(engine.TlinkTerminate());
  EXPECT_EQ(device.blocks[2], Bytes(50, 19));
}

// A posted request wakes the engine's thread: with a period of an hour every
// request below would otherwise wait that long. Nothing but the requests
// reaches the device: the info record is read by the connect sequence and
// after the block write, and by no idle poll.
TEST(EngineThread, RequestsAreServedWithoutWaitingForThePeriod) {
  FakeDevice device;
  const Bytes block(300, 0x42);
  device.blocks[1] = block;
  ConditionWaiter waiter;
  EngineOptions options;
  options.tickPeriod = std::chrono::hours(1);
  options.createTransport = [&device] { return std::make_unique<FakeTransport>(&device); };
  ProtocolEngine engine(waiter, options);
  ASSERT_TRUE(engine.TlinkInit());
  uint8_t liveSize = 0;
  ASSERT_TRUE(engine.TlinkOpenComm(1, kDevice, liveSize));
  Bytes buffer(300);
  EXPECT_TRUE(engine.TlinkReceiveData(1, buffer));
  EXPECT_EQ(buffer, block);
  EXPECT_TRUE(engine.TlinkSendData(2, Bytes(50, 7)));
  EXPECT_TRUE(engine.TlinkGetLiveData(liveSize).has_value());
  EXPECT_TRUE(engine.TlinkCloseComm());
  EXPECT_TRUE(engine.TlinkTerminate());
  EXPECT_EQ(std::count(device.commands.begin(), device.commands.end(), uint8_t{11}), 2);
}

TEST(EngineThread, EventLoopWaiterWakesNestedLoop) {
  int argc = 1;
  char name[] = "tavomark_link_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  FakeDevice device;
  EventLoopWaiter waiter;
  const auto engine = ThreadedEngine(waiter, device);
  ASSERT_TRUE(engine->TlinkInit());
  uint8_t liveSize = 0;
  EXPECT_TRUE(engine->TlinkOpenComm(1, kDevice, liveSize));
  EXPECT_EQ(liveSize, 37);
  EXPECT_TRUE(engine->TlinkTerminate());
}

}  // namespace
}  // namespace tavomark::link
