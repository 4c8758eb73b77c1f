#include "value_diff.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fixed_text.h"
#include "value_codec.h"

namespace tavomark {

namespace {

std::string TextOf(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

bool ItemsDiffer(std::span<const uint8_t> left, std::span<const uint8_t> right) {
  if (left.empty() || right.empty()) return true;
  const float x = ItemValue(left);
  const float y = ItemValue(right);
  return std::isnan(x) || std::isnan(y) || x != y;
}

}  // namespace

std::vector<ValueDiff> DiffValuePacks(const StructPack& layout, const Pack& device, const Pack& toSend, Block block) {
  std::vector<ValueDiff> diffs;
  const std::size_t records = GetStructPackNumRecords(layout);
  for (std::size_t position = 1; position <= records; ++position) {
    const Record* record = GetStructPackRecord(layout, position);
    if (record == nullptr || !record->IsLeaf()) continue;
    const std::span<const uint8_t> sent = toSend.Item(position);
    if (!sent.empty() && ItemSkip(sent) != 0) continue;
    const std::span<const uint8_t> held = device.Item(position);
    if (!ItemsDiffer(held, sent)) continue;
    ValueDiff diff;
    diff.block = block;
    diff.position = position;
    diff.path = GetRecordPath(layout, *record);
    diff.deviceValue = held.empty() ? "-" : TrimSpaces(ValToString(*record, static_cast<double>(ItemValue(held))));
    diff.sendValue = sent.empty() ? "-" : TrimSpaces(ValToString(*record, static_cast<double>(ItemValue(sent))));
    diff.unit = TextOf(record->unit, sizeof record->unit);
    diffs.push_back(std::move(diff));
  }
  return diffs;
}

std::vector<ValueDiff> DiffValueSets(const ConfigSet& config, const ValToSendSet& device, const ValToSendSet& toSend,
                                     const std::vector<Block>& blocks) {
  std::vector<ValueDiff> diffs;
  for (Block block : blocks) {
    std::vector<ValueDiff> more =
        DiffValuePacks(GetTabIndexedStruct(config, block), GetTabIndexedValToSendPack(device, block),
                       GetTabIndexedValToSendPack(toSend, block), block);
    diffs.insert(diffs.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  return diffs;
}

bool DecodeBlockImage(const Pack& shape, const DeviceData& layout, std::span<const uint8_t> image, Pack& out) {
  if (layout.structPack == nullptr || image.size() < layout.imageSize) return false;
  DeviceData data = layout;
  data.buffer.assign(image.begin(), image.end());
  data.buffer.resize(std::max<std::size_t>(data.buffer.size(), layout.totalSize), 0);
  Pack decoded = shape;
  if (!DeviceDataToVts(decoded, data)) return false;
  out = std::move(decoded);
  return true;
}

bool DiffBlockImages(const ValToSendSet& shape, const DeviceSet& layout, Block block,
                     std::span<const uint8_t> deviceImage, std::span<const uint8_t> sendImage,
                     std::vector<ValueDiff>& diffs, std::string& error) {
  const DeviceData& data = GetIndexedDeviceData(layout, block);
  const Pack& pack = GetTabIndexedValToSendPack(shape, block);
  Pack held;
  Pack sent;
  if (!DecodeBlockImage(pack, data, deviceImage, held)) {
    error = std::string("the device's ") + BlockName(block) + " block does not fit the configuration";
    return false;
  }
  if (!DecodeBlockImage(pack, data, sendImage, sent)) {
    error = std::string("the ") + BlockName(block) + " block to send does not fit the configuration";
    return false;
  }
  std::vector<ValueDiff> more = DiffValuePacks(*data.structPack, held, sent, block);
  // A record over the checksum word follows from all the others: it is no
  // change of its own.
  std::erase_if(more, [&data](const ValueDiff& d) {
    const Record* record = GetStructPackRecord(*data.structPack, d.position);
    return record != nullptr && std::size_t{record->offset} + 2 >= data.imageSize;
  });
  diffs.insert(diffs.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  return true;
}

std::string FormatValueDiffs(const std::vector<ValueDiff>& diffs) {
  std::string text = diffs.size() == 1 ? "1 record differs:\n" : std::to_string(diffs.size()) + " records differ:\n";
  std::size_t pathWidth = 4;
  std::size_t deviceWidth = 6;
  std::size_t sendWidth = 7;
  for (const ValueDiff& d : diffs) {
    pathWidth = std::max(pathWidth, d.path.size());
    deviceWidth = std::max(deviceWidth, d.deviceValue.size());
    sendWidth = std::max(sendWidth, d.sendValue.size());
  }
  const auto pad = [](const std::string& s, std::size_t width, bool right) {
    const std::string fill(width > s.size() ? width - s.size() : 0, ' ');
    return right ? fill + s : s + fill;
  };
  text += "  " + pad("path", pathWidth, false) + "  " + pad("device", deviceWidth, true) + "  " +
          pad("to send", sendWidth, true) + "  unit\n";
  for (const ValueDiff& d : diffs) {
    std::string line = "  " + pad(d.path, pathWidth, false) + "  " + pad(d.deviceValue, deviceWidth, true) + "  " +
                       pad(d.sendValue, sendWidth, true) + "  " + d.unit;
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace tavomark
