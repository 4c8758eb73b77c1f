#pragma once
// A write into the device that can be checked and undone:
//   1. read what the device holds in every block to be written;
//   2. list the records that would change; nothing differs: nothing is sent;
//   3. ask (the caller's confirm: a dialog, or a script's yes, or a dry run);
//   4. store what the device held as a backup (device_backup.h);
//   5. send each block, then read it back and compare it byte for byte.
// The device is reached through the caller's read and send functions, so the
// parameter page and tavomark-cli run the same steps over the same engine.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "config_set.h"
#include "device_image.h"
#include "result.h"
#include "value_diff.h"
#include "value_set.h"

namespace tavomark {

struct BlockWrite {
  uint16_t block = 0;            // id on the wire
  std::vector<uint8_t> image;    // what is to be sent (with its trailer)
  std::vector<uint8_t> held;     // filled: what the device held
  std::filesystem::path backup;  // filled: the backup's .img
};

struct SafeWriteJob {
  std::filesystem::path projectDir;  // backups go to <projectDir>/backups
  std::string backupKey;             // BackupKey of the device
  std::string dataName;              // the device's data name, for the backup names
  std::vector<BlockWrite> blocks;
  // The configuration that describes the blocks; without it (or for a block
  // that does not decode) the blocks are compared byte by byte.
  const ConfigSet* config = nullptr;
  bool dryRun = false;
};

enum class SafeWriteResult {
  kWritten,
  kNoDifference,
  kDeclined,
  kDryRun,
  kReadFailed,
  kBackupFailed,
  kSendFailed,
  kReadBackFailed,
  kMismatch,
};

struct SafeWriteOutcome {
  SafeWriteResult result = SafeWriteResult::kReadFailed;
  std::vector<ValueDiff> diffs;   // the records that differ
  // Blocks compared byte by byte: how many bytes differ in them.
  std::size_t bytesDiffering = 0;
  bool byRecords = true;          // every block was compared by records
  std::string detail;             // why a step failed
};

// The device's block transfers; a failure says why, and the outcome's detail
// passes it on.
struct DeviceIo {
  std::function<Result<void>(uint16_t block, std::span<uint8_t> buffer)> read;
  std::function<Result<void>(uint16_t block, std::span<const uint8_t> data)> send;
};

// Runs the steps above; confirm sees the comparison and says whether to send
// (it is not called when nothing differs or for a dry run).
[[nodiscard]] SafeWriteOutcome RunSafeWrite(SafeWriteJob& job, const DeviceIo& io,
                                            const std::function<bool(const SafeWriteOutcome&)>& confirm);

// The comparison as text: the record list, or the count of differing bytes of
// blocks compared byte by byte.
[[nodiscard]] std::string FormatSafeWriteDiffs(const SafeWriteOutcome& outcome);

inline constexpr const char* kNotHeldText = "The device does not hold the values sent";

}  // namespace tavomark
