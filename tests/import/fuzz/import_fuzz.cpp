// Feeds arbitrary bytes to the header import as a small header tree. The first
// byte picks which of three files the rest is split into (the main header
// includes the other two), so includes, comments across files and typedefs
// found in included files are reached as well. The structure imported is the
// first typedef name the reader finds, or "R".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "fw_pack.h"

namespace {

std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() / ("tavomark_import_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(path / "sub");
    return path;
  }();
  return dir;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The name before the last ';' of the first "} name;" in the text.
std::string GuessStructName(const std::string& text) {
  const std::size_t close = text.find('}');
  if (close == std::string::npos) return "R";
  const std::size_t semicolon = text.find(';', close);
  if (semicolon == std::string::npos) return "R";
  std::string name;
  for (std::size_t i = close + 1; i < semicolon; ++i) {
    if (text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r' && text[i] != '\v') name += text[i];
  }
  return name.empty() ? "R" : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = text.size() * (data[0] & 15) / 16;
  const std::filesystem::path dir = WorkDir();
  WriteFile(dir / "main.h", "#include \"sub/a.h\"\n#include \"B.H\"\n" + text.substr(0, split));
  WriteFile(dir / "sub" / "a.h", text.substr(split, (text.size() - split) / 2));
  WriteFile(dir / "b.h", text.substr(split + (text.size() - split) / 2));

  tavomark::FwImportPack pack;
  tavomark::FwImportReport report;
  std::string name = GuessStructName(text);
  (void)tavomark::RetrieveFwPack(dir / "main.h", name, pack, report, dir);
  return 0;
}
