#include "struct_pack_file.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "atomic_file.h"
#include "bytes.h"
#include "fixed_text.h"
#include "pack.h"
#include "value_codec.h"

namespace tavomark {

//   0 level  2 offset  4 byteSize  6 bitOffset  8 bitSize  10 arraySize  12 kind(u32)
//  16 isSigned  17 pad  18 decimals  20 pad[4]  24 minValue  32 maxValue  40 value
//  48 reservedFlag1  49 reservedFlag2  50 unit[10]  60 varName[25]  85 varType[20]
// 105 pad  106 numChildren  108 fatherIndex  110 reserved1  112 reserved2
// 120 reserved3  128..255 unused
void SerializeRecord(const Record& r, uint8_t out[kRecordSlotBytes]) {
  std::memset(out, 0, kRecordSlotBytes);
  PutU16(out + 0, r.level);
  PutU16(out + 2, r.offset);
  PutU16(out + 4, r.byteSize);
  PutU16(out + 6, r.bitOffset);
  PutU16(out + 8, r.bitSize);
  PutU16(out + 10, r.arraySize);
  PutU32(out + 12, static_cast<uint32_t>(r.kind));
  PutU8(out + 16, r.isSigned);
  PutU16(out + 18, r.decimals);
  PutF64(out + 24, r.minValue);
  PutF64(out + 32, r.maxValue);
  PutF64(out + 40, r.value);
  PutU8(out + 48, r.reservedFlag1);
  PutU8(out + 49, r.reservedFlag2);
  PutChars(out + 50, r.unit);
  PutChars(out + 60, r.varName);
  PutChars(out + 85, r.varType);
  PutU16(out + 106, r.numChildren);
  PutU16(out + 108, r.fatherIndex);
  PutU16(out + 110, r.reserved1);
  PutF64(out + 112, r.reserved2);
  PutF64(out + 120, r.reserved3);
}

void DeserializeRecord(const uint8_t in[kRecordSlotBytes], Record& r) {
  r.level = GetU16(in + 0);
  r.offset = GetU16(in + 2);
  r.byteSize = GetU16(in + 4);
  r.bitOffset = GetU16(in + 6);
  r.bitSize = GetU16(in + 8);
  r.arraySize = GetU16(in + 10);
  r.kind = static_cast<RecordKind>(GetU32(in + 12));
  r.isSigned = GetU8(in + 16);
  r.decimals = GetU16(in + 18);
  r.minValue = GetF64(in + 24);
  r.maxValue = GetF64(in + 32);
  r.value = GetF64(in + 40);
  r.reservedFlag1 = GetU8(in + 48);
  r.reservedFlag2 = GetU8(in + 49);
  GetChars(in + 50, r.unit);
  GetChars(in + 60, r.varName);
  GetChars(in + 85, r.varType);
  // A file may fill a text field to the brim; the last byte stays a terminator.
  r.unit[sizeof r.unit - 1] = '\0';
  r.varName[sizeof r.varName - 1] = '\0';
  r.varType[sizeof r.varType - 1] = '\0';
  r.numChildren = GetU16(in + 106);
  r.fatherIndex = GetU16(in + 108);
  r.reserved1 = GetU16(in + 110);
  r.reserved2 = GetF64(in + 112);
  r.reserved3 = GetF64(in + 120);
}

int WriteBinStructPack(std::FILE* file, StructPack& pack) {
  pack.header.numRecords = static_cast<uint16_t>(pack.records.size());
  uint8_t header[kPackHeaderBytes];
  SerializeHeader(pack.header, header);
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header) return 0;
  pack.header.isChanged = 0;
  uint8_t slot[kRecordSlotBytes];
  for (const Record& r : pack.records) {
    SerializeRecord(r, slot);
    if (std::fwrite(slot, 1, sizeof slot, file) != sizeof slot) return 0;
  }
  return 1;
}

int ReadBinStructPack(std::FILE* file, StructPack& pack) {
  PackHeader header;
  if (!ReadBinHeader(file, header)) return 0;
  pack.header = header;
  pack.header.isNew = 1;
  pack.header.isChanged = 0;
  pack.records.clear();
  uint8_t slot[kRecordSlotBytes];
  for (uint32_t i = 0; i < header.numRecords; ++i) {
    if (std::fread(slot, 1, sizeof slot, file) != sizeof slot) return 0;
    Record r;
    DeserializeRecord(slot, r);
    pack.records.push_back(r);
  }
  return 1;
}

namespace {

// Appends printf-formatted text; the formats are the file format's own.
template <typename... Args>
void Appendf(std::string& out, const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n) + 1);
  std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, format, args...);
  out.resize(at + static_cast<std::size_t>(n));
}

template <std::size_t N>
std::string Field(const char (&text)[N]) {
  return std::string(TextOf(text));
}

// "%c" of a zero character would put a NUL byte in the middle of the line and
// cut every later field when the line is read back; an unset letter is written
// as a space.
char Printable(char c) { return c == '\0' ? ' ' : c; }

std::string HeaderLine(const PackHeader& h, std::size_t numRecords) {
  std::string line;
  Appendf(line, "%16s;", Field(h.projVersion).c_str());
  Appendf(line, "%5u;%4u;'%c';'%c';%2u;%2u;%2u;'%c';'%c';%2u;%2u;%4u;%2u\n", unsigned(numRecords),
          unsigned(h.codeProj), Printable(h.fwDevRevision), Printable(h.fwNumRevision), unsigned(h.fwDay), unsigned(h.fwMonth),
          unsigned(h.fwYear), Printable(h.compVerIo), Printable(h.compVerFw), unsigned(h.bigEndianMode), unsigned(h.packIndex),
          unsigned(h.itemSize), unsigned(h.swapDataBlock));
  return line;
}

// Right-aligned fields as printf's "%Nu", "%N.3lf" and "%Ns" write them,
// formatted with to_chars into one line buffer that goes into the text whole.
class FieldWriter {
 public:
  // Fifteen unsigned fields, five doubles of at most 309 integer digits and
  // three texts of at most 25 characters, with their separators.
  static constexpr std::size_t kMaxLineBytes = 2048;

  FieldWriter& Unsigned(unsigned value, std::size_t width) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return Padded(std::string_view(digits, static_cast<std::size_t>(end - digits)), width);
  }
  FieldWriter& Fixed3(double value, std::size_t width) {
    char digits[400];
    char* end = digits;
    // Limits and values are mostly whole numbers: their digits and ".000"
    // are what the general conversion gives, at a fraction of its cost.
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
      if (std::signbit(value)) *end++ = '-';
      end = std::to_chars(end, digits + sizeof digits, static_cast<uint64_t>(std::fabs(value))).ptr;
      std::memcpy(end, ".000", 4);
      end += 4;
    } else {
      end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 3).ptr;
    }
    return Padded(std::string_view(digits, static_cast<std::size_t>(end - digits)), width);
  }
  FieldWriter& Text(std::string_view text, std::size_t width) { return Padded(text, width); }
  void EndLine(std::string& out) {
    m_line[m_size++] = '\n';
    out.append(m_line, m_size);
  }

 private:
  FieldWriter& Padded(std::string_view text, std::size_t width) {
    if (text.size() < width) {
      std::memset(m_line + m_size, ' ', width - text.size());
      m_size += width - text.size();
    }
    std::memcpy(m_line + m_size, text.data(), text.size());
    m_size += text.size();
    m_line[m_size++] = ';';
    return *this;
  }
  char m_line[kMaxLineBytes];
  std::size_t m_size = 0;
};

// "%4u;%2u;%4u;%4u;%2u;%2u;%5u;%2u;%2u;%2u;%15.3lf;%15.3lf;%15.3lf;%2u;%2u;%10s;%25s;%20s;%4u;%4u;%4u;%15.3lf;%15.3lf;\n"
void AppendRecordLine(std::string& out, const Record& r, std::size_t position) {
  FieldWriter line;
  line.Unsigned(unsigned(position), 4).Unsigned(r.level, 2).Unsigned(r.offset, 4).Unsigned(r.byteSize, 4);
  line.Unsigned(r.bitOffset, 2).Unsigned(r.bitSize, 2).Unsigned(r.arraySize, 5);
  line.Unsigned(static_cast<uint32_t>(r.kind), 2).Unsigned(r.isSigned, 2).Unsigned(r.decimals, 2);
  line.Fixed3(r.minValue, 15).Fixed3(r.maxValue, 15).Fixed3(r.value, 15);
  line.Unsigned(r.reservedFlag1, 2).Unsigned(r.reservedFlag2, 2);
  line.Text(TextOf(r.unit), 10).Text(TextOf(r.varName), 25).Text(TextOf(r.varType), 20);
  line.Unsigned(r.numChildren, 4).Unsigned(r.fatherIndex, 4).Unsigned(r.reserved1, 4);
  line.Fixed3(r.reserved2, 15).Fixed3(r.reserved3, 15);
  line.EndLine(out);
}

void ParseHeaderLine(const char* p, PackHeader& h) {
  p = ReadStringVariable(p, sizeof h.projVersion - 1, ';', h.projVersion);
  p = ReadNumericVariable(p, ';', h.numRecords);
  p = ReadNumericVariable(p, ';', h.codeProj);
  p = ReadCharVariable(p, ';', h.fwDevRevision);
  p = ReadCharVariable(p, ';', h.fwNumRevision);
  p = ReadNumericVariable(p, ';', h.fwDay);
  p = ReadNumericVariable(p, ';', h.fwMonth);
  p = ReadNumericVariable(p, ';', h.fwYear);
  p = ReadCharVariable(p, ';', h.compVerIo);
  p = ReadCharVariable(p, ';', h.compVerFw);
  p = ReadBoolVariable(p, ';', h.bigEndianMode);
  p = ReadNumericVariable(p, ';', h.packIndex);
  p = ReadNumericVariable(p, ';', h.itemSize);
  ReadBoolVariable(p, ';', h.swapDataBlock);
}

// Returns false when the line's number is not the expected position.
bool ParseRecordLine(const char* p, std::size_t position, Record& r) {
  int32_t number = 0;
  p = ReadNumericVariable(p, ';', number);
  if (number < 0 || static_cast<std::size_t>(number) != position) return false;
  p = ReadNumericVariable(p, ';', r.level);
  p = ReadNumericVariable(p, ';', r.offset);
  p = ReadNumericVariable(p, ';', r.byteSize);
  p = ReadNumericVariable(p, ';', r.bitOffset);
  p = ReadNumericVariable(p, ';', r.bitSize);
  p = ReadNumericVariable(p, ';', r.arraySize);
  uint32_t kind = static_cast<uint32_t>(r.kind);
  p = ReadNumericVariable(p, ';', kind);
  r.kind = static_cast<RecordKind>(kind);
  p = ReadBoolVariable(p, ';', r.isSigned);
  p = ReadNumericVariable(p, ';', r.decimals);
  p = ReadNumericVariable(p, ';', r.minValue);
  p = ReadNumericVariable(p, ';', r.maxValue);
  p = ReadNumericVariable(p, ';', r.value);
  p = ReadBoolVariable(p, ';', r.reservedFlag1);
  p = ReadBoolVariable(p, ';', r.reservedFlag2);
  p = ReadStringVariable(p, sizeof r.unit - 1, ';', r.unit);
  p = ReadStringVariable(p, sizeof r.varName - 1, ';', r.varName);
  p = ReadStringVariable(p, sizeof r.varType - 1, ';', r.varType);
  p = ReadNumericVariable(p, ';', r.numChildren);
  p = ReadNumericVariable(p, ';', r.fatherIndex);
  p = ReadNumericVariable(p, ';', r.reserved1);
  p = ReadNumericVariable(p, ';', r.reserved2);
  ReadNumericVariable(p, ';', r.reserved3);
  return true;
}

}  // namespace

int WriteStructPack(std::FILE* file, const StructPack& pack) {
  std::string text = HeaderLine(pack.header, pack.records.size());
  // A record line is about 250 characters.
  text.reserve(text.size() + pack.records.size() * 256);
  for (std::size_t i = 0; i < pack.records.size(); ++i) AppendRecordLine(text, pack.records[i], i + 1);
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() ? 1 : 0;
}

int ReadStructPack(std::FILE* file, StructPack& pack) {
  std::string line;
  const auto next = [&] {
    const LineStatus status = ReadLineChecked(file, line, kMaxStructTextLineBytes);
    if (status == LineStatus::kTooLong || status == LineStatus::kReadError) return -1;
    return status == LineStatus::kLine ? 1 : 0;
  };
  int got = next();
  if (got < 0) return 0;
  if (got == 0) line.clear();
  ParseHeaderLine(line.c_str(), pack.header);
  pack.records.clear();
  const uint16_t announced = pack.header.numRecords;
  if (announced == 0) return 0;
  for (std::size_t i = 1; i <= announced; ++i) {
    // Fewer lines than announced: what is there is the pack.
    got = next();
    if (got < 0) return 0;
    if (got == 0) break;
    pack.records.emplace_back();
    if (!ParseRecordLine(line.c_str(), i, pack.records.back())) return 0;
  }
  pack.header.numRecords = static_cast<uint16_t>(pack.records.size());
  return 1;
}

Result<void> SaveStructPack(const std::filesystem::path& path, StructPack& pack, bool binary) {
  return SaveFileAtomically(
      path, [&](std::FILE* f) { return (binary ? WriteBinStructPack(f, pack) : WriteStructPack(f, pack)) == 1; });
}

Result<void> LoadStructPack(const std::filesystem::path& path, StructPack& pack, bool binary) {
  FileHandle file(path, "rb");
  if (!file) return Fail(file.error());
  if (binary) {
    if (ReadBinStructPack(file.get(), pack)) return {};
    return Fail(DescribePackReadFailure(file.get(), 0, 0, kRecordSlotBytes, "struct pack"));
  }
  if (ReadStructPack(file.get(), pack)) return {};
  return Fail("not a struct text file (no records announced, a record line out of order or too long)");
}

}  // namespace tavomark
