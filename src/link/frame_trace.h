#pragma once
// The traffic trace: every frame the PC sends and every reply it reads, with
// what became of it. The engine's thread pushes frames into a bounded queue
// under a short-held mutex; a reader (the traffic window's timer, the CLI's
// trace file) drains it on its own thread. With no trace attached the frame
// layer pays one pointer test per frame.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tavomark::link {

enum class TraceDirection : uint8_t { kSent, kReceived };

// What became of a frame. A sent frame is kSent or kWriteFailed; a reply is
// one of the others. kTimeOut has no bytes (nothing arrived) or only the
// header (the rest never came).
enum class TraceOutcome : uint8_t {
  kSent,
  kWriteFailed,
  kAnswered,
  kTimeOut,
  kBadChecksum,
  kWrongCommand,
  kWrongDevice,
  kTooLong,
  kMalformed,
  kReadError,
};
inline constexpr std::size_t kTraceOutcomes = 10;

enum class ChecksumState : uint8_t { kOk, kBad, kNotChecked };

// The longest frame: 7 + 240 bytes.
inline constexpr std::size_t kTraceFrameBytes = 247;

struct TraceFrame {
  double ms = 0.0;  // since the trace started
  TraceDirection direction = TraceDirection::kSent;
  uint8_t cmd = 0;       // the frame's CMD byte, or the command awaited when none arrived
  uint16_t device = 0;   // the frame's device number, or the one awaited
  uint8_t len = 0;       // the frame's LEN byte (0 when it never arrived)
  ChecksumState checksum = ChecksumState::kNotChecked;
  TraceOutcome outcome = TraceOutcome::kSent;
  uint16_t count = 0;    // bytes held below
  std::array<uint8_t, kTraceFrameBytes> bytes{};

  [[nodiscard]] std::span<const uint8_t> Bytes() const { return {bytes.data(), count}; }
};

// "ReadBlock", "SendBlock", ... ; "cmd 42" for a code the protocol does not use.
[[nodiscard]] std::string TraceCommandName(uint8_t cmd);
// "answered", "time-out", "bad checksum", "wrong command", "wrong device", ...
[[nodiscard]] const char* TraceOutcomeName(TraceOutcome outcome);
// One line of the trace, the same in the traffic window's saved text and in
// the CLI's trace file:
//   "   123.456 ms  TX  ReadBlock(8)      dev   258  len   5  sum ok   sent           AA F0 05 ..."
[[nodiscard]] std::string FormatTraceLine(const TraceFrame& frame);
// The column heads that go above such lines.
[[nodiscard]] std::string TraceHeaderLine();

class FrameTrace {
 public:
  // At most capacity frames wait for the reader; beyond that the oldest go
  // and are counted as dropped.
  explicit FrameTrace(std::size_t capacity = 8192);

  // Engine's thread.
  void Push(const TraceFrame& frame);
  // Milliseconds since the trace was made (or restarted).
  [[nodiscard]] double Now() const;

  // Reader's thread: every waiting frame, oldest first.
  [[nodiscard]] std::vector<TraceFrame> Drain();
  // Frames lost to a full queue since the last call.
  [[nodiscard]] std::size_t TakeDropped();
  // Empties the queue and restarts the clock.
  void Restart();

 private:
  const std::size_t m_capacity;
  std::atomic<std::chrono::steady_clock::rep> m_start;
  std::mutex m_mutex;
  std::deque<TraceFrame> m_frames;
  std::size_t m_dropped = 0;
};

// Builds a trace frame from the bytes of a frame (at most kTraceFrameBytes
// are kept).
[[nodiscard]] TraceFrame MakeTraceFrame(double ms, TraceDirection direction, uint8_t cmd, uint16_t device,
                                        uint8_t len, ChecksumState checksum, TraceOutcome outcome,
                                        std::span<const uint8_t> bytes);

}  // namespace tavomark::link
