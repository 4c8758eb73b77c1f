#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <ostream>
#include <vector>

#include "model_test_util.h"
#include "value_codec.h"

namespace tavomark {
namespace {

using test::Leaf;

// A leaf at an offset with its natural range as limits, as the layout leaves it.
Record Laid(Record r, uint16_t offset = 0, uint16_t bitOffset = 0) {
  r.offset = offset;
  r.bitOffset = bitOffset;
  double hi = 0;
  double lo = 0;
  if (RecordValRange(r, hi, lo)) {
    r.maxValue = hi;
    r.minValue = lo;
  } else {
    r.maxValue = 1e300;
    r.minValue = -1e300;
  }
  return r;
}

// ---- byte order -----------------------------------------------------------------

struct OrderCase {
  uint8_t big;
  uint8_t swap;
  bool bitField;
  std::array<uint8_t, 2> bytes;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
  *os << (c.bitField ? "bitfield" : "plain") << " B" << int(c.big) << " S" << int(c.swap);
}

class ByteOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(ByteOrder, PlacesTheUnitsBytes) {
  const auto& c = GetParam();
  Record r = Laid(Leaf(0, "w", "U16", 2, false, c.bitField ? 16 : 0));
  std::vector<uint8_t> image(2, 0);
  ASSERT_EQ(ValToMemoryByte(r, 0x1234, image, c.big, c.swap), 1);
  EXPECT_EQ(image[0], c.bytes[0]);
  EXPECT_EQ(image[1], c.bytes[1]);
  double back = 0;
  ASSERT_EQ(MemoryByteToVal(r, back, image, c.big, c.swap), 1);
  EXPECT_EQ(back, 0x1234);
}

INSTANTIATE_TEST_SUITE_P(
    PlainAndBitField, ByteOrder,
    ::testing::Values(OrderCase{0, 0, false, {0x34, 0x12}}, OrderCase{1, 0, false, {0x12, 0x34}},
                      OrderCase{1, 1, false, {0x34, 0x12}}, OrderCase{0, 1, false, {0x12, 0x34}},
                      // a bit field follows the swap flag alone
                      OrderCase{1, 0, true, {0x34, 0x12}}, OrderCase{0, 1, true, {0x12, 0x34}},
                      OrderCase{1, 1, true, {0x12, 0x34}}));

TEST(ValueCodec, SwappedBitFieldLiesInTheLowBitsOfTheReversedUnit) {
  Record r = Laid(Leaf(0, "f", "U16", 2, false, 4), 0, 0);
  std::vector<uint8_t> image{0x00, 0x00};
  ASSERT_EQ(ValToMemoryByte(r, 9, image, 0, 1), 1);
  EXPECT_EQ(image[0], 0x00);
  EXPECT_EQ(image[1], 0x09);
  double back = 0;
  ASSERT_EQ(MemoryByteToVal(r, back, image, 0, 1), 1);
  EXPECT_EQ(back, 9);
}

TEST(ValueCodec, Swap16ExchangesBytes) { EXPECT_EQ(Swap16(0x1234), 0x3412); }

// ---- signed, unsigned, bit fields ------------------------------------------------

TEST(ValueCodec, SignedDecimalsRoundHalfAwayFromZero) {
  Record r = Laid(Leaf(0, "t", "S8", 1, true, 0, 1));
  std::vector<uint8_t> image{0xF6};
  double v = 0;
  ASSERT_EQ(MemoryByteToVal(r, v, image, 0, 0), 1);
  EXPECT_DOUBLE_EQ(v, -1.0);
  ASSERT_EQ(ValToMemoryByte(r, -1.04, image, 0, 0), 1);
  EXPECT_EQ(image[0], 0xF6);
  ASSERT_EQ(ValToMemoryByte(r, -1.05, image, 0, 0), 1);
  EXPECT_EQ(image[0], 0xF5);
  ASSERT_EQ(ValToMemoryByte(r, 1.05, image, 0, 0), 1);
  EXPECT_EQ(image[0], 0x0B);
}

struct SaturationCase {
  const char* type;
  uint16_t bytes;
  bool isSigned;
  double in;
  double out;
};

void PrintTo(const SaturationCase& c, std::ostream* os) { *os << c.type << " " << c.in; }

class Saturation : public ::testing::TestWithParam<SaturationCase> {};

// Limits wider than the field (a configuration may carry any) still cannot
// push a value past what the field holds.
TEST_P(Saturation, ValuesBeyondTheFieldSaturate) {
  const auto& c = GetParam();
  Record r = Leaf(0, "v", c.type, c.bytes, c.isSigned);
  r.maxValue = 1e30;
  r.minValue = -1e30;
  std::vector<uint8_t> image(9, 0xAA);
  ASSERT_EQ(ValToMemoryByte(r, c.in, image, 0, 0), 1);
  double back = 0;
  ASSERT_EQ(MemoryByteToVal(r, back, image, 0, 0), 1);
  EXPECT_EQ(back, c.out);
  EXPECT_EQ(image[c.bytes], 0xAA) << "wrote past the field";
}

INSTANTIATE_TEST_SUITE_P(
    Widths, Saturation,
    ::testing::Values(SaturationCase{"S16", 2, true, 40000, 32767}, SaturationCase{"S16", 2, true, -40000, -32768},
                      SaturationCase{"U16", 2, false, 70000, 65535}, SaturationCase{"U16", 2, false, -3, 0},
                      SaturationCase{"S32", 4, true, -3e9, -2147483648.0},
                      SaturationCase{"U32", 4, false, 1e12, 4294967295.0},
                      SaturationCase{"S64", 8, true, 1e20, 9223372036854775807.0},
                      SaturationCase{"U64", 8, false, 1e25, 18446744073709551615.0},
                      SaturationCase{"S64", 8, true, -1e25, -9223372036854775808.0},
                      SaturationCase{"U8", 1, false, 254.5, 255}, SaturationCase{"S8", 1, true, -127.5, -128}));

TEST(ValueCodec, BitFieldSaturatesAndKeepsTheOtherBits) {
  Record r = Laid(Leaf(0, "f", "U8", 1, false, 3), 0, 5);
  r.maxValue = 100;  // limits beyond the field's own width
  std::vector<uint8_t> image{0x15};
  ASSERT_EQ(ValToMemoryByte(r, 9, image, 0, 0), 1);
  EXPECT_EQ(image[0], 0xF5);
  ASSERT_EQ(ValToMemoryByte(r, 2, image, 0, 0), 1);
  EXPECT_EQ(image[0], 0x55);
  double v = 0;
  ASSERT_EQ(MemoryByteToVal(r, v, image, 0, 0), 1);
  EXPECT_EQ(v, 2);
}

TEST(ValueCodec, WideBitFieldOfASixByteUnit) {
  Record r = Laid(Leaf(0, "f47", "U16", 6, false, 1), 0, 47);
  std::vector<uint8_t> image(6, 0);
  ASSERT_EQ(ValToMemoryByte(r, 1, image, 1, 0), 1);
  EXPECT_EQ(image[5], 0x80);
  ASSERT_EQ(ValToMemoryByte(r, 1, image, 1, 1), 1);
  EXPECT_EQ(image[0], 0x80);
}

TEST(ValueCodec, TopBitSetDecodesUnsigned) {
  Record r = Laid(Leaf(0, "u", "U64", 8));
  std::vector<uint8_t> image(8, 0xFF);
  double v = 0;
  ASSERT_EQ(MemoryByteToVal(r, v, image, 0, 0), 1);
  EXPECT_EQ(v, 18446744073709551615.0);
}

TEST(ValueCodec, NaNEncodesAsZero) {
  Record r = Laid(Leaf(0, "s", "S16", 2, true));
  std::vector<uint8_t> image{0x11, 0x22};
  ASSERT_EQ(ValToMemoryByte(r, std::nan(""), image, 0, 0), 1);
  EXPECT_EQ(image[0], 0);
  EXPECT_EQ(image[1], 0);
}

TEST(ValueCodec, RefusedRecordsLeaveValueAndImageUntouched) {
  std::vector<Record> refused;
  refused.push_back(Laid(Leaf(0, "wide", "U64", 9)));
  Record signedField = Leaf(0, "sf", "S8", 1, true, 3);
  signedField.maxValue = 5;
  refused.push_back(signedField);
  refused.push_back(Laid(Leaf(0, "overhang", "U8", 1, false, 4), 0, 6));
  refused.push_back(Laid(Leaf(0, "outside", "U32", 4), 6));  // past the 8-byte image
  Record container = test::Container(0, RecordKind::Struct, "s");
  container.byteSize = 2;
  refused.push_back(container);
  for (const Record& r : refused) {
    std::vector<uint8_t> image(8, 0x5A);
    double v = 42;
    EXPECT_EQ(MemoryByteToVal(r, v, image, 0, 0), 0) << r.varName;
    EXPECT_EQ(v, 42) << r.varName;
    EXPECT_EQ(ValToMemoryByte(r, 3, image, 0, 0), 0) << r.varName;
    EXPECT_EQ(image, std::vector<uint8_t>(8, 0x5A)) << r.varName;
  }
}

// ---- ranges and clamping ----------------------------------------------------------

TEST(ValueRange, NaturalRangesOfEachKind) {
  double hi = 0;
  double lo = 0;
  ASSERT_EQ(RecordValRange(Leaf(0, "u", "U64", 8, false, 0, 2), hi, lo), 1);
  EXPECT_DOUBLE_EQ(hi, 18446744073709551615.0 / 100);
  EXPECT_EQ(lo, 0);
  ASSERT_EQ(RecordValRange(Leaf(0, "s", "S16", 2, true, 0, 1), hi, lo), 1);
  EXPECT_DOUBLE_EQ(hi, 3276.7);
  EXPECT_DOUBLE_EQ(lo, -3276.8);
  ASSERT_EQ(RecordValRange(Leaf(0, "f", "U16", 2, false, 5), hi, lo), 1);
  EXPECT_EQ(hi, 31);
  hi = lo = 7;
  EXPECT_EQ(RecordValRange(Leaf(0, "sf", "S16", 2, true, 5), hi, lo), 0);
  EXPECT_EQ(RecordValRange(Leaf(0, "f", "U64", 8, false, 64), hi, lo), 0);
  EXPECT_EQ(hi, 7);
}

TEST(ValueRange, ClampTakesTheNarrowerOfLimitsAndNaturalRange) {
  Record r = Leaf(0, "u", "U8", 1);
  r.minValue = -50;
  r.maxValue = 1000;
  EXPECT_EQ(InRangeVal(r, 300), 255);
  EXPECT_EQ(InRangeVal(r, -3), 0);
  r.minValue = 10;
  r.maxValue = 20;
  EXPECT_EQ(InRangeVal(r, 5), 10);
  EXPECT_EQ(InRangeVal(r, 15), 15);
  // Crossed limits: the upper test comes first.
  r.minValue = 30;
  EXPECT_EQ(InRangeVal(r, 25), 20);
  EXPECT_EQ(InRangeVal(r, 5), 30);
  // No natural range: only the limits bound the value.
  Record sf = Leaf(0, "sf", "S8", 1, true, 3);
  sf.minValue = -1000;
  sf.maxValue = 1000;
  EXPECT_EQ(InRangeVal(sf, 999), 999);
}

// ---- parsing and formatting ----------------------------------------------------------

TEST(ValueText, TypedEntriesAreParsedAndClamped) {
  Record r = Laid(Leaf(0, "u", "U16", 2));
  r.value = 12;
  EXPECT_EQ(StringToVal(r, "1e9"), 65535);
  EXPECT_EQ(StringToVal(r, "-5"), 0);
  EXPECT_EQ(StringToVal(r, "  42.5 "), 42.5);
  // Not wholly a number: the current value, nothing changes.
  EXPECT_EQ(StringToVal(r, "42.5abc"), 12);
  EXPECT_EQ(StringToVal(r, "volts"), 12);
  Record c = Laid(Leaf(0, "c", "CHR", 1));
  EXPECT_EQ(StringToVal(c, "A"), 65);
  EXPECT_EQ(StringToVal(c, "\xC3"), -61);
}

TEST(ValueText, NumbersAreRightAlignedWithTheirDecimals) {
  EXPECT_EQ(ValToString(Leaf(0, "x", "U16", 2, false, 0, 2), 3.14159), "    3.14");
  EXPECT_EQ(ValToString(Leaf(0, "x", "U16", 2), 42), "        42");
  EXPECT_EQ(ValToString(Leaf(0, "x", "S16", 2, true, 0, 1), -2.26), "     -2.3");
  EXPECT_EQ(ValToString(test::Container(0, RecordKind::Struct, "s"), 5), "");
}

TEST(ValueText, CharactersShowPrintableCodesOrBackslashNumbers) {
  const Record c = Leaf(0, "c", "CHR", 1);
  EXPECT_EQ(ValToString(c, 65), "A");
  EXPECT_EQ(ValToString(c, 32), " ");
  EXPECT_EQ(ValToString(c, 121), "y");
  EXPECT_EQ(ValToString(c, 122), "\\122");
  EXPECT_EQ(ValToString(c, 7), "\\07");
  EXPECT_EQ(ValToString(c, 66.9), "B");
}

// ---- field readers -----------------------------------------------------------------

TEST(FieldReaders, ChainAlongALineAndStopAtAMissingDelimiter) {
  const char line[] = " 12;'x';  name here ;1;3.5";
  int16_t n = 0;
  char c = 0;
  char text[11];
  uint8_t flag = 0;
  double d = 0;
  const char* p = ReadNumericVariable(line, ';', n);
  p = ReadCharVariable(p, ';', c);
  p = ReadStringVariable(p, 10, ';', text);
  p = ReadBoolVariable(p, ';', flag);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(c, 'x');
  EXPECT_STREQ(text, "name here ");
  EXPECT_EQ(flag, 1);
  ASSERT_NE(p, nullptr);
  p = ReadNumericVariable(p, ';', d);  // last field has no ';'
  EXPECT_EQ(d, 3.5);
  EXPECT_EQ(p, nullptr);
  // Every later reader sees null and stores its default.
  n = 9;
  EXPECT_EQ(ReadNumericVariable(p, ';', n), nullptr);
  EXPECT_EQ(n, 9);
  EXPECT_EQ(ReadCharVariable(p, ';', c), nullptr);
  EXPECT_EQ(c, ' ');
  EXPECT_EQ(ReadStringVariable(p, 10, ';', text), nullptr);
  EXPECT_STREQ(text, "");
  flag = 1;
  EXPECT_EQ(ReadBoolVariable(p, ';', flag), nullptr);
  EXPECT_EQ(flag, 0);
}

TEST(FieldReaders, LongTextIsCutToCapacityAndTerminated) {
  char text[6];
  std::memset(text, 'Z', sizeof text);
  const char* p = ReadStringVariable("abcdefghij;rest", 5, ';', text);
  EXPECT_STREQ(text, "abcde");
  EXPECT_STREQ(p, "rest");
  // Without a delimiter nothing is stored.
  EXPECT_EQ(ReadStringVariable("no end", 5, ';', text), nullptr);
  EXPECT_STREQ(text, "abcde");
}

TEST(FieldReaders, MissingNumbersKeepTheDestinationAndWideOnesWrap) {
  uint16_t u = 77;
  EXPECT_STREQ(ReadNumericVariable("  ;next", ';', u), "next");
  EXPECT_EQ(u, 77);
  EXPECT_NE(ReadNumericVariable("65535;", ';', u), nullptr);
  EXPECT_EQ(u, 65535);
  int16_t s = 0;
  ReadNumericVariable("40000;", ';', s);
  EXPECT_EQ(static_cast<uint16_t>(s), 40000);
  char c = 'q';
  EXPECT_STREQ(ReadCharVariable("';';after", ';', c), "after");
  EXPECT_EQ(c, ';');
  EXPECT_EQ(ReadCharVariable("'", ';', c), nullptr);  // a line cut inside the quotes
}

}  // namespace
}  // namespace tavomark

namespace tavomark {
namespace {

// Typed entries: the whole text is the number; anything else is refused with
// the field and the text in the message, and nothing is stored.
TEST(TypedValue, RefusesWhatIsNotWhollyANumber) {
  Record r = test::Leaf(0, "u", "U16", 2);
  r.maxValue = 1000;
  const char* refused[] = {"abc", "", "  ", "0x10", "1,5", "12abc", "nan", "NaN", "inf", "-inf", "1e999", "1 2"};
  for (const char* text : refused) {
    double out = 42;
    std::string error;
    EXPECT_FALSE(ParseTypedValue(r, text, "param:u", out, error)) << text;
    EXPECT_EQ(out, 42) << text;
    EXPECT_EQ(error.rfind("param:u: \"", 0), 0u) << error;
  }
  double out = 0;
  std::string error;
  ASSERT_TRUE(ParseTypedValue(r, " 12.5 ", "param:u", out, error)) << error;
  EXPECT_EQ(out, 12.5);
  ASSERT_TRUE(ParseTypedValue(r, "5000", "param:u", out, error));
  EXPECT_EQ(out, 1000) << "clamped to the limit";

  Record c = test::Leaf(0, "c", "CHR", 1);
  ASSERT_TRUE(ParseTypedValue(c, "A", "param:c", out, error));
  EXPECT_EQ(out, 65);
  EXPECT_FALSE(ParseTypedValue(c, "AB", "param:c", out, error));
  EXPECT_FALSE(ParseTypedValue(c, "", "param:c", out, error));
}

TEST(TypedValue, ANaNIsKeptWithinTheLimits) {
  Record r = test::Leaf(0, "u", "U16", 2);
  r.minValue = 10;
  r.maxValue = 20;
  EXPECT_EQ(InRangeVal(r, std::nan("")), 10);
}

}  // namespace
}  // namespace tavomark
