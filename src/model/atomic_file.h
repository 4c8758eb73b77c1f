#pragma once
// Every file the program writes goes through here: the content is written to a
// temporary file in the target's folder, flushed to disk and renamed over the
// target, so a failed write never replaces a good file with a half-written one.
// Every file it reads is opened here too, and only when it is a regular file.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "result.h"

namespace tavomark {

// Calls write with an open binary stream on a temporary file next to the
// target. When write returns true and every byte reached the disk, the content
// replaces the target and the result is a success; otherwise the temporary is
// removed, the target is left as it was and the error says why.
//
// The target is path, or what a symbolic link at path points to (the link
// stays a link). A target that exists must be a regular file; it keeps its
// permission bits (and owner, where allowed). A target with other hard links
// is updated in place once the new content is safely on disk, so every link
// sees it.
[[nodiscard]] Result<void> SaveFileAtomically(const std::filesystem::path& path,
                                              const std::function<bool(std::FILE*)>& write);

// Longest line ReadLine returns whole.
inline constexpr std::size_t kMaxLineBytes = std::size_t{16} << 20;

enum class LineStatus { kLine, kEnd, kTooLong, kReadError };

// Reads a line without its line feed. kEnd at end of file with nothing read;
// kTooLong once more than maxBytes bytes come without a line feed (the line is
// then not read further); kReadError when the stream reports an error.
[[nodiscard]] LineStatus ReadLineChecked(std::FILE* file, std::string& line, std::size_t maxBytes);

// ReadLineChecked with kMaxLineBytes: true for a line, false otherwise.
[[nodiscard]] bool ReadLine(std::FILE* file, std::string& line);

// Owns an open stream; closes it when it goes out of scope. A mode that reads
// ("r", "rb") opens only a regular file: a folder, FIFO, socket or device is
// refused at once, without blocking. error() says why an open failed.
class FileHandle {
 public:
  FileHandle(const std::filesystem::path& path, const char* mode);
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  [[nodiscard]] std::FILE* get() const { return m_file; }
  explicit operator bool() const { return m_file != nullptr; }
  // Empty after a successful open.
  [[nodiscard]] const std::string& error() const { return m_error; }
  // Size of the opened regular file in bytes (0 for other modes).
  [[nodiscard]] uint64_t size() const { return m_size; }

 private:
  std::FILE* m_file = nullptr;
  std::string m_error;
  uint64_t m_size = 0;
};

}  // namespace tavomark
