// tavomark-sim as a whole: started as a child process, driven over its
// pseudo-terminal with raw frames. No timing: every wait ends when the awaited
// bytes or log line arrive.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "sim_process.h"

namespace tavomark::simtest {
namespace {

constexpr uint16_t kDev = 0x0102;
// Command codes, restated from the protocol.
constexpr uint8_t kFw = 1, kInit = 4, kPiece = 5, kLive = 6, kRead = 8, kTest = 10, kInfo = 11, kName = 14;

// Two big-endian words then an optional length byte: offset/total, block, len.
Bytes Req(uint16_t first, uint16_t block, std::optional<uint8_t> len = std::nullopt) {
  Bytes b{static_cast<uint8_t>(first >> 8), static_cast<uint8_t>(first), static_cast<uint8_t>(block >> 8),
          static_cast<uint8_t>(block)};
  if (len) b.push_back(*len);
  return b;
}
unsigned Count(const ReplyFrame& f) { return f.payload.size() == 2 ? (f.payload[0] << 8) | f.payload[1] : ~0u; }

class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/tavomark-simtest-XXXXXX";
    m_path = ::mkdtemp(templ);
  }
  ~TempDir() { std::filesystem::remove_all(m_path); }
  [[nodiscard]] std::string File(const std::string& name, const Bytes& bytes) const {
    const auto path = m_path / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  [[nodiscard]] const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

class SimDevice : public ::testing::Test {
 protected:
  void Launch(const std::vector<std::string>& args) {
    std::string error;
    ASSERT_TRUE(m_sim.Start(args, error)) << error;
    ASSERT_TRUE(m_port.Open(m_sim.PortPath())) << m_sim.PortPath();
  }
  // Writes a block and returns the acknowledged counts.
  std::vector<unsigned> WriteBlock(uint16_t block, const Bytes& data) {
    std::vector<unsigned> counts;
    const auto init = m_port.Exchange(kInit, kDev, Req(static_cast<uint16_t>(data.size()), block));
    if (!init || !init->sumOk) return counts;
    for (std::size_t off = 0; off < data.size(); off += 128) {
      const std::size_t n = std::min<std::size_t>(128, data.size() - off);
      const auto r = m_port.Exchange(kPiece, kDev, Bytes(data.begin() + off, data.begin() + off + n));
      counts.push_back(r && r->sumOk ? Count(*r) : ~0u);
    }
    return counts;
  }

  SimProcess m_sim;
  PortClient m_port;
};

TEST_F(SimDevice, AnswersTextsAndInfoRecord) {
  Launch({"--fw-version", "FW 2.5", "--data-name", "Demo set", "--info-code", "4660", "--info-par", "c",
          "--serial", "513"});
  auto r = m_port.Exchange(kFw, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload, (Bytes{'F', 'W', ' ', '2', '.', '5'}));
  EXPECT_TRUE(r->sumOk);
  EXPECT_EQ(r->cmd, kFw);
  EXPECT_EQ(r->device, kDev);

  r = m_port.Exchange(kName, kDev, {0});
  ASSERT_TRUE(r);
  EXPECT_EQ(std::string(r->payload.begin(), r->payload.end()), "Demo set");

  // code 0x1234, revision "A1", I/O 'a', parameter 'c', product 0 version 1
  // revision "B2", date 1/1/24, serial extension 0, serial 513 -- big-endian words.
  r = m_port.Exchange(kInfo, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload, (Bytes{0x12, 0x34, 'A', '1', 'a', 'c', 0, 0, 1, 'B', '2', 1, 1, 24, 0, 0, 0x02, 0x01}));

  r = m_port.Exchange(kTest, kDev, {7, 9});
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->payload.empty());
}

// A read past the end, or of an unknown block, gets a short reply at once.
TEST_F(SimDevice, ReadsEveryBlockInPiecesFromItsFile) {
  TempDir dir;
  const Bytes param = Pattern(300, 1), calib = Pattern(20, 2), info = Pattern(129, 3);
  Launch({"--block", "1=" + dir.File("p.bin", param), "--block", "2=" + dir.File("c.bin", calib), "--block",
          "3=" + dir.File("i.bin", info)});
  EXPECT_EQ(m_port.ReadBlock(kDev, 1, 300), param);
  EXPECT_EQ(m_port.ReadBlock(kDev, 2, 20), calib);
  EXPECT_EQ(m_port.ReadBlock(kDev, 3, 129), info);
  EXPECT_EQ(m_port.ReadBlock(kDev, 4, 80).size(), 80u);
  auto r = m_port.Exchange(kRead, kDev, Req(16, 2, 8));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload, Bytes(calib.begin() + 16, calib.end()));
  r = m_port.Exchange(kRead, kDev, Req(0, 9, 8));
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->payload.empty());
}

TEST_F(SimDevice, ParameterWriteRenamesTheData) {
  Launch({});
  Bytes block = Pattern(50 + 36, 5);
  const std::string name = "New values";
  std::fill(block.begin() + 50, block.begin() + 82, 0);
  std::copy(name.begin(), name.end(), block.begin() + 50);
  ASSERT_EQ(WriteBlock(1, block).back(), block.size());
  const auto r = m_port.Exchange(kName, kDev, {0});
  ASSERT_TRUE(r);
  EXPECT_EQ(std::string(r->payload.begin(), r->payload.end()), name);
}

TEST_F(SimDevice, RefusedPiecesLeaveTheCountWhereItWas) {
  Launch({});
  // No announcement yet: nothing is taken.
  auto r = m_port.Exchange(kPiece, kDev, Bytes(10, 1));
  ASSERT_TRUE(r);
  EXPECT_EQ(Count(*r), 0u);
  // An unknown block is announced but never taken.
  ASSERT_TRUE(m_port.Exchange(kInit, kDev, Req(10, 9)));
  r = m_port.Exchange(kPiece, kDev, Bytes(10, 1));
  EXPECT_EQ(Count(*r), 0u);
  // More than announced: the count stays at what fits.
  ASSERT_TRUE(m_port.Exchange(kInit, kDev, Req(12, 2)));
  r = m_port.Exchange(kPiece, kDev, Bytes(10, 1));
  EXPECT_EQ(Count(*r), 10u);
  r = m_port.Exchange(kPiece, kDev, Bytes(10, 1));
  EXPECT_EQ(Count(*r), 10u);
}

TEST_F(SimDevice, LiveBufferHasItsSizeAndCountsReplies) {
  Launch({"--live-size", "37"});
  for (unsigned i = 0; i < 3; ++i) {
    const auto r = m_port.Exchange(kLive, kDev, {0, 0, 0});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 37u);
    EXPECT_EQ(r->payload[0] | (r->payload[1] << 8), i);
    EXPECT_LE(r->payload[6] | (r->payload[7] << 8), 1000);  // the ramp stays in its range
  }
}

// A request for another device, or corrupted, is dropped whole and the next
// one is served.
TEST_F(SimDevice, AnswersOnlySoundRequestsForItsOwnNumber) {
  Launch({"--device", "258", "--fw-version", "X"});
  Bytes bad = MakeFrame(kInfo, kDev, {});
  ++bad.back();
  ASSERT_TRUE(m_port.Send(bad));
  ASSERT_TRUE(m_port.Send(MakeFrame(kFw, 0x0103, {})));
  const auto r = m_port.Exchange(kFw, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->cmd, kFw);
  EXPECT_EQ(r->device, kDev);
  EXPECT_TRUE(m_port.Quiet());
  const auto line = m_sim.NextLogLine();
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("bad checksum"), std::string::npos);
}

TEST_F(SimDevice, LogsOneLinePerRequest) {
  Launch({});
  ASSERT_TRUE(m_port.Exchange(kRead, kDev, Req(0x10, 1, 0x10)));
  ASSERT_TRUE(m_port.Exchange(kName, kDev, {0}));
  EXPECT_EQ(m_sim.NextLogLine(), "cmd=8 dev=0x0102 len=5 data=00 10 00 01 10");
  EXPECT_EQ(m_sim.NextLogLine(), "cmd=14 dev=0x0102 len=1 data=00");
}

TEST_F(SimDevice, LinkPointsAtThePort) {
  TempDir dir;
  const std::string link = (dir.Path() / "ttySIM").string();
  Launch({"--link", link, "--fw-version", "L"});
  PortClient viaLink;
  ASSERT_TRUE(viaLink.Open(link));
  const auto r = viaLink.Exchange(kFw, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload, Bytes{'L'});
  EXPECT_EQ(m_sim.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimStart, RefusesBadOptionsWithAMessage) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--fault", "loud"}, {"--block", "7=/dev/null"}, {"--info", "/nonexistent/info.bin"}}) {
    SimProcess sim;
    std::string error;
    EXPECT_FALSE(sim.Start(args, error)) << args[0];
    EXPECT_NE(error.find("tavomark-sim:"), std::string::npos) << error;
  }
}

// Faults, each on the first request of a block read; the second read (offset
// 16) must come through clean, so the fault hit exactly one reply.
class SimFault : public SimDevice, public ::testing::WithParamInterface<std::string> {};

TEST_P(SimFault, SpoilsOnlyTheChosenReply) {
  TempDir dir;
  const Bytes block = Pattern(64, 9);
  const std::string& kind = GetParam();
  Launch({"--block", "2=" + dir.File("c.bin", block), "--fault", kind + ":8:1"});
  // The reply the device would have given, built by hand.
  Bytes expected = MakeFrame(kRead, kDev, Bytes(block.begin(), block.begin() + 16));
  ASSERT_TRUE(m_port.Send(MakeFrame(kRead, kDev, Req(0, 2, 16))));
  ASSERT_TRUE(m_sim.NextLogLine());  // the reply, if any, is out
  Bytes got;
  if (kind == "silence") {
    EXPECT_TRUE(m_port.Quiet());
  } else if (kind == "truncated") {
    const Bytes part(expected.begin(), expected.begin() + 3 + (expected.size() - 3) / 2);
    EXPECT_EQ(m_port.Read(part.size()), part);
  } else if (kind == "oversize-len") {
    got = m_port.Read(6 + 255 + 1);
    ASSERT_EQ(got.size(), 262u);
    EXPECT_EQ(got[2], 255);
    EXPECT_EQ(Bytes(got.begin() + 6, got.begin() + 22), Bytes(block.begin(), block.begin() + 16));
  } else {
    got = m_port.Read(expected.size());
    if (kind == "bad-checksum") ++expected.back();
    if (kind == "wrong-command") expected[3] ^= 0x80;
    if (kind == "wrong-device") ++expected[5];
    if (kind != "bad-checksum") {
      unsigned sum = 0;
      for (std::size_t i = 2; i + 1 < expected.size(); ++i) sum += expected[i];
      expected.back() = static_cast<uint8_t>(sum);
    }
    EXPECT_EQ(got, expected);
  }
  EXPECT_TRUE(m_port.Quiet());
  ASSERT_TRUE(m_port.Send(MakeFrame(kRead, kDev, Req(16, 2, 16))));
  const auto r = m_port.ReadFrame();
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->sumOk);
  EXPECT_EQ(r->payload, Bytes(block.begin() + 16, block.begin() + 32));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimFault,
                         ::testing::Values("silence", "bad-checksum", "wrong-command", "wrong-device", "truncated",
                                           "oversize-len"),
                         [](const auto& info) {
                           std::string n = info.param;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

TEST_F(SimDevice, MiscountsTheChosenAcknowledgement) {
  Launch({"--fault", "miscount:5:2"});
  EXPECT_EQ(WriteBlock(2, Pattern(300, 1)), (std::vector<unsigned>{128, 255, 300}));
}

TEST_F(SimDevice, DelaysTheReply) {
  Launch({"--fault", "delay=60:1"});
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(m_port.Exchange(kFw, kDev, {}));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

}  // namespace
}  // namespace tavomark::simtest
