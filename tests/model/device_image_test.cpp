#include <gtest/gtest.h>

#include "config_fixture.h"
#include "device_image.h"

namespace tavomark {
namespace {

using test::MakeConfig;

// A 4-byte struct: U16 value then the U16 checksum word.
StructPack FourBytePack(uint8_t big, uint8_t swap) {
  StructPack p = CreateStructPack();
  p.records = {test::Container(0, RecordKind::Struct, "blk"), test::U16(1, "v"), test::U16(1, "crc")};
  CalcStructSize(p.records);
  test::Identify(p, 315, 'C');
  p.header.bigEndianMode = big;
  p.header.swapDataBlock = swap;
  return p;
}

struct ChecksumCase {
  uint8_t big;
  uint8_t swap;
  uint8_t b2;
  uint8_t b3;
};

class ChecksumWord : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(ChecksumWord, StoredInTheFirmwaresOrder) {
  const auto& c = GetParam();
  StructPack pack = FourBytePack(c.big, c.swap);
  Pack values = CreateValToSendPack(pack);
  // v = 0x0201 so that the image starts 01 02 in little-endian order.
  SetItemValue(values.Item(2), static_cast<float>(c.big == c.swap ? 0x0201 : 0x0102));
  DeviceData data = CreateDeviceData(pack, kShortTrailerBytes);
  ASSERT_EQ(CalibVtsToDeviceData(values, data), 1);
  EXPECT_EQ(data.buffer[0], 0x01);
  EXPECT_EQ(data.buffer[1], 0x02);
  EXPECT_EQ(data.buffer[2], c.b2);
  EXPECT_EQ(data.buffer[3], c.b3);
  // Trailer: code LE, byte checksum of all four image bytes, letter.
  EXPECT_EQ(data.buffer[4], 315 & 0xFF);
  EXPECT_EQ(data.buffer[5], 315 >> 8);
  EXPECT_EQ(data.buffer[6], static_cast<uint8_t>(~(0x01 + 0x02 + 0xFC + 0xFF)));
  EXPECT_EQ(data.buffer[7], 'C');
}

INSTANTIATE_TEST_SUITE_P(Orders, ChecksumWord,
                         ::testing::Values(ChecksumCase{0, 0, 0xFC, 0xFF}, ChecksumCase{1, 1, 0xFC, 0xFF},
                                           ChecksumCase{1, 0, 0xFF, 0xFC}, ChecksumCase{0, 1, 0xFF, 0xFC}));

TEST(DeviceImage, TinyStructsStillGetAChecksumWord) {
  StructPack empty = CreateStructPack();
  DeviceData data = CreateDeviceData(empty, kParamTrailerBytes);
  EXPECT_EQ(data.imageSize, 2u);
  EXPECT_EQ(data.totalSize, 38u);
  EXPECT_EQ(ImageChecksumWord(data.Image()), 0xFFFF);
  EXPECT_EQ(ImageByteChecksum({}), 0xFF);
}

TEST(DeviceImage, ParamTrailerCarriesTheSetName) {
  ConfigSet config = MakeConfig();
  ValToSendSet vts = CreateValToSendSet(config);
  SetText(vts.name, "Demo");
  DeviceSet devices = CreateDeviceSet(config);
  ASSERT_EQ(ValToSendSetToDeviceSet(vts, devices), 1);
  const DeviceData& p = devices.param;
  ASSERT_EQ(p.imageSize, 8u);
  ASSERT_EQ(p.totalSize, 44u);
  const uint8_t* t = p.buffer.data() + 8;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t), 4), "Demo");
  for (int i = 4; i < 32; ++i) EXPECT_EQ(t[i], 0) << i;
  EXPECT_EQ(t[32], 0x3B);  // 315 = 0x013B, low byte first
  EXPECT_EQ(t[33], 0x01);
  EXPECT_EQ(t[35], 'C');
  // speed 12.5 with one decimal -> 125; temp[0] -7 -> 0xFFF9.
  EXPECT_EQ(p.buffer[0], 125);
  EXPECT_EQ(p.buffer[2], 0xF9);
  EXPECT_EQ(p.buffer[3], 0xFF);
  EXPECT_EQ(devices.info.totalSize, 12u);
  EXPECT_EQ(&GetIndexedDeviceData(devices, Block::Parameters), &devices.param);
  EXPECT_EQ(&GetIndexedDeviceData(devices, Block::Information), &devices.info);
  EXPECT_EQ(&GetIndexedDeviceData(devices, Block::Calibration), &devices.calib);
}

TEST(DeviceImage, SkippedItemsKeepTheirImageBytes) {
  ConfigSet config = MakeConfig();
  ValToSendSet vts = CreateValToSendSet(config);
  DeviceData data = CreateDeviceData(config.param, kParamTrailerBytes);
  data.buffer[0] = 0xAB;
  data.buffer[1] = 0xCD;
  data.buffer[2] = 0x11;
  SetItemSkip(vts.param.Item(2), 1);  // speed
  ASSERT_EQ(UpdateDeviceData(vts.param, data), 1);
  EXPECT_EQ(data.buffer[0], 0xAB);
  EXPECT_EQ(data.buffer[1], 0xCD);
  EXPECT_EQ(data.buffer[2], 0xF9);  // temp[0] rewritten
}

TEST(DeviceImage, ImageBackToValuesRoundsToDecimalsInSinglePrecision) {
  ConfigSet config = MakeConfig();
  ValToSendSet vts = CreateValToSendSet(config);
  SetItemValue(vts.param.Item(2), 3.14159f);
  DeviceData data = CreateDeviceData(config.param, kParamTrailerBytes);
  ASSERT_EQ(UpdateDeviceData(vts.param, data), 1);
  vts.param.header.isNew = 0;
  SetItemValue(vts.param.Item(2), 0.0f);
  ASSERT_EQ(DeviceDataToVts(vts.param, data), 1);
  EXPECT_EQ(ItemValue(vts.param.Item(2)), 3.1f);
  EXPECT_EQ(vts.param.header.isNew, 1);
}

TEST(DeviceImage, MismatchedPacksAreRefusedBeforeTheImageIsTouched) {
  ConfigSet config = MakeConfig();
  ValToSendSet vts = CreateValToSendSet(MakeConfig(315, 'C', 1));  // one record more
  DeviceData data = CreateDeviceData(config.param, kParamTrailerBytes);
  data.buffer.assign(data.totalSize, 0x77);
  EXPECT_EQ(UpdateDeviceData(vts.param, data), 0);
  ValToSendSet other = CreateValToSendSet(MakeConfig(316, 'C'));
  EXPECT_EQ(UpdateDeviceData(other.param, data), 0);
  EXPECT_EQ(DeviceDataToVts(other.param, data), 0);
  EXPECT_EQ(data.buffer, std::vector<uint8_t>(data.totalSize, 0x77));
}

}  // namespace
}  // namespace tavomark
