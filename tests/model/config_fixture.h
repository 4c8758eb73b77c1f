#pragma once
// A small configuration built in code, and a project folder to keep it in.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config_set.h"
#include "fixed_text.h"
#include "model_test_util.h"
#include "names.h"

namespace tavomark::test {

inline void Identify(StructPack& pack, uint16_t code, char letter) {
  SetText(pack.header.projVersion, "FW0315 V1.00");
  pack.header.codeProj = code;
  pack.header.compVerFw = letter;
  pack.header.fwDevRevision = 'A';
  pack.header.fwNumRevision = '1';
}

// root { U16 speed (1 dec); S16 temp[extra + 2]; U16 crc }
inline StructPack BlockPack(const std::string& root, uint16_t code, char letter, int extra = 0) {
  StructPack pack = CreateStructPack();
  pack.records.push_back(Container(0, RecordKind::Struct, root));
  pack.records.push_back(Leaf(1, "speed", "U16", 2, false, 0, 1));
  const int n = 2 + extra;
  pack.records.push_back(Container(1, RecordKind::Struct, "temp", static_cast<uint16_t>(n)));
  for (int i = 0; i < n; ++i)
    pack.records.push_back(Leaf(2, "temp[" + std::to_string(i) + "]", "S16", 2, true));
  pack.records.push_back(Leaf(1, "crc", "U16", 2));
  CalcStructSize(pack.records);
  Identify(pack, code, letter);
  pack.records[1].value = 12.5;
  pack.records[3].value = -7;
  return pack;
}

inline ConfigSet MakeConfig(uint16_t code = 315, char letter = 'C', int extraParam = 0) {
  ConfigSet c = CreateConfigSet();
  c.param = BlockPack("par", code, letter, extraParam);
  c.info = BlockPack("info", code, letter);
  c.calib = BlockPack("cal", code, letter);
  c.monitor = BlockPack("mon", code, letter);
  return c;
}

class ProjectDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Parameterised tests are named "Test/Case": one folder all the same.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    m_dir = std::filesystem::temp_directory_path() / ("tavomark_proj_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir / "config");
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path Path(const std::string& name) const { return m_dir / name; }
  void SaveConfig(ConfigSet c) const {
    ASSERT_TRUE(SaveConfigSet(GetConfigPath(m_dir, c.param.header.codeProj, c.monitor.header.compVerFw), c).ok());
  }
  static std::vector<uint8_t> Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }

  std::filesystem::path m_dir;
};

}  // namespace tavomark::test
