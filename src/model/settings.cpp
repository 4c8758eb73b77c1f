#include "settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "atomic_file.h"
#include "bytes.h"
#include "profile_file.h"
#include "strict_number.h"

namespace tavomark {

namespace {

constexpr char kTailTag[4] = {'T', 'M', 'X', '1'};
constexpr std::size_t kOldPathBytes = 260;
// A settings file is small; anything far larger is no settings file.
constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;

constexpr const char* kPort = "Port";
constexpr const char* kRecent = "Recent";
constexpr const char* kWindow = "Window";
constexpr const char* kFolders = "Folders";
constexpr const char* kView = "View";

// The path fields and their keys in [Recent], in the order of the old block.
struct PathKey {
  const char* key;
  std::string SettingsBlock::*field;
};
constexpr PathKey kPathKeys[] = {{"ValueFile", &SettingsBlock::lastValueFile},
                                 {"HeaderFile", &SettingsBlock::lastHeaderFile},
                                 {"StructTextFile", &SettingsBlock::lastStructTextFile},
                                 {"NewValueFile", &SettingsBlock::lastNewValueFile}};

struct FolderKey {
  const char* key;
  std::string SettingsFolders::*field;
};
constexpr FolderKey kFolderKeys[] = {{"Value", &SettingsFolders::value},
                                     {"Header", &SettingsFolders::header},
                                     {"StructText", &SettingsFolders::structText},
                                     {"NewValue", &SettingsFolders::newValue},
                                     {"Recording", &SettingsFolders::recording},
                                     {"Backup", &SettingsFolders::backup}};

struct FlagKey {
  const char* key;
  bool SettingsBlock::*field;
};
constexpr FlagKey kFlagKeys[] = {{"LiveEditChannels", &SettingsBlock::liveEditChannels},
                                 {"LiveShowCalib", &SettingsBlock::liveShowCalib},
                                 {"AskBeforeSend", &SettingsBlock::askBeforeSend}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether a value reads back as written: INI lines end at a line break, the
// reader trims blanks at both ends and takes " ;" as the start of a comment,
// and a file with control bytes is not taken for text at all.
bool Storable(std::string_view text) {
  if (text.empty()) return true;
  if (IsBlank(text.front()) || IsBlank(text.back())) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    if (c == ';' && i > 0 && IsBlank(text[i - 1])) return false;
  }
  return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  FileHandle file(path, "rb");
  if (!file) return false;
  bytes.clear();
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    bytes.append(chunk, n);
    if (bytes.size() > kMaxSettingsFileBytes) return false;
  }
  return std::ferror(file.get()) == 0;
}

// The old block always holds NUL bytes (the path terminators); a text file of
// the same size never does.
bool IsOldBlock(std::string_view bytes) {
  if (bytes.find('\0') == std::string_view::npos) return false;
  if (bytes.size() == kOldSettingsBytes) return true;
  return bytes.size() == kOldSettingsBytes + kOldSettingsTailBytes &&
         std::memcmp(bytes.data() + kOldSettingsBytes, kTailTag, 4) == 0;
}

bool IsSelector(int64_t value) { return value >= -2 && value <= 255; }

// The block of older versions: each path up to its first NUL; a path the text
// form cannot hold is dropped.
void ReadOldBlock(std::string_view bytes, SettingsBlock& settings, bool& damaged) {
  const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto port = static_cast<int16_t>(GetU16(raw));
  if (IsSelector(port)) {
    settings.portIndex = port;
  } else {
    damaged = true;
  }
  for (std::size_t i = 0; i < std::size(kPathKeys); ++i) {
    const char* field = bytes.data() + 2 + i * kOldPathBytes;
    std::string path(field, strnlen(field, kOldPathBytes));
    if (path.size() == kOldPathBytes || !Storable(path)) {
      damaged = true;
      path.clear();
    }
    settings.*kPathKeys[i].field = std::move(path);
  }
  if (bytes.size() > kOldSettingsBytes) {
    settings.liveEditChannels = bytes[kOldSettingsBytes + 4] != 0;
    settings.liveShowCalib = bytes[kOldSettingsBytes + 5] != 0;
  }
  AddRecentValueFile(settings, settings.lastValueFile);
}

// The INI parser reads lines of at most 200 bytes and cuts longer ones, but a
// path may be far longer. Such a line reaches it as "key=\x01N" and the text
// of value N is put back when the key is read.
constexpr std::size_t kLongLine = 190;
constexpr char kLongValueMark = '\x01';

std::string_view TrimmedView(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string ShortenLongLines(std::string_view text, std::vector<std::string>& longValues) {
  std::string out;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view content = TrimmedView(line);
    const std::size_t equals = content.find('=');
    if (content.size() <= kLongLine || equals == std::string_view::npos || content.front() == ';' ||
        content.front() == '#' || content.front() == '[') {
      out.append(line);
      out += '\n';
      continue;
    }
    std::string_view value = content.substr(equals + 1);
    for (std::size_t i = 1; i < value.size(); ++i) {
      if (value[i] == ';' && IsBlank(value[i - 1])) {
        value = value.substr(0, i);
        break;
      }
    }
    longValues.emplace_back(TrimmedView(value));
    out.append(content.substr(0, equals));
    out += '=';
    out += kLongValueMark;
    out += std::to_string(longValues.size() - 1);
    out += '\n';
  }
  return out;
}

class TextReader {
 public:
  explicit TextReader(std::string_view text) { m_file.LoadText(ShortenLongLines(text, m_longValues)); }

  // A text of at most maxChars characters, or nothing (and damaged) when the
  // entry is there but too long.
  std::optional<std::string> Text(const char* section, const char* key, std::size_t maxChars) {
    std::optional<std::string> value = m_file.Find(section, key);
    if (value && !value->empty() && value->front() == kLongValueMark) {
      const std::size_t index = std::stoul(value->substr(1));
      value = index < m_longValues.size() ? m_longValues[index] : std::string();
    }
    if (value && value->size() > maxChars) {
      m_damaged = true;
      return std::nullopt;
    }
    return value;
  }
  void ReadText(const char* section, const char* key, std::size_t maxChars, std::string& field) {
    if (auto value = Text(section, key, maxChars)) field = std::move(*value);
  }
  void ReadFlag(const char* key, bool& field) {
    const std::optional<std::string> value = m_file.Find(kView, key);
    if (!value) return;
    if (*value == "1" || *value == "true") {
      field = true;
    } else if (*value == "0" || *value == "false") {
      field = false;
    } else {
      m_damaged = true;
    }
  }
  // An integer entry within min..max; anything else is damage.
  template <typename Int>
  void ReadInteger(const char* section, const char* key, int64_t min, int64_t max, Int& field) {
    const std::optional<std::string> value = m_file.Find(section, key);
    if (!value) return;
    int64_t number = 0;
    std::string error;
    if (ParseStrictInteger(*value, key, min, max, number, error)) {
      field = static_cast<Int>(number);
    } else {
      m_damaged = true;
    }
  }
  [[nodiscard]] bool Damaged() const { return m_damaged; }

 private:
  std::vector<std::string> m_longValues;
  ProfileFile m_file;
  bool m_damaged = false;
};

void ReadText(std::string_view text, SettingsBlock& settings, bool& damaged) {
  TextReader reader(text);
  reader.ReadInteger(kPort, "Selector", -2, 255, settings.portIndex);
  for (const PathKey& p : kPathKeys) reader.ReadText(kRecent, p.key, kSettingsMaxPathChars, settings.*p.field);
  for (std::size_t i = 1; i <= kMaxRecentValueFiles; ++i) {
    const std::string key = "ValueFile" + std::to_string(i);
    const auto path = reader.Text(kRecent, key.c_str(), kSettingsMaxPathChars);
    if (!path || path->empty()) continue;
    if (std::find(settings.recentValueFiles.begin(), settings.recentValueFiles.end(), *path) ==
        settings.recentValueFiles.end())
      settings.recentValueFiles.push_back(*path);
  }
  reader.ReadText(kWindow, "Geometry", kSettingsMaxGeometryChars, settings.windowGeometry);
  for (const FolderKey& f : kFolderKeys)
    reader.ReadText(kFolders, f.key, kSettingsMaxPathChars, settings.folders.*f.field);
  for (const FlagKey& f : kFlagKeys) reader.ReadFlag(f.key, settings.*f.field);
  reader.ReadInteger(kView, "MainTimerMs", kMinMainTimerMs, kMaxMainTimerMs, settings.mainTimerMs);
  damaged = reader.Damaged();
}

void Line(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out += '=';
  if (Storable(value)) out.append(value);
  out += '\n';
}

std::string SettingsText(const SettingsBlock& settings) {
  std::string out = "; Tavomark Device Tool settings\n[Port]\n";
  Line(out, "Selector", std::to_string(settings.portIndex));
  out += "\n[Recent]\n";
  for (const PathKey& p : kPathKeys) Line(out, p.key, settings.*p.field);
  for (std::size_t i = 0; i < settings.recentValueFiles.size() && i < kMaxRecentValueFiles; ++i)
    Line(out, "ValueFile" + std::to_string(i + 1), settings.recentValueFiles[i]);
  out += "\n[Window]\n";
  Line(out, "Geometry", settings.windowGeometry);
  out += "\n[Folders]\n";
  for (const FolderKey& f : kFolderKeys) Line(out, f.key, settings.folders.*f.field);
  out += "\n[View]\n";
  for (const FlagKey& f : kFlagKeys) Line(out, f.key, settings.*f.field ? "1" : "0");
  Line(out, "MainTimerMs", std::to_string(settings.mainTimerMs));
  return out;
}

// Text: no control bytes but tab and line ends (bytes from 0x80 up may be
// UTF-8 in paths).
bool LooksLikeText(std::string_view bytes) {
  return std::none_of(bytes.begin(), bytes.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F;
  });
}

}  // namespace

int ReadInitFile(const std::filesystem::path& dir, SettingsBlock& settings, SettingsRead* status) {
  settings = SettingsBlock{};
  std::string bytes;
  SettingsRead result = SettingsRead::kMissing;
  bool damaged = false;
  if (!ReadWholeFile(dir / kSettingsFileName, bytes)) {
    result = SettingsRead::kMissing;
  } else if (IsOldBlock(bytes)) {
    ReadOldBlock(bytes, settings, damaged);
    result = SettingsRead::kMigrated;
  } else if (LooksLikeText(bytes)) {
    ReadText(bytes, settings, damaged);
    result = damaged ? SettingsRead::kRepaired : SettingsRead::kText;
  }
  if (status != nullptr) *status = result;
  if (result == SettingsRead::kMissing) {
    settings = SettingsBlock{};
    return 0;
  }
  return 1;
}

Result<void> WriteInitFile(const std::filesystem::path& dir, const SettingsBlock& settings) {
  const std::string text = SettingsText(settings);
  return SaveFileAtomically(dir / kSettingsFileName, [&](std::FILE* f) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
  });
}

void AddRecentValueFile(SettingsBlock& settings, const std::string& path) {
  if (path.empty()) return;
  auto& recent = settings.recentValueFiles;
  recent.erase(std::remove(recent.begin(), recent.end(), path), recent.end());
  recent.insert(recent.begin(), path);
  if (recent.size() > kMaxRecentValueFiles) recent.resize(kMaxRecentValueFiles);
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
