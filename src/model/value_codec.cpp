#include "value_codec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "fixed_text.h"
#include "strict_number.h"

namespace tavomark {

namespace {

bool IsChr(const Record& record) { return TextOf(record.varType) == "CHR"; }

bool FitsImage(const Record& record, std::size_t imageSize) {
  return std::size_t{record.offset} + record.byteSize <= imageSize;
}

// True when image byte offset+i is byte i of the little-endian integer.
bool SameOrder(const Record& record, uint8_t bigEndianMode, uint8_t swapDataBlock) {
  if (record.bitSize != 0) return swapDataBlock == 0;
  return (bigEndianMode != 0) == (swapDataBlock != 0);
}

// Index of the integer byte that image byte i of an n-byte unit holds.
std::size_t IntegerByte(std::size_t i, std::size_t n, bool sameOrder) {
  return sameOrder ? i : n - 1 - i;
}

uint64_t LoadUnit(const uint8_t* unit, std::size_t n, bool sameOrder) {
  uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= uint64_t{unit[i]} << (8 * IntegerByte(i, n, sameOrder));
  return v;
}

void StoreUnit(uint8_t* unit, std::size_t n, bool sameOrder, uint64_t v) {
  for (std::size_t i = 0; i < n; ++i) unit[i] = static_cast<uint8_t>(v >> (8 * IntegerByte(i, n, sameOrder)));
}

double Scale(uint16_t decimals) { return std::pow(10.0, decimals); }

uint64_t LowMask(unsigned bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

// Round half away from zero into int64, saturating instead of overflowing.
int64_t RoundToSigned(double v) {
  if (std::isnan(v)) return 0;
  const double r = v >= 0 ? v + 0.5 : v - 0.5;
  if (r >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (r <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

uint64_t RoundToUnsigned(double v) {
  if (std::isnan(v)) return 0;
  const double r = v + 0.5;
  if (r < 1.0) return 0;
  if (r >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(r);
}

}  // namespace

int MemoryByteToVal(const Record& record, double& value, std::span<const uint8_t> image, uint8_t bigEndianMode,
                    uint8_t swapDataBlock) {
  if (record.IsContainer() || record.byteSize > 8 || !FitsImage(record, image.size())) return 0;
  const std::size_t n = record.byteSize;
  const unsigned w = static_cast<unsigned>(8 * n);
  const uint64_t unit = LoadUnit(image.data() + record.offset, n, SameOrder(record, bigEndianMode, swapDataBlock));
  double raw = 0.0;
  if (record.bitSize == 0) {
    if (record.isSigned && w > 0) {
      const unsigned shift = 64 - w;
      const auto extended = static_cast<int64_t>(unit << shift) >> shift;
      raw = static_cast<double>(extended);
    } else {
      raw = static_cast<double>(unit);
    }
  } else {
    if (record.isSigned) return 0;
    if (unsigned{record.bitOffset} + record.bitSize > w) return 0;
    raw = static_cast<double>((unit >> record.bitOffset) & LowMask(record.bitSize));
  }
  value = raw / Scale(record.decimals);
  return 1;
}

int ValToMemoryByte(const Record& record, double value, std::span<uint8_t> image, uint8_t bigEndianMode,
                    uint8_t swapDataBlock) {
  if (record.IsContainer() || record.byteSize > 8 || !FitsImage(record, image.size())) return 0;
  const std::size_t n = record.byteSize;
  const unsigned w = static_cast<unsigned>(8 * n);
  const bool sameOrder = SameOrder(record, bigEndianMode, swapDataBlock);
  uint8_t* unit = image.data() + record.offset;

  if (value < record.minValue)
    value = record.minValue;
  else if (value > record.maxValue)
    value = record.maxValue;
  const double scaled = value * Scale(record.decimals);

  if (record.isSigned) {
    if (record.bitSize != 0) return 0;
    int64_t raw = RoundToSigned(scaled);
    if (w > 0 && w < 64) {
      const int64_t hi = (int64_t{1} << (w - 1)) - 1;
      const int64_t lo = -hi - 1;
      raw = raw > hi ? hi : (raw < lo ? lo : raw);
    }
    StoreUnit(unit, n, sameOrder, static_cast<uint64_t>(raw));
    return 1;
  }

  uint64_t raw = RoundToUnsigned(scaled);
  if (record.bitSize > w) return 0;
  uint64_t mask = LowMask(record.bitSize != 0 ? record.bitSize : w);
  if (raw > mask) raw = mask;
  if (record.bitSize == 0) {
    StoreUnit(unit, n, sameOrder, raw);
    return 1;
  }
  if (unsigned{record.bitOffset} + record.bitSize > w) return 0;
  raw <<= record.bitOffset;
  mask <<= record.bitOffset;
  const uint64_t old = LoadUnit(unit, n, sameOrder);
  StoreUnit(unit, n, sameOrder, (old & ~mask) | (raw & mask));
  return 1;
}

int RecordValRange(const Record& record, double& maxValue, double& minValue) {
  const unsigned w = 8u * record.byteSize;
  const double scale = Scale(record.decimals);
  if (!record.isSigned) {
    if (record.bitSize == 0) {
      if (w > 64) return 0;
      maxValue = (std::ldexp(1.0, static_cast<int>(w)) - 1.0) / scale;
    } else {
      if (record.bitSize > 63) return 0;
      maxValue = (std::ldexp(1.0, record.bitSize) - 1.0) / scale;
    }
    minValue = 0.0;
    return 1;
  }
  if (record.bitSize != 0 || w == 0 || w > 64) return 0;
  maxValue = (std::ldexp(1.0, static_cast<int>(w - 1)) - 1.0) / scale;
  minValue = -std::ldexp(1.0, static_cast<int>(w - 1)) / scale;
  return 1;
}

double InRangeVal(const Record& record, double value) {
  double upper = record.maxValue;
  double lower = record.minValue;
  double naturalMax = 0.0;
  double naturalMin = 0.0;
  if (RecordValRange(record, naturalMax, naturalMin)) {
    upper = std::min(upper, naturalMax);
    lower = std::max(lower, naturalMin);
  }
  if (std::isnan(value)) value = 0.0;
  if (value > upper) return upper;
  if (value < lower) return lower;
  return value;
}

bool ParseDouble(const char* text, double& out, const char** end) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  double v = 0.0;
  const char* last = p + std::strlen(p);
  auto result = std::from_chars(p, last, v, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Like strtod: overflow gives infinity, underflow zero.
    const bool tiny = [&] {
      for (const char* q = p; q < result.ptr; ++q)
        if (*q == 'e' || *q == 'E') return q + 1 < result.ptr && q[1] == '-';
      return false;
    }();
    v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (result.ec != std::errc()) {
    return false;
  }
  out = negative ? -v : v;
  if (end) *end = result.ptr;
  return true;
}

bool ParseTypedValue(const Record& record, std::string_view text, std::string_view field, double& out,
                     std::string& error) {
  if (IsChr(record)) {
    if (text.size() != 1) {
      error = std::string(field) + ": \"" + std::string(text) + "\" is not one character";
      return false;
    }
    out = static_cast<double>(static_cast<int8_t>(text.front()));
    return true;
  }
  double v = 0.0;
  if (!ParseStrictNumber(text, field, v, error)) return false;
  out = InRangeVal(record, v);
  return true;
}

bool ParseEditedValue(const Record& record, std::string_view text, std::string_view field, double& out,
                      std::string& error) {
  if (!ParseTypedValue(record, text, field, out, error)) return false;
  if (IsChr(record) || record.decimals > 15) return true;
  const double scale = std::pow(10.0, record.decimals);
  out = InRangeVal(record, std::round(out * scale) / scale);
  return true;
}

double StringToVal(const Record& record, std::string_view text) {
  double v = 0.0;
  std::string error;
  if (ParseTypedValue(record, text, TextOf(record.varName), v, error)) return v;
  return IsChr(record) ? record.value : InRangeVal(record, record.value);
}

std::string ValToString(const Record& record, double value) {
  if (record.IsContainer()) return {};
  if (!IsChr(record)) {
    const int width = 10 - static_cast<int>(record.decimals);
    const int precision = record.decimals;
    const int size = std::snprintf(nullptr, 0, "%*.*f", width, precision, value);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%*.*f", width, precision, value);
    text.resize(static_cast<std::size_t>(size));
    return text;
  }
  const double t = std::trunc(value);
  const int code = std::isnan(t) ? 0 : static_cast<int>(static_cast<int64_t>(std::clamp(t, -1e9, 1e9)) & 0xFF);
  char buf[16];
  if (code >= 32 && code <= 121)
    std::snprintf(buf, sizeof buf, "%c", code);
  else
    std::snprintf(buf, sizeof buf, "\\%.2d", code);
  return buf;
}

// ---- field readers ---------------------------------------------------------

namespace {

const char* AfterDelimiter(const char* p, char delimiter) {
  const char* d = std::strchr(p, delimiter);
  return d ? d + 1 : nullptr;
}

// Reads an optionally signed decimal integer like "%d": blanks skipped; false
// when no digit follows. Wide values wrap, as the C conversions truncate them.
bool ParseInteger(const char* p, uint64_t& out) {
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (*p < '0' || *p > '9') return false;
  uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<uint64_t>(*p - '0');
  out = negative ? uint64_t{0} - v : v;
  return true;
}

template <typename T>
const char* ReadInteger(const char* p, char delimiter, T& out) {
  if (!p) return nullptr;
  uint64_t v = 0;
  if (ParseInteger(p, v)) out = static_cast<T>(v);
  return AfterDelimiter(p, delimiter);
}

}  // namespace

const char* ReadCharVariable(const char* p, char delimiter, char& out) {
  if (!p) {
    out = ' ';
    return nullptr;
  }
  // The delimiter is looked for after the closing quote, so a quoted ';' is a
  // character and not the end of the field.
  const char* from = p;
  if (p[0] == '\'' && p[1] != '\0') {
    out = p[1];
    from = p[2] == '\'' ? p + 3 : p + 2;
  }
  return AfterDelimiter(from, delimiter);
}

const char* ReadStringVariable(const char* p, std::size_t capacity, char delimiter, char* out) {
  if (!p) {
    out[0] = '\0';
    return nullptr;
  }
  const char* end = std::strchr(p, delimiter);
  if (!end) return nullptr;
  while (p < end && *p == ' ') ++p;
  std::size_t n = static_cast<std::size_t>(end - p);
  if (n > capacity) n = capacity;
  std::memcpy(out, p, n);
  out[n] = '\0';
  return end + 1;
}

const char* ReadNumericVariable(const char* p, char d, int8_t& out) { return ReadInteger(p, d, out); }
const char* ReadNumericVariable(const char* p, char d, uint8_t& out) { return ReadInteger(p, d, out); }
const char* ReadNumericVariable(const char* p, char d, int16_t& out) { return ReadInteger(p, d, out); }
const char* ReadNumericVariable(const char* p, char d, uint16_t& out) { return ReadInteger(p, d, out); }
const char* ReadNumericVariable(const char* p, char d, int32_t& out) { return ReadInteger(p, d, out); }
const char* ReadNumericVariable(const char* p, char d, uint32_t& out) { return ReadInteger(p, d, out); }

const char* ReadNumericVariable(const char* p, char delimiter, double& out) {
  if (!p) return nullptr;
  double v = 0.0;
  if (ParseDouble(p, v)) out = v;
  return AfterDelimiter(p, delimiter);
}

const char* ReadBoolVariable(const char* p, char delimiter, uint8_t& out) {
  out = 0;
  if (!p) return nullptr;
  uint64_t v = 0;
  if (ParseInteger(p, v)) out = static_cast<uint8_t>(v) != 0 ? 1 : 0;
  return AfterDelimiter(p, delimiter);
}

}  // namespace tavomark
