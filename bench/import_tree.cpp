#include "import_tree.h"

#include <fstream>
#include <string>

namespace tavomark::bench {

namespace {

constexpr int kBlocksPerScale = 50;
constexpr int kDefinesPerBlock = 400;
constexpr int kFieldsPerBlock = 100;

// A small deterministic mixer, so the tree is the same on every run.
unsigned Mix(unsigned a, unsigned b) {
  unsigned h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// Names of 6 to 40 characters: a run of letters, then the block and the index
// that keep every name apart.
std::string DefineName(int block, int i) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  const std::string tail = "_" + std::to_string(block) + "_" + std::to_string(i);
  const std::size_t length = 6 + Mix(static_cast<unsigned>(block), static_cast<unsigned>(i)) % 35;
  std::string name;
  for (std::size_t k = 0; name.size() + tail.size() < length || name.empty(); ++k)
    name += kLetters[Mix(static_cast<unsigned>(i + 7), static_cast<unsigned>(k + block)) % 26];
  return name + tail;
}

void WriteBlock(const std::filesystem::path& path, int block) {
  std::ofstream out(path);
  out << "/* block " << block << ": generated */\n#ifndef BLOCK_" << block << "_H\n#define BLOCK_" << block
      << "_H\n\n";
  for (int i = 0; i < kDefinesPerBlock; ++i) {
    out << "#define " << DefineName(block, i) << " ";
    if (i % 4 == 0 || i < 4) {
      out << (i % 7) << "\n";
    } else if (i % 4 == 1) {
      out << "(" << DefineName(block, i - 1) << " + 1)  // derived\n";
    } else if (i % 4 == 2) {
      out << "(" << DefineName(block, i - 2) << " * 2)\n";
    } else {
      out << "(" << DefineName(block, i - 3) << " | " << DefineName(block, i - 1) << ")\n";
    }
  }
  static const char* const kTypes[] = {"U8", "U16", "S16", "U32", "S8", "S32"};
  out << "\ntypedef struct\n{\n";
  for (int i = 0; i < kFieldsPerBlock; ++i) {
    const char* type = kTypes[(i + block) % 6];
    const std::string name = "field" + std::to_string(i);
    if (i == 95) {  // an array of structures
      out << "    Pair_t " << name << "[PAIR_COUNT];\n";
      continue;
    }
    if (i % 30 == 5) {  // a typedef'd structure, with an array and bit fields of its own
      out << "    Pair_t " << name << ";\n";
      continue;
    }
    switch (i % 10) {
      case 0:  // an array sized by an expression of defines
        out << "    " << type << " " << name << "_dC[(" << DefineName(block, (i * 3 + 1) % kDefinesPerBlock)
            << " & 1) + 1];\n";
        break;
      case 3:  // bit fields, one of them as wide as a define expression
        out << "    U16 " << name << "_lo : 4;\n";
        break;
      case 4:
        out << "    U16 " << name << "_hi : " << DefineName(block, 0) << " + 9;\n";
        break;
      case 7:  // a typedef'd enum
        out << "    Mode_t " << name << ";\n";
        break;
      default:
        out << "    " << type << " " << name << (i % 3 == 0 ? "_mV" : "") << ";\n";
        break;
    }
  }
  out << "} Block" << block << "_t;\n\n#endif\n";
}

}  // namespace

ImportTreeSize WriteImportTree(const std::filesystem::path& dir, int scale) {
  const int blocks = kBlocksPerScale * scale;
  std::filesystem::create_directories(dir / "inc");
  {
    std::ofstream types(dir / "types.h");
    types << "/* shared types */\n#define PAIR_LEN (2 * PAIR_UNIT)\n#define PAIR_UNIT 1\n"
             "#define PAIR_COUNT (PAIR_LEN * PAIR_UNIT)\n"
             "typedef struct {\n    U16 lo : 4;\n    U16 hi : 12;\n    S16 temp_dC[PAIR_LEN];\n} Pair_t;\n";
  }
  {
    std::ofstream enums(dir / "enums.h");
    enums << "/* modes */\n#define MODE_FIRST 0\n#define MODE_LAST 3\n"
             "typedef enum {\n    MODE_OFF = MODE_FIRST,\n    MODE_ON,\n    MODE_AUTO,\n    MODE_TEST = MODE_LAST\n"
             "} Mode_t;\n";
  }
  std::ofstream main(dir / "main.h");
  main << "#define szPROJ_VERSION \"FW9999 V0.01\"\n#define CODE_PROJ 9999\n#define COMP_VER_FW 'A'\n"
          "#define COMP_VER_PAR 'A'\n#define FW_DEV_REVISION 'B'\n#define FW_NUM_REVISION '1'\n"
          "#define FW_DAY 6\n#define FW_MONTH 12\n#define FW_YEAR 26\n"
          "#define BIG_ENDIAN_MODE (U8)" << DefineName(0, 0) << "\n#define COMM_SWAP_DATA_BLOCK (U8)0\n"
       << "#include \"types.h\"\n#include \"enums.h\"\n";
  for (int b = 0; b < blocks; ++b) main << "#include \"inc/block" << b << ".h\"\n";
  main << "typedef struct {\n";
  for (int b = 0; b < blocks; ++b) main << "    Block" << b << "_t block" << b << ";\n";
  main << "} Root_t;\n";
  for (int b = 0; b < blocks; ++b) WriteBlock(dir / "inc" / ("block" + std::to_string(b) + ".h"), b);
  return ImportTreeSize{3 + blocks, 16 + blocks * kDefinesPerBlock, blocks * kFieldsPerBlock};
}

}  // namespace tavomark::bench
