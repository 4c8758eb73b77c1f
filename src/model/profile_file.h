#pragma once
// Reading INI text ("[section]" lines, then "key=value" lines) the way the
// Windows private-profile functions answer it: section and key names match
// without regard to ASCII case, the first occurrence of a key (over every
// section of that name) wins, and a missing file, section or key gives the
// caller's default. The text itself is parsed by inih (the
// Debian package libinih-dev); lines reach it left-trimmed, so an indented
// line is a line of its own as it is for the profile functions, never a
// continuation of the value before it. A ';' after a blank starts a comment,
// as do lines starting with ';' or '#'.
//
// The calibration files and the settings file are read through this one reader.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavomark {

class ProfileFile {
 public:
  // Reads the whole file; false (and nothing kept) when it cannot be opened.
  bool Load(const std::filesystem::path& path);
  // Reads INI text held in memory.
  void LoadText(std::string_view text);

  // The key's value, trimmed, or nothing when the section or key is missing.
  [[nodiscard]] std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // The value cut to at most maxChars characters, or the default.
  [[nodiscard]] std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                      std::size_t maxChars) const;
  // The value's leading decimal integer (optional sign; 0 when the value
  // starts with no number; saturated at the 64-bit limits), or the default.
  [[nodiscard]] int64_t GetInt(std::string_view section, std::string_view key, int64_t fallback) const;

  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  // Every key line in file order, later duplicates included.
  [[nodiscard]] const std::vector<Entry>& Entries() const { return m_entries; }

 private:
  void Parse(std::string_view text);
  std::vector<Entry> m_entries;
};

// Reads the leading decimal integer of a profile value as GetInt does.
[[nodiscard]] int64_t ProfileInt(std::string_view value);

}  // namespace tavomark
