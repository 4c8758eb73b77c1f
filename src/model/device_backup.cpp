#include "device_backup.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "atomic_file.h"

namespace tavomark {

namespace {

constexpr std::size_t kMaxNameChars = 40;
constexpr std::size_t kStampChars = 19;  // YYYYMMDD-HHMMSS-mmm
constexpr std::size_t kMaxImageBytes = 0xFFFF;

std::string SafeName(const std::string& dataName) {
  std::string name;
  for (char c : dataName) {
    if (name.size() == kMaxNameChars) break;
    const bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    name += kept ? c : '_';
  }
  return name.empty() ? "noname" : name;
}

std::string StampOf(std::chrono::system_clock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

bool IsStamp(const std::string& s) {
  if (s.size() != kStampChars || s[8] != '-' || s[15] != '-') return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (i != 8 && i != 15 && !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

Result<void> WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  return SaveFileAtomically(
      path, [bytes](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); });
}

}  // namespace

std::filesystem::path BackupFolder(const std::filesystem::path& projectDir) { return projectDir / kBackupFolder; }

std::string BackupKey(uint16_t device, uint16_t serialExt, uint16_t serialNum) {
  return "dev" + std::to_string(device) + "-sn" + std::to_string(serialExt) + "." + std::to_string(serialNum);
}

bool ParseBackupName(const std::string& stem, BackupName& name) {
  if (stem.size() < kStampChars + 4) return false;
  const std::string stamp = stem.substr(stem.size() - kStampChars);
  if (!IsStamp(stamp) || stem[stem.size() - kStampChars - 1] != '_') return false;
  const std::string rest = stem.substr(0, stem.size() - kStampChars - 1);
  const auto at = rest.rfind("_b");
  if (at == std::string::npos || at == 0 || at + 2 >= rest.size() || rest.size() - at - 2 > 5) return false;
  unsigned block = 0;
  for (std::size_t i = at + 2; i < rest.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return false;
    block = block * 10 + static_cast<unsigned>(rest[i] - '0');
  }
  if (block > 0xFFFF) return false;
  const std::string keyAndName = rest.substr(0, at);
  const auto split = keyAndName.find('_');
  if (split == std::string::npos || split == 0 || split + 1 == keyAndName.size()) return false;
  const std::string key = keyAndName.substr(0, split);
  if (!key.starts_with("dev")) return false;
  name = BackupName{key, keyAndName.substr(split + 1), static_cast<uint16_t>(block), stamp};
  return true;
}

Result<std::filesystem::path> SaveDeviceBackup(const std::filesystem::path& projectDir, const std::string& key,
                                               const std::string& dataName, uint16_t block,
                                               std::span<const uint8_t> image, ValToSendSet* values) {
  const std::filesystem::path folder = BackupFolder(projectDir);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder, ec))
    return Fail("cannot make the folder " + folder.string() + (ec ? ": " + ec.message() : std::string()));
  const std::string prefix = key + "_" + SafeName(dataName) + "_b" + std::to_string(block) + "_";
  // Two backups within one millisecond take the next free one.
  auto when = std::chrono::system_clock::now();
  std::filesystem::path stem;
  for (int attempt = 0;; ++attempt, when += std::chrono::milliseconds(1)) {
    stem = folder / (prefix + StampOf(when));
    const bool taken = std::filesystem::exists(stem.string() + ".img", ec) ||
                       std::filesystem::exists(stem.string() + ".vts", ec);
    if (!taken) break;
    if (attempt == 1000) return Fail("no free backup name in " + folder.string());
  }
  const std::filesystem::path img = stem.string() + ".img";
  if (auto written = WriteBytes(img, image); !written)
    return Fail("cannot write " + img.string() + ": " + written.message());
  if (values != nullptr) {
    const std::filesystem::path vts = stem.string() + ".vts";
    if (auto written = SaveValToSendSet(vts, *values); !written) {
      std::filesystem::remove(img, ec);
      return Fail("cannot write " + vts.string() + ": " + written.message());
    }
  }
  return img;
}

std::vector<std::string> ListDeviceBackups(const std::filesystem::path& projectDir, const std::string& key) {
  std::vector<std::pair<std::string, std::string>> found;  // stamp, stem
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(BackupFolder(projectDir), ec)) {
    const std::filesystem::path& path = entry.path();
    if (path.extension() != ".img" && path.extension() != ".vts") continue;
    BackupName name;
    const std::string stem = path.stem().string();
    if (!ParseBackupName(stem, name) || name.key != key) continue;
    found.emplace_back(name.stamp, stem);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  std::vector<std::string> stems;
  for (auto& [stamp, stem] : found) stems.push_back(std::move(stem));
  return stems;
}

std::size_t PruneDeviceBackups(const std::filesystem::path& projectDir, const std::string& key, std::size_t keep) {
  const std::vector<std::string> stems = ListDeviceBackups(projectDir, key);
  if (stems.size() <= keep) return 0;
  const std::filesystem::path folder = BackupFolder(projectDir);
  std::size_t removed = 0;
  for (std::size_t i = 0; i < stems.size() - keep; ++i) {
    std::error_code ec;
    std::filesystem::remove(folder / (stems[i] + ".img"), ec);
    std::filesystem::remove(folder / (stems[i] + ".vts"), ec);
    ++removed;
  }
  return removed;
}

Result<DeviceBackup> LoadDeviceBackup(const std::filesystem::path& path) {
  BackupName name;
  if (!ParseBackupName(path.stem().string(), name))
    return Fail(path.filename().string() + " is not named as a device backup");
  std::filesystem::path img = path;
  img.replace_extension(".img");
  FileHandle file(img, "rb");
  if (!file) return Fail("cannot open " + img.string() + ": " + file.error());
  if (file.size() > kMaxImageBytes) return Fail(img.string() + " is larger than a block can be");
  std::vector<uint8_t> bytes(static_cast<std::size_t>(file.size()));
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return Fail("cannot read " + img.string());
  return DeviceBackup{std::move(name), std::move(bytes)};
}

}  // namespace tavomark
