#pragma once
// What a write would change in the device: the leaf records whose values
// differ between the block the device holds and the block about to be sent.
// Both sides are compared as the device would hold them (decoded from their
// images), so a value that only differs below its record's decimals is no
// difference. The parameter panel and tavomark-cli show the same list.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "block.h"
#include "config_set.h"
#include "device_image.h"
#include "pack.h"
#include "value_set.h"

namespace tavomark {

struct ValueDiff {
  Block block = Block::Parameters;
  std::size_t position = 0;  // 1-based record position in the block's struct pack
  std::string path;          // dotted, from the struct's root
  std::string deviceValue;   // formatted for the record, as the tree shows it
  std::string sendValue;
  std::string unit;
};

// The leaves of layout whose items differ between the two packs (a NaN on
// either side, or an item one of them lacks, counts as different); items
// skipped on the sending side are not written and never differ.
[[nodiscard]] std::vector<ValueDiff> DiffValuePacks(const StructPack& layout, const Pack& device, const Pack& toSend,
                                                    Block block = Block::Parameters);
// The same for the chosen blocks of two value sets of one configuration.
[[nodiscard]] std::vector<ValueDiff> DiffValueSets(const ConfigSet& config, const ValToSendSet& device,
                                                   const ValToSendSet& toSend, const std::vector<Block>& blocks);

// Decodes a block image of layout's size into a copy of shape (a value pack
// of the block). False, out untouched, when the image has another size or
// does not decode.
[[nodiscard]] bool DecodeBlockImage(const Pack& shape, const DeviceData& layout, std::span<const uint8_t> image,
                                    Pack& out);

// The decoded images of one device block compared; false with error when
// either does not decode.
[[nodiscard]] bool DiffBlockImages(const ValToSendSet& shape, const DeviceSet& layout, Block block,
                                   std::span<const uint8_t> deviceImage, std::span<const uint8_t> sendImage,
                                   std::vector<ValueDiff>& diffs, std::string& error);

// "N records differ:" (or "1 record differs:") and one aligned line per
// record: path, device value, value to send, unit.
[[nodiscard]] std::string FormatValueDiffs(const std::vector<ValueDiff>& diffs);

}  // namespace tavomark
