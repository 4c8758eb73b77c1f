#include "sim_frame.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tavomark::sim {

uint8_t FrameSum(uint8_t len, uint8_t cmd, uint16_t device, std::span<const uint8_t> payload) {
  unsigned sum = len + cmd + (device >> 8) + (device & 0xFFu);
  for (uint8_t b : payload) sum += b;
  return static_cast<uint8_t>(sum);
}

std::vector<uint8_t> BuildFrame(uint8_t cmd, uint16_t device, std::span<const uint8_t> payload) {
  const auto body = payload.first(std::min<std::size_t>(payload.size(), 255));
  const auto len = static_cast<uint8_t>(body.size());
  std::vector<uint8_t> frame(kHeaderBytes + body.size() + 1);
  frame[0] = kStartByte1;
  frame[1] = kStartByte2;
  frame[2] = len;
  frame[3] = cmd;
  frame[4] = static_cast<uint8_t>(device >> 8);
  frame[5] = static_cast<uint8_t>(device);
  std::copy(body.begin(), body.end(), frame.begin() + kHeaderBytes);
  frame.back() = FrameSum(len, cmd, device, body);
  return frame;
}

std::string DescribeFrame(const Frame& frame) {
  char head[48];
  std::snprintf(head, sizeof head, "cmd=%u dev=0x%04X len=%zu", unsigned{frame.cmd}, unsigned{frame.device},
                frame.payload.size());
  std::string line = head;
  if (!frame.payload.empty()) {
    line += " data=";
    for (std::size_t i = 0; i < frame.payload.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", unsigned{frame.payload[i]});
      line += hex;
    }
  }
  return line;
}

void FrameReader::Feed(std::span<const uint8_t> bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }

void FrameReader::DropPartial() { m_bytes.clear(); }

std::size_t FrameReader::TakeSkipped() { return std::exchange(m_skipped, 0); }

void FrameReader::SkipToStart() {
  while (!m_bytes.empty()) {
    if (m_bytes[0] == kStartByte1 && (m_bytes.size() == 1 || m_bytes[1] == kStartByte2)) return;
    m_bytes.pop_front();
    ++m_skipped;
  }
}

std::optional<FrameReader::Item> FrameReader::Next() {
  SkipToStart();
  if (m_bytes.size() < kHeaderBytes) return std::nullopt;
  const uint8_t len = m_bytes[2];
  if (len > kMaxRequestPayload) {
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + 2);
    return Item{Kind::Oversize, {}};
  }
  const std::size_t total = kHeaderBytes + len + 1;
  if (m_bytes.size() < total) return std::nullopt;

  Item item;
  item.frame.cmd = m_bytes[3];
  item.frame.device = static_cast<uint16_t>((m_bytes[4] << 8) | m_bytes[5]);
  item.frame.payload.assign(m_bytes.begin() + kHeaderBytes, m_bytes.begin() + kHeaderBytes + len);
  if (FrameSum(len, item.frame.cmd, item.frame.device, item.frame.payload) != m_bytes[total - 1]) {
    item.kind = Kind::BadChecksum;
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + 2);
    return item;
  }
  m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(total));
  return item;
}

}  // namespace tavomark::sim
