#include "settings.h"

#include <cstdio>
#include <cstring>

#include "atomic_file.h"
#include "bytes.h"

namespace tavomark {

namespace {

constexpr char kTailTag[4] = {'T', 'M', 'X', '1'};

char* PathField(SettingsBlock& s, int i) {
  char* fields[] = {s.lastValueFile, s.lastHeaderFile, s.lastStructTextFile, s.lastNewValueFile};
  return fields[i];
}

}  // namespace

int ReadInitFile(const std::filesystem::path& dir, SettingsBlock& settings) {
  uint8_t bytes[kSettingsBytes + kSettingsTailBytes + 1];
  std::size_t n = 0;
  {
    FileHandle file(dir / kSettingsFileName, "rb");
    if (file) n = std::fread(bytes, 1, sizeof bytes, file.get());
  }
  if (n < kSettingsBytes) {
    settings = SettingsBlock{};
    return 0;
  }
  settings.portIndex = static_cast<int16_t>(GetU16(bytes));
  for (int i = 0; i < 4; ++i) {
    char* field = PathField(settings, i);
    std::memcpy(field, bytes + 2 + i * kSettingsPathBytes, kSettingsPathBytes);
    field[kSettingsPathBytes - 1] = '\0';
  }
  const uint8_t* tail = bytes + kSettingsBytes;
  const bool tagged = n >= kSettingsBytes + kSettingsTailBytes && std::memcmp(tail, kTailTag, 4) == 0;
  settings.liveEditChannels = tagged && tail[4] != 0 ? 1 : 0;
  settings.liveShowCalib = tagged && tail[5] != 0 ? 1 : 0;
  return 1;
}

int WriteInitFile(const std::filesystem::path& dir, const SettingsBlock& settings) {
  uint8_t bytes[kSettingsBytes + kSettingsTailBytes] = {};
  PutU16(bytes, static_cast<uint16_t>(settings.portIndex));
  SettingsBlock copy = settings;
  for (int i = 0; i < 4; ++i) std::memcpy(bytes + 2 + i * kSettingsPathBytes, PathField(copy, i), kSettingsPathBytes);
  uint8_t* tail = bytes + kSettingsBytes;
  std::memcpy(tail, kTailTag, 4);
  tail[4] = settings.liveEditChannels != 0 ? 1 : 0;
  tail[5] = settings.liveShowCalib != 0 ? 1 : 0;
  const bool ok = SaveFileAtomically(dir / kSettingsFileName, [&](std::FILE* f) {
    return std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
  });
  return ok ? 0 : -1;
}

std::string MainTitleText(uint16_t codeProj, char compVerFw, std::string_view valueFileName) {
  char code[16];
  std::snprintf(code, sizeof code, "%04d%c", int{codeProj}, compVerFw);
  std::string title = "TQ";
  title += code;
  title += "_USER Rev.AB - ";
  title += valueFileName;
  return title;
}

}  // namespace tavomark
