#include "live_motion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "value_codec.h"

namespace tavomark::sim {

namespace {

constexpr double kRampPeriodSeconds = 10.0;
constexpr double kSinePeriodSeconds = 6.0;

Record PlainLeaf(uint16_t offset, uint16_t bytes, double maxValue) {
  Record r;
  r.offset = offset;
  r.byteSize = bytes;
  r.minValue = 0.0;
  r.maxValue = maxValue;
  std::strcpy(r.varType, bytes == 1 ? "BYTE" : "WORD");
  return r;
}

std::string LowerName(const Record& r) {
  std::string name(r.varName, strnlen(r.varName, sizeof r.varName));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

unsigned FieldBits(const Record& r) { return r.bitSize != 0 ? r.bitSize : 8u * r.byteSize; }

uint64_t FieldMask(const Record& r) {
  const unsigned bits = std::min(FieldBits(r), 63u);
  return (uint64_t{1} << bits) - 1;
}

// The limits a leaf moves within: its own when it has any, else its type's.
void MotionRange(const Record& r, double& lo, double& hi) {
  lo = r.minValue;
  hi = r.maxValue;
  if (hi > lo) return;
  if (RecordValRange(r, hi, lo) == 0) lo = hi = 0.0;
}

}  // namespace

LiveLayout MakePlainLiveLayout(std::size_t size) {
  LiveLayout layout;
  layout.size = std::min(size, kMaxLiveBytes);
  const auto add = [&](Record r, Motion motion, double phase) {
    if (std::size_t{r.offset} + r.byteSize <= layout.size) layout.leaves.push_back({r, motion, phase});
  };
  add(PlainLeaf(0, 2, 65535.0), Motion::Counter, 0.0);
  add(PlainLeaf(2, 2, 65535.0), Motion::Alarms, 0.0);
  add(PlainLeaf(4, 2, 65535.0), Motion::Flags, 0.0);
  add(PlainLeaf(6, 2, 1000.0), Motion::Ramp, 0.0);
  for (std::size_t i = 8; i < layout.size; ++i)
    add(PlainLeaf(static_cast<uint16_t>(i), 1, 200.0), Motion::Sine, static_cast<double>(i % 16) / 16.0);
  return layout;
}

Motion ChooseMotion(const Record& leaf) {
  const std::string name = LowerName(leaf);
  if (std::strncmp(leaf.varType, "CHR", sizeof leaf.varType) == 0) return Motion::Fixed;
  if (Has(name, "alarm") || Has(name, "allarm")) return Motion::Alarms;
  if (leaf.bitSize != 0 || Has(name, "flag") || Has(name, "status")) return Motion::Flags;
  if (Has(name, "cnt") || Has(name, "count") || Has(name, "life")) return Motion::Counter;
  if (leaf.isSigned || leaf.decimals != 0) return Motion::Sine;
  return Motion::Ramp;
}

LiveState::LiveState(LiveLayout layout, uint8_t bigEndianMode, uint8_t swapDataBlock)
    : m_layout(std::move(layout)),
      m_bigEndianMode(bigEndianMode),
      m_swapDataBlock(swapDataBlock),
      m_buffer(m_layout.size, 0) {}

void LiveState::ClearAlarms(double seconds) {
  m_initialAlarms = 0;
  m_alarmsClearedAt = seconds;
}

double LiveState::LeafValue(const LiveLeaf& leaf, double seconds) const {
  const Record& r = leaf.record;
  const double scale = std::pow(10.0, r.decimals);
  double lo = 0.0;
  double hi = 0.0;
  MotionRange(r, lo, hi);
  switch (leaf.motion) {
    case Motion::Counter:
      return static_cast<double>(m_samples & FieldMask(r)) / scale;
    case Motion::Ramp: {
      const double t = seconds / kRampPeriodSeconds + leaf.phase;
      return lo + (hi - lo) * (t - std::floor(t));
    }
    case Motion::Sine: {
      const double angle = 2.0 * std::numbers::pi * (seconds / kSinePeriodSeconds + leaf.phase);
      return lo + (hi - lo) * (0.5 + 0.5 * std::sin(angle));
    }
    case Motion::Flags: {
      // A Gray code flips exactly one bit per step.
      const auto step = static_cast<uint64_t>(seconds + leaf.phase * 16.0);
      return static_cast<double>((step ^ (step >> 1)) & FieldMask(r)) / scale;
    }
    case Motion::Alarms: {
      const double since = std::max(0.0, seconds - m_alarmsClearedAt);
      const auto latched = static_cast<unsigned>(std::min(since / kAlarmPeriodSeconds, 63.0));
      const uint64_t bits = m_initialAlarms | ((uint64_t{1} << latched) - 1);
      return static_cast<double>(bits & FieldMask(r)) / scale;
    }
    case Motion::Fixed:
      break;
  }
  return r.value;
}

std::vector<uint8_t> LiveState::Sample(double seconds) {
  for (const LiveLeaf& leaf : m_layout.leaves) {
    // A leaf the codec cannot encode keeps its bytes; the rest still move.
    [[maybe_unused]] const int ok =
        ValToMemoryByte(leaf.record, LeafValue(leaf, seconds), m_buffer, m_bigEndianMode, m_swapDataBlock);
  }
  ++m_samples;
  return m_buffer;
}

}  // namespace tavomark::sim
