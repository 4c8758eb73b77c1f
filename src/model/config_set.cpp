#include "config_set.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "atomic_file.h"
#include "bytes.h"
#include "names.h"
#include "pack.h"
#include "struct_pack_file.h"

namespace tavomark {

uint32_t UserConfSet::Entry(std::size_t list, std::size_t row) const {
  if (list >= kUserConfLists || row >= kUserConfEntries) return 0;
  return GetU32(data.data() + (list * kUserConfEntries + row) * 4);
}

void UserConfSet::SetEntry(std::size_t list, std::size_t row, uint32_t position) {
  if (list >= kUserConfLists || row >= kUserConfEntries) return;
  PutU32(data.data() + (list * kUserConfEntries + row) * 4, position);
}

ConfigSet CreateConfigSet() {
  ConfigSet set;
  set.monitor = CreateStructPack();
  set.param = CreateStructPack();
  set.calib = CreateStructPack();
  set.info = CreateStructPack();
  return set;
}

void DisposeConfigSet(ConfigSet& set) {
  DisposeStructPack(set.monitor);
  DisposeStructPack(set.param);
  DisposeStructPack(set.calib);
  DisposeStructPack(set.info);
  std::memset(set.name, 0, sizeof set.name);
}

int CopyConfigSet(ConfigSet& dst, const ConfigSet& src) {
  if (!StructPackCopy(dst.monitor, src.monitor, 0)) return 0;
  if (!StructPackCopy(dst.param, src.param, 0)) return 0;
  if (!StructPackCopy(dst.info, src.info, 0)) return 0;
  if (!StructPackCopy(dst.calib, src.calib, 0)) return 0;
  std::memcpy(dst.name, src.name, sizeof dst.name);
  return 1;
}

bool IsCompleteConfigSet(const ConfigSet& set) {
  return !set.param.records.empty() && !set.info.records.empty() && !set.calib.records.empty() &&
         !set.monitor.records.empty();
}

bool IsCoherentConfigSet(const ConfigSet& set, char letter) {
  const uint16_t code = set.param.header.codeProj;
  if (set.info.header.codeProj != code || set.monitor.header.codeProj != code) return false;
  return letter == 0 || letter == set.monitor.header.compVerFw;
}

bool IsChangedConfigSet(const ConfigSet& set) {
  return set.monitor.header.isChanged || set.param.header.isChanged || set.calib.header.isChanged ||
         set.info.header.isChanged;
}

bool IsNewConfigSet(const ConfigSet& set) {
  return set.monitor.header.isNew || set.param.header.isNew || set.calib.header.isNew || set.info.header.isNew;
}

StructPack& GetTabIndexedStruct(ConfigSet& set, Block block) {
  return block == Block::Monitor ? set.monitor : DeviceBlockOf(set, block);
}

const StructPack& GetTabIndexedStruct(const ConfigSet& set, Block block) {
  return block == Block::Monitor ? set.monitor : DeviceBlockOf(set, block);
}

// ---- text-mode translation --------------------------------------------------------

std::vector<uint8_t> ToCrLf(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out;
  out.reserve(bytes.size() + bytes.size() / 64);
  for (uint8_t b : bytes) {
    if (b == 0x0A) out.push_back(0x0D);
    out.push_back(b);
  }
  return out;
}

std::vector<uint8_t> FromCrLf(const std::vector<uint8_t>& bytes) {
  // Copies the runs between carriage returns whole: the files are read at
  // every start.
  std::vector<uint8_t> out(bytes.size());
  const uint8_t* from = bytes.data();
  const uint8_t* const end = from + bytes.size();
  uint8_t* to = out.data();
  while (from != end) {
    const auto* cr = static_cast<const uint8_t*>(std::memchr(from, 0x0D, static_cast<std::size_t>(end - from)));
    const uint8_t* runEnd = cr == nullptr ? end : cr + 1;
    std::memcpy(to, from, static_cast<std::size_t>(runEnd - from));
    to += runEnd - from;
    from = runEnd;
    if (cr != nullptr && from != end && *from == 0x0A) --to;  // CR LF -> LF
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  return out;
}

namespace {

// Collects what a binary writer produces, to translate it before it reaches
// the file.
class MemoryWriter {
 public:
  MemoryWriter() : m_file(::open_memstream(&m_data, &m_size)) {}
  ~MemoryWriter() {
    if (m_file) std::fclose(m_file);
    std::free(m_data);
  }
  MemoryWriter(const MemoryWriter&) = delete;
  MemoryWriter& operator=(const MemoryWriter&) = delete;
  [[nodiscard]] std::FILE* get() const { return m_file; }
  [[nodiscard]] std::vector<uint8_t> Bytes() {
    if (!m_file || std::fflush(m_file) != 0) return {};
    return {reinterpret_cast<uint8_t*>(m_data), reinterpret_cast<uint8_t*>(m_data) + m_size};
  }

 private:
  char* m_data = nullptr;
  std::size_t m_size = 0;
  std::FILE* m_file = nullptr;
};

// Serves translated bytes to the binary readers.
class MemoryReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {
    // fmemopen refuses a zero-sized buffer; one spare byte is never read.
    m_bytes.push_back(0);
    m_file = ::fmemopen(m_bytes.data(), m_bytes.size() - 1 == 0 ? 1 : m_bytes.size() - 1, "rb");
    m_empty = m_bytes.size() == 1;
  }
  ~MemoryReader() {
    if (m_file) std::fclose(m_file);
  }
  MemoryReader(const MemoryReader&) = delete;
  MemoryReader& operator=(const MemoryReader&) = delete;
  [[nodiscard]] std::FILE* get() const { return m_empty ? nullptr : m_file; }

 private:
  std::vector<uint8_t> m_bytes;
  std::FILE* m_file = nullptr;
  bool m_empty = false;
};

// The rest of the stream, at most limit bytes; fails when the stream holds
// more or reports an error.
Result<void> ReadRest(std::FILE* file, std::size_t limit, std::vector<uint8_t>& bytes) {
  bytes.clear();
  uint8_t buf[65536];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) {
    if (bytes.size() + n > limit)
      return Fail("larger than the " + std::to_string(limit) + " bytes the format can hold");
    bytes.insert(bytes.end(), buf, buf + n);
  }
  if (std::ferror(file)) return Fail(std::string("read error: ") + std::strerror(errno));
  return {};
}

bool WriteAll(std::FILE* file, const std::vector<uint8_t>& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

// ---- configuration files ----------------------------------------------------------

int WriteConfigSet(std::FILE* file, ConfigSet& set) {
  MemoryWriter memory;
  if (!memory.get()) return 0;
  for (StructPack* pack : {&set.monitor, &set.param, &set.info, &set.calib})
    if (!WriteBinStructPack(memory.get(), *pack)) return 0;
  const auto bytes = memory.Bytes();
  return !bytes.empty() && WriteAll(file, ToCrLf(bytes)) ? 1 : 0;
}

Result<void> ReadConfigSet(std::FILE* file, ConfigSet& set) {
  std::vector<uint8_t> bytes;
  if (auto read = ReadRest(file, kMaxConfigFileBytes, bytes); !read) return read;
  MemoryReader memory(FromCrLf(bytes));
  if (!memory.get()) return Fail("the file is empty");
  const std::pair<const char*, StructPack*> packs[] = {
      {"monitor pack", &set.monitor}, {"param pack", &set.param}, {"info pack", &set.info}, {"calib pack", &set.calib}};
  for (const auto& [what, pack] : packs) {
    const long start = std::ftell(memory.get());
    if (ReadBinStructPack(memory.get(), *pack)) continue;
    return Fail(DescribePackReadFailure(memory.get(), start, 0, kRecordSlotBytes, what));
  }
  return {};
}

Result<void> SaveConfigSet(const std::filesystem::path& path, ConfigSet& set) {
  return SaveFileAtomically(path, [&](std::FILE* f) { return WriteConfigSet(f, set) == 1; });
}

Result<void> LoadConfigSet(const std::filesystem::path& path, ConfigSet& set) {
  FileHandle file(path, "rb");
  if (!file) return Fail(file.error());
  return ReadConfigSet(file.get(), set);
}

// ---- user configuration -------------------------------------------------------------

UserConfSet CreateUserConfSet() {
  UserConfSet set;
  set.header.isNew = 1;
  return set;
}

void DisposeUserConfSet(UserConfSet& set) {
  set.header = PackHeader{};
  set.data.fill(0);
}

int CopyUserConfSet(UserConfSet& dst, const UserConfSet& src) {
  CopyHeaderPrefix(dst.header, src.header);
  dst.header.isNew = 1;
  dst.data = src.data;
  return 1;
}

bool IsChangedUserConfSet(const UserConfSet& set) { return set.header.isChanged != 0; }
bool IsNewUserConfSet(const UserConfSet& set) { return set.header.isNew != 0; }

int WriteUserConfSet(std::FILE* file, UserConfSet& set) {
  std::vector<uint8_t> bytes(kPackHeaderBytes);
  SerializeHeader(set.header, bytes.data());
  bytes.insert(bytes.end(), set.data.begin(), set.data.end());
  if (!WriteAll(file, ToCrLf(bytes))) return 0;
  set.header.isChanged = 0;
  return 1;
}

Result<void> ReadUserConfSet(std::FILE* file, UserConfSet& set) {
  std::vector<uint8_t> raw;
  if (auto read = ReadRest(file, kMaxUserConfFileBytes, raw); !read) return read;
  const auto bytes = FromCrLf(raw);
  if (bytes.size() < kPackHeaderBytes || bytes[0] != 'F' || bytes[1] != 'W')
    return Fail(bytes.size() < kPackHeaderBytes ? "header cut short" : "no \"FW\" at byte 0");
  DeserializeHeader(bytes.data(), set.header);
  set.header.isNew = 1;
  set.header.isChanged = 0;
  if (bytes.size() < kPackHeaderBytes + kUserConfDataBytes)
    return Fail("the lists end at byte " + std::to_string(bytes.size()) + " of the content, before byte " +
                std::to_string(kPackHeaderBytes + kUserConfDataBytes));
  std::memcpy(set.data.data(), bytes.data() + kPackHeaderBytes, kUserConfDataBytes);
  return {};
}

Result<void> SaveUserConfSet(const std::filesystem::path& path, UserConfSet& set) {
  return SaveFileAtomically(path, [&](std::FILE* f) { return WriteUserConfSet(f, set) == 1; });
}

Result<void> LoadUserConfSet(const std::filesystem::path& path, UserConfSet& set) {
  FileHandle file(path, "rb");
  if (!file) return Fail(file.error());
  return ReadUserConfSet(file.get(), set);
}

Result<void> SaveUserConfDefaultPath(const std::filesystem::path& projectDir, UserConfSet& set) {
  return SaveUserConfSet(GetUserConfPath(projectDir, set.header), set);
}

}  // namespace tavomark
