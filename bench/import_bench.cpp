// Times the firmware header import on a synthetic tree of realistic size next
// to the C preprocessor (cpp -P) over the same files:
//   50 headers with 400 defines each (20,000; most defined through others),
//   one block structure of 100 fields per header, and a root
//   of the 50 blocks (5,000 fields), a fifth of them arrays sized by define
//   expressions.
// Usage: import_bench [runs]   (prints the best and median of the runs)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fw_pack.h"

namespace {

constexpr int kFiles = 50;
constexpr int kDefinesPerFile = 400;
constexpr int kFieldsPerBlock = 100;

std::string DefineName(int file, int i) { return "CFG_" + std::to_string(file) + "_" + std::to_string(i); }

void WriteTree(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "inc");
  std::ofstream main(dir / "main.h");
  main << "#define szPROJ_VERSION \"FW9999 V0.01\"\n#define CODE_PROJ 9999\n#define COMP_VER_FW 'A'\n"
          "#define BIG_ENDIAN_MODE (U8)CFG_0_0\n#define COMM_SWAP_DATA_BLOCK (U8)0\n";
  for (int f = 0; f < kFiles; ++f) main << "#include \"inc/block" << f << ".h\"\n";
  main << "typedef struct {\n";
  for (int f = 0; f < kFiles; ++f) main << "  Block" << f << "_t block" << f << ";\n";
  main << "} Root_t;\n";

  const char* types[] = {"U8", "U16", "S16", "U32", "S8"};
  for (int f = 0; f < kFiles; ++f) {
    std::ofstream out(dir / "inc" / ("block" + std::to_string(f) + ".h"));
    out << "/* block " << f << " */\n";
    for (int i = 0; i < kDefinesPerFile; ++i) {
      out << "#define " << DefineName(f, i) << " ";
      if (i % 4 == 0 || i < 4) {
        out << (i % 7) << "\n";
      } else if (i % 4 == 1) {
        out << "(" << DefineName(f, i - 1) << " + 1)  // derived\n";
      } else if (i % 4 == 2) {
        out << "(" << DefineName(f, i - 2) << " * 2)\n";
      } else {
        out << "(" << DefineName(f, i - 3) << " | " << DefineName(f, i - 1) << ")\n";
      }
    }
    out << "typedef struct\n{\n";
    for (int i = 0; i < kFieldsPerBlock; ++i) {
      out << "  " << types[(i + f) % 5] << " field" << i << (i % 3 == 0 ? "_dC" : "");
      if (i % 5 == 0) out << "[(" << DefineName(f, (i * 3 + 1) % kDefinesPerFile) << " & 3) + 1]";
      out << ";\n";
    }
    out << "} Block" << f << "_t;\n";
  }
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("%-28s best %8.1f ms   median %8.1f ms\n", what, times.front() * 1e3, times[times.size() / 2] * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const auto dir = std::filesystem::temp_directory_path() / "tavomark_import_bench";
  std::filesystem::remove_all(dir);
  WriteTree(dir);

  std::vector<double> importTimes;
  std::size_t records = 0;
  for (int r = 0; r < runs; ++r) {
    tavomark::FwImportPack pack;
    tavomark::FwImportReport report;
    std::string name = "Root_t";
    const auto start = std::chrono::steady_clock::now();
    const bool ok = tavomark::RetrieveFwPack(dir / "main.h", name, pack, report, dir);
    importTimes.push_back(Seconds(start));
    if (!ok || !report.parsed) {
      std::cerr << "import failed; see " << (dir / "log.txt").string() << "\n";
      return 1;
    }
    records = pack.pack.records.size();
  }
  std::vector<double> cppTimes;
  const std::string command = "cd '" + dir.string() + "' && cpp -P main.h > /dev/null";
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::cerr << "cpp failed\n";
      break;
    }
    cppTimes.push_back(Seconds(start));
  }
  std::printf("tree: %d files, %d defines, %d fields, %zu records imported\n", kFiles + 1, kFiles * kDefinesPerFile,
              kFiles * kFieldsPerBlock, records);
  Report("RetrieveFwPack", importTimes);
  if (!cppTimes.empty()) Report("cpp -P (same tree)", cppTimes);
  std::filesystem::remove_all(dir);
  return 0;
}
