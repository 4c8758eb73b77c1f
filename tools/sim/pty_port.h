#pragma once
// The device's end of a pseudo-terminal. The PC opens the slave path like a
// serial port; the device reads and writes the master.

#include <filesystem>
#include <string>

namespace tavomark::sim {

class PtyPort {
 public:
  PtyPort() = default;
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // Opens a master, puts the slave in raw mode and keeps the slave open, so
  // the master never sees a hang-up when the PC closes and opens the port
  // again. Returns false with error set.
  [[nodiscard]] bool Open(std::string& error);
  // A symlink at link that points to the slave; an existing symlink there is
  // replaced, any other file is left alone (false).
  [[nodiscard]] bool MakeLink(const std::filesystem::path& link, std::string& error);

  [[nodiscard]] int MasterFd() const { return m_master; }
  [[nodiscard]] const std::string& SlavePath() const { return m_slavePath; }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
  std::filesystem::path m_link;
};

}  // namespace tavomark::sim
