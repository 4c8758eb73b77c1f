#pragma once
// What the simulated device holds: its memory blocks, the info record, the
// firmware version and data name texts and the live buffer's layout.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "block.h"
#include "live_motion.h"

namespace tavomark::sim {

// Block ids on the wire, from the one block table; the error list is the
// device's own block.
inline constexpr uint16_t kParamBlock = WireIdOfBlock(Block::Parameters);
inline constexpr uint16_t kCalibBlock = WireIdOfBlock(Block::Calibration);
inline constexpr uint16_t kInfoBlock = WireIdOfBlock(Block::Information);
inline constexpr uint16_t kErrorListBlock = 4;

inline constexpr std::size_t kInfoRecordBytes = 18;
inline constexpr std::size_t kErrorListBytes = 80;
inline constexpr std::size_t kErrorEntries = 10;
inline constexpr std::size_t kParamTrailerBytes = 36;
inline constexpr std::size_t kShortTrailerBytes = 4;
inline constexpr std::size_t kNameBytes = 32;
// Block writes announce a 16-bit length.
inline constexpr std::size_t kMaxBlockBytes = 65535;

// The fields of the info record, in host order.
struct InfoFields {
  uint16_t projectCode = 0;
  char revision[2] = {'A', '1'};
  uint8_t ioVersion = 'a';
  char parVersion = 'a';
  uint16_t productCode = 0;
  uint8_t productVersion = 1;
  char productRevision[2] = {'B', '2'};
  uint8_t date[3] = {1, 1, 24};
  uint16_t serialExtension = 0;
  uint16_t serialNumber = 0;
};

//   0 code hi/lo | 2 rev x2 | 4 io | 5 par | 6 product hi/lo | 8 ver | 9 prodrev x2
//  11 date x3 | 14 serial ext hi/lo | 16 serial hi/lo      (16-bit fields big-endian)
[[nodiscard]] std::array<uint8_t, kInfoRecordBytes> EncodeInfoRecord(const InfoFields& fields);

struct ErrorEntry {
  uint16_t code = 0;
  uint16_t hours = 0;
  uint8_t repetitions = 0;
  uint8_t minutes = 0;
};

// Ten slots of 8 bytes: code (16), hours (16), position, repetitions, minutes,
// one spare byte. Entry k (from 0) goes to slot k with position (k+1)<<4 | k:
// the high nibble counts the entries in use, the low nibble names the line.
// Code and hours are low byte first when littleEndian, else high byte first.
// At most ten entries are kept.
[[nodiscard]] std::vector<uint8_t> BuildErrorList(std::span<const ErrorEntry> entries, bool littleEndian);
[[nodiscard]] std::vector<ErrorEntry> SampleErrorEntries();

// A block laid out as the PC builds it: image bytes, their checksum word (one's
// complement of the 16-bit sum of the bytes before it) at the image's end, then
// a trailer: for the parameter block the name (32 bytes), codeProj (LE), the
// image byte checksum and compVerFw; for the others codeProj, byte checksum,
// compVerFw. The image bytes get a recognisable pattern.
struct BlockIdentity {
  std::string name;
  uint16_t codeProj = 0;
  char compVerFw = 'a';
  bool littleEndian = true;
};
[[nodiscard]] std::vector<uint8_t> BuildSampleBlock(uint16_t wireId, std::size_t imageSize,
                                                    const BlockIdentity& identity);
// The name a parameter block's trailer carries, or empty when the block is too
// short to hold one.
[[nodiscard]] std::string NameFromParamBlock(std::span<const uint8_t> block);

struct DeviceMemory {
  std::map<uint16_t, std::vector<uint8_t>> blocks;
  std::array<uint8_t, kInfoRecordBytes> info{};
  std::string fwVersion;
  std::string dataName;
  LiveLayout live;
  uint8_t bigEndianMode = 0;  // the firmware's byte-order flags
  uint8_t swapDataBlock = 0;
  uint64_t initialAlarms = 0;

  [[nodiscard]] bool LittleEndian() const { return (bigEndianMode != 0) == (swapDataBlock != 0); }
};

// A device that works without a project: three sample blocks, the sample error
// list, the info record of the fields, the given live size.
[[nodiscard]] DeviceMemory MakeSampleMemory(const InfoFields& info, std::size_t liveSize);

}  // namespace tavomark::sim
