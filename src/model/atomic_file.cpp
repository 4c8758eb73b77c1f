#include "atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavomark {

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Creates a new temporary file next to path (mode 0666 less the umask, like any
// file the program creates). Returns its descriptor or -1.
int CreateSibling(const std::filesystem::path& path, std::filesystem::path& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = path;
    temp += ".tmp" + std::to_string(::getpid()) + "." + std::to_string(g_tempCounter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SetError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

}  // namespace

bool SaveFileAtomically(const std::filesystem::path& path, const std::function<bool(std::FILE*)>& write,
                        std::string* error) {
  std::filesystem::path temp;
  const int fd = CreateSibling(path, temp);
  if (fd < 0) {
    SetError(error, "cannot create a file in " + path.parent_path().string() + ": " + std::strerror(errno));
    return false;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    ::close(fd);
    ::unlink(temp.c_str());
    SetError(error, std::string("cannot open a stream: ") + std::strerror(errno));
    return false;
  }
  bool ok = write(file);
  if (!ok) SetError(error, "the content could not be written");
  if (ok && (std::fflush(file) != 0 || std::ferror(file) || ::fsync(::fileno(file)) != 0)) {
    SetError(error, std::string("write failed: ") + std::strerror(errno));
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    SetError(error, std::string("close failed: ") + std::strerror(errno));
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    SetError(error, "cannot replace " + path.string() + ": " + std::strerror(errno));
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  return any;
}

FileHandle::FileHandle(const std::filesystem::path& path, const char* mode) : m_file(std::fopen(path.c_str(), mode)) {}

FileHandle::~FileHandle() {
  if (m_file) std::fclose(m_file);
}

}  // namespace tavomark
