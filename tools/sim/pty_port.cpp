#include "pty_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace tavomark::sim {

namespace {

std::string Why(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyPort::~PtyPort() {
  if (!m_link.empty()) {
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(m_link, ec)))
      std::filesystem::remove(m_link, ec);
  }
  if (m_slave >= 0) ::close(m_slave);
  if (m_master >= 0) ::close(m_master);
}

bool PtyPort::Open(std::string& error) {
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (m_master < 0) {
    error = Why("posix_openpt");
    return false;
  }
  if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
    error = Why("grantpt/unlockpt");
    return false;
  }
  const char* name = ::ptsname(m_master);
  if (name == nullptr) {
    error = Why("ptsname");
    return false;
  }
  m_slavePath = name;
  m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (m_slave < 0) {
    error = Why(m_slavePath.c_str());
    return false;
  }
  termios tio{};
  if (::tcgetattr(m_slave, &tio) != 0) {
    error = Why("tcgetattr");
    return false;
  }
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B19200);
  ::cfsetospeed(&tio, B19200);
  if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
    error = Why("tcsetattr");
    return false;
  }
  ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
  ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
  return true;
}

bool PtyPort::MakeLink(const std::filesystem::path& link, std::string& error) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(link, ec);
  if (std::filesystem::exists(status)) {
    if (!std::filesystem::is_symlink(status)) {
      error = link.string() + " exists and is not a symlink";
      return false;
    }
    std::filesystem::remove(link, ec);
  }
  std::filesystem::create_symlink(m_slavePath, link, ec);
  if (ec) {
    error = link.string() + ": " + ec.message();
    return false;
  }
  m_link = link;
  return true;
}

}  // namespace tavomark::sim
