#include "fake_transport.h"

#include <algorithm>

namespace tavomark::link::testing {

Bytes FakeDevice::Respond(const Bytes& frame) {
  requests.push_back(frame);
  const uint8_t cmd = frame[3];
  commands.push_back(cmd);
  if (silent || silentCommands.count(cmd) != 0 || repliesLeft == 0) return {};
  if (repliesLeft > 0) --repliesLeft;
  const Bytes payload(frame.begin() + 6, frame.end() - 1);
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  switch (cmd) {
    case 1:
      return MakeFrame(cmd, number, text(fwVersion));
    case 14: {
      const std::string& name = names[std::min(nameReplies, names.size() - 1)];
      ++nameReplies;
      return MakeFrame(cmd, number, text(name));
    }
    case 6:
      return MakeFrame(cmd, number, live);
    case 8: {
      const std::size_t offset = (payload[0] << 8) | payload[1];
      const uint16_t block = static_cast<uint16_t>((payload[2] << 8) | payload[3]);
      Bytes& data = blocks[block];
      if (data.size() < offset + payload[4]) data.resize(offset + payload[4]);
      return MakeFrame(cmd, number, Bytes(data.begin() + offset, data.begin() + offset + payload[4]));
    }
    case 4:
      writeTotal = (payload[0] << 8) | payload[1];
      writeBlock = static_cast<uint16_t>((payload[2] << 8) | payload[3]);
      writeData.clear();
      return MakeFrame(cmd, number, {});
    case 5: {
      writeData.insert(writeData.end(), payload.begin(), payload.end());
      if (writeData.size() == writeTotal) blocks[writeBlock] = writeData;
      const unsigned count = static_cast<unsigned>(static_cast<int>(writeData.size()) + countError);
      return MakeFrame(cmd, number, {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
    }
    case 10:
      return MakeFrame(cmd, number, {});
    case 11:
      return MakeFrame(cmd, number, info);
    default:
      return {};
  }
}

bool FakeTransport::WriteFrame(std::span<const uint8_t> frame) {
  if (!open) return false;
  // A COM port empties its receive queue before every write.
  rx.clear();
  written.emplace_back(frame.begin(), frame.end());
  const Bytes reply = m_device->Respond(written.back());
  if (m_device->replyAfterTimeouts > 0 && !reply.empty()) {
    m_late = reply;
    m_lateReads = m_device->replyAfterTimeouts;
  } else {
    rx.insert(rx.end(), reply.begin(), reply.end());
  }
  return true;
}

bool FakeTransport::ReadBytes(std::span<uint8_t> buffer, std::size_t& got) {
  got = std::min(buffer.size(), rx.size());
  std::copy_n(rx.begin(), got, buffer.begin());
  rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(got));
  if (got < buffer.size()) {
    ++timeouts;
    seconds += 0.5;
    if (m_lateReads > 0 && --m_lateReads == 0) {
      rx.insert(rx.end(), m_late.begin(), m_late.end());
      m_late.clear();
    }
  }
  return open;
}

}  // namespace tavomark::link::testing
