#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tavomark {

namespace {

std::atomic<unsigned> g_tempCounter{0};

void SetError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

std::string SystemError(const std::string& what, int code) { return what + ": " + std::strerror(code); }

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  const auto parent = path.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

// Follows symbolic links from path to the file they name (which need not
// exist). False, with error set, for a loop or an unreadable link.
bool ResolveTarget(const std::filesystem::path& path, std::filesystem::path& target, std::string* error) {
  target = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
      SetError(error, SystemError("cannot follow the link " + target.string(), n < 0 ? errno : ENAMETOOLONG));
      return false;
    }
    const std::filesystem::path next(std::string(buf.data(), static_cast<std::size_t>(n)));
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  SetError(error, SystemError("cannot follow the link " + path.string(), ELOOP));
  return false;
}

// Creates a new temporary file in folder. The name stays short, so a target
// whose own name is at the file system's limit can still be saved. Returns the
// descriptor or -1 (errno set).
int CreateTemporary(const std::filesystem::path& folder, mode_t mode, std::filesystem::path& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder / (".tvm" + std::to_string(::getpid()) + "." + std::to_string(g_tempCounter.fetch_add(1)) + ".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAllTo(int fd, const uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Copies the finished temporary over the target in place (the target has other
// hard links, which a rename would split). Room for the content is reserved
// first, so a full disk fails before the target changes.
bool CopyInPlace(const std::filesystem::path& temp, const std::filesystem::path& target, std::string* error) {
  std::vector<uint8_t> content;
  {
    const int in = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
      SetError(error, SystemError("cannot read back " + temp.string(), errno));
      return false;
    }
    uint8_t buf[65536];
    ssize_t n = 0;
    while ((n = ::read(in, buf, sizeof buf)) > 0) content.insert(content.end(), buf, buf + n);
    const int readError = n < 0 ? errno : 0;
    ::close(in);
    if (readError != 0) {
      SetError(error, SystemError("cannot read back " + temp.string(), readError));
      return false;
    }
  }
  const int out = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (out < 0) {
    SetError(error, SystemError("cannot write " + target.string(), errno));
    return false;
  }
  int failure = 0;
  if (!content.empty()) {
    const int reserved = ::posix_fallocate(out, 0, static_cast<off_t>(content.size()));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) failure = reserved;
  }
  if (failure == 0 && !WriteAllTo(out, content.data(), content.size())) failure = errno != 0 ? errno : EIO;
  if (failure == 0 && ::ftruncate(out, static_cast<off_t>(content.size())) != 0) failure = errno;
  if (failure == 0 && ::fsync(out) != 0) failure = errno;
  if (::close(out) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    SetError(error, SystemError("cannot write " + target.string(), failure));
    return false;
  }
  return true;
}

}  // namespace

Result<void> SaveFileAtomically(const std::filesystem::path& path, const std::function<bool(std::FILE*)>& write) {
  if (path.empty()) return Fail("no file name given");
  std::string reason;
  std::filesystem::path target;
  if (!ResolveTarget(path, target, &reason)) return Fail(reason);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return Fail(path.string() + " is not a regular file");

  const std::filesystem::path folder = FolderOf(target);
  std::filesystem::path temp;
  const int fd = CreateTemporary(folder, exists ? 0600 : 0666, temp);
  if (fd < 0) return Fail(SystemError("cannot create a temporary file in " + folder.string(), errno));
  if (exists) {
    // The owner may not be changeable (not root): the file then belongs to the
    // user who saved it, as with any editor.
    (void)::fchown(fd, existing.st_uid, existing.st_gid);
    (void)::fchmod(fd, existing.st_mode & 07777);
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int code = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(SystemError("cannot open a stream", code));
  }
  bool ok = write(file);
  if (!ok)
    SetError(&reason, std::ferror(file) ? SystemError("write failed", errno) : "the content could not be written");
  if (ok && (std::fflush(file) != 0 || std::ferror(file) || ::fsync(::fileno(file)) != 0)) {
    SetError(&reason, SystemError("write failed", errno));
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    SetError(&reason, SystemError("close failed", errno));
    ok = false;
  }
  if (ok && exists && existing.st_nlink > 1) {
    ok = CopyInPlace(temp, target, &reason);
  } else if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    SetError(&reason, SystemError("cannot replace " + target.string(), errno));
    ok = false;
  }
  if (ok && exists && existing.st_nlink > 1) ::unlink(temp.c_str());
  if (!ok) {
    ::unlink(temp.c_str());
    return Fail(reason);
  }
  return {};
}

LineStatus ReadLineChecked(std::FILE* file, std::string& line, std::size_t maxBytes) {
  line.clear();
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') return LineStatus::kLine;
    if (line.size() >= maxBytes) return LineStatus::kTooLong;
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(file)) return LineStatus::kReadError;
  return any ? LineStatus::kLine : LineStatus::kEnd;
}

bool ReadLine(std::FILE* file, std::string& line) {
  return ReadLineChecked(file, line, kMaxLineBytes) == LineStatus::kLine;
}

FileHandle::FileHandle(const std::filesystem::path& path, const char* mode) {
  const bool reading = mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
  if (!reading) {
    m_file = std::fopen(path.c_str(), mode);
    if (!m_file) m_error = SystemError("cannot open " + path.string(), errno);
    return;
  }
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    m_error = SystemError("cannot open " + path.string(), errno);
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    m_error = path.string() + " is not a regular file";
    ::close(fd);
    return;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  m_file = ::fdopen(fd, mode);
  if (!m_file) {
    m_error = SystemError("cannot open " + path.string(), errno);
    ::close(fd);
    return;
  }
  m_size = static_cast<uint64_t>(st.st_size);
}

FileHandle::~FileHandle() {
  if (m_file) std::fclose(m_file);
}

}  // namespace tavomark
