#pragma once
// The device protocol: one request frame, one reply frame.
//
//   offset 0    1    2    3    4       5       6 ..        6+LEN
//          AA   F0   LEN  CMD  dev hi  dev lo  payload     checksum
//
// LEN is the payload length (requests 0..128, replies 0..240); 16-bit fields
// are big-endian. The checksum is the 8-bit sum of LEN, CMD, both device bytes
// and the payload; the start bytes are not summed.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "frame_trace.h"
#include "port_transport.h"

namespace tavomark::link {

inline constexpr uint8_t kStartByte0 = 0xAA;
inline constexpr uint8_t kStartByte1 = 0xF0;
inline constexpr std::size_t kFrameHeaderBytes = 6;
// At most 128 bytes per request payload: the device's receive buffer holds no more.
inline constexpr std::size_t kMaxPieceBytes = 128;
inline constexpr std::size_t kMaxReplyPayload = 240;
inline constexpr std::size_t kInfoRecordBytes = 18;
// Block transfers wait this long for a reply before giving up on it.
inline constexpr double kSendWindowSeconds = 10.0;

enum Command : uint8_t {
  kCmdGetFwVersion = 1,
  kCmdInitSendBlock = 4,
  kCmdSendBlock = 5,
  kCmdLiveData = 6,
  kCmdReadBlock = 8,
  kCmdTestOneShot = 10,
  kCmdReadInfo = 11,
  kCmdGetDataName = 14,
};

// Block ids on the wire.
inline constexpr uint16_t kBlockParam = 1;
inline constexpr uint16_t kBlockCalib = 2;
inline constexpr uint16_t kBlockInfo = 3;
inline constexpr uint16_t kBlockErrorList = 4;
inline constexpr std::size_t kErrorListBytes = 80;

// RxResponse results.
inline constexpr int kRxValid = 0;
inline constexpr int kRxNothing = 1;
inline constexpr int kRxFailed = -1;

// Seconds from any fixed point; the send windows are measured with it.
using SecondsClock = std::function<double()>;
[[nodiscard]] SecondsClock SteadySeconds();

// The frame layer over one open channel. Not thread-safe: the engine's thread
// runs one exchange at a time.
class FrameLink {
 public:
  // traceHook, when given, is where the link looks for its trace on every
  // frame (the engine's switch); without it the link has a switch of its own.
  explicit FrameLink(PortTransport& transport, SecondsClock clock = SteadySeconds(),
                     const std::atomic<FrameTrace*>* traceHook = nullptr);

  // Frames go to trace from now on; null stops tracing. Only for a link made
  // without a hook.
  void SetTrace(FrameTrace* trace) { m_ownTrace.store(trace, std::memory_order_release); }

  // Builds and writes one request. False when len is over 128, when the
  // payload is shorter than len, or when the write fails.
  [[nodiscard]] bool TxCommand(uint16_t device, uint8_t cmd, std::span<const uint8_t> payload);

  // Waits for the reply to cmd from device and copies its payload (at most
  // maxLen bytes) into buffer; receivedLen takes the reply's LEN once LEN has
  // passed the maxLen check. 0 valid, 1 nothing arrived, -1 any other failure
  // (the receive queue is emptied then). The payload is copied even when the
  // checksum then fails.
  [[nodiscard]] int RxResponse(uint16_t device, uint8_t cmd, std::span<uint8_t> buffer, std::size_t maxLen,
                               uint8_t& receivedLen);

  // Single-frame commands. listenOnly skips sending and waits for a reply again.
  [[nodiscard]] bool ReadBlock(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer, uint8_t len,
                               uint16_t offset, bool listenOnly);
  [[nodiscard]] int InitSendBlock(uint16_t device, uint16_t blockId, uint16_t totalLen, bool listenOnly);
  [[nodiscard]] int SendBlock(uint16_t device, std::span<const uint8_t> data, uint16_t& receivedCount,
                              bool listenOnly);
  [[nodiscard]] bool ReadInfoData(uint16_t device, std::span<uint8_t> buffer);
  [[nodiscard]] bool SetTestOneShot(uint16_t device, uint8_t first, uint8_t second);
  [[nodiscard]] bool GetLiveData(uint16_t device, uint8_t mode, uint16_t value, std::span<uint8_t> buffer,
                                 uint8_t len);
  // size 0 finds the live buffer's size (one extra time-out), any other
  // size checks it. buffer needs 240 bytes to find, size bytes to check.
  [[nodiscard]] bool Ping(uint16_t device, std::span<uint8_t> buffer, uint8_t& size);
  // Texts end at LEN or at a NUL in the payload; empty on failure.
  [[nodiscard]] bool GetFwVersion(uint16_t device, std::string& text);
  // The device answers the first request with a stale name, so the request is
  // sent twice and the second reply used.
  [[nodiscard]] bool GetDataName(uint16_t device, std::string& text, uint8_t index);

  // Block transfers: buffer.size() / data.size() bytes (at most 65535), in
  // pieces of at most 128 bytes.
  [[nodiscard]] bool RequestData(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer);
  [[nodiscard]] bool RequestDataOldelim(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer);
  [[nodiscard]] bool SendData(uint16_t device, uint16_t blockId, std::span<const uint8_t> data);
  // Why the last block transfer failed: the block, the byte it stopped at and
  // what the last frame did ("block 2 at byte 128 of 200: time-out").
  [[nodiscard]] const std::string& LastFailure() const { return m_failure; }

 private:
  bool FailTransfer(uint16_t blockId, std::size_t offset, std::size_t size, const char* what = nullptr);
  [[nodiscard]] bool ReceiveText(uint16_t device, uint8_t cmd, std::string& text);
  [[nodiscard]] int Fail();
  void TraceReply(FrameTrace& trace, uint16_t device, uint8_t cmd, std::span<const uint8_t> header,
                  std::span<const uint8_t> body, TraceOutcome outcome);

  PortTransport& m_transport;
  SecondsClock m_clock;
  std::atomic<FrameTrace*> m_ownTrace{nullptr};
  const std::atomic<FrameTrace*>* m_traceHook;
  // One buffer serves both directions: a 135-byte request or a 241-byte reply body.
  std::array<uint8_t, 256> m_frame{};
  TraceOutcome m_lastOutcome = TraceOutcome::kSent;  // what the last frame sent or read did
  std::string m_failure;
};

// The 8-bit sum of the bytes.
[[nodiscard]] uint8_t FrameChecksum(std::span<const uint8_t> bytes);

// The device's error list as text: "Err:%05u (%03d-%03d) Rep:%02u -
// %05uh %02um" on the line (0-9) each entry in use names (low nibble of its
// position byte); lines from the count of entries in use (high nibble of the
// last one) on are "--"; other lines are left empty (they keep what they
// showed). Code and hours are read low byte first and swapped when swap is
// set (the firmware's byte order differs from its block order).
inline constexpr int kErrorLines = 10;
struct ErrorListText {
  std::array<std::string, kErrorLines> lines;
  std::array<bool, kErrorLines> inUse{};
};
[[nodiscard]] ErrorListText FormatErrorList(std::span<const uint8_t, kErrorListBytes> list, bool swap);

}  // namespace tavomark::link
