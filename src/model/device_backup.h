#pragma once
// Backups of what a device held before a write, in <project>/backups:
//
//   <key>_<name>_b<block>_<YYYYMMDD-HHMMSS-mmm>.img   the block exactly as read
//   <key>_<name>_b<block>_<YYYYMMDD-HHMMSS-mmm>.vts   a value file of it
//
// <key> is "dev<device number>-sn<serial extension>.<serial number>" (the
// last two from the device's information record): it names one physical
// device whatever data set it holds, and the newest kKeptBackups backups of a
// key are kept. <name> is the device's data name at the time, every character
// other than a letter, digit, '-' or '.' turned into '_' (at most 40;
// "noname" when empty). The time is UTC. The value file
// holds the device's values in the block named by <block>; its other blocks
// hold the configuration's defaults. A restore sends the .img bytes, so the
// device gets back exactly what it held.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "result.h"
#include "value_set.h"

namespace tavomark {

inline constexpr std::size_t kKeptBackups = 50;
inline constexpr const char* kBackupFolder = "backups";

[[nodiscard]] std::filesystem::path BackupFolder(const std::filesystem::path& projectDir);
// "dev<device>-sn<serialExt>.<serialNum>".
[[nodiscard]] std::string BackupKey(uint16_t device, uint16_t serialExt, uint16_t serialNum);

struct BackupName {
  std::string key;
  std::string dataName;  // as it stands in the name
  uint16_t block = 0;
  std::string stamp;  // "YYYYMMDD-HHMMSS-mmm"
};
// Splits a backup file's stem; false for a name that is not one.
[[nodiscard]] bool ParseBackupName(const std::string& stem, BackupName& name);

// Saves the block image (and, when values is given, the value file) under a
// new name in the project's backup folder, each through a temporary file.
// The .img path, or why either file cannot be written.
[[nodiscard]] Result<std::filesystem::path> SaveDeviceBackup(const std::filesystem::path& projectDir,
                                                             const std::string& key, const std::string& dataName,
                                                             uint16_t block, std::span<const uint8_t> image,
                                                             ValToSendSet* values);

// Deletes the oldest backups of the key beyond keep; the number deleted.
std::size_t PruneDeviceBackups(const std::filesystem::path& projectDir, const std::string& key,
                               std::size_t keep = kKeptBackups);
// The stems of the key's backups, oldest first.
[[nodiscard]] std::vector<std::string> ListDeviceBackups(const std::filesystem::path& projectDir,
                                                         const std::string& key);

struct DeviceBackup {
  BackupName name;
  std::vector<uint8_t> image;
};
// Reads a backup given by its .img or .vts path (the .img next to it is what
// is read). Fails, saying why, for a name that is no backup's or a missing,
// unreadable or oversized image.
[[nodiscard]] Result<DeviceBackup> LoadDeviceBackup(const std::filesystem::path& path);

}  // namespace tavomark
