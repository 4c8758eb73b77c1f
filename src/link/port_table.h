#pragma once
// The ports this program knows by COM number, and the one reader of a port
// that a person names (command line, settings).
//
// A PortTable holds three lists: the system's serial ports (listed again on
// every Scan), the configured paths (TAVOMARK_PORTS, colon-separated, read
// once when the table is made from the environment) and the paths added while
// the program runs (a device path given as --port). Numbers follow
// AssignComNumbers over all three. The engine's thread opens ports through the
// same table the user-interface thread scans, so every call is locked.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port_transport.h"

namespace tavomark::link {

// The paths of a TAVOMARK_PORTS value (colon-separated, empty entries skipped).
[[nodiscard]] std::vector<std::string> SplitPortPaths(std::string_view value);

class PortTable {
 public:
  // A table with these configured paths; the system is asked on the first
  // question that needs its ports.
  explicit PortTable(std::vector<std::string> configuredPaths = {});
  // The table of a program run: TAVOMARK_PORTS, read once, as configuration.
  [[nodiscard]] static std::shared_ptr<PortTable> FromEnvironment();

  // Lists the system's ports now and numbers everything.
  PortScan Scan();
  // The numbering of the last scan (one scan first if there was none).
  [[nodiscard]] PortScan Current();
  // The COM number of a device path, adding the path when the table does not
  // list it yet. Nothing when every number up to 255 is taken.
  [[nodiscard]] std::optional<int32_t> AddPath(const std::string& path);
  // The path that opens a selector, from a fresh listing (an adapter may have
  // been plugged in since the last scan), or nothing.
  [[nodiscard]] std::optional<std::string> PathOf(int32_t port);

  // Replaces the system's ports without asking the system (tests, simulations).
  void SetSystemPorts(std::vector<SystemPort> ports);

 private:
  [[nodiscard]] PortScan Numbered() const;  // under m_mutex

  mutable std::mutex m_mutex;
  std::vector<std::string> m_configured;
  std::vector<std::string> m_added;
  std::vector<SystemPort> m_system;
  bool m_scanned = false;
  bool m_fixedSystem = false;
};

// One listing of the system's ports, numbered with the table's paths.
[[nodiscard]] PortScan ScanPorts(PortTable& table);

// A port as a person names it:
//   "T_CAN" / "T_SER" (any case)     -> -2 / -1
//   "-2", "-1", "1" .. "255"         -> that selector
//   "COMn" (any case, 1 <= n <= 255) -> n
//   a device path (holds a '/')      -> its COM number; a path the table does
//                                       not list yet is added to it
// Anything else gives nothing and error = "Unknown port: <text> (...)". A
// path is not checked here: opening it reports why it cannot be used.
[[nodiscard]] std::optional<int32_t> ParsePortOption(std::string_view text, PortTable& table, std::string& error);

}  // namespace tavomark::link
