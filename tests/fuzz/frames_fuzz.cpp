// Device reply frames: the bytes a device sends back, served to the frame
// layer one read at a time. The first byte picks the exchange (a bare reply,
// a block read, a block write, the texts, the live buffer, the info record);
// the channel runs dry where the input ends, as a silent device would.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "port_transport.h"
#include "protocol_frames.h"

using namespace tavomark::link;

namespace {

class ReplayTransport final : public PortTransport {
 public:
  ReplayTransport(const uint8_t* data, std::size_t size) : m_rx(data, data + size) {}
  bool OpenCommPort(int32_t) override { return true; }
  bool SetUSbBaudRate(int32_t, int32_t) override { return true; }
  void CloseCommPort() override {}
  bool PurgeRxBuffer() override {
    // A purge drops what is waiting now, not what is still on its way: keep
    // the rest of the input for the next reply.
    return true;
  }
  bool PurgeTxBuffer() override { return true; }
  bool WriteFrame(std::span<const uint8_t>) override { return true; }
  bool ReadBytes(std::span<uint8_t> buffer, std::size_t& got) override {
    got = 0;
    while (got < buffer.size() && !m_rx.empty()) {
      buffer[got++] = m_rx.front();
      m_rx.pop_front();
    }
    return true;
  }
  bool IsOpen() const override { return true; }

 private:
  std::deque<uint8_t> m_rx;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  const uint8_t arg = data[1];
  ReplayTransport transport(data + 2, size - 2);
  double now = 0.0;
  FrameLink link(transport, [&now] { return now += 0.05; });
  constexpr uint16_t kDevice = 0x0102;
  std::vector<uint8_t> buffer(256);
  uint8_t len = 0;
  switch (choice % 9) {
    case 0: (void)link.RxResponse(kDevice, arg, buffer, arg, len); break;
    case 1: (void)link.ReadBlock(kDevice, kBlockParam, buffer, static_cast<uint8_t>(arg & 0x7F), 0, false); break;
    case 2: {
      std::vector<uint8_t> block(static_cast<std::size_t>(arg) * 3);
      (void)link.RequestData(kDevice, kBlockCalib, block);
      break;
    }
    case 3: {
      std::vector<uint8_t> block(static_cast<std::size_t>(arg) * 3, 0x55);
      (void)link.SendData(kDevice, kBlockParam, block);
      break;
    }
    case 4: {
      std::string text;
      (void)link.GetFwVersion(kDevice, text);
      (void)link.GetDataName(kDevice, text, arg);
      break;
    }
    case 5: {
      uint8_t found = 0;
      (void)link.Ping(kDevice, buffer, found);
      break;
    }
    case 6: (void)link.GetLiveData(kDevice, 0, arg, buffer, static_cast<uint8_t>(arg & 0xF0)); break;
    case 7: (void)link.ReadInfoData(kDevice, std::span<uint8_t>(buffer.data(), 18)); break;
    default: {
      std::vector<uint8_t> block(static_cast<std::size_t>(arg) * 2);
      (void)link.RequestDataOldelim(kDevice, kBlockInfo, block);
      break;
    }
  }
  return 0;
}
