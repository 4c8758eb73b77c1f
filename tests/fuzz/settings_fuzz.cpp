// The settings file ("tavomark.ini"): arbitrary bytes as the file in a folder
// of its own, read, then written back and read again.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings.h"

using namespace tavomark;

namespace {

std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() / ("tavomark_settings_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto dir = WorkDir();
  std::ofstream(dir / kSettingsFileName, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  SettingsBlock settings;
  if (!ReadInitFile(dir, settings)) return 0;
  (void)MainTitleText(static_cast<uint16_t>(settings.portIndex),
                      settings.lastValueFile.empty() ? ' ' : settings.lastValueFile[0], settings.lastValueFile);
  if (!WriteInitFile(dir, settings)) __builtin_trap();
  SettingsBlock again;
  SettingsRead status = SettingsRead::kMissing;
  if (!ReadInitFile(dir, again, &status)) __builtin_trap();
  // What was read is written so that it reads back the same.
  if (status != SettingsRead::kText || again.portIndex != settings.portIndex ||
      again.askBeforeSend != settings.askBeforeSend)
    __builtin_trap();
  return 0;
}
