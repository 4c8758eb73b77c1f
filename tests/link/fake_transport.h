#pragma once
// A channel without a port: written frames go to a scripted device, its
// replies wait in a receive queue, and every read that comes up short costs
// half a second of a fake clock instead of real time.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "port_transport.h"

namespace tavomark::link::testing {

using Bytes = std::vector<uint8_t>;

// A frame built by hand, independent of the code under test:
// AA F0 LEN CMD devHi devLo payload sum(LEN..payload).
inline Bytes MakeFrame(uint8_t cmd, uint16_t device, const Bytes& payload) {
  Bytes frame(payload.size() + 7);
  frame[0] = 0xAA;
  frame[1] = 0xF0;
  frame[2] = static_cast<uint8_t>(payload.size());
  frame[3] = cmd;
  frame[4] = static_cast<uint8_t>(device >> 8);
  frame[5] = static_cast<uint8_t>(device & 0xFF);
  std::copy(payload.begin(), payload.end(), frame.begin() + 6);
  unsigned sum = 0;
  for (std::size_t i = 2; i + 1 < frame.size(); ++i) sum += frame[i];
  frame.back() = static_cast<uint8_t>(sum);
  return frame;
}

// Answers requests as a device would, with faults switched on by hand.
struct FakeDevice {
  uint16_t number = 0x0102;
  Bytes live = Bytes(37, 0x5A);
  Bytes info = {0x12, 0x34, 'B', '3', 'a', 'C', 0x00, 0x2A, 7, 'x', '1', 24, 5, 31, 0x01, 0x02, 0xBE, 0xEF};
  std::string fwVersion = "FW 2.17";
  std::vector<std::string> names = {"stale name", "Dataset A"};  // replies in turn, last repeats
  std::map<uint16_t, Bytes> blocks;

  bool silent = false;                 // no reply to anything
  std::set<uint8_t> silentCommands;    // no reply to these commands
  int countError = 0;                  // added to every send acknowledgement
  int replyAfterTimeouts = 0;          // replies show up only after this many short reads
  int repliesLeft = -1;                // goes silent after this many replies (-1: never)

  // What the device saw.
  std::vector<Bytes> requests;
  Bytes commands;

  std::size_t nameReplies = 0;
  uint16_t writeBlock = 0;
  std::size_t writeTotal = 0;
  Bytes writeData;

  Bytes Respond(const Bytes& frame);
};

class FakeTransport final : public PortTransport {
 public:
  explicit FakeTransport(FakeDevice* device) : m_device(device) {}

  bool OpenCommPort(int32_t port) override {
    if (open) return true;
    if (openable.count(port) == 0) return false;
    openedPort = port;
    ++opens;
    return open = true;
  }
  bool SetUSbBaudRate(int32_t, int32_t) override { return open; }
  void CloseCommPort() override { open = false; }
  bool PurgeRxBuffer() override { rx.clear(); ++rxPurges; return true; }
  bool PurgeTxBuffer() override { return true; }
  bool WriteFrame(std::span<const uint8_t> frame) override;
  bool ReadBytes(std::span<uint8_t> buffer, std::size_t& got) override;
  bool IsOpen() const override { return open; }

  std::set<int32_t> openable = {1};
  bool open = false;
  int32_t openedPort = 0;
  int opens = 0;
  int rxPurges = 0;
  int timeouts = 0;
  double seconds = 0.0;  // the fake clock
  std::deque<uint8_t> rx;
  std::vector<Bytes> written;

 private:
  FakeDevice* m_device;
  Bytes m_late;  // a reply still on its way
  int m_lateReads = 0;
};

}  // namespace tavomark::link::testing
