// Times `tavomark-cli values set --from` with one assignment per leaf of a
// parameter block of N leaves (N = 3,000, 10,000 and 30,000): with the paths
// indexed once the time grows linearly with N.
// Usage: values_set_bench   (prints seconds per size and per 1,000 assignments)

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config_set.h"
#include "fixed_text.h"
#include "names.h"
#include "value_set.h"

namespace {

using namespace tavomark;

Record Make(uint16_t level, RecordKind kind, const std::string& name, const char* type, uint16_t bytes,
            uint16_t arraySize = 0) {
  Record r;
  r.level = level;
  r.kind = kind;
  r.byteSize = bytes;
  r.arraySize = arraySize;
  r.maxValue = 65535;
  SetText(r.varName, name);
  SetText(r.varType, type);
  return r;
}

// root { U16 v[n] } for param; small blocks for the others.
StructPack MakeBlockPack(const std::string& root, int n) {
  StructPack pack = CreateStructPack();
  pack.records.push_back(Make(0, RecordKind::Struct, root, "STRUCT", 0));
  pack.records.push_back(Make(1, RecordKind::Struct, "v", "STRUCT", 0, static_cast<uint16_t>(n)));
  for (int i = 0; i < n; ++i) pack.records.push_back(Make(2, RecordKind::Leaf, "v[" + std::to_string(i) + "]", "U16", 2));
  CalcStructSize(pack.records);
  SetText(pack.header.projVersion, "FW0077 V1.00");
  pack.header.codeProj = 77;
  pack.header.compVerFw = 'A';
  return pack;
}

double TimeOne(const std::filesystem::path& dir, int n) {
  ConfigSet config = CreateConfigSet();
  config.param = MakeBlockPack("par", n);
  config.info = MakeBlockPack("info", 2);
  config.calib = MakeBlockPack("cal", 2);
  config.monitor = MakeBlockPack("mon", 2);
  if (!SaveConfigSet(GetConfigPath(dir, 77, 'A'), config)) return -1;
  ValToSendSet vts = CreateValToSendSet(config);
  const auto file = dir / "bench.vts";
  if (!SaveValToSendSet(file, vts)) return -1;
  {
    std::ofstream list(dir / "list.txt");
    for (int i = 0; i < n; ++i) list << "param:v.v[" << i << "]=" << (i % 1000) << "\n";
  }
  const std::string command = std::string("'") + TAVOMARK_CLI + "' --project-dir '" + dir.string() +
                              "' values set '" + file.string() + "' --from '" + (dir / "list.txt").string() + "'";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? seconds : -1;
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("tavomark_values_set_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "config");
  int result = 0;
  for (int n : {3000, 10000, 30000}) {
    const double seconds = TimeOne(dir, n);
    if (seconds < 0) {
      std::printf("%6d assignments: failed\n", n);
      result = 1;
      continue;
    }
    std::printf("%6d assignments: %.3f s (%.3f s per 1,000)\n", n, seconds, seconds * 1000.0 / n);
  }
  std::filesystem::remove_all(dir);
  return result;
}
