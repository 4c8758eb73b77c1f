#pragma once
// What the file-reader targets share: the fuzz input as an open read stream.

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tavomark::fuzz {

// A read-only stream over a copy of the bytes (fmemopen refuses an empty
// buffer, so an empty input gets a stream at its end).
class InputFile {
 public:
  InputFile(const uint8_t* data, std::size_t size) : m_bytes(data, data + size) {
    m_bytes.push_back(0);
    m_file = ::fmemopen(m_bytes.data(), size == 0 ? 1 : size, "rb");
    if (m_file && size == 0) (void)std::fgetc(m_file);
  }
  ~InputFile() {
    if (m_file) std::fclose(m_file);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  [[nodiscard]] std::FILE* get() const { return m_file; }

 private:
  std::vector<uint8_t> m_bytes;
  std::FILE* m_file = nullptr;
};

// A stream that swallows what is written (the writers run after each read).
inline std::FILE* NullOutput() {
  static std::FILE* sink = std::fopen("/dev/null", "wb");
  return sink;
}

}  // namespace tavomark::fuzz
