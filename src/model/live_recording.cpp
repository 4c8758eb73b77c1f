#include "live_recording.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <unordered_map>

#include "atomic_file.h"
#include "fixed_text.h"
#include "strict_number.h"
#include "value_codec.h"

namespace tavomark {

namespace {

constexpr const char* kFirstLine = "# tavomark live recording";

std::string UnitOf(const Record& r) { return std::string(r.unit, strnlen(r.unit, sizeof r.unit)); }

std::string PathOf(const StructPack& pack, const Record& r) { return GetRecordPath(pack, r); }

std::string HeaderOf(const StructPack& pack, const Record& r) {
  const std::string unit = UnitOf(r);
  return unit.empty() ? PathOf(pack, r) : PathOf(pack, r) + " [" + unit + "]";
}

bool IsChr(const Record& r) { return std::strncmp(r.varType, "CHR", sizeof r.varType) == 0; }

// Splits one CSV line; false when a quoted field is not closed.
bool SplitCsv(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return !quoted;
}

// The value a cell shows back as a number: the character (or "\NN") of a
// "CHR" record, else the number itself.
bool CellValue(const Record& r, const std::string& text, double& value) {
  if (IsChr(r)) {
    if (text.size() == 1) {
      value = static_cast<unsigned char>(text[0]);
      return true;
    }
    int64_t code = 0;
    std::string error;
    if (text.size() > 1 && text[0] == '\\' && ParseStrictInteger(text.substr(1), "code", 0, 255, code, error)) {
      value = static_cast<double>(code);
      return true;
    }
    return false;
  }
  std::string error;
  return ParseStrictNumber(text, "value", value, error);
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

Result<std::vector<RecordingColumn>> RecordingColumns(const StructPack& monitor,
                                                      const std::vector<std::string>& paths) {
  std::vector<RecordingColumn> columns;
  if (paths.empty()) {
    for (std::size_t position = 1; position <= monitor.records.size(); ++position) {
      const Record& r = monitor.records[position - 1];
      if (r.IsLeaf()) columns.push_back({position, HeaderOf(monitor, r)});
    }
    return columns;
  }
  std::unordered_map<std::string, std::size_t> leaves;
  for (std::size_t position = 1; position <= monitor.records.size(); ++position) {
    const Record& r = monitor.records[position - 1];
    if (r.IsLeaf()) leaves.emplace(PathOf(monitor, r), position);
  }
  for (const std::string& path : paths) {
    const auto found = leaves.find(path);
    if (found == leaves.end()) {
      return Fail("no value \"" + path + "\" in the monitor struct");
    }
    columns.push_back({found->second, HeaderOf(monitor, monitor.records[found->second - 1])});
  }
  return columns;
}

LiveRecorder::~LiveRecorder() { Close(); }

Result<void> LiveRecorder::Open(const std::filesystem::path& path, const StructPack& monitor,
                                std::vector<RecordingColumn> columns, const std::string& startTime) {
  Close();
  std::string header = std::string(kFirstLine) + "\n# start " + startTime + "\n# configuration " +
                       std::string(monitor.header.projVersion,
                                   strnlen(monitor.header.projVersion, sizeof monitor.header.projVersion)) +
                       "\ntime_s";
  for (const RecordingColumn& column : columns) header += "," + CsvField(column.header);
  header += "\n";
  if (auto saved = SaveFileAtomically(
          path, [&](std::FILE* f) { return std::fwrite(header.data(), 1, header.size(), f) == header.size(); });
      !saved)
    return saved;
  m_file = std::fopen(path.c_str(), "ab");
  if (m_file == nullptr) {
    return Fail("cannot open " + path.string() + ": " + std::strerror(errno));
  }
  m_monitor = &monitor;
  m_columns = std::move(columns);
  m_rows = 0;
  return {};
}

Result<void> LiveRecorder::Write(double seconds, std::span<const uint8_t> live) {
  if (m_file == nullptr || m_monitor == nullptr) {
    return Fail("no recording is open");
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  std::string row = time;
  for (const RecordingColumn& column : m_columns) {
    row += ',';
    const Record* r = GetStructPackRecord(*m_monitor, column.position);
    double value = 0.0;
    if (r == nullptr || !MemoryByteToVal(*r, value, live, m_monitor->header.bigEndianMode,
                                         m_monitor->header.swapDataBlock))
      continue;
    const std::string text = ValToString(*r, value);
    row += CsvField(IsChr(*r) ? text : TrimSpaces(text));
  }
  row += '\n';
  if (std::fwrite(row.data(), 1, row.size(), m_file) != row.size() || std::fflush(m_file) != 0) {
    return Fail(std::string("cannot write the recording: ") + std::strerror(errno));
  }
  ++m_rows;
  return {};
}

void LiveRecorder::Close() {
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
  m_monitor = nullptr;
}

std::string IsoTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

Result<Recording> ReadRecording(const std::filesystem::path& path) {
  Recording recording;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Fail(path.string() + " is not a file");
  }
  FileHandle file(path, "rb");
  if (!file) {
    return Fail("cannot open " + path.string() + ": " + std::strerror(errno));
  }
  std::vector<std::string> lines;
  std::string line;
  bool endsWithNewline = true;
  for (LineStatus status; (status = ReadLineChecked(file.get(), line, kMaxLineBytes)) != LineStatus::kEnd;) {
    if (status == LineStatus::kTooLong) {
      return Fail(path.string() + ": line " + std::to_string(lines.size() + 1) + " is too long");
    }
    if (status == LineStatus::kReadError) {
      return Fail("cannot read " + path.string() + ": " + std::strerror(errno));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (!lines.empty()) {
    std::fseek(file.get(), -1, SEEK_END);
    endsWithNewline = std::fgetc(file.get()) == '\n';
  }
  if (lines.empty() || lines[0] != kFirstLine) {
    return Fail(path.string() + " is not a live recording");
  }
  std::size_t index = 1;
  for (; index < lines.size() && lines[index].rfind("#", 0) == 0; ++index)
    if (lines[index].rfind("# start ", 0) == 0) recording.start = lines[index].substr(8);
  std::vector<std::string> fields;
  if (index >= lines.size() || !SplitCsv(lines[index], fields) || fields.empty() || fields[0] != "time_s") {
    return Fail(path.string() + ": no column line");
  }
  recording.headers.assign(fields.begin() + 1, fields.end());
  for (++index; index < lines.size(); ++index) {
    const bool last = index + 1 == lines.size();
    double seconds = 0.0;
    std::string why;
    if (!SplitCsv(lines[index], fields) || fields.size() != recording.headers.size() + 1 ||
        !ParseStrictNumber(fields[0], "time_s", seconds, why)) {
      if (last && !endsWithNewline) {
        recording.warnings.push_back("the last line (" + std::to_string(index + 1) +
                                     ") is incomplete and was left out");
        break;
      }
      return Fail(path.string() + ": line " + std::to_string(index + 1) + " does not fit the columns");
    }
    recording.times.push_back(seconds);
    recording.rows.emplace_back(fields.begin() + 1, fields.end());
  }
  return recording;
}

Result<std::vector<std::size_t>> MatchRecording(const Recording& recording, const StructPack& monitor) {
  std::unordered_map<std::string, std::size_t> byHeader;
  const std::vector<RecordingColumn> all = RecordingColumns(monitor, {}).value();
  for (const RecordingColumn& column : all) byHeader.emplace(column.header, column.position);
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < recording.headers.size(); ++i) {
    const auto found = byHeader.find(recording.headers[i]);
    if (found == byHeader.end()) {
      return Fail("column " + std::to_string(i + 2) + " \"" + recording.headers[i] +
              "\" is not a value of this configuration's monitor struct");
    }
    positions.push_back(found->second);
  }
  return positions;
}

std::vector<uint8_t> RecordingRowToLive(const Recording& recording, std::size_t row, const StructPack& monitor,
                                        const std::vector<std::size_t>& positions) {
  std::vector<uint8_t> live(GetStructByteSize(monitor), 0);
  if (row >= recording.rows.size()) return live;
  const std::vector<std::string>& cells = recording.rows[row];
  for (std::size_t i = 0; i < positions.size() && i < cells.size(); ++i) {
    const Record* r = GetStructPackRecord(monitor, positions[i]);
    double value = 0.0;
    if (r == nullptr || !CellValue(*r, cells[i], value)) continue;
    (void)ValToMemoryByte(*r, value, live, monitor.header.bigEndianMode, monitor.header.swapDataBlock);
  }
  return live;
}

}  // namespace tavomark
