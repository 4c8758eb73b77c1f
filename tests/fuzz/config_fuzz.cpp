// Configuration files (".cfg"): arbitrary bytes as a configuration, then what
// a loaded configuration feeds: its device images built from default values,
// encoded and decoded, paths of every record, the struct text and the file
// written back.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config_set.h"
#include "device_image.h"
#include "fuzz_util.h"
#include "record.h"
#include "struct_pack_file.h"
#include "value_set.h"

using namespace tavomark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputFile file(data, size);
  if (!file.get()) return 0;
  ConfigSet config = CreateConfigSet();
  if (!ReadConfigSet(file.get(), config)) return 0;
  (void)IsCompleteConfigSet(config);
  (void)IsCoherentConfigSet(config, 0);
  // Device images of a few thousand records at most keep each run short.
  const auto small = [](const StructPack& p) { return p.records.size() <= 4096; };
  if (small(config.param) && small(config.info) && small(config.calib)) {
    ValToSendSet vts = CreateValToSendSet(config);
    DeviceSet devices = CreateDeviceSet(config);
    (void)ValToSendSetToDeviceSet(vts, devices);
    (void)DeviceSetToValToSendSet(devices, vts);
    for (const StructPack* pack : {&config.param, &config.info, &config.calib}) {
      std::string path;
      for (const Record& r : pack->records) {
        path.clear();
        (void)GetFatherName(*pack, r, path, -1);
      }
    }
  }
  if (small(config.monitor)) (void)WriteStructPack(fuzz::NullOutput(), config.monitor);
  (void)WriteConfigSet(fuzz::NullOutput(), config);
  return 0;
}
