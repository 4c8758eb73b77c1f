#include "device_memory.h"

#include <algorithm>
#include <cstring>

namespace tavomark::sim {

namespace {

void PutBig16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void PutOrdered16(uint8_t* p, uint16_t v, bool littleEndian) {
  if (littleEndian) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  } else {
    PutBig16(p, v);
  }
}

}  // namespace

std::array<uint8_t, kInfoRecordBytes> EncodeInfoRecord(const InfoFields& f) {
  std::array<uint8_t, kInfoRecordBytes> r{};
  PutBig16(&r[0], f.projectCode);
  r[2] = static_cast<uint8_t>(f.revision[0]);
  r[3] = static_cast<uint8_t>(f.revision[1]);
  r[4] = f.ioVersion;
  r[5] = static_cast<uint8_t>(f.parVersion);
  PutBig16(&r[6], f.productCode);
  r[8] = f.productVersion;
  r[9] = static_cast<uint8_t>(f.productRevision[0]);
  r[10] = static_cast<uint8_t>(f.productRevision[1]);
  std::copy(std::begin(f.date), std::end(f.date), r.begin() + 11);
  PutBig16(&r[14], f.serialExtension);
  PutBig16(&r[16], f.serialNumber);
  return r;
}

std::vector<uint8_t> BuildErrorList(std::span<const ErrorEntry> entries, bool littleEndian) {
  std::vector<uint8_t> list(kErrorListBytes, 0);
  const std::size_t used = std::min(entries.size(), kErrorEntries);
  for (std::size_t k = 0; k < used; ++k) {
    uint8_t* slot = &list[8 * k];
    PutOrdered16(slot, entries[k].code, littleEndian);
    PutOrdered16(slot + 2, entries[k].hours, littleEndian);
    slot[4] = static_cast<uint8_t>(((k + 1) << 4) | k);
    slot[5] = entries[k].repetitions;
    slot[6] = entries[k].minutes;
  }
  return list;
}

std::vector<ErrorEntry> SampleErrorEntries() {
  return {{0x0103, 12, 1, 5}, {0x0207, 345, 3, 59}, {0x0A01, 1000, 12, 0}};
}

std::vector<uint8_t> BuildSampleBlock(uint16_t wireId, std::size_t imageSize, const BlockIdentity& id) {
  imageSize = std::max<std::size_t>(imageSize, 2);
  const std::size_t trailer = wireId == kParamBlock ? kParamTrailerBytes : kShortTrailerBytes;
  std::vector<uint8_t> block(imageSize + trailer, 0);
  for (std::size_t i = 0; i + 2 < imageSize; ++i) block[i] = static_cast<uint8_t>(wireId * 16 + i * 3);

  unsigned sum16 = 0;
  for (std::size_t i = 0; i + 2 < imageSize; ++i) sum16 += block[i];
  PutOrdered16(&block[imageSize - 2], static_cast<uint16_t>(~sum16), id.littleEndian);
  unsigned sum8 = 0;
  for (std::size_t i = 0; i < imageSize; ++i) sum8 += block[i];
  const auto byteChecksum = static_cast<uint8_t>(~sum8);

  uint8_t* t = &block[imageSize];
  if (wireId == kParamBlock) {
    std::memcpy(t, id.name.data(), std::min(id.name.size(), kNameBytes - 1));
    t += kNameBytes;
  }
  t[0] = static_cast<uint8_t>(id.codeProj);
  t[1] = static_cast<uint8_t>(id.codeProj >> 8);
  t[2] = byteChecksum;
  t[3] = static_cast<uint8_t>(id.compVerFw);
  return block;
}

std::string NameFromParamBlock(std::span<const uint8_t> block) {
  if (block.size() < kParamTrailerBytes + 2) return {};
  const auto name = block.subspan(block.size() - kParamTrailerBytes, kNameBytes);
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  return std::string(name.begin(), end);
}

DeviceMemory MakeSampleMemory(const InfoFields& info, std::size_t liveSize) {
  DeviceMemory m;
  const BlockIdentity id{"Sample", info.projectCode, info.parVersion, m.LittleEndian()};
  m.blocks[kParamBlock] = BuildSampleBlock(kParamBlock, 300, id);
  m.blocks[kCalibBlock] = BuildSampleBlock(kCalibBlock, 64, id);
  m.blocks[kInfoBlock] = BuildSampleBlock(kInfoBlock, 40, id);
  m.blocks[kErrorListBlock] = BuildErrorList(SampleErrorEntries(), m.LittleEndian());
  m.info = EncodeInfoRecord(info);
  m.fwVersion = "SIM 1.0";
  m.dataName = id.name;
  m.live = MakePlainLiveLayout(liveSize);
  return m;
}

}  // namespace tavomark::sim
