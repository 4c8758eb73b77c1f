// tavomark-sim as a whole: started as a child process, driven over its
// pseudo-terminal with raw frames. No timing: every wait ends when the awaited
// bytes or log line arrive.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "sim_process.h"

namespace tavomark::simtest {
namespace {

constexpr uint16_t kDev = 0x0102;
// Command codes, restated from the protocol.
constexpr uint8_t kFw = 1, kInit = 4, kPiece = 5, kLive = 6, kRead = 8, kTest = 10, kInfo = 11, kName = 14;

Bytes ReadReq(uint16_t offset, uint16_t block, uint8_t len) {
  return {static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset), static_cast<uint8_t>(block >> 8),
          static_cast<uint8_t>(block), len};
}
Bytes InitReq(uint16_t total, uint16_t block) {
  return {static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total), static_cast<uint8_t>(block >> 8),
          static_cast<uint8_t>(block)};
}
unsigned Count(const ReplyFrame& f) { return f.payload.size() == 2 ? (f.payload[0] << 8) | f.payload[1] : ~0u; }
unsigned Word(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

Bytes Pattern(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

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
  // Reads a block in pieces of at most 128 bytes, as the PC does.
  Bytes ReadBlock(uint16_t block, std::size_t len) {
    Bytes all;
    for (std::size_t off = 0; off < len; off += 128) {
      const auto piece = static_cast<uint8_t>(std::min<std::size_t>(128, len - off));
      const auto r = m_port.Exchange(kRead, kDev, ReadReq(static_cast<uint16_t>(off), block, piece));
      if (!r || !r->sumOk || r->payload.size() != piece) return all;
      all.insert(all.end(), r->payload.begin(), r->payload.end());
    }
    return all;
  }
  // Writes a block and returns the acknowledged counts.
  std::vector<unsigned> WriteBlock(uint16_t block, const Bytes& data) {
    std::vector<unsigned> counts;
    const auto init = m_port.Exchange(kInit, kDev, InitReq(static_cast<uint16_t>(data.size()), block));
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

  r = m_port.Exchange(kInfo, kDev, {});
  ASSERT_TRUE(r);
  ASSERT_EQ(r->payload.size(), 18u);
  EXPECT_EQ(r->payload[0], 0x12);  // project code, high byte first
  EXPECT_EQ(r->payload[1], 0x34);
  EXPECT_EQ(r->payload[5], 'c');
  EXPECT_EQ(r->payload[16], 0x02);  // serial number 513
  EXPECT_EQ(r->payload[17], 0x01);

  r = m_port.Exchange(kTest, kDev, {7, 9});
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->payload.empty());
}

TEST_F(SimDevice, ReadsEveryBlockInPiecesFromItsFile) {
  TempDir dir;
  const Bytes param = Pattern(300, 1), calib = Pattern(20, 2), info = Pattern(129, 3);
  Launch({"--block", "1=" + dir.File("p.bin", param), "--block", "2=" + dir.File("c.bin", calib), "--block",
          "3=" + dir.File("i.bin", info)});
  EXPECT_EQ(ReadBlock(1, 300), param);
  EXPECT_EQ(ReadBlock(2, 20), calib);
  EXPECT_EQ(ReadBlock(3, 129), info);
  EXPECT_EQ(ReadBlock(4, 80).size(), 80u);
}

TEST_F(SimDevice, ReadPastTheEndGetsAShortReplyAtOnce) {
  TempDir dir;
  Launch({"--block", "2=" + dir.File("c.bin", Pattern(20, 2))});
  auto r = m_port.Exchange(kRead, kDev, ReadReq(16, 2, 8));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload.size(), 4u);
  r = m_port.Exchange(kRead, kDev, ReadReq(0, 9, 8));
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
  ASSERT_TRUE(m_port.Exchange(kInit, kDev, InitReq(10, 9)));
  r = m_port.Exchange(kPiece, kDev, Bytes(10, 1));
  EXPECT_EQ(Count(*r), 0u);
  // More than announced: the count stays at what fits.
  ASSERT_TRUE(m_port.Exchange(kInit, kDev, InitReq(12, 2)));
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
    EXPECT_EQ(Word(r->payload, 0), i);
    EXPECT_LE(Word(r->payload, 6), 1000u);  // the ramp stays in its range
  }
}

TEST_F(SimDevice, AnswersOnlyItsOwnDeviceNumber) {
  Launch({"--device", "258", "--fw-version", "X"});
  ASSERT_TRUE(m_port.Send(MakeFrame(kFw, 0x0103, {})));
  const auto r = m_port.Exchange(kFw, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->device, kDev);
  EXPECT_TRUE(m_port.Quiet());
}

// A corrupted request is dropped whole and the next one is served.
TEST_F(SimDevice, IgnoresRequestsWithABadChecksum) {
  Launch({"--fw-version", "X"});
  Bytes bad = MakeFrame(kInfo, kDev, {});
  ++bad.back();
  ASSERT_TRUE(m_port.Send(bad));
  const auto r = m_port.Exchange(kFw, kDev, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->cmd, kFw);
  const auto line = m_sim.NextLogLine();
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("bad checksum"), std::string::npos);
}

TEST_F(SimDevice, LogsOneLinePerRequest) {
  Launch({});
  ASSERT_TRUE(m_port.Exchange(kRead, kDev, ReadReq(0x10, 1, 0x10)));
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
struct FaultCase {
  const char* name;
  const char* rule;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.rule; }

class SimFault : public SimDevice, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFault, SpoilsOnlyTheChosenReply) {
  TempDir dir;
  const Bytes block = Pattern(64, 9);
  Launch({"--block", "2=" + dir.File("c.bin", block), "--fault", std::string(GetParam().rule) + ":8:1"});
  const Bytes first = MakeFrame(kRead, kDev, ReadReq(0, 2, 16));
  const Bytes clean = MakeFrame(kRead, kDev, ReadReq(16, 2, 16));
  // The reply the device would have given, built by hand.
  Bytes expected = MakeFrame(kRead, kDev, Bytes(block.begin(), block.begin() + 16));
  const std::string kind = GetParam().name;
  ASSERT_TRUE(m_port.Send(first));
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
  ASSERT_TRUE(m_port.Send(clean));
  const auto r = m_port.ReadFrame();
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->sumOk);
  EXPECT_EQ(r->payload, Bytes(block.begin() + 16, block.begin() + 32));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimFault,
                         ::testing::Values(FaultCase{"silence", "silence"}, FaultCase{"bad-checksum", "bad-checksum"},
                                           FaultCase{"wrong-command", "wrong-command"},
                                           FaultCase{"wrong-device", "wrong-device"},
                                           FaultCase{"truncated", "truncated"},
                                           FaultCase{"oversize-len", "oversize-len"}),
                         [](const auto& info) {
                           std::string n = info.param.name;
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
