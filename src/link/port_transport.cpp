#include "port_transport.h"

#include "port_table.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#if defined(__linux__)
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tavomark::link {

namespace {

std::string ToStd(const QString& text) { return text.toStdString(); }

bool IsAllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The number after a prefix ("COM12" -> 12), or -1 when the name is not
// prefix + digits.
long NumberAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
  const std::string_view digits = name.substr(prefix.size());
  if (!IsAllDigits(digits) || digits.size() > 6) return -1;
  return std::strtol(std::string(digits).c_str(), nullptr, 10);
}

// "ttyUSB2" sorts before "ttyUSB10": runs of digits compare as numbers.
bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view na = a.substr(i, ei - i);
      std::string_view nb = b.substr(j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::string Canonical(std::string_view path) {
  const QFileInfo info(QString::fromStdString(std::string(path)));
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? std::string(path) : ToStd(canonical);
}

std::optional<std::string> AdapterPath(std::string_view description, const std::vector<SystemPort>& systemPorts) {
  for (const SystemPort& port : systemPorts) {
    if (DescriptionMatches(port.description, description)) return port.path;
  }
  return std::nullopt;
}

// A port that opens and closes again at once: the probe of the port list.
bool CanOpen(const std::string& path) {
  QSerialPort probe;
  probe.setPortName(QString::fromStdString(path));
  if (!probe.open(QIODevice::ReadWrite)) return false;
  probe.close();
  return true;
}

class SerialTransport final : public PortTransport {
 public:
  explicit SerialTransport(std::shared_ptr<PortTable> ports) : m_ports(std::move(ports)) {}
  ~SerialTransport() override { CloseCommPort(); }

  bool OpenCommPort(int32_t port) override {
    if (m_open) return true;
    m_openError.clear();
    if (port >= kFirstComPort && port <= kLastComPort) return OpenCom(port, kComBaudRate);
    if (port == kUsbCanPort) return OpenAdapter(port, kUsbCanBaudRate);
    if (port == kUsbSerialPort) return OpenAdapter(port, kUsbSerialBaudRate);
    m_open = false;
    return false;
  }

  bool SetUSbBaudRate(int32_t baud, int32_t port) override {
    if (!m_open) return false;
    if (port == kUsbSerialPort) {
      return m_usb && baud > 0 && m_port->setBaudRate(static_cast<qint32>(baud));
    }
    if (port < kFirstComPort || port > kLastComPort || m_usb) return false;
    // A COM port takes new settings by being opened again.
    m_port.reset();
    m_open = false;
    return OpenCom(port, baud);
  }

  void CloseCommPort() override {
    if (!m_open) return;
    m_port.reset();
    m_open = false;
  }

  bool PurgeRxBuffer() override { return m_port && m_port->clear(QSerialPort::Input); }
  bool PurgeTxBuffer() override { return m_port && m_port->clear(QSerialPort::Output); }

  bool WriteFrame(std::span<const uint8_t> frame) override {
    if (!m_open || frame.empty()) return false;
    (void)PurgeTxBuffer();
    if (!m_usb && !PurgeRxBuffer()) return false;
    const qint64 queued = m_port->write(reinterpret_cast<const char*>(frame.data()),
                                        static_cast<qint64>(frame.size()));
    if (queued != static_cast<qint64>(frame.size())) return false;
    QDeadlineTimer deadline(kChannelTimeoutMs);
    while (m_port->bytesToWrite() > 0) {
      const qint64 left = deadline.remainingTime();
      if (left <= 0 || !m_port->waitForBytesWritten(static_cast<int>(left))) return false;
    }
    return true;
  }

  bool ReadBytes(std::span<uint8_t> buffer, std::size_t& got) override {
    got = 0;
    if (!m_open) return false;
    QDeadlineTimer deadline(kChannelTimeoutMs);
    while (got < buffer.size()) {
      const qint64 n = m_port->read(reinterpret_cast<char*>(buffer.data() + got),
                                    static_cast<qint64>(buffer.size() - got));
      if (n < 0) return false;
      got += static_cast<std::size_t>(n);
      if (got == buffer.size()) break;
      const qint64 left = deadline.remainingTime();
      if (left <= 0) break;
      if (!m_port->waitForReadyRead(static_cast<int>(left))) {
        if (m_port->error() != QSerialPort::TimeoutError) return false;
        m_port->clearError();
        break;
      }
    }
    return true;
  }

  bool IsOpen() const override { return m_open; }
  std::string OpenError() const override { return m_openError; }

 private:
  bool OpenCom(int32_t port, int32_t baud) {
    const std::optional<std::string> path = m_ports ? m_ports->PathOf(port) : std::nullopt;
    if (!path || !OpenPath(*path, baud)) return Fail();
    m_usb = false;
    m_open = true;
    return true;
  }

  bool OpenAdapter(int32_t port, int32_t baud) {
    const std::optional<std::string> path = m_ports ? m_ports->PathOf(port) : std::nullopt;
    if (!path || !OpenPath(*path, baud)) return Fail();
    SetLowestLatency(*path);
    if (!m_port->clear(QSerialPort::AllDirections)) return Fail();
    m_usb = true;
    m_open = true;
    return true;
  }

  // Baud 0 keeps the port's default settings.
  bool OpenPath(const std::string& path, int32_t baud) {
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(QString::fromStdString(path));
    if (!m_port->open(QIODevice::ReadWrite)) {
      m_openError = path + ": " + ToStd(m_port->errorString());
      return false;
    }
    if (baud == 0) return true;
    const bool set = m_port->setBaudRate(static_cast<qint32>(baud)) && m_port->setDataBits(QSerialPort::Data8) &&
                     m_port->setParity(QSerialPort::NoParity) && m_port->setStopBits(QSerialPort::OneStop) &&
                     m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!set) m_openError = path + ": " + ToStd(m_port->errorString());
    return set;
  }

  bool Fail() {
    m_port.reset();
    m_open = false;
    return false;
  }

  // The FTDI chip holds received bytes up to its latency time (16 ms by
  // default) before it hands them over; each reply would wait that long. The
  // sysfs attribute takes 1 ms but is normally writable by root only; the
  // low-latency serial flag is allowed to every user and makes the ftdi_sio
  // driver use 1 ms too. Either may be refused: the channel works regardless.
  void SetLowestLatency([[maybe_unused]] const std::string& path) {
#if defined(__linux__)
    const std::string name = ToStd(QFileInfo(QString::fromStdString(Canonical(path))).fileName());
    const std::string attribute = "/sys/bus/usb-serial/devices/" + name + "/latency_timer";
    const int sysfs = ::open(attribute.c_str(), O_WRONLY | O_CLOEXEC);
    if (sysfs >= 0) {
      const ssize_t written = ::write(sysfs, "1", 1);
      ::close(sysfs);
      if (written == 1) return;
    }
    const int fd = static_cast<int>(m_port->handle());
    serial_struct serial{};
    if (fd >= 0 && ::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
      serial.flags |= ASYNC_LOW_LATENCY;
      (void)::ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
  }

  std::shared_ptr<PortTable> m_ports;
  std::unique_ptr<QSerialPort> m_port;
  std::string m_openError;
  bool m_open = false;
  bool m_usb = false;  // kept after a close, as the channel's last kind
};

}  // namespace

std::unique_ptr<PortTransport> CreateSerialTransport(std::shared_ptr<PortTable> ports) {
  return std::make_unique<SerialTransport>(std::move(ports));
}

std::string PortOpenError(int32_t port, std::shared_ptr<PortTable> ports) {
  SerialTransport probe(std::move(ports));
  if (!probe.OpenCommPort(port)) return probe.OpenError();
  probe.CloseCommPort();
  return {};
}

bool DescriptionMatches(std::string_view reported, std::string_view wanted) {
  if (reported.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < reported.size(); ++i) {
    const char a = reported[i] == '_' ? ' ' : reported[i];
    const char b = wanted[i] == '_' ? ' ' : wanted[i];
    if (a != b) return false;
  }
  return true;
}

std::vector<NumberedPort> AssignComNumbers(const std::vector<SystemPort>& systemPorts,
                                           const std::vector<std::string>& extraPaths) {
  std::vector<NumberedPort> table;
  std::set<int32_t> usedNumbers;
  std::set<std::string> usedPaths;
  auto add = [&](int32_t number, const std::string& path) {
    if (number < kFirstComPort || number > kLastComPort) return;
    if (usedNumbers.count(number) != 0 || usedPaths.count(path) != 0) return;
    usedNumbers.insert(number);
    usedPaths.insert(path);
    table.push_back({number, path});
  };

  std::vector<const SystemPort*> others;
  for (const SystemPort& port : systemPorts) {
    const long com = NumberAfter(port.name, "COM");
    const long ttyS = NumberAfter(port.name, "ttyS");
    if (com >= 0) {
      add(static_cast<int32_t>(com), port.path);
    } else if (ttyS >= 0 && ttyS < kLastComPort) {
      add(static_cast<int32_t>(ttyS + 1), port.path);
    } else {
      others.push_back(&port);
    }
  }
  std::sort(others.begin(), others.end(),
            [](const SystemPort* a, const SystemPort* b) { return NaturalLess(a->name, b->name); });

  int32_t next = usedNumbers.empty() ? kFirstComPort : *usedNumbers.rbegin() + 1;
  for (const SystemPort* port : others) {
    if (next > kLastComPort) break;
    if (usedPaths.count(port->path) != 0) continue;
    add(next++, port->path);
  }
  for (const std::string& path : extraPaths) {
    if (next > kLastComPort) break;
    if (usedPaths.count(path) != 0) continue;
    add(next++, path);
  }
  std::sort(table.begin(), table.end(),
            [](const NumberedPort& a, const NumberedPort& b) { return a.number < b.number; });
  return table;
}

std::vector<SystemPort> SystemSerialPorts() {
  std::vector<SystemPort> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ports.push_back({ToStd(info.systemLocation()), ToStd(info.portName()), ToStd(info.description())});
  }
  return ports;
}

std::optional<int32_t> ComNumberOfPath(std::string_view path, const std::vector<NumberedPort>& table) {
  const std::string wanted = Canonical(path);
  for (const NumberedPort& entry : table) {
    if (entry.path == path || Canonical(entry.path) == wanted) return entry.number;
  }
  return std::nullopt;
}

void GetPortList(std::vector<int32_t>& list, const PortScan& scan) {
  list.clear();
  if (const auto can = AdapterPath(kUsbCanDescription, scan.systemPorts); can && CanOpen(*can)) {
    list.push_back(kUsbCanPort);
  }
  if (const auto ser = AdapterPath(kUsbSerialDescription, scan.systemPorts); ser && CanOpen(*ser)) {
    list.push_back(kUsbSerialPort);
  }
  for (const NumberedPort& entry : scan.table) {
    if (CanOpen(entry.path)) list.push_back(entry.number);
  }
}

std::string PortLabel(int32_t port) {
  if (port == kUsbCanPort) return "T_CAN";
  if (port == kUsbSerialPort) return "T_SER";
  return "COM" + std::to_string(port);
}

}  // namespace tavomark::link
