// The simulator's own frame code and option parsing, checked against the
// protocol's worked frames and byte diagrams.

#include <gtest/gtest.h>

#include "device_memory.h"
#include "fault_plan.h"
#include "sim_frame.h"

namespace tavomark::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimFrame, BuildsTheWorkedFramesByteForByte) {
  EXPECT_EQ(BuildFrame(1, 0x0102, {}), (Bytes{0xAA, 0xF0, 0x00, 0x01, 0x01, 0x02, 0x04}));
  const Bytes readBlock{0x00, 0x10, 0x00, 0x01, 0x10};
  EXPECT_EQ(BuildFrame(8, 0x0102, readBlock),
            (Bytes{0xAA, 0xF0, 0x05, 0x08, 0x01, 0x02, 0x00, 0x10, 0x00, 0x01, 0x10, 0x31}));
}

TEST(SimFrameReader, ReadsAFrameSplitAcrossChunks) {
  FrameReader reader;
  const Bytes frame{0xAA, 0xF0, 0x05, 0x08, 0x01, 0x02, 0x00, 0x10, 0x00, 0x01, 0x10, 0x31};
  reader.Feed(std::span(frame).first(4));
  EXPECT_FALSE(reader.Next());
  reader.Feed(std::span(frame).subspan(4));
  const auto item = reader.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->kind, FrameReader::Kind::Request);
  EXPECT_EQ(item->frame.cmd, 8);
  EXPECT_EQ(item->frame.device, 0x0102);
  EXPECT_EQ(item->frame.payload, (Bytes{0x00, 0x10, 0x00, 0x01, 0x10}));
  EXPECT_FALSE(reader.HasPartial());
}

TEST(SimFrameReader, FindsTheNextFrameAfterJunkAndACorruptLength) {
  FrameReader reader;
  // Junk, a lone AA, a header claiming 200 payload bytes, then a good frame.
  reader.Feed(Bytes{0x13, 0x37, 0xAA, 0x00, 0xAA, 0xF0, 200, 0x01, 0x00, 0x00});
  reader.Feed(Bytes{0xAA, 0xF0, 0x00, 0x01, 0x01, 0x02, 0x04});
  auto item = reader.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->kind, FrameReader::Kind::Oversize);
  EXPECT_EQ(reader.TakeSkipped(), 4u);
  item = reader.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->kind, FrameReader::Kind::Request);
  EXPECT_EQ(item->frame.cmd, 1);
  EXPECT_FALSE(reader.Next());
}

// A wrong sum may mean a wrong LEN, so only the start pair is dropped: the good
// frame that follows at once must survive even though the bad one's claimed
// length reaches into it.
TEST(SimFrameReader, BadChecksumKeepsTheFollowingFrame) {
  FrameReader reader;
  reader.Feed(Bytes{0xAA, 0xF0, 0x02, 0x0A, 0x01, 0x02, 0x05});
  reader.Feed(Bytes{0xAA, 0xF0, 0x00, 0x0B, 0x01, 0x02, 0x0E});
  auto item = reader.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->kind, FrameReader::Kind::BadChecksum);
  item = reader.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->kind, FrameReader::Kind::Request);
  EXPECT_EQ(item->frame.cmd, 11);
}

struct RuleCase {
  const char* text;
  bool ok;
  FaultKind kind;
  int cmd;  // -1: any
  unsigned nth;
  unsigned delayMs;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class FaultRuleParse : public ::testing::TestWithParam<RuleCase> {};

TEST_P(FaultRuleParse, ReadsKindCommandAndRequestNumber) {
  const RuleCase& c = GetParam();
  FaultRule rule;
  std::string error;
  ASSERT_EQ(ParseFaultRule(c.text, rule, error), c.ok) << c.text;
  if (!c.ok) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(rule.kind, c.kind);
  EXPECT_EQ(rule.cmd ? int{*rule.cmd} : -1, c.cmd);
  EXPECT_EQ(rule.nth, c.nth);
  EXPECT_EQ(rule.delayMs, c.delayMs);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FaultRuleParse,
    ::testing::Values(RuleCase{"silence", true, FaultKind::Silence, -1, 0, 0},
                      RuleCase{"bad-checksum:8", true, FaultKind::BadChecksum, 8, 0, 0},
                      RuleCase{"miscount:5:2", true, FaultKind::Miscount, 5, 2, 0},
                      RuleCase{"truncated:*:3", true, FaultKind::Truncated, -1, 3, 0},
                      RuleCase{"delay=250:11", true, FaultKind::Delay, 11, 0, 250},
                      RuleCase{"oversize-len", true, FaultKind::OversizeLen, -1, 0, 0},
                      RuleCase{"loud", false, FaultKind::Silence, -1, 0, 0},
                      RuleCase{"delay=", false, FaultKind::Silence, -1, 0, 0},
                      RuleCase{"silence:256", false, FaultKind::Silence, -1, 0, 0},
                      RuleCase{"silence:8:0", false, FaultKind::Silence, -1, 0, 0},
                      RuleCase{"silence:8:x", false, FaultKind::Silence, -1, 0, 0}));

TEST(FaultPlan, CountsRequestsPerCommandAndOverall) {
  FaultPlan plan;
  std::string error;
  FaultRule perCmd;
  ASSERT_TRUE(ParseFaultRule("bad-checksum:8:2", perCmd, error));
  FaultRule overall;
  ASSERT_TRUE(ParseFaultRule("silence:*:3", overall, error));
  plan.Add(perCmd);
  plan.Add(overall);
  EXPECT_FALSE(plan.Decide(8).badChecksum);   // 1st of 8, 1st overall
  EXPECT_FALSE(plan.Decide(11).badChecksum);  // 2nd overall
  const FaultDecision third = plan.Decide(8);  // 2nd of 8, 3rd overall
  EXPECT_TRUE(third.badChecksum);
  EXPECT_TRUE(third.silence);
  EXPECT_FALSE(plan.Decide(8).badChecksum);
}

// The image checksum word is ~(sum of the bytes before it); the trailer's byte
// checksum is ~(sum of all image bytes).
TEST(SimSampleBlock, CarriesChecksumWordAndTrailer) {
  const BlockIdentity id{"Demo", 0x0102, 'c', true};
  const Bytes block = BuildSampleBlock(kCalibBlock, 6, id);
  ASSERT_EQ(block.size(), 10u);
  const unsigned sum = block[0] + block[1] + block[2] + block[3];
  EXPECT_EQ(block[4] | (block[5] << 8), static_cast<uint16_t>(~sum));
  const unsigned all = sum + block[4] + block[5];
  EXPECT_EQ(Bytes(block.begin() + 6, block.end()), (Bytes{0x02, 0x01, static_cast<uint8_t>(~all), 'c'}));

  const Bytes param = BuildSampleBlock(kParamBlock, 8, id);
  ASSERT_EQ(param.size(), 44u);
  EXPECT_EQ(NameFromParamBlock(param), "Demo");
  EXPECT_EQ(param[8 + 4], 0);
  EXPECT_EQ(param[8 + 32], 0x02);
  EXPECT_EQ(param[8 + 33], 0x01);
}

}  // namespace
}  // namespace tavomark::sim
