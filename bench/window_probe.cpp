// The desktop program's start-up as far as its window: the same steps as
// tavomark's main (Application::Start, then the window shown), ending with
// "shown" on stdout at the window's first paint. startup_bench times it.
// Usage: window_probe PROJECT_DIR

#include <QApplication>

#include <clocale>
#include <cstdio>

#include "application.h"
#include "qt_bench.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_probe PROJECT_DIR\n");
    return 2;
  }
  tavomark::ui::QtUiServices services;
  tavomark::ui::Application program(services);
  tavomark::ui::StartOptions options;
  options.projectDir = argv[1];
  options.portListAfterFirstPaint = true;
  options.panelsAfterFirstPaint = true;
  if (program.Start(std::move(options)) != 0) return 1;
  tavomark::bench::FirstPaint probe;
  program.Panel()->installEventFilter(&probe);
  return program.Run();
}
