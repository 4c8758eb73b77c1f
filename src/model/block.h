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
#include <cstdint>
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

// The tab of a configuration set, of the configuration editor and of the
// parameter panel's pages.
[[nodiscard]] constexpr int TabOfBlock(Block block) {
  switch (block) {
    case Block::Parameters: return 0;
    case Block::Information: return 1;
    case Block::Calibration: return 2;
    case Block::Monitor: return 3;
  }
  assert(false && "not a block");
  return 0;
}

[[nodiscard]] constexpr Block BlockOfTab(int tab) {
  assert(tab >= 0 && tab <= 3 && "not a block's tab");
  switch (tab) {
    case 0: return Block::Parameters;
    case 1: return Block::Information;
    case 3: return Block::Monitor;
    default: return Block::Calibration;
  }
}

// Whether the device holds the block (everything but the monitor).
[[nodiscard]] constexpr bool IsDeviceBlock(Block block) { return block != Block::Monitor; }

// The block id on the wire of a device block.
[[nodiscard]] constexpr uint16_t WireIdOfBlock(Block block) {
  assert(IsDeviceBlock(block) && "the monitor has no wire block");
  switch (block) {
    case Block::Parameters: return kParamWireId;
    case Block::Information: return kInfoWireId;
    case Block::Calibration: return kCalibWireId;
    case Block::Monitor: break;
  }
  return 0;
}

// The device block of a wire id; none for any other id (the error list among them).
[[nodiscard]] constexpr std::optional<Block> BlockOfWireId(uint16_t id) {
  switch (id) {
    case kParamWireId: return Block::Parameters;
    case kInfoWireId: return Block::Information;
    case kCalibWireId: return Block::Calibration;
    default: return std::nullopt;
  }
}

// As messages name the block: "parameters", "information", "calibration", "monitor".
[[nodiscard]] constexpr const char* BlockName(Block block) {
  switch (block) {
    case Block::Parameters: return "parameters";
    case Block::Information: return "information";
    case Block::Calibration: return "calibration";
    case Block::Monitor: return "monitor";
  }
  assert(false && "not a block");
  return "";
}

// The block's word in tavomark-cli ("param", "info", "calib", "monitor").
[[nodiscard]] constexpr const char* BlockWord(Block block) {
  switch (block) {
    case Block::Parameters: return "param";
    case Block::Information: return "info";
    case Block::Calibration: return "calib";
    case Block::Monitor: return "monitor";
  }
  assert(false && "not a block");
  return "";
}

// The block a word names; none for any other word.
[[nodiscard]] constexpr std::optional<Block> BlockOfWord(std::string_view word) {
  for (Block block : kConfigBlocks)
    if (word == BlockWord(block)) return block;
  return std::nullopt;
}

}  // namespace tavomark
