#pragma once
// The settings file "tavomark.ini": the selected port and four recent paths, kept
// as one 1042-byte block (portIndex i16 LE, then four 260-byte paths), then the
// view settings as a tagged tail that older versions of the program ignore:
//   1042 "TMX1" | 1046 live "Edit channels" | 1047 live "Calibration" | 1048..1049 0

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tavomark {

inline constexpr std::size_t kSettingsPathBytes = 260;
inline constexpr std::size_t kSettingsBytes = 2 + 4 * kSettingsPathBytes;  // 1042
inline constexpr std::size_t kSettingsTailBytes = 8;
inline constexpr const char* kSettingsFileName = "tavomark.ini";

struct SettingsBlock {
  int16_t portIndex = 0;  // the port selector itself: -2, -1, 1..255, or 0 for none
  char lastValueFile[kSettingsPathBytes] = {};
  char lastHeaderFile[kSettingsPathBytes] = {};
  char lastStructTextFile[kSettingsPathBytes] = {};
  char lastNewValueFile[kSettingsPathBytes] = {};
  // View settings of the tail; 0 when the file has none.
  uint8_t liveEditChannels = 0;
  uint8_t liveShowCalib = 0;
  // The parameter page asks before it writes a block into the device.
  bool askBeforeSend = true;
};

// Reads <dir>/tavomark.ini whole. Returns 1; on a missing, short or unreadable
// file clears every field and returns 0. A file without the tail (or with a
// tail it does not know) keeps the view settings off.
[[nodiscard]] int ReadInitFile(const std::filesystem::path& dir, SettingsBlock& settings);
// Writes the whole block, replacing the file; 0 on success, -1 on failure (the
// previous file is then untouched).
[[nodiscard]] int WriteInitFile(const std::filesystem::path& dir, const SettingsBlock& settings);

// "TQ%04d%c_USER Rev.AB - " followed by the file name of the loaded values.
[[nodiscard]] std::string MainTitleText(uint16_t codeProj, char compVerFw, std::string_view valueFileName);

}  // namespace tavomark
