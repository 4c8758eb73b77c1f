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
    std::vector<RecordingColumn> columns;
    std::string error;
    ASSERT_TRUE(RecordingColumns(m_monitor, paths, columns, error)) << error;
    LiveRecorder recorder;
    ASSERT_TRUE(recorder.Open(Path("rec.csv"), m_monitor, columns, "2026-12-07T10:00:00Z", error)) << error;
    ASSERT_TRUE(recorder.Write(0.0, Live(m_monitor, 12.5, -7, 'A'), error));
    ASSERT_TRUE(recorder.Write(0.2, Live(m_monitor, 13.0, 300, ','), error));
    ASSERT_TRUE(recorder.Write(0.4, Live(m_monitor, 0.1, -1, '\n'), error));
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
  Recording recording;
  std::string error;
  ASSERT_TRUE(ReadRecording(Path("rec.csv"), recording, error)) << error;
  EXPECT_EQ(recording.start, "2026-12-07T10:00:00Z");
  ASSERT_EQ(recording.rows.size(), 3u);
  EXPECT_DOUBLE_EQ(recording.times[2], 0.4);
  std::vector<std::size_t> positions;
  ASSERT_TRUE(MatchRecording(recording, m_monitor, positions, error)) << error;
  for (std::size_t row = 0; row < 3; ++row) {
    const std::vector<uint8_t> live = RecordingRowToLive(recording, row, m_monitor, positions);
    const std::vector<uint8_t> expected =
        row == 0 ? Live(m_monitor, 12.5, -7, 'A') : row == 1 ? Live(m_monitor, 13.0, 300, ',') : Live(m_monitor, 0.1, -1, '\n');
    EXPECT_EQ(live, expected) << row;
  }
}

TEST_F(LiveRecordingTest, ChosenColumnsTruncatedLastLineAndForeignRecordings) {
  std::vector<RecordingColumn> columns;
  std::string error;
  EXPECT_FALSE(RecordingColumns(m_monitor, {"speed", "temp"}, columns, error));
  EXPECT_EQ(error, "no value \"temp\" in the monitor struct");
  Record({"temp.temp[1]", "speed"});
  // A recorder stopped half-way through a row.
  std::ofstream(Path("rec.csv"), std::ios::app) << "0.600,4";
  Recording recording;
  ASSERT_TRUE(ReadRecording(Path("rec.csv"), recording, error)) << error;
  EXPECT_EQ(recording.headers, (std::vector<std::string>{"temp.temp[1]", "speed [rpm]"}));
  EXPECT_EQ(recording.rows.size(), 3u);
  ASSERT_EQ(recording.warnings.size(), 1u);
  EXPECT_EQ(recording.warnings[0], "the last line (8) is incomplete and was left out");

  // The same cut in the middle is damage, not an interrupted recorder.
  std::ofstream(Path("rec.csv"), std::ios::app) << "\n0.800,1,2\n";
  EXPECT_FALSE(ReadRecording(Path("rec.csv"), recording, error));
  EXPECT_NE(error.find("line 8 does not fit the columns"), std::string::npos) << error;

  // Another configuration: speed has another unit there.
  Record();
  ASSERT_TRUE(ReadRecording(Path("rec.csv"), recording, error));
  StructPack other = Monitor();
  SetText(other.records[1].unit, "Hz");
  std::vector<std::size_t> positions;
  EXPECT_FALSE(MatchRecording(recording, other, positions, error));
  EXPECT_EQ(error, "column 2 \"speed [rpm]\" is not a value of this configuration's monitor struct");

  test::ProjectDirTest::WriteBytes(Path("other.csv"), {'a', ',', 'b', '\n'});
  EXPECT_FALSE(ReadRecording(Path("other.csv"), recording, error));
  EXPECT_FALSE(ReadRecording(m_dir, recording, error)) << "a folder is not a recording";
}

}  // namespace
}  // namespace tavomark
