// Layouts checked against the C compiler: random packed structures, unions,
// arrays of basic types and arrays of structures (no bit fields) are written
// once as a header; the import lays them out, and a C program compiled from the
// same header prints offsetof and sizeof of every member for comparison.


#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "import_test_util.h"

namespace tavomark {
namespace {

using test::TempTree;

struct TypeInfo {
  std::string name;
  std::size_t bytes;
};

class Generator {
 public:
  explicit Generator(unsigned seed) : m_random(seed) {}

  std::string Header(int count) {
    std::string text = "#define N2 2\n#define N3 (N2+1)\n";
    for (int i = 0; i < count; ++i) {
      std::size_t bytes = 0;
      const char* keyword = Pick(4) == 0 ? "union" : "struct";
      const std::string body = Body(keyword[0] == 'u', 0, bytes);
      const std::string name = "T" + std::to_string(i) + "_t";
      text += "typedef " + std::string(keyword) + " __attribute__((packed)) {" + body + "\n} " + name + ";\n";
      m_types.push_back({name, bytes});
    }
    return text;
  }
  [[nodiscard]] const std::vector<TypeInfo>& Types() const { return m_types; }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

  // One block body; bytes receives its packed size.
  std::string Body(bool isUnion, int depth, std::size_t& bytes) {
    static const std::pair<const char*, std::size_t> kBasic[] = {
        {"U8", 1}, {"S8", 1}, {"U16", 2}, {"S16", 2}, {"U32", 4}, {"S32", 4},
        {"U64", 8}, {"S64", 8}, {"CHR", 1}, {"BOOL", 1}};
    static const std::pair<const char*, std::size_t> kSizes[] = {{"", 0}, {"[1]", 1}, {"[3]", 3},
                                                                 {"[N3]", 3}, {"[2*N2]", 4}};
    std::string body;
    bytes = 0;
    const int fields = 1 + Pick(5);
    for (int f = 0; f < fields; ++f) {
      const std::string name = "f" + std::to_string(m_counter++);
      const int choice = Pick(10);
      std::size_t size = 0;
      if (choice < 2 && depth < 3) {
        const bool innerUnion = choice == 1;
        const std::string inner = Body(innerUnion, depth + 1, size);
        body += std::string(innerUnion ? " union" : " struct") + " __attribute__((packed)) {" + inner + "} " + name +
                ";";
      } else if (choice < 4 && !m_types.empty()) {
        const TypeInfo& type = m_types[static_cast<std::size_t>(Pick(static_cast<int>(m_types.size())))];
        const int count = type.bytes > 64 ? 0 : Pick(3);
        body += "\n  " + type.name + " " + name + (count ? "[" + std::to_string(count + 1) + "]" : "") + ";";
        size = type.bytes * (count ? count + 1 : 1);
      } else {
        const auto& basic = kBasic[Pick(10)];
        const auto& dims = kSizes[Pick(5)];
        body += "\n  " + std::string(basic.first) + " " + name + dims.first + ";";
        size = basic.second * (dims.second ? dims.second : 1);
      }
      bytes = isUnion ? std::max(bytes, size) : bytes + size;
    }
    return body;
  }

  std::mt19937 m_random;
  std::vector<TypeInfo> m_types;
  int m_counter = 0;
};

// The C expression naming a record below the root: "a.b", "v[2]", "s[1].x".
std::vector<std::string> MemberPaths(const RecordList& records) {
  std::vector<std::string> paths(records.size());
  for (std::size_t i = 1; i < records.size(); ++i) {
    const Record& r = records[i];
    const std::size_t father = r.fatherIndex - 1;
    const Record& f = records[father];
    const std::string name = r.varName;
    if (f.arraySize > 0 && name.rfind(std::string(f.varName) + "[", 0) == 0) {
      // An element of a basic array: its name already holds the array's.
      const std::string& up = paths[father];
      const std::size_t dot = up.rfind('.');
      paths[i] = (dot == std::string::npos ? "" : up.substr(0, dot + 1)) + name;
    } else {
      paths[i] = paths[father].empty() ? name : paths[father] + "." + name;
    }
  }
  return paths;
}

std::string RunProgram(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(LayoutDifferential, PackedStructuresMatchTheCCompiler) {
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    TempTree tree;
    Generator generator(seed);
    const std::string header = generator.Header(12);
    const auto mainHeader = tree.Write("layout.h", header);

    std::string program =
        "#include <stdio.h>\n#include <stddef.h>\n"
        "typedef unsigned char U8; typedef signed char S8; typedef unsigned short U16; typedef short S16;\n"
        "typedef unsigned int U32; typedef int S32; typedef unsigned long long U64; typedef long long S64;\n"
        "typedef char CHR; typedef unsigned char BOOL;\n#include \"layout.h\"\nint main(void) {\n";
    std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> expected;
    for (const TypeInfo& type : generator.Types()) {
      FwImportPack pack;
      FwImportReport report;
      std::string name = type.name;
      ASSERT_TRUE(RetrieveFwPack(mainHeader, name, pack, report, tree.Root()));
      ASSERT_TRUE(report.parsed) << report.log;
      const RecordList& records = pack.pack.records;
      const std::vector<std::string> paths = MemberPaths(records);
      program += "  printf(\"%zu %zu\\n\", (size_t)0, sizeof(" + type.name + "));\n";
      expected.push_back({type.name, {0, records[0].byteSize}});
      for (std::size_t i = 1; i < records.size(); ++i) {
        program += "  printf(\"%zu %zu\\n\", offsetof(" + type.name + ", " + paths[i] + "), sizeof(((" + type.name +
                   "*)0)->" + paths[i] + "));\n";
        // A member narrower than its union is re-expressed as a bit field of the
        // union's unit: its own bytes start bitOffset / 8 into that unit.
        const Record& r = records[i];
        const bool widened = r.IsLeaf() && r.bitSize != 0;
        const std::size_t offset = widened ? r.offset + r.bitOffset / 8u : r.offset;
        const std::size_t size = widened ? r.bitSize / 8u : r.byteSize;
        expected.push_back({type.name + "." + paths[i], {offset, size}});
      }
    }
    program += "  return 0;\n}\n";
    tree.Write("layout.c", program);
    const std::string exe = (tree.Root() / "layout").string();
    const std::string compile = std::string(TAVOMARK_TEST_C_COMPILER) + " -std=gnu11 -w -o '" + exe + "' '" +
                                (tree.Root() / "layout.c").string() + "'";
    ASSERT_EQ(std::system(compile.c_str()), 0) << compile;
    std::istringstream lines(RunProgram("'" + exe + "'"));
    for (const auto& [path, layout] : expected) {
      std::size_t offset = 0;
      std::size_t size = 0;
      ASSERT_TRUE(lines >> offset >> size) << path;
      EXPECT_EQ(offset, layout.first) << "seed " << seed << " " << path;
      EXPECT_EQ(size, layout.second) << "seed " << seed << " " << path;
    }
  }
}

}  // namespace
}  // namespace tavomark
