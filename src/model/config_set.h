#pragma once
// Configuration sets (the four struct packs of one firmware version) and the
// user configuration of the live view, with their ".cfg" and ".usr" files.
//
// Both files are kept in the older tool's text-mode form: every 0x0A byte of the
// binary layout is stored as 0x0D 0x0A, and read back as 0x0A.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "block.h"
#include "record.h"
#include "result.h"

namespace tavomark {

struct ConfigSet {
  StructPack monitor;
  StructPack param;
  StructPack calib;
  StructPack info;
  char name[20] = {};
};

inline constexpr std::size_t kUserConfLists = 7;
inline constexpr std::size_t kUserConfEntries = 48;
inline constexpr std::size_t kUserConfDataBytes = kUserConfLists * kUserConfEntries * 4;  // 1344

// The largest files the readers take: every byte of the binary layout could be
// a line feed stored as two bytes.
inline constexpr std::size_t kMaxConfigFileBytes = 2 * 4 * (64 + std::size_t{65535} * 256);
inline constexpr std::size_t kMaxUserConfFileBytes = 2 * (64 + kUserConfDataBytes);

// Which records each live tab page shows: 7 lists of 48 u32 list positions
// (0 = empty row), kept as the 1344 little-endian bytes of the file.
struct UserConfSet {
  PackHeader header;
  std::array<uint8_t, kUserConfDataBytes> data{};

  [[nodiscard]] uint32_t Entry(std::size_t list, std::size_t row) const;
  void SetEntry(std::size_t list, std::size_t row, uint32_t position);
};

[[nodiscard]] ConfigSet CreateConfigSet();
void DisposeConfigSet(ConfigSet& set);
[[nodiscard]] int CopyConfigSet(ConfigSet& dst, const ConfigSet& src);

[[nodiscard]] bool IsCompleteConfigSet(const ConfigSet& set);
// param, info and monitor share codeProj, and letter is 0 or the monitor's
// compVerFw.
[[nodiscard]] bool IsCoherentConfigSet(const ConfigSet& set, char letter);
[[nodiscard]] bool IsChangedConfigSet(const ConfigSet& set);
[[nodiscard]] bool IsNewConfigSet(const ConfigSet& set);

[[nodiscard]] StructPack& GetTabIndexedStruct(ConfigSet& set, Block block);
[[nodiscard]] const StructPack& GetTabIndexedStruct(const ConfigSet& set, Block block);

// File order: monitor, param, info, calib.
[[nodiscard]] int WriteConfigSet(std::FILE* file, ConfigSet& set);
// Reading takes at most kMaxConfigFileBytes (four packs of 65535 records,
// every byte a line feed) and fails on more. A failed read or save says why:
// which pack, at which byte of the content once its line ends are translated,
// or the system's reason.
[[nodiscard]] Result<void> ReadConfigSet(std::FILE* file, ConfigSet& set);
// Saving writes a temporary file and renames it: when anything failed, the
// previous file is untouched. Only a regular file is loaded.
[[nodiscard]] Result<void> SaveConfigSet(const std::filesystem::path& path, ConfigSet& set);
[[nodiscard]] Result<void> LoadConfigSet(const std::filesystem::path& path, ConfigSet& set);

[[nodiscard]] UserConfSet CreateUserConfSet();
void DisposeUserConfSet(UserConfSet& set);
int CopyUserConfSet(UserConfSet& dst, const UserConfSet& src);
[[nodiscard]] bool IsChangedUserConfSet(const UserConfSet& set);
[[nodiscard]] bool IsNewUserConfSet(const UserConfSet& set);
[[nodiscard]] inline bool IsCoherentUserConfSet(const UserConfSet&) { return true; }
[[nodiscard]] inline bool IsCompleteUserConfSet(const UserConfSet&) { return true; }

[[nodiscard]] int WriteUserConfSet(std::FILE* file, UserConfSet& set);
// Reading takes at most kMaxUserConfFileBytes and fails on more.
[[nodiscard]] Result<void> ReadUserConfSet(std::FILE* file, UserConfSet& set);
[[nodiscard]] Result<void> SaveUserConfSet(const std::filesystem::path& path, UserConfSet& set);
[[nodiscard]] Result<void> LoadUserConfSet(const std::filesystem::path& path, UserConfSet& set);
// Saves to the user configuration path of the set's own header in the project
// directory.
[[nodiscard]] Result<void> SaveUserConfDefaultPath(const std::filesystem::path& projectDir, UserConfSet& set);

// The text-mode translation of the two files.
[[nodiscard]] std::vector<uint8_t> ToCrLf(const std::vector<uint8_t>& bytes);
[[nodiscard]] std::vector<uint8_t> FromCrLf(const std::vector<uint8_t>& bytes);

}  // namespace tavomark
