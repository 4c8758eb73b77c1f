#pragma once
// The byte channel to one device: a COM port or one of the two FTDI adapters,
// 8 data bits, 1 stop bit, no parity, no flow control, reads and writes that
// give up after half a second.
//
// Port selector: -2 the USB-CAN adapter (312500 baud), -1 the USB-serial
// adapter (19200 baud), 1 to 255 COM port n (19200 baud). Nothing else names a
// port.
//
// On systems whose serial ports are not called "COMn" every port gets a COM
// number of its own (see AssignComNumbers); the port table (port_table.h)
// numbers configured and added paths after the system's ports, which is how
// pseudo-terminals reach the list.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavomark::link {

inline constexpr int32_t kUsbCanPort = -2;
inline constexpr int32_t kUsbSerialPort = -1;
inline constexpr int32_t kFirstComPort = 1;
inline constexpr int32_t kLastComPort = 255;
inline constexpr int32_t kComBaudRate = 19200;
inline constexpr int32_t kUsbSerialBaudRate = 19200;
inline constexpr int32_t kUsbCanBaudRate = 312500;
// Every read and write of the channel gives up after this long.
inline constexpr int kChannelTimeoutMs = 500;

// USB product descriptions of the two adapters, as programmed into their FTDI
// chips. Systems report them with spaces or underscores; both count alike.
inline constexpr std::string_view kUsbCanDescription = "USB CAN_500 Tavomark";
inline constexpr std::string_view kUsbSerialDescription = "USB Serial_Tavomark";

// The channel as the frame layer and the engine see it. One channel at a time;
// every call comes from the thread that created the object (the engine's).
class PortTransport {
 public:
  virtual ~PortTransport() = default;

  // Opens the channel for a port selector. While a channel is open this does
  // nothing and returns true, whatever port is asked for. A failed open leaves
  // the channel closed.
  [[nodiscard]] virtual bool OpenCommPort(int32_t port) = 0;
  // Changes the baud rate: the USB-serial adapter in place; a COM port is
  // closed and reopened (baud 0: the port's default settings). False for the
  // USB-CAN adapter, whose rate is fixed, and for every other selector.
  [[nodiscard]] virtual bool SetUSbBaudRate(int32_t baud, int32_t port) = 0;
  // Closes the channel if it is open.
  virtual void CloseCommPort() = 0;
  // Empty the receive or the transmit queue; false when the channel refuses.
  [[nodiscard]] virtual bool PurgeRxBuffer() = 0;
  [[nodiscard]] virtual bool PurgeTxBuffer() = 0;
  // Writes one whole frame: empties the transmit queue first and, on a COM
  // port, the receive queue too. True when every byte went out.
  [[nodiscard]] virtual bool WriteFrame(std::span<const uint8_t> frame) = 0;
  // Reads up to buffer.size() bytes, giving up when the channel's time-out has
  // run out since the call began. got holds the count that arrived (fewer when
  // the time-out ran out). False only for a read error.
  [[nodiscard]] virtual bool ReadBytes(std::span<uint8_t> buffer, std::size_t& got) = 0;
  [[nodiscard]] virtual bool IsOpen() const = 0;
  // Why the last OpenCommPort could not open its port ("/dev/ttyUSB0:
  // Permission denied"); empty when it did not fail there (it opened, or no
  // port answers to the selector) or the channel cannot tell.
  [[nodiscard]] virtual std::string OpenError() const { return {}; }
};

class PortTable;

// The real channel over QSerialPort, opening COM numbers and adapters through
// the table. Create, use and destroy it on one QThread (the engine's): its
// calls block there.
[[nodiscard]] std::unique_ptr<PortTransport> CreateSerialTransport(std::shared_ptr<PortTable> ports);
// Opens the port once and closes it again: empty when that worked (or no port
// answers to the selector), else why it could not be opened ("/dev/x: No
// such file or directory"). Only while no channel is open on that port.
[[nodiscard]] std::string PortOpenError(int32_t port, std::shared_ptr<PortTable> ports);

// One serial port the system offers, as the port list numbers it.
struct SystemPort {
  std::string path;         // what QSerialPort opens ("/dev/ttyUSB0", "COM3")
  std::string name;         // the short name ("ttyUSB0", "COM3")
  std::string description;  // the USB product description, may be empty
};

struct NumberedPort {
  int32_t number = 0;  // the COM number, 1 to 255
  std::string path;
};

// The COM numbering rule:
//   - a port called "COMn" (1 <= n <= 255) keeps n;
//   - "ttySn" becomes COM(n + 1);
//   - every other system port follows, in natural name order ("ttyUSB2"
//     before "ttyUSB10"), numbered from one past the highest number above;
//   - the extra paths follow in their given order.
// Numbers past 255 are dropped; a path appears once (first number wins).
[[nodiscard]] std::vector<NumberedPort> AssignComNumbers(const std::vector<SystemPort>& systemPorts,
                                                         const std::vector<std::string>& extraPaths);

// The system's serial ports as QSerialPortInfo reports them.
[[nodiscard]] std::vector<SystemPort> SystemSerialPorts();

// One listing of the system's serial ports and the COM table made from it.
// Asking the system is the slow part of every port question: a caller that
// needs several answers (the port list, its labels, a path's number) lists
// once and passes the scan on.
struct PortScan {
  std::vector<SystemPort> systemPorts;
  std::vector<NumberedPort> table;
};

// True when a reported description names the adapter (spaces and underscores
// compare alike, so "USB Serial Tavomark" matches "USB Serial_Tavomark").
[[nodiscard]] bool DescriptionMatches(std::string_view reported, std::string_view wanted);

// The COM number of a device path (compared after resolving symlinks), or
// nothing when the path is not in the table.
[[nodiscard]] std::optional<int32_t> ComNumberOfPath(std::string_view path, const std::vector<NumberedPort>& table);

// Empties the list, then appends -2 and -1 when the adapters can be opened and
// every COM number, ascending, whose port can be opened. Probes by opening
// each port briefly, so call it only while no channel is open.
void GetPortList(std::vector<int32_t>& list, const PortScan& scan);

// Label of a selector in a port list: "T_CAN", "T_SER" or "COMn".
[[nodiscard]] std::string PortLabel(int32_t port);

}  // namespace tavomark::link
