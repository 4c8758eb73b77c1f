#include "settings.h"

#include <cstdio>
#include <cstring>

#include "atomic_file.h"
#include "bytes.h"

namespace tavomark {

namespace {

char* PathField(SettingsBlock& s, int i) {
  char* fields[] = {s.lastValueFile, s.lastHeaderFile, s.lastStructTextFile, s.lastNewValueFile};
  return fields[i];
}

}  // namespace

int ReadInitFile(const std::filesystem::path& dir, SettingsBlock& settings) {
  uint8_t bytes[kSettingsBytes + 1];
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
  return 1;
}

int WriteInitFile(const std::filesystem::path& dir, const SettingsBlock& settings) {
  uint8_t bytes[kSettingsBytes];
  PutU16(bytes, static_cast<uint16_t>(settings.portIndex));
  SettingsBlock copy = settings;
  for (int i = 0; i < 4; ++i) std::memcpy(bytes + 2 + i * kSettingsPathBytes, PathField(copy, i), kSettingsPathBytes);
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
