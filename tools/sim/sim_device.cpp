#include "sim_device.h"

#include <algorithm>

namespace tavomark::sim {

namespace {

std::vector<uint8_t> TextPayload(const std::string& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), kMaxRequestPayload);
  return {text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n)};
}

uint16_t Big16(const std::vector<uint8_t>& p, std::size_t at) {
  return static_cast<uint16_t>((p[at] << 8) | p[at + 1]);
}

bool KeptBlock(uint16_t id) { return id >= kParamBlock && id <= kErrorListBlock; }

}  // namespace

SimDevice::SimDevice(DeviceMemory memory, FaultPlan faults)
    : m_memory(std::move(memory)),
      m_faults(std::move(faults)),
      m_live(m_memory.live, m_memory.bigEndianMode, m_memory.swapDataBlock) {
  m_live.LatchAlarms(m_memory.initialAlarms);
}

Reply SimDevice::Answer(const Frame& request, double seconds) {
  Reply reply;
  if (m_onlyDevice && *m_onlyDevice != request.device) {
    reply.note = "not this device";
    return reply;
  }
  const FaultDecision fault = m_faults.Decide(request.cmd);
  std::optional<std::vector<uint8_t>> payload = Serve(request, seconds, fault, reply.note);
  if (!payload) return reply;
  if (fault.silence) {
    reply.note = "fault: silence";
    return reply;
  }

  if (fault.miscount && request.cmd == kCmdSendPiece && payload->size() == 2) {
    const uint16_t count = static_cast<uint16_t>(Big16(*payload, 0) - 1);
    (*payload)[0] = static_cast<uint8_t>(count >> 8);
    (*payload)[1] = static_cast<uint8_t>(count);
  }
  // 255 is above every length the PC accepts (replies carry at most 240).
  if (fault.oversizeLen) payload->resize(255, 0);
  const uint8_t cmd = fault.wrongCommand ? static_cast<uint8_t>(request.cmd ^ 0x80) : request.cmd;
  const uint16_t device = fault.wrongDevice ? static_cast<uint16_t>(request.device + 1) : request.device;
  reply.bytes = BuildFrame(cmd, device, *payload);
  if (fault.badChecksum) ++reply.bytes.back();
  // The header and half of the rest: enough to start a frame, never enough to end it.
  if (fault.truncated) reply.bytes.resize(3 + (reply.bytes.size() - 3) / 2);
  reply.delayMs = fault.delayMs;
  m_faults.ReplySent();
  return reply;
}

std::optional<std::vector<uint8_t>> SimDevice::Serve(const Frame& request, double seconds,
                                                     const FaultDecision& fault, std::string& note) {
  const auto& p = request.payload;
  switch (request.cmd) {
    case kCmdFwVersion:
      return TextPayload(m_memory.fwVersion);
    case kCmdDataName:
      if (p.size() != 1) break;
      return p[0] == 0 ? TextPayload(m_memory.dataName) : std::vector<uint8_t>{};
    case kCmdInfo:
      return std::vector<uint8_t>(m_memory.info.begin(), m_memory.info.end());
    case kCmdTestOneShot:
      if (p.size() != 2) break;
      return std::vector<uint8_t>{};
    case kCmdReadBlock:
      return ReadBlock(p, note);
    case kCmdInitSend:
      return InitSend(p, note);
    case kCmdSendPiece:
      if (p.empty()) break;
      return SendPiece(p, fault.forgetWrite, note);
    case kCmdLive:
      return Live(p, seconds, note);
    default:
      note = "unknown command";
      return std::nullopt;
  }
  note = "malformed request";
  return std::nullopt;
}

// A read past the block's end is answered with the bytes that exist, so the PC
// sees a short reply at once instead of waiting for a time-out.
std::optional<std::vector<uint8_t>> SimDevice::ReadBlock(const std::vector<uint8_t>& p, std::string& note) {
  if (p.size() != 5) {
    note = "malformed request";
    return std::nullopt;
  }
  const std::size_t offset = Big16(p, 0);
  const uint16_t wireId = Big16(p, 2);
  const std::size_t len = p[4];
  const auto it = m_memory.blocks.find(wireId);
  if (it == m_memory.blocks.end()) {
    note = "no such block";
    return std::vector<uint8_t>{};
  }
  const auto& block = it->second;
  if (offset >= block.size()) {
    note = "read past the block";
    return std::vector<uint8_t>{};
  }
  const std::size_t n = std::min(len, block.size() - offset);
  if (n < len) note = "read past the block";
  return std::vector<uint8_t>(block.begin() + static_cast<std::ptrdiff_t>(offset),
                              block.begin() + static_cast<std::ptrdiff_t>(offset + n));
}

std::optional<std::vector<uint8_t>> SimDevice::InitSend(const std::vector<uint8_t>& p, std::string& note) {
  if (p.size() != 4) {
    note = "malformed request";
    return std::nullopt;
  }
  m_write = Write{};
  m_write.active = true;
  m_write.total = Big16(p, 0);
  m_write.wireId = Big16(p, 2);
  m_write.accepted = KeptBlock(m_write.wireId);
  if (!m_write.accepted) note = "block not writable";
  if (m_write.accepted && m_write.total == 0) CommitWrite();
  return std::vector<uint8_t>{};
}

// The acknowledgement counts what the device took for this block; pieces it
// cannot take (no announcement, an unknown block, more than announced) leave
// the count where it was, so the PC sees the mismatch.
std::vector<uint8_t> SimDevice::SendPiece(const std::vector<uint8_t>& p, bool forget, std::string& note) {
  if (!m_write.active || !m_write.accepted) {
    note = "piece refused";
  } else if (m_write.bytes.size() + p.size() > m_write.total) {
    note = "piece beyond the announced length";
  } else {
    m_write.bytes.insert(m_write.bytes.end(), p.begin(), p.end());
    if (forget) {
      m_write.forgotten = true;
      note = "fault: piece acknowledged, not kept";
    }
    if (m_write.bytes.size() == m_write.total) CommitWrite();
  }
  const auto count = static_cast<uint16_t>(m_write.bytes.size());
  return {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
}

void SimDevice::CommitWrite() {
  if (m_write.forgotten) return;
  m_memory.blocks[m_write.wireId] = m_write.bytes;
  if (m_write.wireId == kParamBlock) {
    const std::string name = NameFromParamBlock(m_write.bytes);
    if (!name.empty()) m_memory.dataName = name;
  }
}

std::optional<std::vector<uint8_t>> SimDevice::Live(const std::vector<uint8_t>& p, double seconds,
                                                    std::string& note) {
  if (p.size() != 3) {
    note = "malformed request";
    return std::nullopt;
  }
  if (p[0] == 1) {
    const uint16_t function = Big16(p, 1);
    if (function == kFnAlarmReset) {
      m_live.ClearAlarms(seconds);
      note = "alarm reset";
    } else if (function == kFnErrListReset) {
      m_memory.blocks[kErrorListBlock].assign(kErrorListBytes, 0);
      note = "error list reset";
    } else if (function == kFnReset) {
      m_live.ResetCounters();
      note = "reset";
    } else {
      note = "forced function " + std::to_string(function);
    }
  }
  return m_live.Sample(seconds);
}

}  // namespace tavomark::sim
