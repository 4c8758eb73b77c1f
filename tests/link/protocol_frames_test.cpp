#include <gtest/gtest.h>

#include <numeric>

#include "fake_transport.h"
#include "protocol_frames.h"

namespace tavomark::link {
namespace {

using testing::Bytes;
using testing::FakeDevice;
using testing::FakeTransport;
using testing::MakeFrame;

constexpr uint16_t kDevice = 0x0102;

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() : transport(&device), frames(transport, [this] { return transport.seconds; }) {
    transport.open = true;
  }
  void Queue(const Bytes& bytes) { transport.rx.insert(transport.rx.end(), bytes.begin(), bytes.end()); }
  Bytes Payload(std::size_t request) const {
    const Bytes& f = device.requests.at(request);
    return Bytes(f.begin() + 6, f.end() - 1);
  }

  FakeDevice device;
  FakeTransport transport;
  FrameLink frames;
};

TEST_F(FrameTest, RequestsMatchWorkedFrames) {
  std::string text;
  ASSERT_TRUE(frames.GetFwVersion(kDevice, text));
  EXPECT_EQ(transport.written.at(0), (Bytes{0xAA, 0xF0, 0x00, 0x01, 0x01, 0x02, 0x04}));
  EXPECT_EQ(text, "FW 2.17");
  Bytes buffer(16);
  ASSERT_TRUE(frames.ReadBlock(kDevice, 1, buffer, 16, 0x0010, false));
  EXPECT_EQ(transport.written.at(1), (Bytes{0xAA, 0xF0, 0x05, 0x08, 0x01, 0x02, 0x00, 0x10, 0x00, 0x01, 0x10, 0x31}));
}

TEST_F(FrameTest, TxCommandRefusesOversizePayloadAndMissingData) {
  const Bytes big(129, 0);
  EXPECT_FALSE(frames.TxCommand(kDevice, 5, big));
  EXPECT_TRUE(transport.written.empty());
  const Bytes full(128, 0);
  EXPECT_TRUE(frames.TxCommand(kDevice, 5, full));
  EXPECT_EQ(transport.written.at(0).size(), 135u);
}

struct RxCase {
  const char* name;
  Bytes incoming;
  std::size_t maxLen;
  int result;
  int receivedLen;  // -1: left unchanged
  bool purged;
  bool copied;  // the payload reached the buffer
};

Bytes WithChecksumPlusOne(Bytes frame) {
  ++frame.back();
  return frame;
}
Bytes Prefix(const Bytes& frame, std::size_t n) { return Bytes(frame.begin(), frame.begin() + n); }

const Bytes kGood = MakeFrame(8, kDevice, {1, 2, 3});

class RxResponseTable : public FrameTest, public ::testing::WithParamInterface<RxCase> {};

TEST_P(RxResponseTable, ChecksEveryReplyFieldInOrder) {
  const RxCase& c = GetParam();
  Queue(c.incoming);
  Queue({0x77});  // a stray byte after the reply shows whether the queue was emptied
  Bytes buffer(8, 0);
  uint8_t receivedLen = 0xEE;
  EXPECT_EQ(frames.RxResponse(kDevice, 8, buffer, c.maxLen, receivedLen), c.result);
  EXPECT_EQ(receivedLen, c.receivedLen < 0 ? 0xEE : c.receivedLen);
  EXPECT_EQ(transport.rx.empty(), c.purged);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3) == (Bytes{1, 2, 3}), c.copied);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RxResponseTable,
    ::testing::Values(RxCase{"Valid", kGood, 3, 0, 3, false, true},
                      RxCase{"ChecksumOffByOne", WithChecksumPlusOne(kGood), 3, -1, 3, true, true},
                      RxCase{"LenOverMaxLen", kGood, 2, -1, -1, true, false},
                      RxCase{"OtherCommand", MakeFrame(9, kDevice, {1, 2, 3}), 3, -1, 3, true, false},
                      RxCase{"OtherDevice", MakeFrame(8, 0x0103, {1, 2, 3}), 3, -1, 3, true, false},
                      RxCase{"BadStartByte", Bytes{0xAA, 0xF1, 3, 8, 1, 2, 1, 2, 3, 17}, 3, -1, -1, true, false},
                      RxCase{"ShortPayload", Prefix(kGood, 8), 3, -1, 3, true, false},
                      RxCase{"MaxLenOver240", kGood, 241, -1, -1, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing at all is no reply (1, queue left alone); a header cut short is a
// bad one (-1, queue emptied).
TEST_F(FrameTest, SilenceIsNoReplyButThreeHeaderBytesThenSilenceFail) {
  uint8_t receivedLen = 0xEE;
  Bytes buffer(3);
  EXPECT_EQ(frames.RxResponse(kDevice, 8, buffer, 3, receivedLen), 1);
  EXPECT_EQ(frames.RxResponse(kDevice, 8, {}, 0, receivedLen), 1);
  EXPECT_EQ(transport.rxPurges, 0);
  Queue(Prefix(kGood, 3));
  EXPECT_EQ(frames.RxResponse(kDevice, 8, buffer, 3, receivedLen), -1);
  EXPECT_EQ(transport.rxPurges, 1);
  EXPECT_EQ(receivedLen, 0xEE);
}

TEST_F(FrameTest, LargestReplyIsAccepted) {
  Bytes payload(240);
  std::iota(payload.begin(), payload.end(), uint8_t{0});
  Queue(MakeFrame(6, kDevice, payload));
  Bytes buffer(240);
  uint8_t receivedLen = 0;
  EXPECT_EQ(frames.RxResponse(kDevice, 6, buffer, 240, receivedLen), 0);
  EXPECT_EQ(receivedLen, 240);
  EXPECT_EQ(buffer, payload);
}

TEST_F(FrameTest, DataNameIsAskedTwiceAndSecondReplyUsed) {
  std::string text;
  ASSERT_TRUE(frames.GetDataName(kDevice, text, 3));
  EXPECT_EQ(device.commands, (Bytes{14, 14}));
  EXPECT_EQ(Payload(0), Bytes{3});
  EXPECT_EQ(Payload(1), Bytes{3});
  EXPECT_EQ(text, "Dataset A");
}

TEST_F(FrameTest, TextEndsAtNulAndFailureEmptiesIt) {
  device.fwVersion = std::string("V1\0junk", 7);
  std::string text;
  ASSERT_TRUE(frames.GetFwVersion(kDevice, text));
  EXPECT_EQ(text, "V1");
  device.silent = true;
  EXPECT_FALSE(frames.GetFwVersion(kDevice, text));
  EXPECT_TRUE(text.empty());
}

// Size 0 finds the live size after one extra time-out; a given size is checked.
TEST_F(FrameTest, PingFindsOrChecksLiveSize) {
  Bytes buffer(240);
  uint8_t size = 0;
  ASSERT_TRUE(frames.Ping(kDevice, buffer, size));
  EXPECT_EQ(size, 37);
  EXPECT_EQ(transport.timeouts, 1);
  EXPECT_EQ(Payload(0), (Bytes{0, 0, 0}));
  size = 36;
  EXPECT_FALSE(frames.Ping(kDevice, buffer, size));
  EXPECT_EQ(size, 36);
}

TEST_F(FrameTest, LiveDataCarriesModeAndBigEndianValue) {
  Bytes buffer(37);
  ASSERT_TRUE(frames.GetLiveData(kDevice, 1, 0x020A, buffer, 37));
  EXPECT_EQ(Payload(0), (Bytes{1, 0x02, 0x0A}));
  EXPECT_EQ(buffer, device.live);
  EXPECT_FALSE(frames.GetLiveData(kDevice, 0, 0, buffer, 36));
}

TEST_F(FrameTest, InfoRecordNeedsExactLength) {
  Bytes record(18);
  ASSERT_TRUE(frames.ReadInfoData(kDevice, record));
  EXPECT_EQ(record, device.info);
  device.info.pop_back();
  EXPECT_FALSE(frames.ReadInfoData(kDevice, record));
}

TEST_F(FrameTest, SendBlockNeedsTwoCountBytes) {
  Queue(MakeFrame(5, kDevice, {0x01}));
  uint16_t count = 0;
  EXPECT_EQ(frames.SendBlock(kDevice, Bytes{1}, count, true), -1);
  Queue(MakeFrame(5, kDevice, {0x01, 0x02}));
  EXPECT_EQ(frames.SendBlock(kDevice, Bytes{1}, count, true), 0);
  EXPECT_EQ(count, 0x0102);
}

TEST_F(FrameTest, RequestDataReadsPiecesOf128) {
  Bytes block(300);
  std::iota(block.begin(), block.end(), uint8_t{7});
  device.blocks[1] = block;
  Bytes buffer(300);
  ASSERT_TRUE(frames.RequestData(kDevice, 1, buffer));
  ASSERT_EQ(device.requests.size(), 3u);
  EXPECT_EQ(Payload(0), (Bytes{0x00, 0x00, 0x00, 0x01, 0x80}));
  EXPECT_EQ(Payload(1), (Bytes{0x00, 0x80, 0x00, 0x01, 0x80}));
  EXPECT_EQ(Payload(2), (Bytes{0x01, 0x00, 0x00, 0x01, 0x2C}));
  EXPECT_EQ(buffer, block);
}

TEST_F(FrameTest, RequestDataStopsAtFirstFailedPieceWithoutRetry) {
  device.repliesLeft = 1;
  Bytes buffer(300);
  EXPECT_FALSE(frames.RequestData(kDevice, 1, buffer));
  EXPECT_EQ(device.requests.size(), 2u);
  EXPECT_TRUE(frames.RequestData(kDevice, 1, {}));
}

TEST_F(FrameTest, SendDataWritesPiecesAndChecksCounts) {
  Bytes data(200);
  std::iota(data.begin(), data.end(), uint8_t{1});
  ASSERT_TRUE(frames.SendData(kDevice, 2, data));
  EXPECT_EQ(device.commands, (Bytes{4, 5, 5}));
  EXPECT_EQ(Payload(0), (Bytes{0x00, 0xC8, 0x00, 0x02}));
  EXPECT_EQ(Payload(1), Bytes(data.begin(), data.begin() + 128));
  EXPECT_EQ(Payload(2), Bytes(data.begin() + 128, data.end()));
  EXPECT_EQ(device.blocks[2], data);
}

TEST_F(FrameTest, SendDataOfNothingOnlyAnnouncesAndMiscountFails) {
  EXPECT_TRUE(frames.SendData(kDevice, 1, {}));
  EXPECT_EQ(device.commands, Bytes{4});
  device.countError = -1;  // acknowledges 127 for the first 128 bytes
  EXPECT_FALSE(frames.SendData(kDevice, 1, Bytes(200, 9)));
  EXPECT_EQ(device.commands, (Bytes{4, 4, 5}));
}

struct WindowCase {
  int timeoutsBeforeReply;
  bool ok;
};
class SendWindow : public FrameTest, public ::testing::WithParamInterface<WindowCase> {};

// Each silent listen costs half a second; a reply later than 10 s from the
// start of the exchange is too late. Listening again never resends.
TEST_P(SendWindow, ListensAgainForTenSeconds) {
  device.replyAfterTimeouts = GetParam().timeoutsBeforeReply;
  EXPECT_EQ(frames.SendData(kDevice, 1, Bytes(200, 3)), GetParam().ok);
  EXPECT_EQ(device.commands.size(), GetParam().ok ? 3u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Frames, SendWindow,
                         ::testing::Values(WindowCase{1, true}, WindowCase{19, true}, WindowCase{20, false}));

}  // namespace
}  // namespace tavomark::link
