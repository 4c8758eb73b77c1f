#pragma once
// The blocks of a device and every number and word a block goes by, in one
// place. Inside the program a block is a Block; it becomes a number only at an
// edge: a tab control's page, a block id in a frame, a word on the command line.
//
//   Block         tab  wire id  name           word
//   Parameters     0      1     "parameters"   "param"
//   Information    1      3     "information"  "info"
//   Calibration    2      2     "calibration"  "calib"
//   Monitor        3      -     "monitor"      "monitor"
//
// The monitor struct describes the live data, which comes with its own
// command: it has no wire id, no value pack and no device image.
//
// A number that can only come from this program (a tab of our own panels, a
// Block's own tab) is checked by assert; one that comes from outside (a frame,
// a file, an operator's word) goes through the functions that return an
// optional.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace tavomark {

enum class Block { Parameters, Information, Calibration, Monitor };

// The blocks a device holds (and a value set and a device set keep), in tab order.
inline constexpr Block kDeviceBlocks[] = {Block::Parameters, Block::Information, Block::Calibration};
// The blocks of a configuration set, in tab order.
inline constexpr Block kConfigBlocks[] = {Block::Parameters, Block::Information, Block::Calibration, Block::Monitor};

// Block ids on the wire; 4, the error list, is no block of ours.
inline constexpr uint16_t kParamWireId = 1;
inline constexpr uint16_t kCalibWireId = 2;
inline constexpr uint16_t kInfoWireId = 3;

// The table above, one row per Block in the enum's order.
struct BlockRow {
  Block block;
  int tab;
  uint16_t wireId;  // 0: none
  const char* name;
  const char* word;
};
inline constexpr BlockRow kBlockRows[] = {
    {Block::Parameters, 0, kParamWireId, "parameters", "param"},
    {Block::Information, 1, kInfoWireId, "information", "info"},
    {Block::Calibration, 2, kCalibWireId, "calibration", "calib"},
    {Block::Monitor, 3, 0, "monitor", "monitor"},
};

[[nodiscard]] constexpr const BlockRow& RowOfBlock(Block block) {
  const auto index = static_cast<std::size_t>(block);
  assert(index < std::size(kBlockRows) && "not a block");
  return kBlockRows[index < std::size(kBlockRows) ? index : 0];
}

// The tab of a configuration set, of the configuration editor and of the
// parameter panel's pages.
[[nodiscard]] constexpr int TabOfBlock(Block block) { return RowOfBlock(block).tab; }

[[nodiscard]] constexpr Block BlockOfTab(int tab) {
  for (const BlockRow& row : kBlockRows)
    if (row.tab == tab) return row.block;
  assert(false && "not a block's tab");
  return Block::Calibration;
}

// Whether the device holds the block (everything but the monitor).
[[nodiscard]] constexpr bool IsDeviceBlock(Block block) { return RowOfBlock(block).wireId != 0; }

// The block id on the wire of a device block.
[[nodiscard]] constexpr uint16_t WireIdOfBlock(Block block) {
  assert(IsDeviceBlock(block) && "the monitor has no wire block");
  return RowOfBlock(block).wireId;
}

// The device block of a wire id; none for any other id (the error list among them).
[[nodiscard]] constexpr std::optional<Block> BlockOfWireId(uint16_t id) {
  for (const BlockRow& row : kBlockRows)
    if (row.wireId != 0 && row.wireId == id) return row.block;
  return std::nullopt;
}

// As messages name the block: "parameters", "information", "calibration", "monitor".
[[nodiscard]] constexpr const char* BlockName(Block block) { return RowOfBlock(block).name; }

// The block's word in tavomark-cli ("param", "info", "calib", "monitor").
[[nodiscard]] constexpr const char* BlockWord(Block block) { return RowOfBlock(block).word; }

// The block a word names; none for any other word.
[[nodiscard]] constexpr std::optional<Block> BlockOfWord(std::string_view word) {
  for (const BlockRow& row : kBlockRows)
    if (word == row.word) return row.block;
  return std::nullopt;
}

// The member of a set (value set, device set, configuration set) that holds a
// device block: every such set names them param, info and calib.
template <typename Set>
[[nodiscard]] constexpr auto& DeviceBlockOf(Set& set, Block block) {
  assert(IsDeviceBlock(block) && "the set holds no monitor block");
  switch (block) {
    case Block::Parameters: return set.param;
    case Block::Information: return set.info;
    case Block::Calibration:
    case Block::Monitor: break;
  }
  return set.calib;
}

}  // namespace tavomark
