#pragma once
// A throw-away header tree on disk for the import tests.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fw_pack.h"

namespace tavomark::test {

class TempTree {
 public:
  TempTree() {
    std::random_device seed;
    m_root = std::filesystem::temp_directory_path() / ("tavomark_import_" + std::to_string(seed()));
    std::filesystem::create_directories(m_root);
  }
  ~TempTree() {
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  std::filesystem::path Write(const std::string& relative, const std::string& text) const {
    const std::filesystem::path path = m_root / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  [[nodiscard]] std::string Read(const std::string& relative) const {
    std::ifstream in(m_root / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  [[nodiscard]] const std::filesystem::path& Root() const { return m_root; }

 private:
  std::filesystem::path m_root;
};

// Imports structName from a one-file tree whose text is header.
struct Imported {
  bool ok = false;
  std::string error;  // why the import failed
  FwImportPack pack;
  FwImportReport report;
  std::string name;
};

inline Imported ImportText(const TempTree& tree, const std::string& header, const std::string& structName) {
  Imported result;
  result.name = structName;
  const auto path = tree.Write("main.h", header);
  const auto imported = RetrieveFwPack(path, result.name, result.pack, result.report, tree.Root());
  result.ok = imported.ok();
  result.error = imported.message();
  return result;
}

}  // namespace tavomark::test
