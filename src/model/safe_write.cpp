#include "safe_write.h"

#include <algorithm>
#include <optional>

#include "device_backup.h"

namespace tavomark {

namespace {

// Compares one block by its records when the configuration describes it,
// else byte by byte.
void CompareBlock(const SafeWriteJob& job, const ValToSendSet* shape, const DeviceSet* layout, const BlockWrite& b,
                  SafeWriteOutcome& outcome) {
  const std::optional<Block> block = BlockOfWireId(b.block);
  if (shape != nullptr && layout != nullptr && block) {
    const DeviceData& data = GetIndexedDeviceData(*layout, *block);
    std::string error;
    if (b.image.size() == data.totalSize &&
        DiffBlockImages(*shape, *layout, *block, b.held, b.image, outcome.diffs, error))
      return;
  }
  (void)job;
  outcome.byRecords = false;
  for (std::size_t i = 0; i < b.image.size(); ++i)
    if (i >= b.held.size() || b.held[i] != b.image[i]) ++outcome.bytesDiffering;
}

// The value file of a backup: the configuration's defaults with the held
// block decoded into its pack; none when it does not decode.
bool BackupValues(const ConfigSet& config, const DeviceSet& layout, const BlockWrite& b, ValToSendSet& values) {
  const std::optional<Block> block = BlockOfWireId(b.block);
  if (!block) return false;
  values = CreateValToSendSet(config);
  const DeviceData& data = GetIndexedDeviceData(layout, *block);
  Pack& pack = GetTabIndexedValToSendPack(values, *block);
  return b.held.size() == data.totalSize && DecodeBlockImage(pack, data, b.held, pack);
}

}  // namespace

SafeWriteOutcome RunSafeWrite(SafeWriteJob& job, const DeviceIo& io,
                              const std::function<bool(const SafeWriteOutcome&)>& confirm) {
  SafeWriteOutcome outcome;
  for (BlockWrite& b : job.blocks) {
    b.held.assign(b.image.size(), 0);
    if (auto read = io.read(b.block, b.held); !read) {
      outcome.result = SafeWriteResult::kReadFailed;
      outcome.detail = read.message();
      return outcome;
    }
  }

  std::optional<ValToSendSet> shape;
  std::optional<DeviceSet> layout;
  if (job.config != nullptr) {
    shape = CreateValToSendSet(*job.config);
    layout = CreateDeviceSet(*job.config);
  }
  for (const BlockWrite& b : job.blocks)
    CompareBlock(job, shape ? &*shape : nullptr, layout ? &*layout : nullptr, b, outcome);
  if (outcome.diffs.empty() && outcome.bytesDiffering == 0) {
    outcome.result = SafeWriteResult::kNoDifference;
    return outcome;
  }
  if (job.dryRun) {
    outcome.result = SafeWriteResult::kDryRun;
    return outcome;
  }
  if (!confirm(outcome)) {
    outcome.result = SafeWriteResult::kDeclined;
    return outcome;
  }

  for (BlockWrite& b : job.blocks) {
    ValToSendSet values;
    const bool withValues = job.config != nullptr && BackupValues(*job.config, *layout, b, values);
    auto saved =
        SaveDeviceBackup(job.projectDir, job.backupKey, job.dataName, b.block, b.held, withValues ? &values : nullptr);
    if (!saved) {
      outcome.result = SafeWriteResult::kBackupFailed;
      outcome.detail = saved.message();
      return outcome;
    }
    b.backup = std::move(saved.value());
  }
  // Only once every backup is safely stored.
  (void)PruneDeviceBackups(job.projectDir, job.backupKey);

  for (const BlockWrite& b : job.blocks) {
    if (auto sent = io.send(b.block, b.image); !sent) {
      outcome.result = SafeWriteResult::kSendFailed;
      outcome.detail = sent.message();
      return outcome;
    }
    std::vector<uint8_t> back(b.image.size(), 0);
    if (auto read = io.read(b.block, back); !read) {
      outcome.result = SafeWriteResult::kReadBackFailed;
      outcome.detail = read.message();
      return outcome;
    }
    if (back != b.image) {
      const auto at = std::mismatch(back.begin(), back.end(), b.image.begin()).first - back.begin();
      outcome.detail = "block " + std::to_string(b.block) + " differs from byte " + std::to_string(at) + " on";
      outcome.result = SafeWriteResult::kMismatch;
      return outcome;
    }
  }
  outcome.result = SafeWriteResult::kWritten;
  return outcome;
}

std::string FormatSafeWriteDiffs(const SafeWriteOutcome& outcome) {
  std::string text;
  if (!outcome.diffs.empty() || outcome.byRecords) text = FormatValueDiffs(outcome.diffs);
  if (!outcome.byRecords)
    text += std::to_string(outcome.bytesDiffering) + " bytes differ in blocks the configuration does not describe\n";
  return text;
}

}  // namespace tavomark
