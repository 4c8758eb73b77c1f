#include "device_write.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "atomic_file.h"
#include "block.h"
#include "device_backup.h"
#include "device_image.h"
#include "frame_trace.h"
#include "protocol_engine.h"
#include "safe_write.h"
#include "value_set.h"

namespace tavomark::cli {

namespace {

constexpr const char* kCommError = "Communication Error";

bool LoadProject(const std::filesystem::path& projectDir, DataSet& data) {
  return LoadValToSendSet(projectDir / "tavomark.dat", data.vts) && UpdateDataSet(data, projectDir);
}

}  // namespace

bool BlockImageOfFile(const std::filesystem::path& projectDir, const std::string& file, uint16_t wireId,
                      std::vector<uint8_t>& image, std::string& error) {
  if (std::filesystem::path(file).extension() != ".vts") {
    FileHandle handle(file, "rb");
    if (!handle) {
      error = "Can't read " + file + ": " + handle.error();
      return false;
    }
    if (handle.size() > 0xFFFF) {
      error = file + " is over 65535 bytes";
      return false;
    }
    image.assign(static_cast<std::size_t>(handle.size()), 0);
    if (!image.empty() && std::fread(image.data(), 1, image.size(), handle.get()) != image.size()) {
      error = "Can't read " + file;
      return false;
    }
    return true;
  }
  const std::optional<Block> block = BlockOfWireId(wireId);
  if (!block) {
    error = "Block " + std::to_string(wireId) + " takes no value file";
    return false;
  }
  DataSet data = CreateDataSet();
  if (auto loaded = LoadValToSendSet(file, data.vts); !loaded) {
    error = "Can't load " + file + (loaded.message().empty() ? "" : ": " + loaded.message());
    return false;
  }
  if (auto attached = UpdateDataSet(data, projectDir); !attached) {
    error = file + ": " + attached.message();
    return false;
  }
  DeviceSet devices = CreateDeviceSet(data.config);
  if (!BlockToDeviceData(data.vts, devices, *block)) {
    error = "The values of " + file + " do not fit the device image";
    return false;
  }
  DeviceData& d = GetIndexedDeviceData(devices, *block);
  image.assign(d.buffer.begin(), d.buffer.begin() + d.totalSize);
  return true;
}

bool WriteBlockSafely(const std::filesystem::path& projectDir, link::ProtocolEngine& engine, uint16_t device,
                      uint16_t wireId, std::span<const uint8_t> image, bool dryRun) {
  DataSet data = CreateDataSet();
  const bool described = LoadProject(projectDir, data);
  const auto info = engine.TlinkGetInfoData();
  SafeWriteJob job;
  job.projectDir = projectDir;
  job.backupKey = BackupKey(device, info ? info->serialExt : 0, info ? info->serialNum : 0);
  job.dataName = engine.TlinkGetDataName();
  job.blocks.push_back(BlockWrite{wireId, {image.begin(), image.end()}, {}, {}});
  job.config = described ? &data.config : nullptr;
  job.dryRun = dryRun;
  DeviceIo io;
  io.read = [&engine](uint16_t id, std::span<uint8_t> buffer) { return engine.TlinkReceiveData(id, buffer); };
  io.send = [&engine](uint16_t id, std::span<const uint8_t> bytes) { return engine.TlinkSendData(id, bytes); };
  // Scripts get no question: the list goes to standard error and the write
  // goes ahead.
  const SafeWriteOutcome outcome = RunSafeWrite(job, io, [](const SafeWriteOutcome& o) {
    std::cerr << FormatSafeWriteDiffs(o);
    return true;
  });
  switch (outcome.result) {
    case SafeWriteResult::kWritten:
      std::cerr << "Backup: " << job.blocks.front().backup.string() << "\n";
      return true;
    case SafeWriteResult::kNoDifference:
      std::cerr << "No value differs from the device: nothing was written\n";
      return true;
    case SafeWriteResult::kDryRun:
      std::cerr << FormatSafeWriteDiffs(outcome) << "--dry-run: nothing was written\n";
      return true;
    case SafeWriteResult::kDeclined:
      return true;
    case SafeWriteResult::kBackupFailed:
      std::cerr << "Can't store the backup (" << outcome.detail << "): nothing was written\n";
      return false;
    case SafeWriteResult::kMismatch:
      std::cerr << kNotHeldText << " (" << outcome.detail << ")\n";
      return false;
    case SafeWriteResult::kReadFailed:
    case SafeWriteResult::kSendFailed:
    case SafeWriteResult::kReadBackFailed:
      std::cerr << kCommError << (outcome.detail.empty() ? "" : ": " + outcome.detail) << "\n";
      return false;
  }
  return false;
}

struct TraceFile::State {
  link::ProtocolEngine* engine = nullptr;
  std::filesystem::path path;
  std::string text;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::thread thread;

  void DrainOnce() {
    link::FrameTrace& trace = engine->TlinkTrace();
    for (const link::TraceFrame& frame : trace.Drain()) text += link::FormatTraceLine(frame) + "\n";
    if (const std::size_t dropped = trace.TakeDropped(); dropped != 0)
      text += "# " + std::to_string(dropped) + " frames dropped\n";
  }
};

TraceFile::TraceFile() = default;

TraceFile::~TraceFile() {
  std::string ignored;
  if (m_state) (void)Finish(ignored);
}

void TraceFile::Start(link::ProtocolEngine& engine, std::filesystem::path path) {
  m_state = std::make_unique<State>();
  State& s = *m_state;
  s.engine = &engine;
  s.path = std::move(path);
  s.text = link::TraceHeaderLine() + "\n";
  engine.TlinkSetTracing(true);
  // The queue is bounded: a long command is drained as it runs.
  s.thread = std::thread([&s] {
    std::unique_lock lock(s.mutex);
    while (!s.stop) {
      s.wake.wait_for(lock, std::chrono::milliseconds(50));
      s.DrainOnce();
    }
  });
}

bool TraceFile::Finish(std::string& error) {
  if (!m_state) return true;
  std::unique_ptr<State> s = std::move(m_state);
  {
    std::lock_guard lock(s->mutex);
    s->stop = true;
  }
  s->wake.notify_all();
  s->thread.join();
  s->engine->TlinkSetTracing(false);
  s->DrainOnce();
  const std::string& text = s->text;
  const auto saved = SaveFileAtomically(
      s->path, [&text](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); });
  if (!saved) error = saved.message();
  return saved.ok();
}

}  // namespace tavomark::cli
