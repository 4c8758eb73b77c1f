#pragma once
// Packs: a header plus a list of fixed-size items (value-to-send items and the
// like), with their binary file layout: the 64-byte header, then numRecords
// items of itemSize bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "record.h"
#include "result.h"

namespace tavomark {

struct Pack {
  PackHeader header;
  std::size_t itemBytes = 0;   // the list's item size, fixed at creation
  std::vector<uint8_t> items;  // item i (1-based) at (i - 1) * itemBytes

  [[nodiscard]] std::size_t Count() const { return itemBytes ? items.size() / itemBytes : 0; }
  [[nodiscard]] std::span<uint8_t> Item(std::size_t position);  // 1-based; empty outside
  [[nodiscard]] std::span<const uint8_t> Item(std::size_t position) const;
  void Append(std::span<const uint8_t> item);  // zero-padded or cut to itemBytes
  void Clear() { items.clear(); }
};

// Header serialization: the 64 bytes exactly as the files hold them.
void SerializeHeader(const PackHeader& header, uint8_t out[kPackHeaderBytes]);
void DeserializeHeader(const uint8_t in[kPackHeaderBytes], PackHeader& header);

[[nodiscard]] Pack CreatePack(std::size_t itemSize);  // header zeroed, isNew = 1
void DisposePack(Pack& pack);

// Clears isChanged and writes the header (numRecords and itemSize taken from the
// list) and every item. Returns 1, or 0 when a write fails.
[[nodiscard]] int WritePack(std::FILE* file, Pack& pack);
// Reads 64 bytes; true if they were read and begin with "FW".
[[nodiscard]] bool ReadBinHeader(std::FILE* file, PackHeader& header);
// Reads a pack whose item size equals the pack's own. Returns 1, or 0 on a bad
// header, another item size or a short read (items read so far are kept).
[[nodiscard]] int ReadPack(std::FILE* file, Pack& pack);
// Why a pack that started at byte start of the file could not be read: a
// header cut short, no "FW", another item size than expectedItemSize (0: not
// checked), or fewer than numRecords items of slotBytes; what names the block.
// The stream's position is lost.
[[nodiscard]] std::string DescribePackReadFailure(std::FILE* file, long start, std::size_t expectedItemSize,
                                                  std::size_t slotBytes, const std::string& what);
// A failed save or load says why (the system's reason, or what is wrong at
// which byte).
[[nodiscard]] Result<void> SavePack(const std::filesystem::path& path, Pack& pack);
[[nodiscard]] Result<void> LoadPack(const std::filesystem::path& path, Pack& pack);

// Copies the header prefix and every item; 1 if at least one item was copied,
// else 0 with dst emptied and its numRecords 0.
[[nodiscard]] int CopyPack(Pack& dst, const Pack& src);
[[nodiscard]] bool CheckPackCompatibility(const PackHeader& a, const PackHeader& b);
[[nodiscard]] std::size_t GetPackNumRecords(const Pack& pack);

// Visitor (1-based index, item) -> result; the walk stops at the first negative
// result. Returns 1 if the last result was not 0 (0 for an empty pack).
using PackItemVisitor = std::function<int(std::size_t index, std::span<uint8_t> item)>;
[[nodiscard]] int ForEachRecordInPack(Pack& pack, bool ascending, const PackItemVisitor& visitor);

}  // namespace tavomark
