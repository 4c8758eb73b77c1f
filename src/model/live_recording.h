#pragma once
// Recordings of live data: one CSV row per live buffer, so what an engineer
// saw can be kept and played back without the device.
//
//   # tavomark live recording
//   # start 2026-12-07T10:15:00Z
//   # configuration PRJ0315cp_C
//   time_s,uptime [s],zoneTemp.zoneTemp[0] [C],...
//   0.000,1200,21.5,...
//
// A column per leaf of the monitor struct (or of the paths chosen), headed by
// its dotted path and unit; values as the live tree shows them. Rows are
// flushed one by one, so a crash loses at most the row being written.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "record.h"
#include "result.h"

namespace tavomark {

struct RecordingColumn {
  std::size_t position = 0;  // the leaf in the monitor struct
  std::string header;        // "path [unit]", or the path when there is no unit
};

// Every leaf of the monitor struct, or the leaves named by paths (dotted, as
// the headers write them, without the unit), in the order given. Fails naming
// the first path that is not a leaf.
[[nodiscard]] Result<std::vector<RecordingColumn>> RecordingColumns(const StructPack& monitor,
                                                                    const std::vector<std::string>& paths);

class LiveRecorder {
 public:
  LiveRecorder() = default;
  ~LiveRecorder();
  LiveRecorder(const LiveRecorder&) = delete;
  LiveRecorder& operator=(const LiveRecorder&) = delete;

  // Starts a recording at path: the header goes to a new file that then
  // takes the path's place (an existing file is replaced only once the new
  // one has its header). Fails, saying why, when that cannot be done.
  [[nodiscard]] Result<void> Open(const std::filesystem::path& path, const StructPack& monitor,
                                  std::vector<RecordingColumn> columns, const std::string& startTime);
  // One row: seconds since the start, then every column's value decoded from
  // the buffer. Fails, saying why, when the row could not be written.
  [[nodiscard]] Result<void> Write(double seconds, std::span<const uint8_t> live);
  void Close();
  [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }
  [[nodiscard]] std::size_t Rows() const { return m_rows; }

 private:
  std::FILE* m_file = nullptr;
  const StructPack* m_monitor = nullptr;
  std::vector<RecordingColumn> m_columns;
  std::size_t m_rows = 0;
};

// A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a
// line break.
[[nodiscard]] std::string CsvField(const std::string& text);

// The time now as "YYYY-MM-DDThh:mm:ssZ".
[[nodiscard]] std::string IsoTimeNow();

struct Recording {
  std::string start;                           // the header's start time
  std::vector<std::string> headers;            // after time_s
  std::vector<double> times;                   // one per row
  std::vector<std::vector<std::string>> rows;  // one text per header
  std::vector<std::string> warnings;           // what was left out, and why
};

// Reads a recording. A last line cut short (the recorder stopped while
// writing it) is left out with a warning; any other malformed line fails,
// naming it.
[[nodiscard]] Result<Recording> ReadRecording(const std::filesystem::path& path);

// The monitor leaf of every column; fails naming the first column that names
// no leaf of this monitor struct (or the wrong unit).
[[nodiscard]] Result<std::vector<std::size_t>> MatchRecording(const Recording& recording,
                                                              const StructPack& monitor);

// A live buffer holding row's values (leaves without a column stay 0).
[[nodiscard]] std::vector<uint8_t> RecordingRowToLive(const Recording& recording, std::size_t row,
                                                      const StructPack& monitor,
                                                      const std::vector<std::size_t>& positions);

}  // namespace tavomark
