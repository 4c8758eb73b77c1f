#include "frame_trace.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tavomark::link {

namespace {

std::chrono::steady_clock::rep NowTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

std::string TraceCommandName(uint8_t cmd) {
  switch (cmd) {
    case 1: return "GetFwVersion";
    case 4: return "InitSendBlock";
    case 5: return "SendBlock";
    case 6: return "LiveData";
    case 8: return "ReadBlock";
    case 10: return "TestOneShot";
    case 11: return "ReadInfoData";
    case 14: return "GetDataName";
    default: return "cmd " + std::to_string(cmd);
  }
}

const char* TraceOutcomeName(TraceOutcome outcome) {
  switch (outcome) {
    case TraceOutcome::kSent: return "sent";
    case TraceOutcome::kWriteFailed: return "write failed";
    case TraceOutcome::kAnswered: return "answered";
    case TraceOutcome::kTimeOut: return "time-out";
    case TraceOutcome::kBadChecksum: return "bad checksum";
    case TraceOutcome::kWrongCommand: return "wrong command";
    case TraceOutcome::kWrongDevice: return "wrong device";
    case TraceOutcome::kTooLong: return "too long";
    case TraceOutcome::kMalformed: return "malformed";
    case TraceOutcome::kReadError: return "read error";
  }
  return "?";
}

std::string TraceHeaderLine() {
  char line[160];
  std::snprintf(line, sizeof line, "%13s  %-3s %-18s %9s  %7s  %-7s %-14s %s", "time", "dir", "command", "device",
                "length", "sum", "outcome", "bytes");
  return line;
}

std::string FormatTraceLine(const TraceFrame& frame) {
  const char* sum = frame.checksum == ChecksumState::kOk ? "ok" : frame.checksum == ChecksumState::kBad ? "bad" : "-";
  std::string command = TraceCommandName(frame.cmd);
  if (!command.starts_with("cmd ")) command += "(" + std::to_string(frame.cmd) + ")";
  char head[160];
  std::snprintf(head, sizeof head, "%10.3f ms  %-3s %-18s dev %5u  len %3u  sum %-3s %-14s", frame.ms,
                frame.direction == TraceDirection::kSent ? "TX" : "RX", command.c_str(), unsigned{frame.device},
                unsigned{frame.len}, sum, TraceOutcomeName(frame.outcome));
  std::string line = head;
  if (frame.count == 0) line.erase(line.find_last_not_of(' ') + 1);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (uint8_t b : frame.Bytes()) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
  }
  return line;
}

TraceFrame MakeTraceFrame(double ms, TraceDirection direction, uint8_t cmd, uint16_t device, uint8_t len,
                          ChecksumState checksum, TraceOutcome outcome, std::span<const uint8_t> bytes) {
  TraceFrame frame;
  frame.ms = ms;
  frame.direction = direction;
  frame.cmd = cmd;
  frame.device = device;
  frame.len = len;
  frame.checksum = checksum;
  frame.outcome = outcome;
  frame.count = static_cast<uint16_t>(std::min(bytes.size(), frame.bytes.size()));
  std::copy_n(bytes.begin(), frame.count, frame.bytes.begin());
  return frame;
}

FrameTrace::FrameTrace(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)), m_start(NowTicks()) {}

void FrameTrace::Push(const TraceFrame& frame) {
  std::lock_guard lock(m_mutex);
  if (m_frames.size() >= m_capacity) {
    m_frames.pop_front();
    ++m_dropped;
  }
  m_frames.push_back(frame);
}

double FrameTrace::Now() const {
  const auto ticks = std::chrono::steady_clock::duration(NowTicks() - m_start.load(std::memory_order_relaxed));
  return std::chrono::duration<double, std::milli>(ticks).count();
}

std::vector<TraceFrame> FrameTrace::Drain() {
  std::lock_guard lock(m_mutex);
  std::vector<TraceFrame> out(std::make_move_iterator(m_frames.begin()), std::make_move_iterator(m_frames.end()));
  m_frames.clear();
  return out;
}

std::size_t FrameTrace::TakeDropped() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_dropped, 0);
}

void FrameTrace::Restart() {
  std::lock_guard lock(m_mutex);
  m_frames.clear();
  m_dropped = 0;
  m_start.store(NowTicks(), std::memory_order_relaxed);
}

}  // namespace tavomark::link
