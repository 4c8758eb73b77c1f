#include "user_calib.h"

#include <cmath>
#include <cstdio>

#include "double_list.h"
#include "expression.h"
#include "fixed_text.h"
#include "names.h"
#include "pack.h"
#include "profile_file.h"
#include "protocol_engine.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::calib {

namespace {

constexpr std::size_t kTextChars = kCalibTextBytes - 1;

thread_local std::string t_lastExpanded;

// "%10f" of any double: the longest one (1e308) needs over 300 characters.
std::string Fixed10(double value) {
  const int n = std::snprintf(nullptr, 0, "%10f", value);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%10f", value);
  text.pop_back();
  return text;
}

// The evaluator reads a number with a leading 0 as octal: drop leading zeros,
// keeping the one before a point or of zero itself.
std::string DecimalOperand(std::string text) {
  std::size_t zeros = 0;
  while (zeros + 1 < text.size() && text[zeros] == '0' && text[zeros + 1] != '.') ++zeros;
  return text.substr(zeros);
}

}  // namespace

int LoadUserCalib(const std::filesystem::path& path, CalibTable& table) {
  ProfileFile file;
  file.Load(path);
  const int64_t code = file.GetInt("HEADER", "codeProj", 0);
  table.header.codeProj = code >= 0 && code <= 0xFFFF ? static_cast<uint16_t>(code) : 0;
  table.header.compVerFw = file.GetString("HEADER", "compVerCal", "", 1).c_str()[0];
  for (std::size_t k = 0; k < kCalibRecords; ++k) {
    const std::string section = "CALIB" + std::to_string(k + 1);
    CalibRecord& record = table.records[k];
    SetText(record.formula, file.GetString(section, "formula", "", kTextChars));
    SetText(record.target, file.GetString(section, "target", "", kTextChars));
    record.load = static_cast<double>(static_cast<uint8_t>(file.GetInt(section, "load", 0) & 0xFF));
  }
  return 1;
}

std::filesystem::path GetUserCalibPath(const std::filesystem::path& projectDir, const PackHeader& header) {
  std::string name;
  GetUserConfName(header, name);
  return projectDir / "config" / (name + "." + GetFileExtension("*.cal"));
}

int DevGetCalibTable(const PackHeader& packHeader, CalibTable& table, const std::filesystem::path& path) {
  LoadUserCalib(path, table);
  if (!CheckPackCompatibility(table.header, packHeader)) table = CalibTable{};
  return 1;
}

int IsNumValid(std::string_view text) {
  int points = 0;
  for (char c : text) {
    if (c == '.') {
      if (++points > 1) return 0;
    } else if (c < '0' || c > '9') {
      return 0;
    }
  }
  return 1;
}

int InputOperands(std::string& formula, std::string& response, const std::string& title, std::string_view token,
                  CalibPrompt& prompt) {
  if (formula.find(token) == std::string::npos) return 1;
  std::string message = "Insert data";
  for (;;) {
    const std::optional<std::string> answer = prompt.Ask(title, message, kResponseChars);
    if (!answer) return 0;
    response = answer->substr(0, kResponseChars);
    if (response.empty()) response = "0.0";
    if (IsNumValid(response)) {
      ReplaceStr(formula, token, DecimalOperand(response));
      return 1;
    }
    message = "Data not vald...repeat";
  }
}

int SubstituteOperands(std::string& expanded, const CalibRecord& record, CalibPrompt& prompt) {
  expanded = std::string(TextOf(record.formula));
  std::string response;
  if (!InputOperands(expanded, response, "Insert Target", "#T", prompt)) return 0;
  if (!InputOperands(expanded, response, "Insert Measure", "#M", prompt)) return 0;
  // A target holding "@T" itself is put in once, not expanded again.
  ReplaceStr(expanded, "@T", TextOf(record.target));
  ReplaceStr(expanded, "@M", Fixed10(record.measure));
  ReplaceStr(expanded, "@V", Fixed10(record.present));
  return 1;
}

int CheckValue(double value) { return std::isfinite(value) ? 1 : 0; }

int DevCalcCalib(CalibTable& table, std::size_t index, CalibPrompt& prompt) {
  t_lastExpanded.clear();
  if (index >= kCalibRecords) return -1;
  CalibRecord& record = table.records[index];
  std::string expanded;
  if (!SubstituteOperands(expanded, record, prompt)) return 0;
  t_lastExpanded = expanded;
  if (expanded.size() >= kExpandedFormulaBytes) return -1;
  float value = 0.0f;
  if (!expr::process_expression(expanded.c_str(), &value)) return -1;
  record.result = static_cast<double>(value);
  return CheckValue(record.result) ? 1 : -1;
}

const std::string& LastExpandedFormula() { return t_lastExpanded; }

std::vector<CalibRow> CreateCalibRows(const StructPack& calib, CalibTable& table) {
  std::vector<CalibRow> rows;
  const std::size_t n = GetStructPackNumRecords(calib);
  for (std::size_t p = 1; p < n && rows.size() < kCalibRecords; ++p) {
    const Record& record = calib.records[p - 1];
    if (!record.IsLeaf()) continue;
    CalibRow row;
    row.recordIndex = static_cast<int32_t>(p);
    GetFatherName(calib, record, row.label, 3);
    row.label += TextOf(record.varName);
    table.records[rows.size()].recordIndex = row.recordIndex;
    rows.push_back(std::move(row));
  }
  table.header.numRecords = static_cast<uint16_t>(rows.size());
  return rows;
}

int DevSetCalibValue(const StructPack& structPack, Pack& valToSendPack, DeviceData& deviceData, int32_t recordIndex,
                     double value, link::ProtocolEngine& engine) {
  if (recordIndex <= 0) return kCalibNoRecord;
  const auto position = static_cast<std::size_t>(recordIndex);
  const Record* record = GetStructPackRecord(structPack, position);
  if (record == nullptr || !record->IsLeaf()) return kCalibNoRecord;
  const std::span<uint8_t> item = GetValToSendRecord(valToSendPack, position);
  if (item.empty()) return kCalibNoValue;
  SetItemValue(item, static_cast<float>(InRangeVal(*record, value)));
  return DevSetCalib(valToSendPack, deviceData, engine);
}

int DevSetCalib(const Pack& valToSendPack, DeviceData& deviceData, link::ProtocolEngine& engine) {
  if (deviceData.buffer.empty() || CalibVtsToDeviceData(valToSendPack, deviceData) != 1) return kCalibImageFailed;
  return engine.TlinkSendData(kCalibBlockId, deviceData.All()) ? kCalibOk : kCalibSendFailed;
}

int DevGetCalib(Pack& valToSendPack, DeviceData& deviceData, link::ProtocolEngine& engine) {
  if (deviceData.buffer.empty() || deviceData.structPack == nullptr) return kCalibSendFailed;
  if (!engine.TlinkReceiveData(kCalibBlockId, deviceData.All())) return kCalibSendFailed;
  (void)DeviceDataToVts(valToSendPack, deviceData);
  return kCalibOk;
}

}  // namespace tavomark::calib
