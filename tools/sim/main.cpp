// tavomark-sim: a simulated device on a pseudo-terminal. It prints the path of
// its port, then answers the device protocol until it is told to stop
// (SIGTERM, SIGINT, SIGHUP).

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device_memory.h"
#include "fault_plan.h"
#include "project_memory.h"
#include "pty_port.h"
#include "sim_device.h"
#include "sim_frame.h"

namespace {

using namespace tavomark::sim;

// A frame that stops arriving half-way for this long is forgotten: the PC has
// given up on it and will purge and start over.
constexpr int kInterByteTimeoutMs = 100;

int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(g_stopPipe[1], &byte, 1);
}

struct Options {
  std::string link;
  std::string logPath;
  int device = -1;
  std::vector<std::string> blockFiles;
  std::string infoFile;
  std::optional<uint16_t> infoCode;
  std::optional<std::string> infoPar;
  std::optional<uint16_t> serial;
  std::string projectDir;
  std::string valuesFile;
  std::string fwVersion;
  std::string dataName;
  std::size_t liveSize = 32;
  uint64_t alarms = 0;
  bool bigEndian = false;
  std::vector<std::string> faults;
  int silentAfter = -1;
};

// The request log: one line per frame, flushed at once so a reader sees it
// while the device runs. It is a running trace, not a saved document.
class RequestLog {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    if (path == "-") {
      m_file = stderr;
      return true;
    }
    m_owned.reset(std::fopen(path.c_str(), "w"));
    m_file = m_owned.get();
    return m_file != nullptr;
  }
  void Line(const std::string& text) {
    if (m_file == nullptr) return;
    std::fprintf(m_file, "%s\n", text.c_str());
    std::fflush(m_file);
  }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> m_owned;
  std::FILE* m_file = nullptr;
};

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  if (bytes.size() > kMaxBlockBytes) {
    error = path + " is larger than a block can be (65535 bytes)";
    return false;
  }
  return true;
}

// The info fields the options set, over the ones the memory came with.
void ApplyInfoOptions(const Options& opt, InfoFields& info) {
  if (opt.infoCode) info.projectCode = *opt.infoCode;
  if (opt.infoPar && !opt.infoPar->empty()) info.parVersion = (*opt.infoPar)[0];
  if (opt.serial) info.serialNumber = *opt.serial;
}

bool BuildMemory(const Options& opt, DeviceMemory& memory, std::string& error) {
  InfoFields info;
  info.projectCode = 1;
  if (!opt.projectDir.empty() || !opt.valuesFile.empty()) {
    if (opt.projectDir.empty() || opt.valuesFile.empty()) {
      error = "--project and --values go together";
      return false;
    }
    if (!LoadProjectMemory(opt.projectDir, opt.valuesFile, info, memory, error)) return false;
    ApplyInfoOptions(opt, info);
    memory.info = EncodeInfoRecord(info);
  } else {
    ApplyInfoOptions(opt, info);
    memory = MakeSampleMemory(info, opt.liveSize);
    if (opt.bigEndian) {
      memory.bigEndianMode = 1;
      memory.blocks[kErrorListBlock] = BuildErrorList(SampleErrorEntries(), memory.LittleEndian());
    }
  }
  memory.initialAlarms = opt.alarms;
  if (!opt.infoFile.empty()) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(opt.infoFile, bytes, error)) return false;
    if (bytes.size() != kInfoRecordBytes) {
      error = opt.infoFile + ": an info record has 18 bytes, not " + std::to_string(bytes.size());
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), memory.info.begin());
  }
  for (const std::string& entry : opt.blockFiles) {
    const auto eq = entry.find('=');
    unsigned id = 0;
    const char* end = entry.data() + (eq == std::string::npos ? entry.size() : eq);
    const auto parsed = std::from_chars(entry.data(), end, id);
    if (eq == std::string::npos || parsed.ec != std::errc{} || parsed.ptr != end || id < kParamBlock ||
        id > kErrorListBlock) {
      error = "--block wants ID=FILE with ID 1 to 4, not \"" + entry + "\"";
      return false;
    }
    if (!ReadWholeFile(entry.substr(eq + 1), memory.blocks[static_cast<uint16_t>(id)], error)) return false;
    if (id == kParamBlock) {
      const std::string name = NameFromParamBlock(memory.blocks[kParamBlock]);
      if (!name.empty()) memory.dataName = name;
    }
  }
  if (!opt.fwVersion.empty()) memory.fwVersion = opt.fwVersion;
  if (!opt.dataName.empty()) memory.dataName = opt.dataName;
  return true;
}

bool BuildFaults(const Options& opt, FaultPlan& plan, std::string& error) {
  for (const std::string& text : opt.faults) {
    FaultRule rule;
    if (!ParseFaultRule(text, rule, error)) return false;
    plan.Add(rule);
  }
  if (opt.silentAfter >= 0) plan.SilentAfter(static_cast<unsigned>(opt.silentAfter));
  return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void ServeItems(FrameReader& reader, SimDevice& device, RequestLog& log, int fd,
                std::chrono::steady_clock::time_point start) {
  while (auto item = reader.Next()) {
    if (const std::size_t skipped = reader.TakeSkipped()) log.Line("skipped " + std::to_string(skipped) + " bytes");
    if (item->kind == FrameReader::Kind::Oversize) {
      log.Line("request with LEN over 128 ignored");
      continue;
    }
    if (item->kind == FrameReader::Kind::BadChecksum) {
      log.Line(DescribeFrame(item->frame) + " [bad checksum, ignored]");
      continue;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Reply reply = device.Answer(item->frame, seconds);
    if (reply.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
    // The reply goes out before its log line: whoever reads the log knows the
    // reply, if any, is already on its way.
    const bool written = reply.bytes.empty() || WriteAll(fd, reply.bytes);
    const std::string note = !written ? "write failed: " + std::string(std::strerror(errno)) : reply.note;
    log.Line(DescribeFrame(item->frame) + (note.empty() ? "" : " [" + note + "]"));
  }
}

int Run(PtyPort& port, SimDevice& device, RequestLog& log) {
  const auto start = std::chrono::steady_clock::now();
  FrameReader reader;
  std::vector<uint8_t> chunk(512);
  for (;;) {
    pollfd fds[2] = {{port.MasterFd(), POLLIN, 0}, {g_stopPipe[0], POLLIN, 0}};
    const int ready = ::poll(fds, 2, reader.HasPartial() ? kInterByteTimeoutMs : -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      std::perror("tavomark-sim: poll");
      return 1;
    }
    if (fds[1].revents != 0) return 0;
    if (ready == 0) {
      log.Line("incomplete frame dropped");
      reader.DropPartial();
      continue;
    }
    const ssize_t n = ::read(port.MasterFd(), chunk.data(), chunk.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      std::perror("tavomark-sim: read");
      return 1;
    }
    reader.Feed(std::span(chunk.data(), static_cast<std::size_t>(n)));
    ServeItems(reader, device, log, port.MasterFd(), start);
  }
}

void AddOptions(CLI::App& app, Options& opt) {
  app.add_option("--link", opt.link, "Also reach the port through a symlink at this path");
  app.add_option("--log", opt.logPath, "Write one line per request frame to this file ('-': stderr)");
  app.add_option("--device", opt.device, "Answer only frames for this device number")->check(CLI::Range(0, 65535));
  app.add_option("--block", opt.blockFiles, "ID=FILE: the bytes of block ID (1 to 4) from FILE");
  app.add_option("--info", opt.infoFile, "The 18-byte info record, as sent, from FILE");
  app.add_option("--project", opt.projectDir, "Project directory whose config folder describes --values");
  app.add_option("--values", opt.valuesFile, "Value file (.vts) whose images the blocks hold");
  app.add_option("--info-code", opt.infoCode, "Project code in the info record");
  app.add_option("--info-par", opt.infoPar, "Parameter version letter in the info record");
  app.add_option("--serial", opt.serial, "Serial number in the info record");
  app.add_option("--fw-version", opt.fwVersion, "Firmware version text");
  app.add_option("--data-name", opt.dataName, "Data name text");
  app.add_option("--live-size", opt.liveSize, "Bytes in the live buffer (without a project)")->check(CLI::Range(0, 240));
  app.add_option("--alarms", opt.alarms, "Alarm bits already latched at start");
  app.add_flag("--big-endian", opt.bigEndian,
               "16-bit values high byte first in the device's memory (without a project)");
  app.add_option("--fault", opt.faults,
                 "KIND[:CMD[:N]] with KIND silence, bad-checksum, wrong-command, wrong-device, truncated, "
                 "oversize-len, miscount, forget-write or delay=MS; CMD a command code or '*'; N the request number");
  app.add_option("--silent-after", opt.silentAfter, "Answer nothing after this many replies")
      ->check(CLI::NonNegativeNumber);
}

}  // namespace

int main(int argc, char** argv) {
  // A device whose program is gone has no one to talk to: when the process
  // that started it ends, even by a crash, it stops too (and a test runner
  // does not wait for ever on the output it holds open).
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  CLI::App app{"tavomark-sim: a simulated device on a pseudo-terminal"};
  Options opt;
  AddOptions(app, opt);
  app.footer(
      "Prints the port's path on the first line of stdout, then answers until SIGTERM or SIGINT.\n"
      "Without --project: block 1 is a 300-byte image with its 36-byte trailer (data name \"Sample\"),\n"
      "block 2 a 64-byte and block 3 a 40-byte image with 4-byte trailers, block 4 an error list of\n"
      "three entries; the live buffer holds a u16 reply counter at 0, an alarm word at 2, a flag\n"
      "word at 4, a ramp 0..1000 at 6 and byte sines from 8 on.\n"
      "Forced functions: 0 clears the alarm bits, 2 empties the error list, 10 restarts the counters.");
  CLI11_PARSE(app, argc, argv);

  std::string error;
  DeviceMemory memory;
  FaultPlan faults;
  if (!BuildMemory(opt, memory, error) || !BuildFaults(opt, faults, error)) {
    std::cerr << "tavomark-sim: " << error << "\n";
    return 1;
  }
  SimDevice device(std::move(memory), std::move(faults));
  if (opt.device >= 0) device.AnswerOnly(static_cast<uint16_t>(opt.device));

  RequestLog log;
  if (!log.Open(opt.logPath)) {
    std::cerr << "tavomark-sim: cannot open the log " << opt.logPath << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  PtyPort port;
  if (!port.Open(error) || (!opt.link.empty() && !port.MakeLink(opt.link, error))) {
    std::cerr << "tavomark-sim: " << error << "\n";
    return 1;
  }
  if (::pipe2(g_stopPipe, O_CLOEXEC) != 0) {
    std::perror("tavomark-sim: pipe");
    return 1;
  }
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  ::sigaction(SIGTERM, &stop, nullptr);
  ::sigaction(SIGINT, &stop, nullptr);
  ::sigaction(SIGHUP, &stop, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::printf("%s\n", port.SlavePath().c_str());
  std::fflush(stdout);
  return Run(port, device, log);
}
