#include "device_image.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "value_codec.h"

namespace tavomark {

DeviceData CreateDeviceData(const StructPack& structPack, uint32_t trailerSize) {
  DeviceData data;
  data.structPack = &structPack;
  data.imageSize = std::max<uint32_t>(GetStructByteSize(structPack), 2);
  data.totalSize = data.imageSize + trailerSize;
  data.buffer.assign(data.totalSize, 0);
  return data;
}

void DisposeDeviceData(DeviceData& data) {
  data.buffer.clear();
  data.buffer.shrink_to_fit();
  data.structPack = nullptr;
  data.imageSize = data.totalSize = 0;
}

DeviceSet CreateDeviceSet(const ConfigSet& config) {
  DeviceSet set;
  set.param = CreateDeviceData(config.param, kParamTrailerBytes);
  set.info = CreateDeviceData(config.info, kShortTrailerBytes);
  set.calib = CreateDeviceData(config.calib, kShortTrailerBytes);
  return set;
}

void DisposeDeviceSet(DeviceSet& set) {
  DisposeDeviceData(set.param);
  DisposeDeviceData(set.info);
  DisposeDeviceData(set.calib);
}

DeviceData& GetIndexedDeviceData(DeviceSet& set, Block block) { return DeviceBlockOf(set, block); }

const DeviceData& GetIndexedDeviceData(const DeviceSet& set, Block block) { return DeviceBlockOf(set, block); }

uint16_t ImageChecksumWord(std::span<const uint8_t> image) {
  uint16_t sum = 0;
  for (std::size_t i = 0; i + 2 < image.size(); ++i) sum = static_cast<uint16_t>(sum + image[i]);
  return static_cast<uint16_t>(~sum);
}

uint8_t ImageByteChecksum(std::span<const uint8_t> image) {
  uint8_t sum = 0;
  for (uint8_t b : image) sum = static_cast<uint8_t>(sum + b);
  return static_cast<uint8_t>(~sum);
}

namespace {

bool Matches(const Pack& values, const DeviceData& data) {
  return data.structPack && data.buffer.size() == data.totalSize && data.imageSize >= 2 &&
         CheckPackCompatibility(values.header, data.structPack->header) &&
         values.Count() == data.structPack->records.size();
}

void StoreChecksumWord(DeviceData& data, const PackHeader& flags) {
  const uint16_t word = ImageChecksumWord(data.Image());
  uint8_t* at = data.buffer.data() + data.imageSize - 2;
  // Stored like any plain u16 of the image.
  const bool lowFirst = (flags.bigEndianMode != 0) == (flags.swapDataBlock != 0);
  at[0] = static_cast<uint8_t>(lowFirst ? word : word >> 8);
  at[1] = static_cast<uint8_t>(lowFirst ? word >> 8 : word);
}

// codeProj LE, byte checksum, compVerFw: the last 4 bytes of every trailer.
void FillTrailerTail(DeviceData& data, const PackHeader& header) {
  uint8_t* tail = data.buffer.data() + data.totalSize - 4;
  PutU16(tail, header.codeProj);
  tail[2] = ImageByteChecksum(data.Image());
  tail[3] = static_cast<uint8_t>(header.compVerFw);
}

bool FillParamTrailer(DeviceData& data, const PackHeader& header, const char (&name)[32]) {
  if (data.totalSize - data.imageSize != kParamTrailerBytes) return false;
  uint8_t* trailer = data.buffer.data() + data.imageSize;
  std::memset(trailer, 0, 32);
  std::memcpy(trailer, name, ::strnlen(name, 31));
  FillTrailerTail(data, header);
  return true;
}

bool FillShortTrailer(DeviceData& data, const PackHeader& header) {
  if (data.totalSize - data.imageSize < kShortTrailerBytes) return false;
  FillTrailerTail(data, header);
  return true;
}

}  // namespace

int UpdateDeviceData(const Pack& values, DeviceData& data) {
  if (!Matches(values, data)) return 0;
  const auto& records = data.structPack->records;
  const PackHeader& h = values.header;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto item = values.Item(i + 1);
    if (ItemSkip(item) != 0 || !records[i].IsLeaf()) continue;
    if (!ValToMemoryByte(records[i], ItemValue(item), data.Image(), h.bigEndianMode, h.swapDataBlock)) return 0;
  }
  StoreChecksumWord(data, h);
  return 1;
}

int DeviceDataToVts(Pack& values, const DeviceData& data) {
  if (!Matches(values, data)) return 0;
  values.header.isNew = 1;
  const auto& records = data.structPack->records;
  const PackHeader& h = values.header;
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto item = values.Item(i + 1);
    if (ItemSkip(item) != 0 || !records[i].IsLeaf()) continue;
    double v = 0;
    if (!MemoryByteToVal(records[i], v, data.Image(), h.bigEndianMode, h.swapDataBlock)) return 0;
    SetItemValue(item, static_cast<float>(v));
  }
  return 1;
}

int CalibVtsToDeviceData(const Pack& values, DeviceData& data) {
  if (!UpdateDeviceData(values, data)) return 0;
  return FillShortTrailer(data, values.header) ? 1 : 0;
}

int BlockToDeviceData(const ValToSendSet& set, DeviceSet& devices, Block block) {
  if (block == Block::Parameters)
    return UpdateDeviceData(set.param, devices.param) && FillParamTrailer(devices.param, set.param.header, set.name)
               ? 1
               : 0;
  return CalibVtsToDeviceData(GetTabIndexedValToSendPack(set, block), GetIndexedDeviceData(devices, block));
}

int ValToSendSetToDeviceSet(const ValToSendSet& set, DeviceSet& devices) {
  for (Block block : kDeviceBlocks)
    if (!BlockToDeviceData(set, devices, block)) return 0;
  return 1;
}

int DeviceSetToValToSendSet(const DeviceSet& devices, ValToSendSet& set) {
  if (!DeviceDataToVts(set.param, devices.param)) return 0;
  if (!DeviceDataToVts(set.info, devices.info)) return 0;
  return DeviceDataToVts(set.calib, devices.calib);
}

}  // namespace tavomark
