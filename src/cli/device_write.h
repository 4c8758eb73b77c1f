#pragma once
// tavomark-cli device write / restore and --trace: the checked write of a
// block (difference list on standard error, backup, read-back) and the
// traffic trace file.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tavomark::link {
class ProtocolEngine;
}

namespace tavomark::cli {

// Writes image into the block of wireId after listing on stderr the records that change
// (nothing is written when none does, or with dryRun), with a backup of what
// the device held and a read-back. True on success (and for nothing to do).
[[nodiscard]] bool WriteBlockSafely(const std::filesystem::path& projectDir, link::ProtocolEngine& engine,
                                    uint16_t device, uint16_t wireId, std::span<const uint8_t> image, bool dryRun);

// The image of a file for the block of wireId: a value file (".vts") is encoded with the
// project's configuration, anything else is taken as the block's bytes.
[[nodiscard]] bool BlockImageOfFile(const std::filesystem::path& projectDir, const std::string& file, uint16_t wireId,
                                    std::vector<uint8_t>& image, std::string& error);

// Drains the engine's trace into a file while the command runs; the file is
// written whole when Finish is called.
class TraceFile {
 public:
  TraceFile();
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  void Start(link::ProtocolEngine& engine, std::filesystem::path path);
  [[nodiscard]] bool Finish(std::string& error);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace tavomark::cli
