#pragma once
// tavomark-sim started as a child process on a pseudo-terminal, for the GUI
// tests that talk to a device.

#include <QProcess>
#include <QStringList>

#include <string>

namespace tavomark::test {

class SimDevice {
 public:
  SimDevice() = default;
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;
  ~SimDevice() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.terminate();
      if (!m_process.waitForFinished(3000)) m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  // Starts the simulator; its first output line is the port's path.
  bool Start(const QStringList& args) {
#ifdef TAVOMARK_SIM_PATH
    m_process.setProgram(TAVOMARK_SIM_PATH);
#endif
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return false;
    while (!m_process.canReadLine())
      if (!m_process.waitForReadyRead(5000)) return false;
    m_path = m_process.readLine().trimmed().toStdString();
    return !m_path.empty();
  }
  [[nodiscard]] const std::string& Path() const { return m_path; }

 private:
  QProcess m_process;
  std::string m_path;
};

}  // namespace tavomark::test
