#pragma once
// Value-to-send sets (one value per record of the parameter, information and
// calibration blocks: the ".vts" files and "tavomark.dat") and data sets (values
// joined with the configuration that describes them and the user configuration).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "config_set.h"
#include "pack.h"
#include "result.h"

namespace tavomark {

// A value item: 32 bytes, the value as a little-endian float at 0, the skip
// flag at 4, the rest zero.
inline constexpr std::size_t kValToSendItemBytes = 32;

[[nodiscard]] float ItemValue(std::span<const uint8_t> item);
void SetItemValue(std::span<uint8_t> item, float value);
[[nodiscard]] uint8_t ItemSkip(std::span<const uint8_t> item);
void SetItemSkip(std::span<uint8_t> item, uint8_t skip);

struct ValToSendSet {
  char configLetter = 0;
  Pack param = CreatePack(kValToSendItemBytes);
  Pack calib = CreatePack(kValToSendItemBytes);
  Pack info = CreatePack(kValToSendItemBytes);
  char name[32] = {};
};

struct DataSet {
  ConfigSet config;
  ValToSendSet vts;
  UserConfSet user;
};

// One item per record of the struct pack, holding the record's value.
[[nodiscard]] Pack CreateValToSendPack(const StructPack& structPack);
[[nodiscard]] ValToSendSet CreateValToSendSet(const ConfigSet& config);
void DisposeValToSendSet(ValToSendSet& set);

// File layout: param, info, calib packs, then the letter (optional on reading:
// missing, it is param's compVerFw).
[[nodiscard]] int WriteValToSendSet(std::FILE* file, ValToSendSet& set);
// A failed read or save says why (which block, at which byte, or the system's
// reason).
[[nodiscard]] Result<void> ReadValToSendSet(std::FILE* file, ValToSendSet& set);
// Sets the name from the path once the file is open, whatever the outcome; a
// success only if the packs were read. Only a regular file is read.
[[nodiscard]] Result<void> LoadValToSendSet(const std::filesystem::path& path, ValToSendSet& set);
// Through a temporary file: on failure the previous file is untouched.
[[nodiscard]] Result<void> SaveValToSendSet(const std::filesystem::path& path, ValToSendSet& set);
[[nodiscard]] int CopyValToSendSet(ValToSendSet& dst, const ValToSendSet& src);

// The 32-byte item at a 1-based position, or an empty span.
[[nodiscard]] std::span<uint8_t> GetValToSendRecord(Pack& pack, std::size_t position);
[[nodiscard]] std::span<const uint8_t> GetValToSendRecord(const Pack& pack, std::size_t position);
// The values of a device block (a value set keeps none for the monitor).
[[nodiscard]] Pack& GetTabIndexedValToSendPack(ValToSendSet& set, Block block);
[[nodiscard]] const Pack& GetTabIndexedValToSendPack(const ValToSendSet& set, Block block);

[[nodiscard]] bool IsCoherentValToSendSet(const ValToSendSet& set);
[[nodiscard]] bool IsCompleteValToSendSet(const ValToSendSet& set);
[[nodiscard]] bool IsChangedValToSendSet(const ValToSendSet& set);
[[nodiscard]] bool IsNewValToSendSet(const ValToSendSet& set);
[[nodiscard]] bool CheckCompatibilityValToSend(const ValToSendSet& set, const ConfigSet& config);

// Codes of UpdateDataSet.
enum : int {
  kVtsOk = 0,
  kVtsIncoherent = -1,
  kVtsVoidPacket = -2,
  kConfigNotFound = -3,
  kConfigIncoherent = -4,
  kConfigVoidPacket = -5,
  kCompatibilityMismatch = -6,
  kWrongParamCount = -7,
  kWrongInfoCount = -8,
  kWrongCalibCount = -9,
  kInvalidParameterFile = -10,
};
[[nodiscard]] std::string GetValToSendErrorString(int code);

[[nodiscard]] DataSet CreateDataSet();
void DisposeDataSet(DataSet& set);
// Finds the configuration of the loaded values in <projectDir>/config, checks it
// against them and attaches it with its user configuration. A failure's code is
// one above and its message the code's text (for kConfigNotFound followed by
// why the configuration file could not be loaded).
[[nodiscard]] Result<void> UpdateDataSet(DataSet& set, const std::filesystem::path& projectDir);
[[nodiscard]] int CopyDataSet(DataSet& dst, const DataSet& src);

}  // namespace tavomark
