#pragma once
// The live data buffer and how its leaves move: counters count the live
// replies, ramps and sines sweep each record's range, flag words flip one bit
// a second, alarm words latch one more bit every few seconds until an alarm
// reset clears them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record.h"

namespace tavomark::sim {

// The largest live buffer a reply can carry.
inline constexpr std::size_t kMaxLiveBytes = 240;
// A new alarm bit latches this often.
inline constexpr double kAlarmPeriodSeconds = 5.0;

enum class Motion { Fixed, Counter, Ramp, Sine, Flags, Alarms };

struct LiveLeaf {
  Record record;  // offset, size, bit position, limits, decimals
  Motion motion = Motion::Fixed;
  double phase = 0.0;  // spreads the leaves apart, 0..1
};

struct LiveLayout {
  std::size_t size = 0;  // bytes in the buffer
  std::vector<LiveLeaf> leaves;
};

// The layout used without a project:
//   0..1  u16 counter of live replies        2..3  u16 alarm word
//   4..5  u16 flag word                      6..7  u16 ramp 0..1000
//   8..   u8 sines 0..200, one per byte
// Leaves that do not fit into size are left out.
[[nodiscard]] LiveLayout MakePlainLiveLayout(std::size_t size);

// Chooses how a leaf of the monitor struct moves, from its name and type:
// names with "alarm" are alarm words, bit fields and names with "flag" or
// "status" flag words, names with "cnt", "count" or "life" counters, signed or
// decimal leaves sines, other integers ramps; "CHR" leaves stay fixed.
[[nodiscard]] Motion ChooseMotion(const Record& leaf);

class LiveState {
 public:
  LiveState() = default;
  LiveState(LiveLayout layout, uint8_t bigEndianMode, uint8_t swapDataBlock);

  [[nodiscard]] std::size_t Size() const { return m_layout.size; }
  // The buffer as the device holds it now (seconds since the device started).
  // Every call is one more sample for the counters.
  [[nodiscard]] std::vector<uint8_t> Sample(double seconds);

  void ResetCounters() { m_samples = 0; }
  void ClearAlarms(double seconds);
  // Alarm bits already latched when the device starts.
  void LatchAlarms(uint64_t bits) { m_initialAlarms = bits; }

 private:
  [[nodiscard]] double LeafValue(const LiveLeaf& leaf, double seconds) const;

  LiveLayout m_layout;
  uint8_t m_bigEndianMode = 0;
  uint8_t m_swapDataBlock = 0;
  uint64_t m_samples = 0;
  uint64_t m_initialAlarms = 0;
  double m_alarmsClearedAt = 0.0;
  std::vector<uint8_t> m_buffer;
};

}  // namespace tavomark::sim
