#include "protocol_frames.h"

#include <algorithm>
#include <cstdio>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tavomark::link {

namespace {

uint8_t High(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t Low(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }

std::string TextOf(std::span<const uint8_t> payload) {
  const auto end = std::find(payload.begin(), payload.end(), uint8_t{0});
  return std::string(payload.begin(), end);
}

}  // namespace

SecondsClock SteadySeconds() {
  return [] {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  };
}

uint8_t FrameChecksum(std::span<const uint8_t> bytes) {
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  return static_cast<uint8_t>(sum & 0xFF);
}

FrameLink::FrameLink(PortTransport& transport, SecondsClock clock, const std::atomic<FrameTrace*>* traceHook)
    : m_transport(transport), m_clock(std::move(clock)), m_traceHook(traceHook != nullptr ? traceHook : &m_ownTrace) {}

bool FrameLink::TxCommand(uint16_t device, uint8_t cmd, std::span<const uint8_t> payload) {
  if (payload.size() > kMaxPieceBytes) return false;
  const std::size_t len = payload.size();
  m_frame[0] = kStartByte0;
  m_frame[1] = kStartByte1;
  m_frame[2] = static_cast<uint8_t>(len);
  m_frame[3] = cmd;
  m_frame[4] = High(device);
  m_frame[5] = Low(device);
  if (len != 0) std::memcpy(&m_frame[kFrameHeaderBytes], payload.data(), len);
  m_frame[kFrameHeaderBytes + len] = FrameChecksum(std::span(m_frame).subspan(2, 4 + len));
  const std::span<const uint8_t> frame = std::span(m_frame).first(kFrameHeaderBytes + len + 1);
  const bool written = m_transport.WriteFrame(frame);
  m_lastOutcome = written ? TraceOutcome::kSent : TraceOutcome::kWriteFailed;
  if (FrameTrace* trace = m_traceHook->load(std::memory_order_acquire)) {
    trace->Push(MakeTraceFrame(trace->Now(), TraceDirection::kSent, cmd, device, static_cast<uint8_t>(len),
                               ChecksumState::kOk, written ? TraceOutcome::kSent : TraceOutcome::kWriteFailed,
                               frame));
  }
  return written;
}

// The header has been overwritten by the body in the frame buffer; the caller
// kept a copy of it.
void FrameLink::TraceReply(FrameTrace& trace, uint16_t device, uint8_t cmd, std::span<const uint8_t> header,
                           std::span<const uint8_t> body, TraceOutcome outcome) {
  std::array<uint8_t, kTraceFrameBytes> bytes{};
  std::size_t n = std::min(header.size(), bytes.size());
  std::copy_n(header.begin(), n, bytes.begin());
  const std::size_t more = std::min(body.size(), bytes.size() - n);
  std::copy_n(body.begin(), more, bytes.begin() + static_cast<std::ptrdiff_t>(n));
  n += more;
  const bool whole = header.size() == kFrameHeaderBytes;
  const uint8_t replyCmd = whole ? header[3] : cmd;
  const uint16_t replyDevice = whole ? static_cast<uint16_t>((header[4] << 8) | header[5]) : device;
  const uint8_t len = header.size() > 2 ? header[2] : 0;
  const ChecksumState sum = outcome == TraceOutcome::kAnswered      ? ChecksumState::kOk
                            : outcome == TraceOutcome::kBadChecksum ? ChecksumState::kBad
                                                                    : ChecksumState::kNotChecked;
  trace.Push(MakeTraceFrame(trace.Now(), TraceDirection::kReceived, replyCmd, replyDevice, len, sum, outcome,
                            std::span(bytes).first(n)));
}

int FrameLink::Fail() {
  (void)m_transport.PurgeRxBuffer();
  return kRxFailed;
}

int FrameLink::RxResponse(uint16_t device, uint8_t cmd, std::span<uint8_t> buffer, std::size_t maxLen,
                          uint8_t& receivedLen) {
  if (maxLen > kMaxReplyPayload || buffer.size() < maxLen) return Fail();
  FrameTrace* const trace = m_traceHook->load(std::memory_order_acquire);
  std::array<uint8_t, kFrameHeaderBytes> header{};
  std::size_t headerBytes = 0;
  const auto traced = [&](int result, TraceOutcome outcome, std::span<const uint8_t> body = {}) {
    m_lastOutcome = outcome;
    if (trace != nullptr) TraceReply(*trace, device, cmd, std::span(header).first(headerBytes), body, outcome);
    return result;
  };

  std::size_t got = 0;
  if (!m_transport.ReadBytes(std::span(m_frame).first(kFrameHeaderBytes), got))
    return traced(Fail(), TraceOutcome::kReadError);
  if (trace != nullptr) {
    headerBytes = std::min(got, kFrameHeaderBytes);
    std::copy_n(m_frame.begin(), headerBytes, header.begin());
  }
  if (got == 0) return traced(kRxNothing, TraceOutcome::kTimeOut);
  if (got != kFrameHeaderBytes || m_frame[0] != kStartByte0 || m_frame[1] != kStartByte1)
    return traced(Fail(), TraceOutcome::kMalformed);

  const uint8_t len = m_frame[2];
  if (len > maxLen) return traced(Fail(), TraceOutcome::kTooLong);
  receivedLen = len;
  const uint16_t replyDevice = static_cast<uint16_t>((m_frame[4] << 8) | m_frame[5]);
  if (m_frame[3] != cmd) return traced(Fail(), TraceOutcome::kWrongCommand);
  if (replyDevice != device) return traced(Fail(), TraceOutcome::kWrongDevice);

  // The sum starts with the header's LEN, CMD and device bytes; the payload
  // then overwrites them in the frame buffer.
  unsigned sum = static_cast<unsigned>(m_frame[2]) + m_frame[3] + m_frame[4] + m_frame[5];
  if (!m_transport.ReadBytes(std::span(m_frame).first(std::size_t{len} + 1), got))
    return traced(Fail(), TraceOutcome::kReadError);
  const std::span<const uint8_t> body = std::span(m_frame).first(std::min(got, std::size_t{len} + 1));
  if (got == 0) return traced(kRxNothing, TraceOutcome::kTimeOut);
  if (got != std::size_t{len} + 1) return traced(Fail(), TraceOutcome::kMalformed, body);

  if (len != 0) std::memcpy(buffer.data(), m_frame.data(), len);
  for (std::size_t i = 0; i < len; ++i) sum += m_frame[i];
  if (static_cast<uint8_t>(sum & 0xFF) != m_frame[len]) return traced(Fail(), TraceOutcome::kBadChecksum, body);
  return traced(kRxValid, TraceOutcome::kAnswered, body);
}

bool FrameLink::ReadBlock(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer, uint8_t len,
                          uint16_t offset, bool listenOnly) {
  if (len > kMaxPieceBytes || buffer.size() < len) return false;
  const uint8_t request[5] = {High(offset), Low(offset), High(blockId), Low(blockId), len};
  if (!listenOnly && !TxCommand(device, kCmdReadBlock, request)) return false;
  uint8_t received = 0;
  return RxResponse(device, kCmdReadBlock, buffer, len, received) == kRxValid && received == len;
}

int FrameLink::InitSendBlock(uint16_t device, uint16_t blockId, uint16_t totalLen, bool listenOnly) {
  const uint8_t request[4] = {High(totalLen), Low(totalLen), High(blockId), Low(blockId)};
  if (!listenOnly && !TxCommand(device, kCmdInitSendBlock, request)) return kRxFailed;
  std::array<uint8_t, kMaxPieceBytes> scratch{};
  uint8_t received = 0;
  return RxResponse(device, kCmdInitSendBlock, scratch, scratch.size(), received);
}

int FrameLink::SendBlock(uint16_t device, std::span<const uint8_t> data, uint16_t& receivedCount,
                         bool listenOnly) {
  if (data.size() > kMaxPieceBytes) return kRxFailed;
  if (!listenOnly && !TxCommand(device, kCmdSendBlock, data)) return kRxFailed;
  std::array<uint8_t, 2> count{};
  uint8_t received = 0;
  const int result = RxResponse(device, kCmdSendBlock, count, count.size(), received);
  if (result != kRxValid) return result;
  if (received < 2) return kRxFailed;
  receivedCount = static_cast<uint16_t>((count[0] << 8) | count[1]);
  return kRxValid;
}

bool FrameLink::ReadInfoData(uint16_t device, std::span<uint8_t> buffer) {
  if (buffer.size() > kMaxReplyPayload) return false;
  // A lost request shows as a missing reply, so the send's outcome is not checked.
  (void)TxCommand(device, kCmdReadInfo, {});
  uint8_t received = 0;
  return RxResponse(device, kCmdReadInfo, buffer, buffer.size(), received) == kRxValid &&
         received == buffer.size();
}

bool FrameLink::SetTestOneShot(uint16_t device, uint8_t first, uint8_t second) {
  const uint8_t request[2] = {first, second};
  if (!TxCommand(device, kCmdTestOneShot, request)) return false;
  uint8_t received = 0;
  return RxResponse(device, kCmdTestOneShot, {}, 0, received) == kRxValid && received == 0;
}

bool FrameLink::GetLiveData(uint16_t device, uint8_t mode, uint16_t value, std::span<uint8_t> buffer,
                            uint8_t len) {
  if (buffer.size() < len) return false;
  const uint8_t request[3] = {mode, High(value), Low(value)};
  if (!TxCommand(device, kCmdLiveData, request)) return false;
  uint8_t received = 0;
  return RxResponse(device, kCmdLiveData, buffer, len, received) == kRxValid && received == len;
}

bool FrameLink::Ping(uint16_t device, std::span<uint8_t> buffer, uint8_t& size) {
  const std::size_t maxLen = size != 0 ? size : kMaxReplyPayload;
  if (buffer.size() < maxLen) return false;
  const uint8_t request[3] = {0, 0, 0};
  if (!TxCommand(device, kCmdLiveData, request)) return false;
  uint8_t received = 0;
  if (size != 0) {
    return RxResponse(device, kCmdLiveData, buffer, size, received) == kRxValid && received == size;
  }
  if (RxResponse(device, kCmdLiveData, buffer, kMaxReplyPayload, received) != kRxValid) return false;
  // The second listen normally times out; a device that sends a second frame
  // has not told its size reliably, and size stays 0.
  const uint8_t firstLen = received;
  uint8_t again = 0;
  if (RxResponse(device, kCmdLiveData, buffer, firstLen, again) != kRxValid) size = firstLen;
  return true;
}

bool FrameLink::ReceiveText(uint16_t device, uint8_t cmd, std::string& text) {
  std::array<uint8_t, kMaxPieceBytes> payload{};
  uint8_t received = 0;
  if (RxResponse(device, cmd, payload, payload.size(), received) != kRxValid) return false;
  text = TextOf(std::span(payload).first(received));
  return true;
}

bool FrameLink::GetFwVersion(uint16_t device, std::string& text) {
  text.clear();
  return TxCommand(device, kCmdGetFwVersion, {}) && ReceiveText(device, kCmdGetFwVersion, text);
}

bool FrameLink::GetDataName(uint16_t device, std::string& text, uint8_t index) {
  text.clear();
  const uint8_t request[1] = {index};
  if (TxCommand(device, kCmdGetDataName, request)) {
    std::string stale;
    (void)ReceiveText(device, kCmdGetDataName, stale);
  }
  return TxCommand(device, kCmdGetDataName, request) && ReceiveText(device, kCmdGetDataName, text);
}

bool FrameLink::FailTransfer(uint16_t blockId, std::size_t offset, std::size_t size, const char* what) {
  // A reply that passed its checks but held too little still fails.
  if (what == nullptr) what = m_lastOutcome == TraceOutcome::kAnswered ? "short answer" : TraceOutcomeName(m_lastOutcome);
  m_failure = "block " + std::to_string(blockId) + " at byte " + std::to_string(offset) + " of " +
              std::to_string(size) + ": " + what;
  return false;
}

bool FrameLink::RequestData(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer) {
  m_failure.clear();
  if (buffer.size() > 0xFFFF) return FailTransfer(blockId, 0, buffer.size(), "more than 65535 bytes");
  for (std::size_t offset = 0; offset < buffer.size();) {
    const std::size_t piece = std::min(buffer.size() - offset, kMaxPieceBytes);
    if (!ReadBlock(device, blockId, buffer.subspan(offset, piece), static_cast<uint8_t>(piece),
                   static_cast<uint16_t>(offset), false)) {
      return FailTransfer(blockId, offset, buffer.size());
    }
    offset += piece;
  }
  return true;
}

bool FrameLink::RequestDataOldelim(uint16_t device, uint16_t blockId, std::span<uint8_t> buffer) {
  return RequestData(device, blockId, buffer);
}

bool FrameLink::SendData(uint16_t device, uint16_t blockId, std::span<const uint8_t> data) {
  m_failure.clear();
  if (data.size() > 0xFFFF) return FailTransfer(blockId, 0, data.size(), "more than 65535 bytes");
  const double start = m_clock();
  int result = InitSendBlock(device, blockId, static_cast<uint16_t>(data.size()), false);
  while (result == kRxNothing && m_clock() - start < kSendWindowSeconds) {
    result = InitSendBlock(device, blockId, static_cast<uint16_t>(data.size()), true);
  }
  if (result != kRxValid) return FailTransfer(blockId, 0, data.size());

  for (std::size_t offset = 0; offset < data.size();) {
    const std::size_t piece = std::min(data.size() - offset, kMaxPieceBytes);
    const std::span<const uint8_t> chunk = data.subspan(offset, piece);
    const double pieceStart = m_clock();
    uint16_t count = 0;
    result = SendBlock(device, chunk, count, false);
    while (result == kRxNothing && m_clock() - pieceStart < kSendWindowSeconds) {
      result = SendBlock(device, chunk, count, true);
    }
    if (result != kRxValid) return FailTransfer(blockId, offset, data.size());
    if (count != offset + piece) return FailTransfer(blockId, offset, data.size(), "the device counted other bytes");
    offset += piece;
  }
  return true;
}

ErrorListText FormatErrorList(std::span<const uint8_t, kErrorListBytes> list, bool swap) {
  ErrorListText out;
  int used = 0;
  for (std::size_t entry = 0; entry < kErrorLines; ++entry) {
    const uint8_t* bytes = list.data() + entry * 8;
    const uint8_t place = bytes[4];
    if ((place >> 4) == 0) continue;
    used = place >> 4;
    const int line = place & 0x0F;
    if (line >= kErrorLines) continue;
    auto code = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    auto hours = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    if (swap) {
      code = static_cast<uint16_t>((code >> 8) | (code << 8));
      hours = static_cast<uint16_t>((hours >> 8) | (hours << 8));
    }
    char text[64];
    std::snprintf(text, sizeof text, "Err:%05u (%03d-%03d) Rep:%02u - %05uh %02um", unsigned{code}, code >> 8,
                  code & 0xFF, unsigned{bytes[5]}, unsigned{hours}, unsigned{bytes[6]});
    out.lines[static_cast<std::size_t>(line)] = text;
    out.inUse[static_cast<std::size_t>(line)] = true;
  }
  for (int line = std::min(used, kErrorLines); line < kErrorLines; ++line) {
    out.lines[static_cast<std::size_t>(line)] = "--";
    out.inUse[static_cast<std::size_t>(line)] = false;
  }
  return out;
}

}  // namespace tavomark::link
