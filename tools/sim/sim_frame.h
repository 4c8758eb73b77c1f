#pragma once
// The simulated device's own frame code. It is written apart from the PC-side
// link on purpose: the simulator checks the link instead of mirroring it.
//
//   +------+------+-----+-----+--------+--------+-----------+-----+
//   | 0xAA | 0xF0 | LEN | CMD | dev hi | dev lo | payload.. | sum |
//   +------+------+-----+-----+--------+--------+-----------+-----+
//   sum = (LEN + CMD + dev hi + dev lo + payload bytes) mod 256

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavomark::sim {

inline constexpr uint8_t kStartByte1 = 0xAA;
inline constexpr uint8_t kStartByte2 = 0xF0;
inline constexpr std::size_t kHeaderBytes = 6;
// A request carries at most 128 payload bytes: the device's receive buffer holds
// no more.
inline constexpr std::size_t kMaxRequestPayload = 128;

struct Frame {
  uint8_t cmd = 0;
  uint16_t device = 0;
  std::vector<uint8_t> payload;
};

// The 8-bit sum of LEN, CMD, the device number and the payload.
[[nodiscard]] uint8_t FrameSum(uint8_t len, uint8_t cmd, uint16_t device, std::span<const uint8_t> payload);

// A whole frame; the payload is cut to 255 bytes (the LEN byte's range).
[[nodiscard]] std::vector<uint8_t> BuildFrame(uint8_t cmd, uint16_t device, std::span<const uint8_t> payload);

// One line for the request log: "cmd=8 dev=0x0102 len=5 data=00 10 00 01 10".
[[nodiscard]] std::string DescribeFrame(const Frame& frame);

// Cuts a byte stream into request frames. Bytes before a start pair are
// skipped; a header announcing more than 128 payload bytes or a frame with a
// wrong sum loses only its start pair, so the reader finds the next frame even
// when a LEN byte was corrupted.
class FrameReader {
 public:
  enum class Kind { Request, BadChecksum, Oversize };
  struct Item {
    Kind kind = Kind::Request;
    Frame frame;  // filled for Request and BadChecksum
  };

  void Feed(std::span<const uint8_t> bytes);
  // The next complete item, or nothing while more bytes are needed.
  [[nodiscard]] std::optional<Item> Next();
  // Forgets a frame that stopped half-way (the sender gave up on it).
  void DropPartial();
  [[nodiscard]] bool HasPartial() const { return !m_bytes.empty(); }
  // Bytes skipped while looking for a start pair, since the last call.
  [[nodiscard]] std::size_t TakeSkipped();

 private:
  void SkipToStart();

  std::deque<uint8_t> m_bytes;
  std::size_t m_skipped = 0;
};

}  // namespace tavomark::sim
