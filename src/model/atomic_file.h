#pragma once
// Every file the program writes goes through here: the content is written to a
// temporary file in the same folder, flushed to disk and renamed over the
// target, so a failed write never replaces a good file with a half-written one.

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace tavomark {

// Calls write with an open binary stream on a temporary sibling of path. When
// write returns true and every byte reached the disk, the temporary replaces
// path and the result is true; otherwise the temporary is removed, path is left
// as it was and the result is false (error, when given, says why).
[[nodiscard]] bool SaveFileAtomically(const std::filesystem::path& path,
                                      const std::function<bool(std::FILE*)>& write,
                                      std::string* error = nullptr);

// Reads a whole line (any length) without its line feed; false at end of file
// with nothing read.
[[nodiscard]] bool ReadLine(std::FILE* file, std::string& line);

// Owns an open stream; closes it when it goes out of scope.
class FileHandle {
 public:
  FileHandle(const std::filesystem::path& path, const char* mode);
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  [[nodiscard]] std::FILE* get() const { return m_file; }
  explicit operator bool() const { return m_file != nullptr; }

 private:
  std::FILE* m_file = nullptr;
};

}  // namespace tavomark
