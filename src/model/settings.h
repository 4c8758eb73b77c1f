#pragma once
// The settings file "tavomark.ini": INI text that people can read and edit.
//
//   [Port]     Selector=-2|-1|0|1..255     (0: none)
//   [Recent]   ValueFile= HeaderFile= StructTextFile= NewValueFile=
//              ValueFile1= .. ValueFile8=  (recent value files, newest first)
//   [Window]   Geometry=                   (opaque text kept for the window)
//   [Folders]  Value= Header= StructText= NewValue= Recording= Backup=
//   [View]     LiveEditChannels=0|1 LiveShowCalib=0|1 AskBeforeSend=0|1
//              MainTimerMs=20..2000        (the window's refresh period)
//
// Older versions kept the settings as one 1042-byte block (portIndex i16 LE,
// then four 260-byte NUL-terminated paths), optionally followed by an 8-byte
// tail ("TMX1", live "Edit channels" byte, live "Calibration" byte, 2 zero
// bytes). Such a file is read once and reported as migrated, so the caller
// writes the text form at once.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace tavomark {

inline constexpr const char* kSettingsFileName = "tavomark.ini";
// Longest path the settings keep; a longer one in the file is dropped.
inline constexpr std::size_t kSettingsMaxPathChars = 4096;
// Longest window geometry text kept.
inline constexpr std::size_t kSettingsMaxGeometryChars = 4096;
inline constexpr std::size_t kMaxRecentValueFiles = 8;
// The binary block of older versions, and its optional tail.
inline constexpr std::size_t kOldSettingsBytes = 1042;
inline constexpr std::size_t kOldSettingsTailBytes = 8;
// The window's main timer: its period by default and the range a setting or
// an option may ask for.
inline constexpr int kDefaultMainTimerMs = 200;
inline constexpr int kMinMainTimerMs = 20;
inline constexpr int kMaxMainTimerMs = 2000;

// The last folder used per kind of file, for the file dialogs.
struct SettingsFolders {
  std::string value;
  std::string header;
  std::string structText;
  std::string newValue;
  std::string recording;
  std::string backup;
};

struct SettingsBlock {
  int16_t portIndex = 0;  // the port selector itself: -2, -1, 1..255, or 0 for none
  std::string lastValueFile;
  std::string lastHeaderFile;
  std::string lastStructTextFile;
  std::string lastNewValueFile;
  std::vector<std::string> recentValueFiles;  // newest first, at most 8
  std::string windowGeometry;
  SettingsFolders folders;
  bool liveEditChannels = false;
  bool liveShowCalib = false;
  bool askBeforeSend = true;
  int mainTimerMs = kDefaultMainTimerMs;
};

enum class SettingsRead {
  kText,      // a settings file in the text form, every entry usable
  kMigrated,  // the binary block of an older version
  kRepaired,  // entries that were damaged (wrong type, too long) took defaults
  kMissing,   // no file, or one that cannot be read or is no settings file
};

// Reads <dir>/tavomark.ini. Returns 1 when a settings file was read (entries
// that are damaged take their defaults); on a missing, unreadable or wholly
// damaged file sets every field to its default and returns 0. status, when
// given, says which; every status but kText asks the caller to write the file
// again.
[[nodiscard]] int ReadInitFile(const std::filesystem::path& dir, SettingsBlock& settings,
                               SettingsRead* status = nullptr);
// Writes the settings as text, replacing the file atomically; on failure (code
// -1) the previous file is untouched. A text that the file cannot hold (a line
// break in a path) is written empty.
[[nodiscard]] Result<void> WriteInitFile(const std::filesystem::path& dir, const SettingsBlock& settings);

// Puts path first in the recent value files (moving it when listed, dropping
// the oldest past 8). An empty path changes nothing.
void AddRecentValueFile(SettingsBlock& settings, const std::string& path);

// "TQ%04d%c_USER Rev.AB - " followed by the file name of the loaded values.
[[nodiscard]] std::string MainTitleText(uint16_t codeProj, char compVerFw, std::string_view valueFileName);

}  // namespace tavomark
