#include <gtest/gtest.h>

#include <fstream>

#include "config_fixture.h"
#include "live_recording.h"
#include "value_codec.h"

namespace tavomark {
namespace {

// mon { U16 speed (1 dec, "rpm"); S16 temp[2]; U16 crc; CHR tag }
StructPack Monitor() {
  StructPack pack = test::BlockPack("mon", 315, 'C');
  SetText(pack.records[1].unit, "rpm");
  pack.records.push_back(test::Leaf(1, "tag", "CHR", 1));
  CalcStructSize(pack.records);
  return pack;
}

std::vector<uint8_t> Live(const StructPack& monitor, double speed, double temp1, char tag) {
  std::vector<uint8_t> live(GetStructByteSize(monitor), 0);
  EXPECT_EQ(ValToMemoryByte(monitor.records[1], speed, live, 0, 0), 1);
  EXPECT_EQ(ValToMemoryByte(monitor.records[4], temp1, live, 0, 0), 1);
  EXPECT_EQ(ValToMemoryByte(monitor.records[6], static_cast<unsigned char>(tag), live, 0, 0), 1);
  return live;
}

class LiveRecordingTest : public test::ProjectDirTest {
 protected:
  void Record(const std::vector<std::string>& paths = {}) {
    const auto columns = RecordingColumns(m_monitor, paths);
    ASSERT_TRUE(columns) << columns.message();
    LiveRecorder recorder;
    const auto opened = recorder.Open(Path("rec.csv"), m_monitor, columns.value(), "2026-12-07T10:00:00Z");
    ASSERT_TRUE(opened) << opened.message();
    ASSERT_TRUE(recorder.Write(0.0, Live(m_monitor, 12.5, -7, 'A')));
    ASSERT_TRUE(recorder.Write(0.2, Live(m_monitor, 13.0, 300, ',')));
    ASSERT_TRUE(recorder.Write(0.4, Live(m_monitor, 0.1, -1, '\n')));
    EXPECT_EQ(recorder.Rows(), 3u);
  }
  std::string Text() {
    std::ifstream in(Path("rec.csv"));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  StructPack m_monitor = Monitor();
};

TEST_F(LiveRecordingTest, RowsReadBackIntoTheSameLiveValues) {
  Record();
  EXPECT_EQ(Text(),
            "# tavomark live recording\n# start 2026-12-07T10:00:00Z\n# configuration FW0315 V1.00\n"
            "time_s,speed [rpm],temp.temp[0],temp.temp[1],crc,tag\n"
            "0.000,12.5,0,-7,0,A\n0.200,13.0,0,300,0,\",\"\n0.400,0.1,0,-1,0,\\10\n");
  const auto read = ReadRecording(Path("rec.csv"));
  ASSERT_TRUE(read) << read.message();
  const Recording& recording = read.value();
  EXPECT_EQ(recording.start, "2026-12-07T10:00:00Z");
  ASSERT_EQ(recording.rows.size(), 3u);
  EXPECT_DOUBLE_EQ(recording.times[2], 0.4);
  const auto matched = MatchRecording(recording, m_monitor);
  ASSERT_TRUE(matched) << matched.message();
  const std::vector<std::size_t>& positions = matched.value();
  for (std::size_t row = 0; row < 3; ++row) {
    const std::vector<uint8_t> live = RecordingRowToLive(recording, row, m_monitor, positions);
    const std::vector<uint8_t> expected =
        row == 0 ? Live(m_monitor, 12.5, -7, 'A') : row == 1 ? Live(m_monitor, 13.0, 300, ',') : Live(m_monitor, 0.1, -1, '\n');
    EXPECT_EQ(live, expected) << row;
  }
}

TEST_F(LiveRecordingTest, ChosenColumnsTruncatedLastLineAndForeignRecordings) {
  EXPECT_EQ(RecordingColumns(m_monitor, {"speed", "temp"}).message(), "no value \"temp\" in the monitor struct");
  Record({"temp.temp[1]", "speed"});
  // A recorder stopped half-way through a row.
  std::ofstream(Path("rec.csv"), std::ios::app) << "0.600,4";
  auto read = ReadRecording(Path("rec.csv"));
  ASSERT_TRUE(read) << read.message();
  Recording recording = read.value();
  EXPECT_EQ(recording.headers, (std::vector<std::string>{"temp.temp[1]", "speed [rpm]"}));
  EXPECT_EQ(recording.rows.size(), 3u);
  ASSERT_EQ(recording.warnings.size(), 1u);
  EXPECT_EQ(recording.warnings[0], "the last line (8) is incomplete and was left out");

  // The same cut in the middle is damage, not an interrupted recorder.
  std::ofstream(Path("rec.csv"), std::ios::app) << "\n0.800,1,2\n";
  read = ReadRecording(Path("rec.csv"));
  EXPECT_FALSE(read);
  EXPECT_NE(read.message().find("line 8 does not fit the columns"), std::string::npos) << read.message();

  // Another configuration: speed has another unit there.
  Record();
  read = ReadRecording(Path("rec.csv"));
  ASSERT_TRUE(read);
  StructPack other = Monitor();
  SetText(other.records[1].unit, "Hz");
  EXPECT_EQ(MatchRecording(read.value(), other).message(),
            "column 2 \"speed [rpm]\" is not a value of this configuration's monitor struct");

  test::ProjectDirTest::WriteBytes(Path("other.csv"), {'a', ',', 'b', '\n'});
  EXPECT_FALSE(ReadRecording(Path("other.csv")));
  EXPECT_FALSE(ReadRecording(m_dir)) << "a folder is not a recording";
}

}  // namespace
}  // namespace tavomark
