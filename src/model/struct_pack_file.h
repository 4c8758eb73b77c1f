#pragma once
// Struct-pack files: the binary layout (64-byte header, then one 256-byte slot
// per record) and the ';'-separated text layout used by struct export/import,
// the import dump and import of values by name.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "record.h"
#include "result.h"

namespace tavomark {

inline constexpr std::size_t kRecordSlotBytes = 256;

void SerializeRecord(const Record& record, uint8_t out[kRecordSlotBytes]);
void DeserializeRecord(const uint8_t in[kRecordSlotBytes], Record& record);

// Binary layout. The writer stores numRecords from the list and clears isChanged
// after the header. The reader replaces header and records; 0 on a bad
// signature (pack unchanged) or a short read (records so far kept).
[[nodiscard]] int WriteBinStructPack(std::FILE* file, StructPack& pack);
[[nodiscard]] int ReadBinStructPack(std::FILE* file, StructPack& pack);

// Text layout. Lines of any length are read whole; fields end with ';'.
[[nodiscard]] int WriteStructPack(std::FILE* file, const StructPack& pack);
// A line longer than kMaxStructTextLineBytes fails the read.
inline constexpr std::size_t kMaxStructTextLineBytes = 65536;
[[nodiscard]] int ReadStructPack(std::FILE* file, StructPack& pack);

// Path forms; saving goes through a temporary file and never damages the old one.
// A failed save or load says why. Only a regular file is loaded.
[[nodiscard]] Result<void> SaveStructPack(const std::filesystem::path& path, StructPack& pack, bool binary);
[[nodiscard]] Result<void> LoadStructPack(const std::filesystem::path& path, StructPack& pack, bool binary);

}  // namespace tavomark
