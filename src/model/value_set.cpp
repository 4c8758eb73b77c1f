#include "value_set.h"

#include <cstring>
#include <utility>

#include "atomic_file.h"
#include "bytes.h"
#include "fixed_text.h"
#include "names.h"

namespace tavomark {

float ItemValue(std::span<const uint8_t> item) { return item.size() >= 4 ? GetF32(item.data()) : 0.0f; }

void SetItemValue(std::span<uint8_t> item, float value) {
  if (item.size() >= 4) PutF32(item.data(), value);
}

uint8_t ItemSkip(std::span<const uint8_t> item) { return item.size() >= 5 ? item[4] : 0; }

void SetItemSkip(std::span<uint8_t> item, uint8_t skip) {
  if (item.size() >= 5) item[4] = skip;
}

Pack CreateValToSendPack(const StructPack& structPack) {
  Pack pack = CreatePack(kValToSendItemBytes);
  CopyHeaderPrefix(pack.header, structPack.header);
  pack.header.itemSize = kValToSendItemBytes;
  pack.header.isNew = 1;
  // One item per record in list order, which is the pre-order of the walk.
  uint8_t item[kValToSendItemBytes] = {};
  for (const Record& r : structPack.records) {
    SetItemValue(item, static_cast<float>(r.value));
    pack.Append(item);
  }
  pack.header.numRecords = static_cast<uint16_t>(pack.Count());
  return pack;
}

ValToSendSet CreateValToSendSet(const ConfigSet& config) {
  ValToSendSet set;
  set.param = CreateValToSendPack(config.param);
  set.calib = CreateValToSendPack(config.calib);
  set.info = CreateValToSendPack(config.info);
  set.configLetter = config.monitor.header.compVerFw;
  return set;
}

void DisposeValToSendSet(ValToSendSet& set) {
  DisposePack(set.param);
  DisposePack(set.calib);
  DisposePack(set.info);
}

int WriteValToSendSet(std::FILE* file, ValToSendSet& set) {
  for (Pack* pack : {&set.param, &set.info, &set.calib})
    if (!WritePack(file, *pack)) return 0;
  return std::fputc(static_cast<unsigned char>(set.configLetter), file) == EOF ? 0 : 1;
}

Result<void> ReadValToSendSet(std::FILE* file, ValToSendSet& set) {
  const std::pair<const char*, Pack*> packs[] = {{"param block", &set.param}, {"info block", &set.info},
                                                 {"calib block", &set.calib}};
  for (const auto& [what, pack] : packs) {
    const long start = std::ftell(file);
    if (ReadPack(file, *pack)) continue;
    return Fail(DescribePackReadFailure(file, start, pack->itemBytes, pack->itemBytes, what));
  }
  const int letter = std::fgetc(file);
  set.configLetter = letter == EOF ? set.param.header.compVerFw : static_cast<char>(letter);
  return {};
}

Result<void> LoadValToSendSet(const std::filesystem::path& path, ValToSendSet& set) {
  FileHandle file(path, "rb");
  if (!file) return Fail(file.error());
  auto read = ReadValToSendSet(file.get(), set);
  std::string name;
  SplitFileName(path.string(), name);
  SetText(set.name, name);
  return read;
}

Result<void> SaveValToSendSet(const std::filesystem::path& path, ValToSendSet& set) {
  return SaveFileAtomically(path, [&](std::FILE* f) { return WriteValToSendSet(f, set) == 1; });
}

int CopyValToSendSet(ValToSendSet& dst, const ValToSendSet& src) {
  if (!CopyPack(dst.param, src.param)) return 0;
  if (!CopyPack(dst.info, src.info)) return 0;
  if (!CopyPack(dst.calib, src.calib)) return 0;
  std::memcpy(dst.name, src.name, sizeof dst.name);
  dst.configLetter = src.configLetter;
  return 1;
}

std::span<uint8_t> GetValToSendRecord(Pack& pack, std::size_t position) { return pack.Item(position); }

std::span<const uint8_t> GetValToSendRecord(const Pack& pack, std::size_t position) {
  return pack.Item(position);
}

Pack& GetTabIndexedValToSendPack(ValToSendSet& set, Block block) { return DeviceBlockOf(set, block); }

const Pack& GetTabIndexedValToSendPack(const ValToSendSet& set, Block block) { return DeviceBlockOf(set, block); }

bool IsCoherentValToSendSet(const ValToSendSet& set) {
  const uint16_t code = set.param.header.codeProj;
  return set.calib.header.codeProj == code && set.info.header.codeProj == code;
}

bool IsCompleteValToSendSet(const ValToSendSet& set) {
  return set.param.Count() > 0 && set.info.Count() > 0 && set.calib.Count() > 0;
}

bool IsChangedValToSendSet(const ValToSendSet& set) {
  return set.param.header.isChanged || set.calib.header.isChanged || set.info.header.isChanged;
}

bool IsNewValToSendSet(const ValToSendSet& set) {
  return set.param.header.isNew || set.calib.header.isNew || set.info.header.isNew;
}

bool CheckCompatibilityValToSend(const ValToSendSet& set, const ConfigSet& config) {
  return CheckPackCompatibility(set.param.header, config.param.header) &&
         set.param.Count() == config.param.records.size() && set.info.Count() == config.info.records.size() &&
         set.calib.Count() == config.calib.records.size();
}

std::string GetValToSendErrorString(int code) {
  switch (code) {
    case kVtsOk: return "";
    case kVtsIncoherent: return "File VTS coherence error\n Different packet header found";
    case kVtsVoidPacket: return "File VTS contain void packet";
    case kConfigNotFound: return "File Configuration not found in program sub folder 'config'";
    case kConfigIncoherent: return "File Configuration coherence error\n Different packet header found";
    case kConfigVoidPacket: return "File Configuration contain void packet";
    case kCompatibilityMismatch: return "Compatibility don't match with file config Name";
    case kWrongParamCount: return "Wrong Param records's number";
    case kWrongInfoCount: return "Wrong Info records's number";
    case kWrongCalibCount: return "Wrong Calibration records's number";
    case kInvalidParameterFile: return "Invalid Parameter File";
    default: return "Unknown error occurred...";
  }
}

DataSet CreateDataSet() {
  DataSet set;
  set.config = CreateConfigSet();
  set.vts = CreateValToSendSet(set.config);
  set.user = CreateUserConfSet();
  return set;
}

void DisposeDataSet(DataSet& set) {
  DisposeConfigSet(set.config);
  DisposeValToSendSet(set.vts);
  DisposeUserConfSet(set.user);
}

namespace {

// The user configuration follows the configuration: its own file when there is
// one for the monitor header, else the monitor header with the data kept.
void AttachUserConf(DataSet& set, const std::filesystem::path& projectDir) {
  const PackHeader& monitor = set.config.monitor.header;
  if (!LoadUserConfSet(GetUserConfPath(projectDir, monitor), set.user)) {
    set.user.header = monitor;
    return;
  }
  if (!CheckPackCompatibility(set.user.header, monitor)) set.user.data.fill(0);
}


Error DataSetError(int code) { return Fail(code, GetValToSendErrorString(code)); }

}  // namespace

Result<void> UpdateDataSet(DataSet& set, const std::filesystem::path& projectDir) {
  ValToSendSet& vts = set.vts;
  if (vts.param.Count() == 0 || vts.info.Count() == 0 || vts.calib.Count() == 0) return DataSetError(kVtsVoidPacket);
  const uint16_t code = vts.param.header.codeProj;
  if (vts.calib.header.codeProj != code || vts.info.header.codeProj != code) return DataSetError(kVtsIncoherent);

  if (auto loaded = LoadConfigSet(GetConfigPath(projectDir, code, vts.configLetter), set.config); !loaded)
    return Fail(kConfigNotFound, GetValToSendErrorString(kConfigNotFound) + ": " + loaded.message());
  std::string name;
  GetConfigName(code, vts.configLetter, name);
  SetText(set.config.name, name);

  if (!IsCompleteConfigSet(set.config)) return DataSetError(kConfigVoidPacket);
  if (!IsCoherentConfigSet(set.config, vts.configLetter)) return DataSetError(kConfigIncoherent);
  if (!CheckPackCompatibility(vts.param.header, set.config.param.header)) return DataSetError(kCompatibilityMismatch);
  if (vts.param.Count() != set.config.param.records.size()) return DataSetError(kWrongParamCount);
  if (vts.info.Count() != set.config.info.records.size()) return DataSetError(kWrongInfoCount);
  if (vts.calib.Count() != set.config.calib.records.size()) return DataSetError(kWrongCalibCount);

  AttachUserConf(set, projectDir);
  return {};
}


int CopyDataSet(DataSet& dst, const DataSet& src) {
  if (!CopyValToSendSet(dst.vts, src.vts)) return 0;
  if (!CopyConfigSet(dst.config, src.config)) return 0;
  return CopyUserConfSet(dst.user, src.user);
}

}  // namespace tavomark
