#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstring>

extern char** environ;

namespace tavomark::simtest {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Reads one line from fd into buffer, waiting until the deadline.
std::optional<std::string> ReadLine(int fd, std::string& buffer, Clock::time_point deadline) {
  for (;;) {
    const auto nl = buffer.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      return line;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) return std::nullopt;
    char chunk[256];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace

Bytes MakeFrame(uint8_t cmd, uint16_t device, const Bytes& payload) {
  Bytes f(7 + payload.size());
  f[0] = 0xAA;
  f[1] = 0xF0;
  f[2] = static_cast<uint8_t>(payload.size());
  f[3] = cmd;
  f[4] = static_cast<uint8_t>(device >> 8);
  f[5] = static_cast<uint8_t>(device & 0xFF);
  std::copy(payload.begin(), payload.end(), f.begin() + 6);
  unsigned sum = 0;
  for (std::size_t i = 2; i + 1 < f.size(); ++i) sum += f[i];
  f.back() = static_cast<uint8_t>(sum);
  return f;
}

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Start(const std::vector<std::string>& args, std::string& error) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  std::vector<std::string> all{TAVOMARK_SIM_PATH};
  all.insert(all.end(), args.begin(), args.end());
  all.insert(all.end(), {"--log", "-"});
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  m_stdout = out[0];
  m_stderr = err[0];
  if (rc != 0) {
    m_pid = -1;
    error = std::string("spawn: ") + std::strerror(rc);
    return false;
  }
  std::string buffer;
  const auto line = ReadLine(m_stdout, buffer, Clock::now() + std::chrono::seconds(10));
  if (!line || line->empty()) {
    error = "no port line; stderr: " + DrainStderr();
    return false;
  }
  m_portPath = *line;
  return true;
}

int SimProcess::Stop() {
  int status = -1;
  if (m_pid > 0) {
    ::kill(m_pid, SIGTERM);
    int raw = 0;
    if (::waitpid(m_pid, &raw, 0) == m_pid && WIFEXITED(raw)) status = WEXITSTATUS(raw);
    m_pid = -1;
  }
  if (m_stdout >= 0) ::close(m_stdout);
  m_stdout = -1;
  return status;
}

std::optional<std::string> SimProcess::NextLogLine() {
  if (m_stderr < 0) return std::nullopt;
  return ReadLine(m_stderr, m_errBuffer, Clock::now() + std::chrono::milliseconds(kReplyDeadlineMs));
}

std::string SimProcess::DrainStderr() {
  if (m_stderr < 0) return m_errBuffer;
  for (;;) {
    pollfd p{m_stderr, POLLIN, 0};
    if (::poll(&p, 1, m_pid > 0 ? 0 : kReplyDeadlineMs) <= 0) break;
    char chunk[256];
    const ssize_t n = ::read(m_stderr, chunk, sizeof chunk);
    if (n <= 0) break;
    m_errBuffer.append(chunk, static_cast<std::size_t>(n));
  }
  return m_errBuffer;
}

PortClient::~PortClient() {
  if (m_fd >= 0) ::close(m_fd);
}

bool PortClient::Open(const std::string& path) {
  m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_fd < 0) return false;
  termios tio{};
  if (::tcgetattr(m_fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
}

bool PortClient::Send(const Bytes& bytes) {
  return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes PortClient::Read(std::size_t n, int deadlineMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  Bytes got;
  while (got.size() < n) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    uint8_t chunk[512];
    const ssize_t r = ::read(m_fd, chunk, std::min(sizeof chunk, n - got.size()));
    if (r <= 0) break;
    got.insert(got.end(), chunk, chunk + r);
  }
  return got;
}

std::optional<ReplyFrame> PortClient::ReadFrame() {
  const Bytes head = Read(6);
  if (head.size() != 6 || head[0] != 0xAA || head[1] != 0xF0) return std::nullopt;
  const Bytes rest = Read(head[2] + 1u);
  if (rest.size() != head[2] + 1u) return std::nullopt;
  ReplyFrame f;
  f.cmd = head[3];
  f.device = static_cast<uint16_t>((head[4] << 8) | head[5]);
  f.payload.assign(rest.begin(), rest.end() - 1);
  unsigned sum = 0;
  for (std::size_t i = 2; i < 6; ++i) sum += head[i];
  for (uint8_t b : f.payload) sum += b;
  f.sumOk = static_cast<uint8_t>(sum) == rest.back();
  return f;
}

std::optional<ReplyFrame> PortClient::Exchange(uint8_t cmd, uint16_t device, const Bytes& payload) {
  if (!Send(MakeFrame(cmd, device, payload))) return std::nullopt;
  return ReadFrame();
}

Bytes PortClient::ReadBlock(uint16_t device, uint16_t block, std::size_t len) {
  Bytes all;
  for (std::size_t off = 0; off < len; off += 128) {
    const auto n = static_cast<uint8_t>(std::min<std::size_t>(128, len - off));
    const auto r = Exchange(8, device, {static_cast<uint8_t>(off >> 8), static_cast<uint8_t>(off),
                                        static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block), n});
    if (!r || !r->sumOk || r->payload.size() != n) break;
    all.insert(all.end(), r->payload.begin(), r->payload.end());
  }
  return all;
}

bool PortClient::Quiet() {
  pollfd p{m_fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

}  // namespace tavomark::simtest
