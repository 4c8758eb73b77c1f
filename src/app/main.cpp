// tavomark: the desktop program.
//   tavomark [--project-dir DIR] [--port PORT]
// DIR holds "tavomark.dat", "tavomark.ini" and the "config" folder (default:
// the executable's folder). PORT preselects a port: a selector (-2, -1,
// 1..255), T_CAN, T_SER, COMn or a device path.

#include <QApplication>
#include <QCommandLineParser>

#include <clocale>
#include <cstdio>

#include "application.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavomark");
  // The model formats numbers with printf; Qt has set the locale from the
  // environment, and a decimal comma would end up in value texts.
  std::setlocale(LC_NUMERIC, "C");

  QCommandLineParser parser;
  parser.setApplicationDescription("Tavomark Device Tool");
  parser.addHelpOption();
  const QCommandLineOption projectOption("project-dir", "Project directory (default: the program's folder).",
                                         "DIR", QCoreApplication::applicationDirPath());
  const QCommandLineOption portOption("port", "Port to preselect: -2, -1, 1..255, T_CAN, T_SER, COMn or a path.",
                                     "PORT");
  parser.addOption(projectOption);
  parser.addOption(portOption);
  parser.process(app);

  tavomark::ui::StartOptions options;
  options.projectDir = parser.value(projectOption).toStdString();
  if (parser.isSet(portOption)) {
    const std::string text = parser.value(portOption).toStdString();
    options.port = tavomark::ui::ResolvePortOption(text);
    if (!options.port) std::fprintf(stderr, "tavomark: --port %s names no port; using the saved one\n", text.c_str());
  }

  tavomark::ui::QtUiServices services;
  tavomark::ui::Application program(services);
  if (program.Start(std::move(options)) != 0) return -1;
  services.SetParent(program.Panel());
  return program.Run();
}
