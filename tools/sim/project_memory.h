#pragma once
// Fills the device's memory from a project: a value file and the configuration
// that describes it, the way a real device would hold the values after the
// program wrote them.

#include <filesystem>
#include <string>

#include "device_memory.h"

namespace tavomark::sim {

// Blocks 1 to 3 become the images (with checksum word and trailer) of the
// value file's param, calib and info packs; the info record takes the
// configuration's identity, the firmware version text its projVersion, the data
// name the value set's name, the live buffer the monitor struct's layout and
// byte order. The product fields of the info record keep info's values.
// Returns false with error set when the files cannot be loaded or do not match.
[[nodiscard]] bool LoadProjectMemory(const std::filesystem::path& projectDir, const std::filesystem::path& values,
                                     InfoFields& info, DeviceMemory& memory, std::string& error);

// The live layout of a monitor struct: one leaf per leaf record that the codec
// can move, its limits widened to its type's range when it has none.
[[nodiscard]] LiveLayout MonitorLiveLayout(const StructPack& monitor);

}  // namespace tavomark::sim
