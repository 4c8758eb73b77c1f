#pragma once
// Runs tavomark-sim as a child process and talks to it over its
// pseudo-terminal the way a PC talks to a serial port, with a tiny frame code
// of the test's own.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavomark::simtest {

using Bytes = std::vector<uint8_t>;

// Generous limits: a healthy exchange ends in microseconds, these only stop a
// broken one from hanging the suite.
inline constexpr int kReplyDeadlineMs = 3000;

// AA F0 LEN CMD DEV_HI DEV_LO payload SUM, SUM over LEN..payload.
[[nodiscard]] Bytes MakeFrame(uint8_t cmd, uint16_t device, const Bytes& payload);

// Test data that differs from block to block.
inline Bytes Pattern(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 13 + i * 5);
  return b;
}

struct ReplyFrame {
  uint8_t cmd = 0;
  uint16_t device = 0;
  Bytes payload;
  bool sumOk = false;
};

class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator with the arguments and "--log -"; waits for the line
  // that names its port. False with error set when it does not come.
  [[nodiscard]] bool Start(const std::vector<std::string>& args, std::string& error);
  // Stops it (SIGTERM) and returns its exit status, or -1.
  int Stop();

  [[nodiscard]] const std::string& PortPath() const { return m_portPath; }
  // The next line of the request log, or nothing when none comes in time.
  [[nodiscard]] std::optional<std::string> NextLogLine();
  // Everything the simulator wrote to stderr so far and up to its exit.
  [[nodiscard]] std::string DrainStderr();

 private:
  pid_t m_pid = -1;
  int m_stdout = -1;
  int m_stderr = -1;
  std::string m_portPath;
  std::string m_errBuffer;
};

class PortClient {
 public:
  PortClient() = default;
  ~PortClient();
  PortClient(const PortClient&) = delete;
  PortClient& operator=(const PortClient&) = delete;

  [[nodiscard]] bool Open(const std::string& path);
  [[nodiscard]] bool Send(const Bytes& bytes);
  // Up to n bytes; fewer only when the deadline passes first.
  [[nodiscard]] Bytes Read(std::size_t n, int deadlineMs = kReplyDeadlineMs);
  // One whole reply frame (header, then LEN + 1 bytes); nothing when it does
  // not arrive whole or does not start with AA F0.
  [[nodiscard]] std::optional<ReplyFrame> ReadFrame();
  // Sends a request and reads its reply.
  [[nodiscard]] std::optional<ReplyFrame> Exchange(uint8_t cmd, uint16_t device, const Bytes& payload);
  // Reads a block in pieces of at most 128 bytes, as the PC does; stops at
  // the first piece that does not come back whole and sound.
  [[nodiscard]] Bytes ReadBlock(uint16_t device, uint16_t block, std::size_t len);
  // True when no byte is waiting right now.
  [[nodiscard]] bool Quiet();

 private:
  int m_fd = -1;
};

}  // namespace tavomark::simtest
