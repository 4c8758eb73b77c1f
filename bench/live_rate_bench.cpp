// The live page at a short main timer period against the simulated device:
// the desktop program (offscreen) on a copy of the demo project, connected to
// tavomark-sim on a pseudo-terminal, the live page shown, running its main
// timer for a few seconds. Reports the ticks achieved against the ticks
// asked for, the live data frames the device answered (counted in the
// simulator's request log), the gaps between ticks, and the CPU time per tick
// of the whole program (both threads) and of its user-interface thread.
// Usage: live_rate_bench BIN_DIR PROJECT_DIR [seconds [period_ms ...]]
//        (default: 5 seconds at 50 ms, then at 200 ms for comparison)

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qt_bench.h"
#include "application.h"
#include "port_table.h"
#include "live_panel.h"
#include "main_panel.h"
#include "platform_services.h"

namespace {

using namespace tavomark;

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Live data requests the device answered: "cmd=6 ..." lines of its log.
long LiveRequests(const std::filesystem::path& log) {
  std::ifstream in(log);
  long count = 0;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("cmd=6 ", 0) == 0) ++count;
  return count;
}

struct RateResult {
  long ticks = 0;
  long liveFrames = 0;
  double seconds = 0;
  double processCpu = 0;
  double uiCpu = 0;
  double meanGapMs = 0;
  double worstGapMs = 0;
};

class Simulator {
 public:
  ~Simulator() {
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) m_process.kill();
  }
  bool Start(const std::filesystem::path& bin, const std::filesystem::path& project,
             const std::filesystem::path& log) {
    const std::filesystem::path values =
        std::filesystem::exists(project / "demo.vts") ? project / "demo.vts" : project / "tavomark.dat";
    m_process.setProgram(QString::fromStdString((bin / "tavomark-sim").string()));
    m_process.setArguments({"--project", QString::fromStdString(project.string()), "--values",
                            QString::fromStdString(values.string()), "--log", QString::fromStdString(log.string())});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000)) return false;
    while (!m_process.canReadLine())
      if (!m_process.waitForReadyRead(5000)) return false;
    m_port = m_process.readLine().trimmed().toStdString();
    return !m_port.empty();
  }
  [[nodiscard]] const std::string& Port() const { return m_port; }

 private:
  QProcess m_process;
  std::string m_port;
};

bool Run(const std::filesystem::path& bin, const std::filesystem::path& source, double seconds, int period,
         RateResult& result) {
  const auto project = std::filesystem::temp_directory_path() / "tavomark_live_rate_bench";
  std::filesystem::remove_all(project);
  std::filesystem::copy(source, project, std::filesystem::copy_options::recursive);
  const auto log = project / "sim_requests.log";
  Simulator sim;
  if (!sim.Start(bin, project, log)) {
    std::fprintf(stderr, "live_rate_bench: tavomark-sim did not start\n");
    return false;
  }
  const std::shared_ptr<link::PortTable> ports = link::PortTable::FromEnvironment();
  std::string portError;
  const std::optional<int32_t> port = link::ParsePortOption(sim.Port(), *ports, portError);
  if (!port) {
    std::fprintf(stderr, "live_rate_bench: %s\n", portError.c_str());
    return false;
  }

  ui::ScriptedUiServices services;
  ui::Application program(services);
  ui::StartOptions options;
  options.projectDir = project;
  options.port = port;
  options.engine.ports = ports;
  options.timerPeriodMs = period;
  options.showPanel = ui::kLivePanel;
  if (program.Start(std::move(options)) != 0) return false;
  ui::MainPanel& panel = *program.Panel();
  panel.resize(1280, 800);
  panel.show();
  QApplication::processEvents();
  panel.CommOnOff();
  bool connected = false;
  program.Engine()->TlinkGetState(connected);
  if (!connected) {
    std::fprintf(stderr, "live_rate_bench: no connection to the simulated device\n");
    for (const auto& shown : services.shown) std::fprintf(stderr, "  %s: %s\n", shown.title.c_str(), shown.text.c_str());
    return false;
  }
  // Live data flows from the tick after connecting; the count starts there.
  panel.StartTimer();
  QEventLoop settle;
  QTimer::singleShot(3 * period, &settle, &QEventLoop::quit);
  settle.exec();

  std::vector<double> stamps;
  QElapsedTimer clock;
  const QMetaObject::Connection counter =
      QObject::connect(&panel.Timer(), &QTimer::timeout, [&] { stamps.push_back(clock.nsecsElapsed() * 1e-6); });
  const long liveBefore = LiveRequests(log);
  const double processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double uiStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  clock.start();
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  result.seconds = clock.nsecsElapsed() * 1e-9;
  result.processCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
  result.uiCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - uiStart;
  QObject::disconnect(counter);
  panel.StopTimer();
  result.liveFrames = LiveRequests(log) - liveBefore;
  result.ticks = static_cast<long>(stamps.size());
  for (std::size_t i = 1; i < stamps.size(); ++i)
    result.worstGapMs = std::max(result.worstGapMs, stamps[i] - stamps[i - 1]);
  if (stamps.size() > 1) result.meanGapMs = (stamps.back() - stamps.front()) / static_cast<double>(stamps.size() - 1);
  panel.CommOnOff();
  program.ShutDown();
  std::filesystem::remove_all(project);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: live_rate_bench BIN_DIR PROJECT_DIR [seconds [period_ms ...]]\n");
    return 2;
  }
  const tavomark::bench::OffscreenApp app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const std::filesystem::path bin = argv[1];
  const std::filesystem::path project = argv[2];
  const double seconds = argc > 3 ? std::max(1.0, std::atof(argv[3])) : 5.0;
  std::vector<int> periods;
  for (int i = 4; i < argc; ++i) periods.push_back(std::max(1, std::atoi(argv[i])));
  if (periods.empty()) periods = {50, 200};

  std::printf("%9s %8s %8s %8s %10s %10s %11s %11s\n", "period ms", "ticks/s", "asked/s", "live/s", "mean gap",
              "worst gap", "CPU/tick", "UI CPU/tick");
  for (const int period : periods) {
    RateResult r;
    if (!Run(bin, project, seconds, period, r)) return 1;
    const double ticks = std::max<long>(r.ticks, 1);
    std::printf("%9d %8.1f %8.1f %8.1f %7.1f ms %7.1f ms %8.3f ms %8.3f ms\n", period, r.ticks / r.seconds,
                1000.0 / period, r.liveFrames / r.seconds, r.meanGapMs, r.worstGapMs, r.processCpu * 1e3 / ticks,
                r.uiCpu * 1e3 / ticks);
    std::fflush(stdout);
  }
  return 0;
}
