// tavomark-cli device ...: one connection to a device through the protocol
// engine, one command, then the connection is closed again.

#include <CLI/CLI.hpp>

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "atomic_file.h"
#include "cli_context.h"
#include "device_backup.h"
#include "device_write.h"
#include "live_recording.h"
#include "pack.h"
#include "port_table.h"
#include "port_transport.h"
#include "protocol_engine.h"
#include "strict_number.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::cli {

namespace {

using link::ProtocolEngine;

struct DeviceOptions {
  std::string port;
  std::string out;
  std::string duration;  // seconds; empty: until interrupted
  unsigned interval = 200;  // milliseconds between live requests
  std::vector<std::string> channels;
  int32_t device = -1;  // -1: the project code of tavomark.dat
  uint16_t wireId = 0;  // a block id on the wire, as the operator gives it
  uint16_t length = 0;
  std::string file;
  uint8_t mode = 0;
  uint8_t value = 0;
  std::string trace;    // --trace FILE: every frame into FILE
  bool dryRun = false;  // write, restore: list the differences only
  uint16_t resolvedDevice = 0;
};

constexpr const char* kCommError = "Communication Error";

std::optional<PackHeader> DescriptionHeader(const std::filesystem::path& projectDir) {
  FileHandle file(projectDir / "tavomark.dat", "rb");
  PackHeader header;
  if (!file || !ReadBinHeader(file.get(), header)) return std::nullopt;
  return header;
}

std::string Alnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : std::string("_");
}

void PrintInfo(const link::InfoData& info) {
  char date[32];
  std::snprintf(date, sizeof date, "%2d/%2d/%2d", info.date[0], info.date[1], info.date[2]);
  const std::string io = info.compVerIo >= 0x61 ? std::string(1, static_cast<char>(info.compVerIo))
                                                 : std::to_string(info.compVerIo);
  std::cout << "firmware code: " << info.firmwareCode << "\n"
            << "firmware revision: " << Alnum(info.fwDevRevision) << " " << Alnum(info.fwNumRevision) << "\n"
            << "I/O version: " << io << "\n"
            << "parameter version: " << Alnum(info.compVerFw) << "\n"
            << "product code: " << info.productCode << "\n"
            << "product version: " << unsigned{info.productVersion} << "\n"
            << "product revision: " << Alnum(info.productRevision[0]) << " " << Alnum(info.productRevision[1])
            << "\n"
            << "date: " << date << "\n"
            << "serial extension: " << info.serialExt << "\n"
            << "serial number: " << info.serialNum << "\n";
}

// The error list's code and hours are in the device's memory order: read as
// stored by a little-endian host and swapped when the monitor struct's flags
// say the firmware's order differs.
bool ErrorListSwapped(const std::filesystem::path& projectDir) {
  DataSet data = CreateDataSet();
  if (LoadValToSendSet(projectDir / "tavomark.dat", data.vts) && UpdateDataSet(data, projectDir)) {
    return data.config.monitor.header.bigEndianMode != data.config.monitor.header.swapDataBlock;
  }
  const auto header = DescriptionHeader(projectDir);
  return header && header->bigEndianMode != header->swapDataBlock;
}

// The entries in use, on their lines' order, as the info page shows them.
void PrintErrors(const std::array<uint8_t, link::kErrorListBytes>& list, bool swapped) {
  const link::ErrorListText text = link::FormatErrorList(list, swapped);
  for (std::size_t line = 0; line < text.lines.size(); ++line)
    if (text.inUse[line]) std::cout << text.lines[line] << "\n";
}

using DeviceAction = std::function<bool(ProtocolEngine& engine, uint8_t liveSize)>;

int RunOnDevice(const CliContext& ctx, DeviceOptions& options, const DeviceAction& action) {
  link::EngineOptions engineOptions;
  engineOptions.ports = link::PortTable::FromEnvironment();
  std::string portError;
  const std::optional<int32_t> port = link::ParsePortOption(options.port, *engineOptions.ports, portError);
  if (!port) {
    std::cerr << portError << "\n";
    return 1;
  }
  uint16_t device = 0;
  if (options.device >= 0) {
    device = static_cast<uint16_t>(options.device);
  } else if (const auto header = DescriptionHeader(ctx.projectDir)) {
    device = header->codeProj;
  } else {
    std::cerr << "Can't read the project code from " << (ctx.projectDir / "tavomark.dat").string()
              << "; give --device\n";
    return 1;
  }

  options.resolvedDevice = device;

  link::ConditionWaiter waiter;
  ProtocolEngine engine(waiter, std::move(engineOptions));
  if (!engine.TlinkInit()) {
    std::cerr << "Can't start the protocol engine\n";
    return 1;
  }
  TraceFile trace;
  if (!options.trace.empty()) trace.Start(engine, options.trace);
  const auto finishTrace = [&trace, &options] {
    std::string error;
    if (trace.Finish(error)) return true;
    std::cerr << "Can't write the trace " << options.trace << ": " << error << "\n";
    return false;
  };
  uint8_t liveSize = 0;
  if (!engine.TlinkOpenComm(*port, device, liveSize)) {
    std::cerr << link::CantConnectText(engine) << "\n";
    (void)finishTrace();
    return 1;
  }
  const bool ok = action(engine, liveSize);
  engine.TlinkCloseComm();
  const bool traced = finishTrace();
  engine.TlinkTerminate();
  return ok && traced ? 0 : 1;
}

bool Failed(const char* what = kCommError) {
  std::cerr << what << "\n";
  return false;
}

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

// Records live buffers until the duration has passed or the user interrupts
// (Ctrl-C, SIGTERM): the file then holds every row read so far.
bool Record(const CliContext& ctx, const DeviceOptions& options, ProtocolEngine& engine, uint8_t liveSize) {
  DataSet data = CreateDataSet();
  const std::filesystem::path description = ctx.projectDir / "tavomark.dat";
  if (auto loaded = LoadValToSendSet(description, data.vts); !loaded)
    return Failed(("Can't load the configuration of " + description.string() + ": " + loaded.message()).c_str());
  if (auto attached = UpdateDataSet(data, ctx.projectDir); !attached)
    return Failed(("Can't load the configuration of " + description.string() + ": " + attached.message()).c_str());
  const StructPack& monitor = data.config.monitor;
  if (GetStructByteSize(monitor) != liveSize) return Failed("Wrong Live Buffer Size");
  std::string error;
  double duration = 0.0;
  if (!options.duration.empty() && (!ParseStrictNumber(options.duration, "--duration", duration, error) || duration <= 0))
    return Failed((error.empty() ? "--duration: the number of seconds must be above 0" : error).c_str());
  auto columns = RecordingColumns(monitor, options.channels);
  LiveRecorder recorder;
  Result<void> opened = columns ? recorder.Open(options.out, monitor, std::move(columns.value()), IsoTimeNow())
                                : Result<void>(columns.error());
  if (!opened) return Failed(("Can't record into " + options.out + ": " + opened.message()).c_str());

  g_interrupted.store(false);
  const auto previousInt = std::signal(SIGINT, OnInterrupt);
  const auto previousTerm = std::signal(SIGTERM, OnInterrupt);
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  bool ok = true;
  for (auto due = start; !g_interrupted.load(); due += std::chrono::milliseconds(options.interval)) {
    if (duration > 0 && elapsed() >= duration) break;
    while (std::chrono::steady_clock::now() < due && !g_interrupted.load())
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(due - std::chrono::steady_clock::now(),
                                                                               std::chrono::milliseconds(20)));
    if (g_interrupted.load()) break;
    const auto live = engine.TlinkGetLiveData(liveSize);
    if (!live) {
      ok = Failed();
      break;
    }
    if (auto written = recorder.Write(elapsed(), *live); !written) {
      ok = Failed(written.message().c_str());
      break;
    }
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  std::cerr << recorder.Rows() << " rows recorded into " << options.out << "\n";
  return ok;
}

}  // namespace

void RegisterDeviceCommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<DeviceOptions>();
  CLI::App* device = app.add_subcommand("device", "Talk to a device through the protocol engine");
  device->require_subcommand(1);
  device->add_option("--port", options->port, "T_CAN, T_SER, -2, -1, 1..255, COMn or a device path")
      ->required();
  device->add_option("--device", options->device, "Device number (default: the project code of tavomark.dat)")
      ->check(CLI::Range(0, 65535));
  device->add_option("--trace", options->trace, "Write every frame sent and received into this file");

  auto add = [&](const char* name, const char* help, DeviceAction action) {
    CLI::App* sub = device->add_subcommand(name, help);
    sub->callback([&ctx, options, action] { ctx.exitCode = RunOnDevice(ctx, *options, action); });
    return sub;
  };

  add("info", "Print the device's information record", [](ProtocolEngine& engine, uint8_t) {
    const auto info = engine.TlinkGetInfoData();
    if (!info) return Failed();
    PrintInfo(*info);
    return true;
  });
  add("version", "Print the firmware version text", [](ProtocolEngine& engine, uint8_t) {
    std::cout << engine.TlinkGetFwVersion() << "\n";
    return true;
  });
  add("name", "Print the data name text", [](ProtocolEngine& engine, uint8_t) {
    std::cout << engine.TlinkGetDataName() << "\n";
    return true;
  });

  CLI::App* read = add("read", "Read LEN bytes of BLOCK into FILE", [options](ProtocolEngine& engine, uint8_t) {
    std::vector<uint8_t> bytes(options->length);
    if (auto received = engine.TlinkReceiveData(options->wireId, bytes); !received)
      return Failed((std::string(kCommError) + ": " + received.message()).c_str());
    const auto saved = SaveFileAtomically(options->file, [&bytes](std::FILE* f) {
      return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    });
    if (!saved) return Failed(("Can't write " + options->file + ": " + saved.message()).c_str());
    return true;
  });
  read->add_option("BLOCK", options->wireId, "Block id (1 param, 2 calib, 3 info, 4 error list)")->required();
  read->add_option("LEN", options->length, "Bytes to read")->required();
  read->add_option("FILE", options->file, "Where the bytes go")->required();

  // Both list the records that change on standard error, store what the
  // device held in <project>/backups, write, and read the block back.
  CLI::App* write = add("write", "Write FILE (a .vts value file, or the block's bytes) into BLOCK",
                        [&ctx, options](ProtocolEngine& engine, uint8_t) {
                          std::vector<uint8_t> image;
                          std::string error;
                          if (!BlockImageOfFile(ctx.projectDir, options->file, options->wireId, image, error))
                            return Failed(error.c_str());
                          return WriteBlockSafely(ctx.projectDir, engine, options->resolvedDevice, options->wireId,
                                                  image, options->dryRun);
                        });
  write->add_option("BLOCK", options->wireId, "Block id")->required();
  write->add_option("FILE", options->file, "The values or bytes to write")->required();
  write->add_flag("--dry-run", options->dryRun, "List the differences, write nothing");

  CLI::App* restore = add("restore", "Send a backup (FILE.img or FILE.vts in <project>/backups) back",
                          [&ctx, options](ProtocolEngine& engine, uint8_t) {
                            const auto backup = LoadDeviceBackup(options->file);
                            if (!backup) return Failed(backup.message().c_str());
                            return WriteBlockSafely(ctx.projectDir, engine, options->resolvedDevice,
                                                    backup.value().name.block, backup.value().image,
                                                    options->dryRun);
                          });
  restore->add_option("FILE", options->file, "The backup")->required();
  restore->add_flag("--dry-run", options->dryRun, "List the differences, write nothing");

  add("live", "Print one live data buffer as hex", [](ProtocolEngine& engine, uint8_t liveSize) {
    const auto live = engine.TlinkGetLiveData(liveSize);
    if (!live) return Failed();
    std::string line;
    char hex[4];
    for (std::size_t i = 0; i < live->size(); ++i) {
      std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", (*live)[i]);
      line += hex;
    }
    std::cout << line << "\n";
    return true;
  });

  CLI::App* function = add("function", "Carry out a forced function (MODE VALUE)",
                           [options](ProtocolEngine& engine, uint8_t) {
                             return engine.TlinkSetFunction(options->mode, options->value) || Failed();
                           });
  function->add_option("MODE", options->mode, "Mode byte (1: forced function)")->required();
  function->add_option("VALUE", options->value, "Function number")->required();

  CLI::App* record = add("record", "Record live data into a CSV file until --duration or Ctrl-C",
                         [&ctx, options](ProtocolEngine& engine, uint8_t liveSize) {
                           return Record(ctx, *options, engine, liveSize);
                         });
  record->add_option("--out", options->out, "The CSV file")->required();
  record->add_option("--duration", options->duration, "Seconds to record (default: until interrupted)");
  record->add_option("--interval", options->interval, "Milliseconds between live requests (default 200)")
      ->check(CLI::Range(10u, 3600000u));
  record->add_option("--channels", options->channels, "Only these values (dotted paths), comma-separated")
      ->delimiter(',');

  add("errors", "Print the device's error list", [&ctx](ProtocolEngine& engine, uint8_t) {
    std::array<uint8_t, link::kErrorListBytes> list{};
    if (!engine.TlinkGetErrorList(list)) return Failed();
    PrintErrors(list, ErrorListSwapped(ctx.projectDir));
    return true;
  });
}

}  // namespace tavomark::cli
