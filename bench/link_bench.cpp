// Reading and writing blocks over a pseudo-terminal: through the protocol
// engine (request slot, engine thread, condition-variable wait) against a bare
// loop of the same exchanges on the calling thread, side by side in one run.
// The difference is what the engine adds to a request; a pty has no baud rate,
// so the wire time of a real adapter comes on top of both.
//
// A small responder thread on the pty master plays the device with its own
// frame code.
// Then the traffic trace: the same engine transfers with tracing never
// switched on, switched on and off again (the window closed), and on with a
// reader draining the queue every 100 ms (the window open), interleaved round
// by round.
// Usage: link_bench [rounds [size ...]]   (default: 5 rounds; the demo
// device's block sizes and 4 KB)

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "port_table.h"
#include "port_transport.h"
#include "protocol_engine.h"
#include "protocol_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kDevice = 0x0102;
constexpr std::size_t kBlockBytes = 4096;
// The demo device's block images (parameters, calibration, information), each
// with its checksum word and trailer.
constexpr std::size_t kDemoBlockBytes[] = {403, 72, 46};

class PtyResponder {
 public:
  PtyResponder() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    m_slavePath = ::ptsname(m_master);
    // Kept open so that the port's closing never hangs up the pty.
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::tcgetattr(m_master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_master, TCSANOW, &raw);
    m_blocks[1] = Bytes(kBlockBytes, 0x5A);
    m_thread = std::thread([this] { Run(); });
  }
  ~PtyResponder() {
    m_stop.store(true);
    m_thread.join();
    ::close(m_slave);
    ::close(m_master);
  }
  const std::string& path() const { return m_slavePath; }

 private:
  void Run() {
    Bytes rx;
    uint8_t chunk[512];
    while (!m_stop.load()) {
      pollfd fd{m_master, POLLIN, 0};
      if (::poll(&fd, 1, 20) <= 0) continue;
      const ssize_t n = ::read(m_master, chunk, sizeof chunk);
      if (n <= 0) continue;
      rx.insert(rx.end(), chunk, chunk + n);
      while (rx.size() >= 7) {
        if (rx[0] != 0xAA || rx[1] != 0xF0) {
          rx.erase(rx.begin());
          continue;
        }
        const std::size_t total = 7u + rx[2];
        if (rx.size() < total) break;
        Answer(Bytes(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(total)));
        rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(total));
      }
    }
  }

  void Send(uint8_t cmd, const Bytes& payload) {
    Bytes frame = {0xAA, 0xF0, static_cast<uint8_t>(payload.size()), cmd, kDevice >> 8, kDevice & 0xFF};
    frame.insert(frame.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) sum += frame[i];
    frame.push_back(static_cast<uint8_t>(sum));
    std::size_t done = 0;
    while (done < frame.size()) {
      const ssize_t n = ::write(m_master, frame.data() + done, frame.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }

  void Answer(const Bytes& f) {
    const uint8_t cmd = f[3];
    const Bytes p(f.begin() + 6, f.end() - 1);
    switch (cmd) {
      case 1:
        Send(cmd, {'B', 'E', 'N', 'C', 'H'});
        break;
      case 14:
        Send(cmd, {'b', 'e', 'n', 'c', 'h'});
        break;
      case 6:
        Send(cmd, Bytes(37, 1));
        break;
      case 11:
        Send(cmd, Bytes(18, 2));
        break;
      case 8: {
        const std::size_t offset = (p[0] << 8) | p[1];
        Bytes& block = m_blocks[static_cast<uint16_t>((p[2] << 8) | p[3])];
        if (block.size() < offset + p[4]) block.resize(offset + p[4]);
        Send(cmd, Bytes(block.begin() + static_cast<std::ptrdiff_t>(offset),
                        block.begin() + static_cast<std::ptrdiff_t>(offset + p[4])));
        break;
      }
      case 4:
        m_writeTotal = (p[0] << 8) | p[1];
        m_writeBlock = static_cast<uint16_t>((p[2] << 8) | p[3]);
        m_written.clear();
        Send(cmd, {});
        break;
      case 5:
        m_written.insert(m_written.end(), p.begin(), p.end());
        if (m_written.size() == m_writeTotal) m_blocks[m_writeBlock] = m_written;
        Send(cmd, {static_cast<uint8_t>(m_written.size() >> 8), static_cast<uint8_t>(m_written.size())});
        break;
      default:
        break;
    }
  }

  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
  std::atomic<bool> m_stop{false};
  std::map<uint16_t, Bytes> m_blocks;
  uint16_t m_writeBlock = 0;
  std::size_t m_writeTotal = 0;
  Bytes m_written;
  std::thread m_thread;
};

int32_t PortOf(const PtyResponder& pty, tavomark::link::PortTable& ports) {
  const auto number = ports.AddPath(pty.path());
  if (!number) throw std::runtime_error("pty not in the port table");
  return *number;
}

using Clock = std::chrono::steady_clock;

// Mean milliseconds per exchange over count exchanges.
template <typename Exchange>
double TimeEach(int count, Exchange exchange) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (!exchange()) throw std::runtime_error("exchange failed");
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count;
}

struct Best {
  double bare = 1e30;
  double engine = 1e30;
};

// Drains the engine's trace the way the traffic window's timer does.
class TraceReader {
 public:
  TraceReader(tavomark::link::ProtocolEngine& engine, std::size_t& total) : m_engine(engine), m_total(total) {
    // Switched on, the trace restarts empty.
    m_engine.TlinkSetTracing(true);
    m_thread = std::thread([this] {
      while (!m_stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_frames += m_engine.TlinkTrace().Drain().size();
      }
    });
  }
  ~TraceReader() {
    m_stop.store(true);
    m_thread.join();
    m_engine.TlinkSetTracing(false);
    m_frames += m_engine.TlinkTrace().Drain().size();
    m_total += m_frames;
  }

 private:
  tavomark::link::ProtocolEngine& m_engine;
  std::size_t& m_total;
  std::atomic<bool> m_stop{false};
  std::size_t m_frames = 0;
  std::thread m_thread;
};

// Engine transfers with no trace reader, with the trace switched on and a
// reader draining it, and switched off again.
void TraceTable(tavomark::link::ProtocolEngine& engine, int32_t port, int rounds,
                const std::vector<std::size_t>& sizes) {
  std::printf("\ntraffic trace: engine ms per block, best of %d rounds\n", rounds);
  std::printf("%6s %6s %10s %10s %10s %9s %9s\n", "bytes", "op", "no reader", "off", "on+reader", "off/none",
              "on/none");
  uint8_t liveSize = 0;
  std::size_t traced = 0;
  for (const std::size_t size : sizes) {
    Bytes block(size, 0x44);
    const int count = size > 1024 ? 10 : 30;
    for (const bool write : {false, true}) {
      double none = 1e30, off = 1e30, on = 1e30;
      const auto run = [&] {
        return TimeEach(count, [&] { return write ? engine.TlinkSendData(1, block).ok() : engine.TlinkReceiveData(1, block).ok(); });
      };
      for (int r = 0; r < rounds; ++r) {
        if (!engine.TlinkOpenComm(port, kDevice, liveSize)) throw std::runtime_error("cannot connect");
        none = std::min(none, run());
        {
          TraceReader reader(engine, traced);
          on = std::min(on, run());
        }
        off = std::min(off, run());
        engine.TlinkCloseComm();
      }
      std::printf("%6zu %6s %10.3f %10.3f %10.3f %9.3f %9.3f\n", size, write ? "write" : "read", none, off, on,
                  off / none, on / none);
      std::fflush(stdout);
    }
  }
  std::printf("frames read from the trace: %zu\n", traced);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavomark::link;
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(static_cast<std::size_t>(std::max(1, std::atoi(argv[i]))));
  if (sizes.empty()) {
    sizes.assign(std::begin(kDemoBlockBytes), std::end(kDemoBlockBytes));
    sizes.push_back(kBlockBytes);
  }

  try {
    PtyResponder pty;
    auto ports = std::make_shared<PortTable>();
    const int32_t port = PortOf(pty, *ports);
    // The bare loop and the engine share the pty; the engine's channel is open
    // only while it is connected.
    ConditionWaiter waiter;
    EngineOptions options;
    options.ports = ports;
    ProtocolEngine engine(waiter, options);
    auto transport = CreateSerialTransport(ports);
    FrameLink frames(*transport);
    uint8_t liveSize = 0;
    if (!engine.TlinkInit()) throw std::runtime_error("engine did not start");

    std::printf("%6s %6s %10s %10s %7s %9s\n", "bytes", "op", "bare ms", "engine ms", "ratio", "diff ms");
    for (const std::size_t size : sizes) {
      Bytes block(size, 0x33);
      const int count = size > 1024 ? 10 : 30;
      for (const bool write : {false, true}) {
        Best best;
        for (int r = 0; r < rounds; ++r) {
          if (!transport->OpenCommPort(port)) throw std::runtime_error("cannot open the pty");
          best.bare = std::min(best.bare, TimeEach(count, [&] {
                                 return write ? frames.SendData(kDevice, 1, block)
                                              : frames.RequestData(kDevice, 1, block);
                               }));
          transport->CloseCommPort();
          if (!engine.TlinkOpenComm(port, kDevice, liveSize)) throw std::runtime_error("cannot connect");
          best.engine = std::min(best.engine, TimeEach(count, [&] {
                                   return write ? engine.TlinkSendData(1, block).ok() : engine.TlinkReceiveData(1, block).ok();
                                 }));
          engine.TlinkCloseComm();
        }
        std::printf("%6zu %6s %10.2f %10.2f %7.2f %9.2f\n", size, write ? "write" : "read", best.bare, best.engine,
                    best.engine / best.bare, best.engine - best.bare);
        std::fflush(stdout);
      }
    }
    TraceTable(engine, port, rounds, sizes);
    engine.TlinkTerminate();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "link_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
