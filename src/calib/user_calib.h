#pragma once
// User calibration: up to 48 formulas of a device's calibration parameters,
// read from the project's ".cal" file (INI text), their placeholders filled
// with the operator's numbers and the parameter's values, evaluated, and the
// result written into the device's calibration block.
//
// A ".cal" file:
//   [HEADER]  codeProj=<decimal project code>  compVerCal=<letter>
//   [CALIB1] .. [CALIB48]  formula=<text>  target=<text>  load=<0..255>
// Placeholders in a formula: "#T" and "#M" a target and a measure typed by the
// operator, "@T" the record's target text, "@M" its measure and "@V" its
// present value (both written with "%10f").

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "block.h"
#include "device_image.h"
#include "record.h"

namespace tavomark::link {
class ProtocolEngine;
}

namespace tavomark::calib {

inline constexpr std::size_t kCalibRecords = 48;
inline constexpr std::size_t kCalibTextBytes = 100;  // 99 characters and the terminator
// The evaluated text is held in this many bytes: an expansion that does not
// fit, terminator included, is an invalid formula.
inline constexpr std::size_t kExpandedFormulaBytes = 500;
// The operator's answers are at most this many characters.
inline constexpr std::size_t kResponseChars = 19;
// The calibration block on the wire.
inline constexpr uint16_t kCalibBlockId = WireIdOfBlock(Block::Calibration);

struct CalibRecord {
  int32_t recordIndex = 0;  // list position of the parameter in the calibration struct pack
  char formula[kCalibTextBytes] = {};
  char target[kCalibTextBytes] = {};
  double measure = 0.0;  // substituted for "@M"
  double present = 0.0;  // substituted for "@V"
  double result = 0.0;   // of the last evaluation
  double load = 0.0;     // the file's "load", 0 to 255
};

struct CalibTable {
  // codeProj and compVerFw come from the file; numRecords is the number of
  // rows the calibration page shows.
  PackHeader header;
  std::array<CalibRecord, kCalibRecords> records{};
};

// Where the operator's numbers come from: the desktop's prompt pop-up, or a
// script's answers.
class CalibPrompt {
 public:
  virtual ~CalibPrompt() = default;
  // OK / Cancel with an answer of at most maxLength characters; nothing when
  // cancelled.
  virtual std::optional<std::string> Ask(const std::string& title, const std::string& message,
                                         std::size_t maxLength) = 0;
};

// Fills the header's codeProj and compVerFw and the texts and loads of all 48
// records from the file (defaults where the file, a section or a key is
// missing); the other fields are not touched. The project code is kept whole:
// a code outside 0..65535 is stored as 0, which matches no configuration.
// Returns 1.
int LoadUserCalib(const std::filesystem::path& path, CalibTable& table);
// <projectDir>/config/PRJ%04dcp_%c.cal of the calibration struct pack's header
// ("config/.cal" when its codeProj is 0).
[[nodiscard]] std::filesystem::path GetUserCalibPath(const std::filesystem::path& projectDir,
                                                     const PackHeader& header);
// Loads the file (GetUserCalibPath of the project folder) and clears the whole
// table to zeros when its codeProj and compVerCal do not match packHeader's.
// Returns 1.
int DevGetCalibTable(const PackHeader& packHeader, CalibTable& table, const std::filesystem::path& path);

// 1 when every character is a digit or '.' and there is at most one '.' (the
// empty text too), else 0: no sign, no exponent.
[[nodiscard]] int IsNumValid(std::string_view text);
// Asks for the number that replaces token when formula holds it, again with
// "Data not vald...repeat" until the answer is valid. An empty answer counts
// as "0.0"; leading zeros are dropped so the evaluator reads the decimal
// number meant ("012" is 12, not octal). Returns 1 (token absent or replaced)
// or 0 (cancelled; formula unchanged).
[[nodiscard]] int InputOperands(std::string& formula, std::string& response, const std::string& title,
                                std::string_view token, CalibPrompt& prompt);
// The record's formula with every placeholder replaced. 1, or 0 when the
// operator cancelled a prompt.
[[nodiscard]] int SubstituteOperands(std::string& expanded, const CalibRecord& record, CalibPrompt& prompt);
// 1 for a finite value, 0 for an infinity or a NaN.
[[nodiscard]] int CheckValue(double value);
// Evaluates record index (0-based): 1 with result set; 0 cancelled (nothing
// changed); -1 invalid formula (rejected by the evaluator, longer than the
// formula buffer once expanded, or index out of range) or a non-finite result,
// which is stored in result all the same.
[[nodiscard]] int DevCalcCalib(CalibTable& table, std::size_t index, CalibPrompt& prompt);
// The expanded text of the last DevCalcCalib on this thread (for the command
// line, which prints it).
[[nodiscard]] const std::string& LastExpandedFormula();

// One row of the calibration page: a leaf of the calibration block.
struct CalibRow {
  int32_t recordIndex = 0;  // list position in the calibration struct pack
  std::string label;        // dotted path (three levels at most) and name
};
// The rows for a calibration struct pack: its leaves at positions 1 to N - 1
// (the last record holds the block's checksum word), at most 48. Stores each
// row's position in the recordIndex of the table's record of the same rank
// and the row count in header.numRecords.
[[nodiscard]] std::vector<CalibRow> CreateCalibRows(const StructPack& calib, CalibTable& table);

// Codes of the device operations.
enum : int {
  kCalibOk = 0,
  kCalibSendFailed = -1,
  kCalibImageFailed = -2,
  kCalibNoValue = -3,
  kCalibNoRecord = -4,
};

// Stores the value (clamped to the record's range) at the parameter's position
// and sends the whole calibration image: 0 sent, -1 send failed, -2 the image
// could not be built, -3 no value item there, -4 no record there or a
// container (nothing changed, nothing sent).
[[nodiscard]] int DevSetCalibValue(const StructPack& structPack, Pack& valToSendPack, DeviceData& deviceData,
                                   int32_t recordIndex, double value, link::ProtocolEngine& engine);
// Builds the image from the pack and sends it: 0, -1 or -2 as above.
[[nodiscard]] int DevSetCalib(const Pack& valToSendPack, DeviceData& deviceData, link::ProtocolEngine& engine);
// Reads the calibration block into the image and unpacks it into the pack: 0,
// or -1 when the image has no buffer or the read failed (pack unchanged).
[[nodiscard]] int DevGetCalib(Pack& valToSendPack, DeviceData& deviceData, link::ProtocolEngine& engine);

}  // namespace tavomark::calib
