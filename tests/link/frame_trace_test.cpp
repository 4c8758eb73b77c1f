// The traffic trace: what the frame layer records for each kind of reply, the
// trace line, and the bounded queue.

#include <gtest/gtest.h>

#include "fake_transport.h"
#include "frame_trace.h"
#include "protocol_frames.h"

namespace tavomark::link {
namespace {

using testing::Bytes;
using testing::FakeDevice;
using testing::FakeTransport;
using testing::MakeFrame;

constexpr uint16_t kDevice = 0x0102;

struct TraceCase {
  const char* name;
  Bytes incoming;
  TraceOutcome outcome;
  ChecksumState checksum;
  std::size_t bytes;  // how many bytes the trace frame keeps
  uint8_t cmd;        // as the trace frame names it
};

Bytes Bumped(Bytes frame, std::size_t at) {
  ++frame[at];
  return frame;
}

const Bytes kReply = MakeFrame(8, kDevice, {1, 2, 3});

class ReplyTrace : public ::testing::TestWithParam<TraceCase> {
 protected:
  ReplyTrace() : transport(&device), frames(transport, [this] { return transport.seconds; }) {
    transport.open = true;
    frames.SetTrace(&trace);
  }
  FakeDevice device;
  FakeTransport transport;
  FrameLink frames;
  FrameTrace trace;
};

TEST_P(ReplyTrace, EveryReplyIsTracedWithItsOutcome) {
  const TraceCase& c = GetParam();
  transport.rx.insert(transport.rx.end(), c.incoming.begin(), c.incoming.end());
  Bytes buffer(8);
  uint8_t len = 0;
  (void)frames.RxResponse(kDevice, 8, buffer, 3, len);
  const std::vector<TraceFrame> traced = trace.Drain();
  ASSERT_EQ(traced.size(), 1u);
  const TraceFrame& f = traced[0];
  EXPECT_EQ(f.direction, TraceDirection::kReceived);
  EXPECT_EQ(f.outcome, c.outcome) << TraceOutcomeName(f.outcome);
  EXPECT_EQ(f.checksum, c.checksum);
  EXPECT_EQ(f.count, c.bytes);
  EXPECT_EQ(f.cmd, c.cmd);
  EXPECT_TRUE(std::equal(f.Bytes().begin(), f.Bytes().end(), c.incoming.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Trace, ReplyTrace,
    ::testing::Values(
        TraceCase{"Answered", kReply, TraceOutcome::kAnswered, ChecksumState::kOk, 10, 8},
        TraceCase{"BadChecksum", Bumped(kReply, 9), TraceOutcome::kBadChecksum, ChecksumState::kBad, 10, 8},
        TraceCase{"WrongCommand", MakeFrame(9, kDevice, {1, 2, 3}), TraceOutcome::kWrongCommand,
                  ChecksumState::kNotChecked, 6, 9},
        TraceCase{"WrongDevice", MakeFrame(8, 0x0103, {1, 2, 3}), TraceOutcome::kWrongDevice,
                  ChecksumState::kNotChecked, 6, 8},
        TraceCase{"TooLong", MakeFrame(8, kDevice, {1, 2, 3, 4}), TraceOutcome::kTooLong,
                  ChecksumState::kNotChecked, 6, 8},
        TraceCase{"Nothing", Bytes{}, TraceOutcome::kTimeOut, ChecksumState::kNotChecked, 0, 8},
        TraceCase{"HeaderOnly", Bytes(kReply.begin(), kReply.begin() + 6), TraceOutcome::kTimeOut,
                  ChecksumState::kNotChecked, 6, 8},
        TraceCase{"CutShort", Bytes(kReply.begin(), kReply.begin() + 8), TraceOutcome::kMalformed,
                  ChecksumState::kNotChecked, 8, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameTraceLine, NamesEveryField) {
  const Bytes request = {0xAA, 0xF0, 0x05, 0x08, 0x01, 0x02, 0x00, 0x10, 0x00, 0x01, 0x10, 0x31};
  const TraceFrame sent = MakeTraceFrame(12.5, TraceDirection::kSent, 8, kDevice, 5, ChecksumState::kOk,
                                         TraceOutcome::kSent, request);
  EXPECT_EQ(FormatTraceLine(sent),
            "    12.500 ms  TX  ReadBlock(8)       dev   258  len   5  sum ok  sent           "
            "AA F0 05 08 01 02 00 10 00 01 10 31");
  const TraceFrame silent = MakeTraceFrame(1.0, TraceDirection::kReceived, 42, kDevice, 0,
                                           ChecksumState::kNotChecked, TraceOutcome::kTimeOut, {});
  EXPECT_EQ(FormatTraceLine(silent), "     1.000 ms  RX  cmd 42             dev   258  len   0  sum -   time-out");
}

TEST(FrameTraceQueue, KeepsTheNewestAndCountsTheRest) {
  FrameTrace trace(3);
  for (uint8_t i = 0; i < 5; ++i)
    trace.Push(MakeTraceFrame(i, TraceDirection::kSent, i, 0, 0, ChecksumState::kOk, TraceOutcome::kSent, {}));
  const std::vector<TraceFrame> frames = trace.Drain();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames.front().cmd, 2);
  EXPECT_EQ(trace.TakeDropped(), 2u);
  EXPECT_EQ(trace.TakeDropped(), 0u);
  EXPECT_TRUE(trace.Drain().empty());
}

TEST(FrameTraceSwitch, OffRecordsNothing) {
  FakeDevice device;
  FakeTransport transport(&device);
  transport.open = true;
  FrameLink frames(transport, [&transport] { return transport.seconds; });
  FrameTrace trace;
  std::string text;
  ASSERT_TRUE(frames.GetFwVersion(kDevice, text));
  EXPECT_TRUE(trace.Drain().empty());
  frames.SetTrace(&trace);
  ASSERT_TRUE(frames.GetFwVersion(kDevice, text));
  frames.SetTrace(nullptr);
  ASSERT_TRUE(frames.GetFwVersion(kDevice, text));
  const std::vector<TraceFrame> traced = trace.Drain();
  ASSERT_EQ(traced.size(), 2u);
  EXPECT_EQ(traced[0].outcome, TraceOutcome::kSent);
  EXPECT_EQ(traced[1].outcome, TraceOutcome::kAnswered);
}

}  // namespace
}  // namespace tavomark::link
