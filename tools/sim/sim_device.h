#pragma once
// The device's side of the protocol: one request frame in, at most one reply
// frame out. No I/O here, so the same code serves the pseudo-terminal loop and
// anything else that feeds it frames.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device_memory.h"
#include "fault_plan.h"
#include "live_motion.h"
#include "sim_frame.h"

namespace tavomark::sim {

// Command codes the device answers.
inline constexpr uint8_t kCmdFwVersion = 1;
inline constexpr uint8_t kCmdInitSend = 4;
inline constexpr uint8_t kCmdSendPiece = 5;
inline constexpr uint8_t kCmdLive = 6;
inline constexpr uint8_t kCmdReadBlock = 8;
inline constexpr uint8_t kCmdTestOneShot = 10;
inline constexpr uint8_t kCmdInfo = 11;
inline constexpr uint8_t kCmdDataName = 14;

// Forced function numbers (live request with mode 1).
inline constexpr uint16_t kFnAlarmReset = 0;
inline constexpr uint16_t kFnErrListReset = 2;
inline constexpr uint16_t kFnReset = 10;

struct Reply {
  std::vector<uint8_t> bytes;  // empty: the device stays silent
  unsigned delayMs = 0;
  std::string note;  // why it looks the way it does, for the log
};

class SimDevice {
 public:
  SimDevice(DeviceMemory memory, FaultPlan faults);

  // Only frames for this device number are answered; without it, any.
  void AnswerOnly(uint16_t device) { m_onlyDevice = device; }

  // Answers one request at the given time (seconds since the device started).
  [[nodiscard]] Reply Answer(const Frame& request, double seconds);

  [[nodiscard]] const DeviceMemory& Memory() const { return m_memory; }

 private:
  // The reply payload, or nothing when the device does not answer this frame.
  [[nodiscard]] std::optional<std::vector<uint8_t>> Serve(const Frame& request, double seconds,
                                                         const FaultDecision& fault, std::string& note);
  [[nodiscard]] std::optional<std::vector<uint8_t>> ReadBlock(const std::vector<uint8_t>& p, std::string& note);
  [[nodiscard]] std::optional<std::vector<uint8_t>> InitSend(const std::vector<uint8_t>& p, std::string& note);
  [[nodiscard]] std::vector<uint8_t> SendPiece(const std::vector<uint8_t>& p, bool forget, std::string& note);
  [[nodiscard]] std::optional<std::vector<uint8_t>> Live(const std::vector<uint8_t>& p, double seconds,
                                                        std::string& note);
  void CommitWrite();

  DeviceMemory m_memory;
  FaultPlan m_faults;
  LiveState m_live;
  std::optional<uint16_t> m_onlyDevice;

  // The block write in progress, between its announcement and its last piece.
  struct Write {
    bool active = false;
    bool accepted = false;  // a block id the device keeps
    bool forgotten = false;  // a piece was acknowledged but not kept
    uint16_t wireId = 0;
    std::size_t total = 0;
    std::vector<uint8_t> bytes;
  } m_write;
};

}  // namespace tavomark::sim
