#include "profile_file.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

namespace tavomark {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Hands inih one line at a time, left-trimmed and with its line feed. A line
// longer than inih's buffer is cut there and its rest skipped, so it never
// comes back as a line of its own.
struct LineCursor {
  std::string_view text;
  std::size_t at = 0;
};

char* NextLine(char* out, int capacity, void* stream) {
  auto& cursor = *static_cast<LineCursor*>(stream);
  if (cursor.at >= cursor.text.size() || capacity < 2) return nullptr;
  std::size_t end = cursor.text.find('\n', cursor.at);
  if (end == std::string_view::npos) end = cursor.text.size();
  std::size_t begin = cursor.at;
  while (begin < end && IsBlank(cursor.text[begin])) ++begin;
  const std::size_t n = std::min(end - begin, static_cast<std::size_t>(capacity) - 2);
  std::memcpy(out, cursor.text.data() + begin, n);
  out[n] = '\n';
  out[n + 1] = '\0';
  cursor.at = end + 1;
  return out;
}

int KeepEntry(void* user, const char* section, const char* key, const char* value) {
  static_cast<std::vector<ProfileFile::Entry>*>(user)->push_back({section, key, value});
  return 1;
}

}  // namespace

bool ProfileFile::Load(const std::filesystem::path& path) {
  m_entries.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Parse(text);
  return true;
}

void ProfileFile::LoadText(std::string_view text) {
  m_entries.clear();
  Parse(text);
}

void ProfileFile::Parse(std::string_view text) {
  LineCursor cursor{text, 0};
  // Lines inih cannot read (no '=') are skipped, as the profile functions skip
  // them; its result only reports the first of them.
  (void)ini_parse_stream(NextLine, &cursor, KeepEntry, &m_entries);
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
  for (const Entry& e : m_entries)
    if (SameNoCase(e.section, section) && SameNoCase(e.key, key)) return e.value;
  return std::nullopt;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                   std::size_t maxChars) const {
  const std::optional<std::string> value = Find(section, key);
  std::string text = value ? *value : std::string(fallback);
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

int64_t ProfileFile::GetInt(std::string_view section, std::string_view key, int64_t fallback) const {
  const std::optional<std::string> value = Find(section, key);
  return value ? ProfileInt(*value) : fallback;
}

int64_t ProfileInt(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  // Accumulated negatively: the magnitude of the lowest value does not fit the positive side.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    const int digit = value[i] - '0';
    if (n < (kMin + digit) / 10) {
      n = kMin;
      break;
    }
    n = n * 10 - digit;
  }
  if (negative) return n;
  return n == kMin ? std::numeric_limits<int64_t>::max() : -n;
}

}  // namespace tavomark
