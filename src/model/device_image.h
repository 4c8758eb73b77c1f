#pragma once
// Device transfer buffers: a block's memory image laid out by its struct pack,
// ending in the image checksum word, followed by a trailer.
//
//   param:  image | name[32] | codeProj u16 LE | byte checksum | compVerFw   (36)
//   info, calib: image | codeProj u16 LE | byte checksum | compVerFw          (4)
//
// The checksum word is ~(16-bit sum of the image bytes before it), stored like
// a plain u16 of the image; the byte checksum is ~(8-bit sum of the whole image).

#include <cstdint>
#include <span>
#include <vector>

#include "config_set.h"
#include "pack.h"
#include "value_set.h"

namespace tavomark {

inline constexpr uint32_t kParamTrailerBytes = 36;
inline constexpr uint32_t kShortTrailerBytes = 4;

struct DeviceData {
  const StructPack* structPack = nullptr;  // not owned: the configuration's pack
  uint32_t imageSize = 0;                  // the struct's byte size, at least 2
  uint32_t totalSize = 0;                  // imageSize + trailer size
  std::vector<uint8_t> buffer;             // totalSize bytes

  [[nodiscard]] std::span<uint8_t> Image() { return {buffer.data(), imageSize}; }
  [[nodiscard]] std::span<const uint8_t> Image() const { return {buffer.data(), imageSize}; }
  [[nodiscard]] std::span<uint8_t> Trailer() { return {buffer.data() + imageSize, totalSize - imageSize}; }
  [[nodiscard]] std::span<uint8_t> All() { return {buffer.data(), totalSize}; }
};

struct DeviceSet {
  DeviceData param;
  DeviceData info;
  DeviceData calib;
};

[[nodiscard]] DeviceData CreateDeviceData(const StructPack& structPack, uint32_t trailerSize);
void DisposeDeviceData(DeviceData& data);
[[nodiscard]] DeviceSet CreateDeviceSet(const ConfigSet& config);
void DisposeDeviceSet(DeviceSet& set);
// The image of a device block (a device set holds none for the monitor).
[[nodiscard]] DeviceData& GetIndexedDeviceData(DeviceSet& set, Block block);
[[nodiscard]] const DeviceData& GetIndexedDeviceData(const DeviceSet& set, Block block);

// The image checksums, exposed for the simulated device and tests.
[[nodiscard]] uint16_t ImageChecksumWord(std::span<const uint8_t> image);
[[nodiscard]] uint8_t ImageByteChecksum(std::span<const uint8_t> image);

// Values into the image (leaves whose item is not skipped) and the checksum word.
// 0, image untouched, when the pack does not match the struct pack; 0 when a
// value cannot be encoded (what was written stays).
[[nodiscard]] int UpdateDeviceData(const Pack& values, DeviceData& data);
// The image into the pack's values; same checks.
[[nodiscard]] int DeviceDataToVts(Pack& values, const DeviceData& data);
// UpdateDeviceData, then the 4-byte trailer.
[[nodiscard]] int CalibVtsToDeviceData(const Pack& values, DeviceData& data);
[[nodiscard]] int ValToSendSetToDeviceSet(const ValToSendSet& set, DeviceSet& devices);
// One block of ValToSendSetToDeviceSet, the others untouched.
[[nodiscard]] int BlockToDeviceData(const ValToSendSet& set, DeviceSet& devices, Block block);
[[nodiscard]] int DeviceSetToValToSendSet(const DeviceSet& devices, ValToSendSet& set);

}  // namespace tavomark
