#include "names.h"

#include <cstdio>

namespace tavomark {

namespace {

// "%c" of a zero letter would embed a NUL in the name; it ends the text instead,
// as it did when names were C strings.
std::string Formatted(const char* format, uint16_t code, char letter) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, int{code}, letter);
  return buf;
}

std::size_t LastSeparator(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? 0 : slash + 1;
}

}  // namespace

bool GetHeaderString(uint16_t codeProj, char compVerFw, std::string& text) {
  text = codeProj ? Formatted("PRJ%04d%c", codeProj, compVerFw) : std::string();
  return codeProj != 0;
}

bool GetConfigName(uint16_t codeProj, char compVerFw, std::string& text) {
  text = codeProj ? Formatted("PRJ%04dcp_%c", codeProj, compVerFw) : std::string();
  return codeProj != 0;
}

bool GetUserConfName(const PackHeader& header, std::string& text) {
  return GetConfigName(header.codeProj, header.compVerFw, text);
}

std::filesystem::path GetConfigPath(const std::filesystem::path& projectDir, uint16_t codeProj, char compVerFw) {
  std::string name;
  GetConfigName(codeProj, compVerFw, name);
  return projectDir / "config" / (name + "." + GetFileExtension("*.cfg"));
}

std::filesystem::path GetUserConfPath(const std::filesystem::path& projectDir, const PackHeader& header) {
  std::string name;
  GetUserConfName(header, name);
  return projectDir / "config" / (name + "." + GetFileExtension("*.usr"));
}

std::string GetFileExtension(std::string_view path, std::size_t* position) {
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos && dot >= LastSeparator(path) && path.size() - dot - 1 <= 4) {
    if (position) *position = dot + 1;
    return std::string(path.substr(dot + 1));
  }
  if (position) *position = path.size();
  return {};
}

std::size_t SplitFileName(std::string_view path, std::string& name) {
  std::size_t extension = 0;
  (void)GetFileExtension(path, &extension);
  const std::size_t start = LastSeparator(path);
  std::size_t end = extension;
  if (extension < path.size() || (extension == path.size() && extension > start && path[extension - 1] == '.'))
    end = extension - 1;  // drop the dot
  name = end > start ? std::string(path.substr(start, end - start)) : std::string();
  return extension;
}

}  // namespace tavomark
