#include "project_memory.h"

#include "device_image.h"
#include "fixed_text.h"
#include "value_codec.h"
#include "value_set.h"

namespace tavomark::sim {

namespace {

InfoFields IdentityInfo(const PackHeader& monitor, InfoFields info) {
  info.projectCode = monitor.codeProj;
  info.revision[0] = monitor.fwDevRevision;
  info.revision[1] = monitor.fwNumRevision;
  info.ioVersion = static_cast<uint8_t>(monitor.compVerIo);
  info.parVersion = monitor.compVerFw;
  info.date[0] = monitor.fwDay;
  info.date[1] = monitor.fwMonth;
  info.date[2] = monitor.fwYear;
  return info;
}

}  // namespace

LiveLayout MonitorLiveLayout(const StructPack& monitor) {
  LiveLayout layout;
  layout.size = GetStructByteSize(monitor);
  std::size_t index = 0;
  for (const Record& r : monitor.records) {
    if (!r.IsLeaf() || r.byteSize == 0 || r.byteSize > 8) continue;
    LiveLeaf leaf{r, ChooseMotion(r), 0.0};
    if (leaf.record.maxValue <= leaf.record.minValue &&
        RecordValRange(leaf.record, leaf.record.maxValue, leaf.record.minValue) == 0)
      leaf.motion = Motion::Fixed;
    leaf.phase = static_cast<double>(index++ % 16) / 16.0;
    layout.leaves.push_back(leaf);
  }
  return layout;
}

bool LoadProjectMemory(const std::filesystem::path& projectDir, const std::filesystem::path& values,
                       InfoFields& info, DeviceMemory& memory, std::string& error) {
  DataSet data = CreateDataSet();
  if (auto loaded = LoadValToSendSet(values, data.vts); !loaded) {
    error = "cannot read the value file " + values.string() + ": " + loaded.message();
    return false;
  }
  if (auto attached = UpdateDataSet(data, projectDir); !attached) {
    error = values.string() + ": " + attached.message();
    return false;
  }
  const PackHeader& mon = data.config.monitor.header;
  if (GetStructByteSize(data.config.monitor) > kMaxLiveBytes) {
    error = "the monitor struct has " + std::to_string(GetStructByteSize(data.config.monitor)) +
            " bytes; a live reply carries at most 240";
    return false;
  }
  DeviceSet devices = CreateDeviceSet(data.config);
  if (ValToSendSetToDeviceSet(data.vts, devices) != 1) {
    error = values.string() + ": the values do not fit the configuration's images";
    return false;
  }

  memory = DeviceMemory{};
  memory.bigEndianMode = mon.bigEndianMode;
  memory.swapDataBlock = mon.swapDataBlock;
  memory.blocks[kParamBlock] = devices.param.buffer;
  memory.blocks[kCalibBlock] = devices.calib.buffer;
  memory.blocks[kInfoBlock] = devices.info.buffer;
  memory.blocks[kErrorListBlock] = BuildErrorList(SampleErrorEntries(), memory.LittleEndian());
  info = IdentityInfo(mon, info);
  memory.info = EncodeInfoRecord(info);
  memory.fwVersion = std::string(TextOf(mon.projVersion));
  memory.dataName = std::string(TextOf(data.vts.name));
  memory.live = MonitorLiveLayout(data.config.monitor);
  return true;
}

}  // namespace tavomark::sim
