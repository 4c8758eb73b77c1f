#include "pack.h"

#include <algorithm>
#include <cstring>

#include "atomic_file.h"
#include "bytes.h"

namespace tavomark {

std::span<uint8_t> Pack::Item(std::size_t position) {
  if (position < 1 || position > Count()) return {};
  return {items.data() + (position - 1) * itemBytes, itemBytes};
}

std::span<const uint8_t> Pack::Item(std::size_t position) const {
  if (position < 1 || position > Count()) return {};
  return {items.data() + (position - 1) * itemBytes, itemBytes};
}

void Pack::Append(std::span<const uint8_t> item) {
  const std::size_t at = items.size();
  items.resize(at + itemBytes, 0);
  std::copy_n(item.data(), std::min(item.size(), itemBytes), items.data() + at);
}

//  0 projVersion[18]  18 numRecords  20 codeProj  22 fwDevRevision  23 fwNumRevision
// 24 fwDay  25 fwMonth  26 fwYear  27 compVerIo  28 compVerFw  29 bigEndianMode
// 30 packIndex  31 padding  32 itemSize  34 isNew  35 isChanged  36 swapDataBlock
// 37 reserved[27]
void SerializeHeader(const PackHeader& h, uint8_t out[kPackHeaderBytes]) {
  std::memset(out, 0, kPackHeaderBytes);
  PutChars(out + 0, h.projVersion);
  PutU16(out + 18, h.numRecords);
  PutU16(out + 20, h.codeProj);
  out[22] = static_cast<uint8_t>(h.fwDevRevision);
  out[23] = static_cast<uint8_t>(h.fwNumRevision);
  out[24] = h.fwDay;
  out[25] = h.fwMonth;
  out[26] = h.fwYear;
  out[27] = static_cast<uint8_t>(h.compVerIo);
  out[28] = static_cast<uint8_t>(h.compVerFw);
  out[29] = h.bigEndianMode;
  out[30] = h.packIndex;
  out[31] = h.padding0;
  PutU16(out + 32, h.itemSize);
  out[34] = h.isNew;
  out[35] = h.isChanged;
  out[36] = h.swapDataBlock;
  std::memcpy(out + 37, h.reserved, sizeof h.reserved);
}

void DeserializeHeader(const uint8_t in[kPackHeaderBytes], PackHeader& h) {
  GetChars(in + 0, h.projVersion);
  h.numRecords = GetU16(in + 18);
  h.codeProj = GetU16(in + 20);
  h.fwDevRevision = static_cast<char>(in[22]);
  h.fwNumRevision = static_cast<char>(in[23]);
  h.fwDay = in[24];
  h.fwMonth = in[25];
  h.fwYear = in[26];
  h.compVerIo = static_cast<char>(in[27]);
  h.compVerFw = static_cast<char>(in[28]);
  h.bigEndianMode = in[29];
  h.packIndex = in[30];
  h.padding0 = in[31];
  h.itemSize = GetU16(in + 32);
  h.isNew = in[34];
  h.isChanged = in[35];
  h.swapDataBlock = in[36];
  std::memcpy(h.reserved, in + 37, sizeof h.reserved);
}

Pack CreatePack(std::size_t itemSize) {
  Pack pack;
  pack.itemBytes = itemSize;
  pack.header.isNew = 1;
  return pack;
}

void DisposePack(Pack& pack) {
  pack.items.clear();
  pack.items.shrink_to_fit();
  pack.header = PackHeader{};
}

int WritePack(std::FILE* file, Pack& pack) {
  pack.header.isChanged = 0;
  // The file always describes the list it carries.
  pack.header.numRecords = static_cast<uint16_t>(pack.Count());
  pack.header.itemSize = static_cast<uint16_t>(pack.itemBytes);
  uint8_t header[kPackHeaderBytes];
  SerializeHeader(pack.header, header);
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header) return 0;
  if (!pack.items.empty() && std::fwrite(pack.items.data(), 1, pack.items.size(), file) != pack.items.size())
    return 0;
  return 1;
}

bool ReadBinHeader(std::FILE* file, PackHeader& header) {
  uint8_t bytes[kPackHeaderBytes];
  if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return false;
  DeserializeHeader(bytes, header);
  return bytes[0] == 'F' && bytes[1] == 'W';
}

int ReadPack(std::FILE* file, Pack& pack) {
  PackHeader header;
  if (!ReadBinHeader(file, header)) return 0;
  if (header.itemSize != pack.itemBytes) return 0;
  pack.header = header;
  pack.header.isChanged = 0;
  pack.header.isNew = 1;
  pack.items.clear();
  std::vector<uint8_t> item(pack.itemBytes);
  for (uint32_t i = 0; i < header.numRecords; ++i) {
    if (!item.empty() && std::fread(item.data(), 1, item.size(), file) != item.size()) return 0;
    pack.Append(item);
  }
  return 1;
}

std::string DescribePackReadFailure(std::FILE* file, long start, std::size_t expectedItemSize,
                                    std::size_t slotBytes, const std::string& what) {
  std::clearerr(file);
  if (start < 0 || std::fseek(file, start, SEEK_SET) != 0) return what + ": the file cannot be read again";
  uint8_t bytes[kPackHeaderBytes];
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
  const auto at = [](long offset) { return std::to_string(offset); };
  if (got < sizeof bytes) {
    if (got == 0) return what + ": missing, the file ends at byte " + at(start);
    return what + ": header cut short, the file ends at byte " + at(start + static_cast<long>(got));
  }
  if (bytes[0] != 'F' || bytes[1] != 'W') return what + ": no \"FW\" at byte " + at(start);
  PackHeader header;
  DeserializeHeader(bytes, header);
  if (expectedItemSize != 0 && header.itemSize != expectedItemSize)
    return what + ": item size " + std::to_string(header.itemSize) + " at byte " + at(start + 32) + ", expected " +
           std::to_string(expectedItemSize);
  long end = start;
  if (std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
  return what + ": " + std::to_string(header.numRecords) + " items announced at byte " + at(start + 18) +
         ", the file ends at byte " + at(end) + " (" +
         std::to_string((end - start - static_cast<long>(kPackHeaderBytes)) / static_cast<long>(slotBytes ? slotBytes : 1)) +
         " whole items)";
}

Result<void> SavePack(const std::filesystem::path& path, Pack& pack) {
  return SaveFileAtomically(path, [&](std::FILE* f) { return WritePack(f, pack) == 1; });
}

Result<void> LoadPack(const std::filesystem::path& path, Pack& pack) {
  FileHandle file(path, "rb");
  if (!file) return Fail(file.error());
  if (ReadPack(file.get(), pack)) return {};
  return Fail(DescribePackReadFailure(file.get(), 0, pack.itemBytes, pack.itemBytes, "pack"));
}

int CopyPack(Pack& dst, const Pack& src) {
  CopyHeaderPrefix(dst.header, src.header);
  dst.header.isNew = 1;
  dst.itemBytes = src.itemBytes;
  dst.items = src.items;
  if (dst.Count() > 0) return 1;
  dst.items.clear();
  dst.header.numRecords = 0;
  return 0;
}

bool CheckPackCompatibility(const PackHeader& a, const PackHeader& b) {
  return a.codeProj == b.codeProj && a.compVerFw == b.compVerFw;
}

std::size_t GetPackNumRecords(const Pack& pack) { return pack.Count(); }

int ForEachRecordInPack(Pack& pack, bool ascending, const PackItemVisitor& visitor) {
  int result = 0;
  const std::size_t count = pack.Count();
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t index = ascending ? k + 1 : count - k;
    result = visitor(index, pack.Item(index));
    if (result < 0) break;
  }
  return result != 0 ? 1 : 0;
}

}  // namespace tavomark
