// The one table of a block's numbers and words, read both ways.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "block.h"

namespace tavomark {
namespace {

struct BlockRow {
  Block block;
  int tab;
  uint16_t wireId;  // 0: none
  const char* name;
  const char* word;
};

// On the wire information and calibration are the reverse of the tab order.
constexpr BlockRow kRows[] = {
    {Block::Parameters, 0, 1, "parameters", "param"},
    {Block::Information, 1, 3, "information", "info"},
    {Block::Calibration, 2, 2, "calibration", "calib"},
    {Block::Monitor, 3, 0, "monitor", "monitor"},
};

TEST(Block, EveryRowMapsBothWays) {
  for (const BlockRow& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(TabOfBlock(row.block), row.tab);
    EXPECT_EQ(BlockOfTab(row.tab), row.block);
    EXPECT_STREQ(BlockName(row.block), row.name);
    EXPECT_STREQ(BlockWord(row.block), row.word);
    EXPECT_EQ(BlockOfWord(row.word), row.block);
    EXPECT_EQ(IsDeviceBlock(row.block), row.wireId != 0);
    if (row.wireId == 0) continue;
    EXPECT_EQ(WireIdOfBlock(row.block), row.wireId);
    EXPECT_EQ(BlockOfWireId(row.wireId), row.block);
  }
}

TEST(Block, DeviceBlocksComeInTabOrder) {
  int tab = 0;
  for (Block block : kDeviceBlocks) EXPECT_EQ(TabOfBlock(block), tab++);
  EXPECT_EQ(tab, 3);
  tab = 0;
  for (Block block : kConfigBlocks) EXPECT_EQ(TabOfBlock(block), tab++);
  EXPECT_EQ(tab, 4);
}

// Numbers and words from outside that name no block are refused.
TEST(Block, UnknownWireIdsAndWordsAreRefused) {
  for (uint16_t id : {uint16_t{0}, uint16_t{4}, uint16_t{5}, uint16_t{0xFFFF}})
    EXPECT_EQ(BlockOfWireId(id), std::nullopt) << id;
  for (const char* word : {"", "Param", "parameters", "cal", "calib ", "error"})
    EXPECT_EQ(BlockOfWord(word), std::nullopt) << '"' << word << '"';
}

#ifndef NDEBUG
// A tab or block that can only come from our own code is checked by assert.
TEST(BlockDeathTest, OutOfRangeTabsAndTheMonitorsWireIdAssert) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH((void)BlockOfTab(-1), "tab");
  EXPECT_DEATH((void)BlockOfTab(4), "tab");
  EXPECT_DEATH((void)WireIdOfBlock(Block::Monitor), "monitor");
}
#endif

}  // namespace
}  // namespace tavomark
