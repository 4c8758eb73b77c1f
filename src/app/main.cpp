// tavomark: the desktop program.
//   tavomark --help | --version   (no display needed)
//   tavomark [--project-dir DIR] [--port PORT] [--period MS]
//   tavomark [--project-dir DIR] [--port PORT] --open [--screenshot FILE]
//   tavomark ... --show about|param|live|edit
//   tavomark ... --replay FILE.csv
// DIR holds "tavomark.dat", "tavomark.ini" and the "config" folder (default:
// the executable's folder). PORT preselects a port: a selector (-2, -1,
// 1..255), T_CAN, T_SER, COMn or a device path. MS is the main timer's period
// (20 to 2000 ms) for this run, which sets the refresh and live data rate;
// without it the settings' [View] MainTimerMs (default 200) holds.
// --open presses "Open" at start; --screenshot saves the window once the
// connection has been tried, prints the file's path and quits (pop-ups then go
// to stderr instead of the screen). --show opens the program on that panel;
// --replay plays a live recording through the live panel.

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <memory>

#include "application.h"
#include "live_panel.h"
#include "port_table.h"
#include "strict_number.h"

namespace {

// Options of QApplication itself, passed on to it.
bool IsQtOption(const QString& name) {
  static const QStringList kQtOptions = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                         "qwindowicon", "qwindowtitle", "reverse", "session", "style", "stylesheet",
                                         "widgetcount", "display", "geometry", "title", "name", "visual", "ncols",
                                         "cmap", "nograb", "dograb", "sync", "graphicssystem", "qmljsdebugger"};
  return kQtOptions.contains(name);
}

struct Options {
  std::filesystem::path projectDir;
  std::optional<std::string> port;
  std::optional<std::string> period;
  bool open = false;
  std::string screenshot;
  std::string show;
  std::string replay;
  std::optional<std::string> size;
};

// Pop-ups for a run nobody watches: texts to stderr, every question answered
// no, every dialog cancelled.
class ConsoleServices final : public tavomark::ui::UiServices {
 public:
  void ShowMessage(const std::string& title, const std::string& text, const std::string& detail) override {
    if (detail.empty())
      std::fprintf(stderr, "tavomark: %s: %s\n", title.c_str(), text.c_str());
    else
      std::fprintf(stderr, "tavomark: %s: %s: %s\n", title.c_str(), text.c_str(), detail.c_str());
  }
  bool ConfirmPopup(const std::string& title, const std::string& text) override {
    MessagePopup(title, text + " (answered no)");
    return false;
  }
  std::optional<std::string> PromptPopup(const std::string& title, const std::string& text, std::size_t) override {
    MessagePopup(title, text + " (cancelled)");
    return std::nullopt;
  }
  std::optional<std::string> FileSelectPopup(const tavomark::ui::FileDialogRequest& request) override {
    MessagePopup(request.title, "file dialog cancelled");
    return std::nullopt;
  }
};

// Presses "Open" once the event loop runs (and on the parameter page reads the
// shown block); with a screenshot path, saves the window a few ticks later (so
// the firmware version is shown) and quits.
void ScheduleDemo(tavomark::ui::MainPanel* panel, const std::string& screenshot) {
  QTimer::singleShot(0, panel, [panel, screenshot] {
    panel->CommOnOff();
    if (panel->Connected() && panel->ActivePanel() == tavomark::ui::kParPanel)
      panel->MenuAction("Read")->trigger();
    if (screenshot.empty()) return;
    // Live data flows from the second tick after connecting; a few more let
    // the values move.
    QTimer::singleShot(8 * tavomark::ui::kMainTimerMs, panel, [panel, screenshot] {
      if (panel->grab().save(QString::fromStdString(screenshot), "PNG"))
        std::printf("%s\n", screenshot.c_str());
      else
        std::fprintf(stderr, "tavomark: cannot save the screenshot %s\n", screenshot.c_str());
      std::fflush(stdout);
      panel->RequestQuit();
    });
  });
}

// The command line is read before the QApplication exists: --help and
// --version answer on stdout without a display or a platform plugin.
// Nothing when the program should end at once with exitCode.
std::optional<Options> ParseOptions(int argc, char* argv[], int& exitCode) {
  QCommandLineParser parser;
  parser.setApplicationDescription("Tavomark Device Tool");
  const QCommandLineOption helpOption(QStringList{"h", "help"}, "Show this help and quit.");
  const QCommandLineOption versionOption("version", "Show the program's version and quit.");
  const QCommandLineOption projectOption("project-dir", "Project directory (default: the program's folder).",
                                         "DIR");
  const QCommandLineOption portOption("port", "Port to preselect: -2, -1, 1..255, T_CAN, T_SER, COMn or a path.",
                                      "PORT");
  const QCommandLineOption periodOption("period", "Main timer period in ms, 20..2000, for this run (default: MainTimerMs of the settings, 200).", "MS");
  const QCommandLineOption openOption("open", "Press Open at start.");
  const QCommandLineOption screenshotOption("screenshot", "Save the window after opening, then quit.", "FILE");
  const QCommandLineOption showOption("show", "Panel to open on: about, param, live or edit.", "PANEL", "about");
  const QCommandLineOption replayOption("replay", "Play a live recording (CSV) through the live panel.", "FILE");
  const QCommandLineOption sizeOption("size", "Window size in pixels, WIDTHxHEIGHT (instead of the saved one).",
                                      "WxH");
  parser.addOptions({helpOption, versionOption, projectOption, portOption, periodOption, openOption,
                     screenshotOption, showOption, replayOption, sizeOption});
  // Qt's own options (-platform, -style, ...) are for the QApplication.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const bool parsed = parser.parse(arguments);
  if (parser.isSet(helpOption)) {
    QString help = parser.helpText();
    help.replace("<executable_name>", "tavomark");
    std::fputs(help.toLocal8Bit().constData(), stdout);
    exitCode = 0;
    return std::nullopt;
  }
  if (parser.isSet(versionOption)) {
    std::printf("tavomark %s\n", TAVOMARK_VERSION);
    exitCode = 0;
    return std::nullopt;
  }
  if (!parsed) {
    const QStringList unknown = parser.unknownOptionNames();
    const bool onlyQtOptions = std::all_of(unknown.begin(), unknown.end(), [](const QString& name) {
      return IsQtOption(name);
    });
    if (!onlyQtOptions || unknown.isEmpty()) {
      std::fprintf(stderr, "tavomark: %s (see --help)\n", parser.errorText().toLocal8Bit().constData());
      exitCode = 2;
      return std::nullopt;
    }
  }
  Options options;
  if (parser.isSet(projectOption)) options.projectDir = parser.value(projectOption).toStdString();
  if (parser.isSet(portOption)) options.port = parser.value(portOption).toStdString();
  if (parser.isSet(periodOption)) options.period = parser.value(periodOption).toStdString();
  options.screenshot = parser.value(screenshotOption).toStdString();
  options.show = parser.value(showOption).toStdString();
  options.replay = parser.value(replayOption).toStdString();
  if (parser.isSet(sizeOption)) options.size = parser.value(sizeOption).toStdString();
  options.open = parser.isSet(openOption) || !options.screenshot.empty();
  return options;
}

}  // namespace

int main(int argc, char* argv[]) {
  int exitCode = 0;
  const std::optional<Options> parsedOptions = ParseOptions(argc, argv, exitCode);
  if (!parsedOptions) return exitCode;
  const Options& parsed = *parsedOptions;
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavomark");
  QApplication::setApplicationVersion(TAVOMARK_VERSION);
  // The model formats numbers with printf; Qt has set the locale from the
  // environment, and a decimal comma would end up in value texts.
  std::setlocale(LC_NUMERIC, "C");

  tavomark::ui::StartOptions options;
  options.projectDir = parsed.projectDir.empty() ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
                                                 : parsed.projectDir;
  options.engine.ports = tavomark::link::PortTable::FromEnvironment();
  options.portListAfterFirstPaint = true;
  options.panelsAfterFirstPaint = true;
  if (const std::optional<int> panel = tavomark::ui::ResolveShowOption(parsed.show)) {
    options.showPanel = *panel;
  } else {
    std::fprintf(stderr, "tavomark: --show %s names no panel (about, param, live, edit)\n", parsed.show.c_str());
    return 2;
  }
  // A device path that cannot be opened is kept (it may appear later) and
  // said why once the window is there.
  std::string portProblem;
  if (parsed.port) {
    std::string error;
    options.port = tavomark::link::ParsePortOption(*parsed.port, *options.engine.ports, error);
    if (!options.port) {
      std::fprintf(stderr, "tavomark: --port: %s; using the saved one\n", error.c_str());
    } else if (parsed.port->find('/') != std::string::npos) {
      portProblem = tavomark::link::PortOpenError(*options.port, options.engine.ports);
    }
  }
  if (parsed.period) {
    int64_t period = 0;
    std::string error;
    if (!tavomark::ParseStrictInteger(*parsed.period, "--period", tavomark::ui::kMinMainTimerMs,
                                      tavomark::ui::kMaxMainTimerMs, period, error)) {
      std::fprintf(stderr, "tavomark: %s\n", error.c_str());
      return 2;
    }
    options.timerPeriodMs = static_cast<int>(period);
  }

  tavomark::ui::QtUiServices windowServices;
  ConsoleServices consoleServices;
  const bool unattended = !parsed.screenshot.empty();
  tavomark::ui::UiServices& services =
      unattended ? static_cast<tavomark::ui::UiServices&>(consoleServices) : windowServices;
  tavomark::ui::Application program(services);
  if (program.Start(std::move(options)) != 0) return -1;
  windowServices.SetParent(program.Panel());
  if (!portProblem.empty()) services.MessagePopup("Open Communication", "Can't connect... " + portProblem);
  if (!parsed.replay.empty()) {
    program.Panel()->ChangePanel(tavomark::ui::kLivePanel);
    auto* live = dynamic_cast<tavomark::ui::LivePanel*>(program.Panel()->Child(tavomark::ui::kLivePanel));
    if (live == nullptr || !live->StartReplay(parsed.replay)) return 1;
  }
  if (parsed.size) {
    const std::string& text = *parsed.size;
    const std::size_t x = text.find_first_of("xX");
    int64_t width = 0;
    int64_t height = 0;
    std::string error;
    if (x == std::string::npos ||
        !tavomark::ParseStrictInteger(text.substr(0, x), "--size width", 200, 16384, width, error) ||
        !tavomark::ParseStrictInteger(text.substr(x + 1), "--size height", 150, 16384, height, error)) {
      std::fprintf(stderr, "tavomark: %s\n", error.empty() ? "--size: expected WIDTHxHEIGHT" : error.c_str());
      return 2;
    }
    // After the saved geometry, which the window takes when it is shown.
    QTimer::singleShot(0, program.Panel(), [panel = program.Panel(), width, height] {
      panel->resize(static_cast<int>(width), static_cast<int>(height));
    });
  }
  if (parsed.open) ScheduleDemo(program.Panel(), parsed.screenshot);
  return program.Run();
}
