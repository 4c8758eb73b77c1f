#pragma once
// Conversion between a record's raw bytes in a device image and its engineering
// value (raw / 10^decimals), in the firmware's byte order; natural ranges,
// clamping, display formatting and parsing of typed entries.
//
// Byte order of a unit of n bytes: a plain value is taken in image order when
// bigEndianMode == swapDataBlock and reversed otherwise; a bit field is taken in
// image order when swapDataBlock == 0 and reversed otherwise.
//
// Formatting uses printf's "%f", so the program keeps LC_NUMERIC at "C".

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "record.h"

namespace tavomark {

// Decodes the record from image[offset ..]. Returns 1, or 0 (value untouched)
// for a container, a unit wider than 8 bytes, a signed bit field, a field that
// does not fit its unit, or a record lying outside the image.
[[nodiscard]] int MemoryByteToVal(const Record& record, double& value, std::span<const uint8_t> image,
                                  uint8_t bigEndianMode, uint8_t swapDataBlock);

// Encodes the value (clamped to the record's limits, rounded half away from zero,
// saturated to the field) into the image. Returns 1, or 0 with the image
// unchanged for the same cases as decoding. A NaN encodes as 0.
[[nodiscard]] int ValToMemoryByte(const Record& record, double value, std::span<uint8_t> image,
                                  uint8_t bigEndianMode, uint8_t swapDataBlock);

// Natural engineering range of the record's type. Returns 1, or 0 (nothing
// written) for a signed bit field or a width it cannot describe.
[[nodiscard]] int RecordValRange(const Record& record, double& maxValue, double& minValue);

// The value clamped into the record's limits and its natural range. A NaN is
// taken as 0 (what the encoder stores for it) and clamped like any value.
[[nodiscard]] double InRangeVal(const Record& record, double value);

// Parses a typed entry with the strict reader (strict_number.h): for "CHR"
// records exactly one character, taken as its signed 8-bit code; otherwise the
// whole text must be a finite number, which is then clamped. False, with error
// naming field and quoting the text, for anything else.
[[nodiscard]] bool ParseTypedValue(const Record& record, std::string_view text, std::string_view field,
                                   double& out, std::string& error);

// An entry typed into a value cell: ParseTypedValue, then a number is rounded
// to the record's decimals (half away from zero) and limited to its range
// again, so what is stored is what the cell will show.
[[nodiscard]] bool ParseEditedValue(const Record& record, std::string_view text, std::string_view field,
                                    double& out, std::string& error);

// ParseTypedValue for callers without a place for the message: a refused text
// gives the record's current value (clamped), so nothing changes.
[[nodiscard]] double StringToVal(const Record& record, std::string_view text);

// Display text: empty for containers, "%*.*f" with width 10 - decimals for
// numbers, the character or "\NN" for "CHR" records.
[[nodiscard]] std::string ValToString(const Record& record, double value);

[[nodiscard]] constexpr uint16_t Swap16(uint16_t v) {
  return static_cast<uint16_t>((v >> 8) | (v << 8));
}

// Field readers for the ';'-separated text formats. Each takes the position
// where its field starts (null when an earlier field had no delimiter) inside a
// NUL-terminated line and returns the position after the field's delimiter, or
// null when there is none. None reads past the line's terminator.

// "'c'": the quoted character; null input stores a space.
const char* ReadCharVariable(const char* p, char delimiter, char& out);
// Text up to the delimiter, leading spaces skipped, at most capacity characters
// stored with a terminator (out holds capacity + 1 bytes). Without a delimiter
// nothing is stored; null input stores the empty text.
const char* ReadStringVariable(const char* p, std::size_t capacity, char delimiter, char* out);
// A decimal number; when none is found the destination is unchanged. Integers
// wrap to the destination's width as the C conversions do.
const char* ReadNumericVariable(const char* p, char delimiter, int8_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, uint8_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, int16_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, uint16_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, int32_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, uint32_t& out);
const char* ReadNumericVariable(const char* p, char delimiter, double& out);
// An 8-bit number stored as 0/1; null input (or no number) stores 0.
const char* ReadBoolVariable(const char* p, char delimiter, uint8_t& out);

// Reads a double the way "%lf" does (leading blanks skipped, stops at the first
// character that cannot continue the number), independent of the locale.
[[nodiscard]] bool ParseDouble(const char* text, double& out, const char** end = nullptr);

}  // namespace tavomark
