#include "port_table.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tavomark::link {

namespace {

std::optional<std::string> AdapterOf(int32_t port, const std::vector<SystemPort>& systemPorts) {
  const std::string_view wanted = port == kUsbCanPort ? kUsbCanDescription : kUsbSerialDescription;
  for (const SystemPort& system : systemPorts) {
    if (DescriptionMatches(system.description, wanted)) return system.path;
  }
  return std::nullopt;
}

// A whole decimal number of at most four characters ("-2", "255"), or nothing.
std::optional<int32_t> SmallNumber(std::string_view text) {
  std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size() || text.size() > 4) return std::nullopt;
  int32_t value = 0;
  for (std::size_t j = i; j < text.size(); ++j) {
    if (std::isdigit(static_cast<unsigned char>(text[j])) == 0) return std::nullopt;
    value = value * 10 + (text[j] - '0');
  }
  return text[0] == '-' ? -value : value;
}

bool IsSelector(int32_t value) {
  return value == kUsbCanPort || value == kUsbSerialPort || (value >= kFirstComPort && value <= kLastComPort);
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

std::vector<std::string> SplitPortPaths(std::string_view value) {
  std::vector<std::string> paths;
  while (!value.empty()) {
    const std::size_t colon = value.find(':');
    const std::string_view entry = value.substr(0, colon);
    if (!entry.empty()) paths.emplace_back(entry);
    if (colon == std::string_view::npos) break;
    value.remove_prefix(colon + 1);
  }
  return paths;
}

PortTable::PortTable(std::vector<std::string> configuredPaths) : m_configured(std::move(configuredPaths)) {}

std::shared_ptr<PortTable> PortTable::FromEnvironment() {
  const char* value = std::getenv("TAVOMARK_PORTS");
  return std::make_shared<PortTable>(value != nullptr ? SplitPortPaths(value) : std::vector<std::string>{});
}

PortScan PortTable::Scan() {
  bool fixed = false;
  {
    std::lock_guard lock(m_mutex);
    fixed = m_fixedSystem;
  }
  // Asking the system is slow: done outside the lock.
  std::vector<SystemPort> system = fixed ? std::vector<SystemPort>{} : SystemSerialPorts();
  std::lock_guard lock(m_mutex);
  if (!m_fixedSystem) m_system = std::move(system);
  m_scanned = true;
  return Numbered();
}

PortScan PortTable::Current() {
  {
    std::lock_guard lock(m_mutex);
    if (m_scanned) return Numbered();
  }
  return Scan();
}

std::optional<int32_t> PortTable::AddPath(const std::string& path) {
  if (auto number = ComNumberOfPath(path, Current().table)) return number;
  std::lock_guard lock(m_mutex);
  m_added.push_back(path);
  const std::optional<int32_t> number = ComNumberOfPath(path, Numbered().table);
  if (!number) m_added.pop_back();
  return number;
}

std::optional<std::string> PortTable::PathOf(int32_t port) {
  const PortScan scan = Scan();
  if (port == kUsbCanPort || port == kUsbSerialPort) return AdapterOf(port, scan.systemPorts);
  for (const NumberedPort& entry : scan.table) {
    if (entry.number == port) return entry.path;
  }
  return std::nullopt;
}

void PortTable::SetSystemPorts(std::vector<SystemPort> ports) {
  std::lock_guard lock(m_mutex);
  m_system = std::move(ports);
  m_fixedSystem = true;
  m_scanned = true;
}

PortScan PortTable::Numbered() const {
  std::vector<std::string> extras = m_configured;
  extras.insert(extras.end(), m_added.begin(), m_added.end());
  PortScan scan;
  scan.systemPorts = m_system;
  scan.table = AssignComNumbers(m_system, extras);
  return scan;
}

PortScan ScanPorts(PortTable& table) { return table.Scan(); }

std::optional<int32_t> ParsePortOption(std::string_view text, PortTable& table, std::string& error) {
  error.clear();
  const std::string upper = Upper(text);
  std::optional<int32_t> port;
  if (upper == "T_CAN") {
    port = kUsbCanPort;
  } else if (upper == "T_SER") {
    port = kUsbSerialPort;
  } else if (const auto number = SmallNumber(text)) {
    if (IsSelector(*number)) port = number;
  } else if (upper.size() > 3 && upper.compare(0, 3, "COM") == 0 && std::isdigit(static_cast<unsigned char>(upper[3]))) {
    if (const auto com = SmallNumber(std::string_view(upper).substr(3)); com && *com >= kFirstComPort && *com <= kLastComPort)
      port = com;
  } else if (text.find('/') != std::string_view::npos) {
    port = table.AddPath(std::string(text));
    if (!port) {
      error = "No COM number left for the port " + std::string(text);
      return std::nullopt;
    }
  }
  if (!port) {
    error = "Unknown port: " + std::string(text) + " (T_CAN, T_SER, -2, -1, 1..255, COMn or a device path)";
  }
  return port;
}

}  // namespace tavomark::link
