// Times the firmware header import next to the C preprocessor (cpp -P) on the
// same generated trees (see import_tree.h) at several scales, in CPU time: the
// import's own (log.txt and the dump written included) against the child
// process's. The ratio is the figure to watch: it should stay flat as the
// tree grows.
// Usage: import_bench [runs [scale ...]]   (default: 3 runs, scales 1 2 4 8;
// prints the best of the runs)

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "fw_pack.h"
#include "import_tree.h"

namespace {

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& v) { return static_cast<double>(v.tv_sec) + v.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
  double importBest = 1e30;
  double cppBest = 1e30;
  std::size_t records = 0;
};

bool Measure(const std::filesystem::path& dir, int runs, Result& result) {
  for (int r = 0; r < runs; ++r) {
    tavomark::FwImportPack pack;
    tavomark::FwImportReport report;
    std::string name = "Root_t";
    const double start = ProcessCpuSeconds();
    const bool ok = tavomark::RetrieveFwPack(dir / "main.h", name, pack, report, dir).ok();
    result.importBest = std::min(result.importBest, ProcessCpuSeconds() - start);
    // From scale 8 the leaves add up to more than the 65,535 bytes a block can
    // hold: the whole tree is still read and parsed (the log says "PROCESS
    // STRUCT root_t OK"), and only the size check after it fails.
    const bool parsedWhole = report.parsed || report.log.find("\nPROCESS STRUCT root_t OK\n") != std::string::npos;
    if (!ok || !parsedWhole || !report.logSaved || !report.dumpSaved) {
      std::cerr << "import failed; see " << (dir / "log.txt").string() << "\n";
      return false;
    }
    result.records = pack.pack.records.size();
  }
  const std::string command = "cd '" + dir.string() + "' && cpp -P main.h > /dev/null";
  for (int r = 0; r < runs; ++r) {
    const double start = ChildrenCpuSeconds();
    if (std::system(command.c_str()) != 0) {
      std::cerr << "cpp failed\n";
      return false;
    }
    result.cppBest = std::min(result.cppBest, ChildrenCpuSeconds() - start);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<int> scales;
  for (int i = 2; i < argc; ++i) scales.push_back(std::max(1, std::atoi(argv[i])));
  if (scales.empty()) scales = {1, 2, 4, 8};

  std::printf("%5s %6s %8s %8s %12s %12s %7s\n", "scale", "files", "defines", "records", "import ms", "cpp -P ms",
              "ratio");
  for (const int scale : scales) {
    const auto dir = std::filesystem::temp_directory_path() / ("tavomark_import_bench_x" + std::to_string(scale));
    std::filesystem::remove_all(dir);
    const tavomark::bench::ImportTreeSize size = tavomark::bench::WriteImportTree(dir, scale);
    Result result;
    const bool ok = Measure(dir, runs, result);
    std::filesystem::remove_all(dir);
    if (!ok) return 1;
    std::printf("%5d %6d %8d %8zu %12.1f %12.1f %7.2f\n", scale, size.files, size.defines, result.records,
                result.importBest * 1e3, result.cppBest * 1e3, result.importBest / result.cppBest);
    std::fflush(stdout);
  }
  return 0;
}
