// The desktop program's start-up as far as its window: the same steps as
// tavomark's main (Application::Start, then the window shown), ending with
// "shown" on stdout at the window's first paint. startup_bench times it.
// Usage: window_probe PROJECT_DIR

#include <QApplication>
#include <QEvent>

#include <clocale>
#include <cstdio>
#include <unistd.h>

#include "application.h"

namespace {

// At the first paint the window is on the screen: say so and leave at once,
// as the measurement ends there.
class FirstPaint final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      std::fputs("shown\n", stdout);
      std::fflush(stdout);
      ::_exit(0);
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

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
  if (program.Start(std::move(options)) != 0) return 1;
  FirstPaint probe;
  program.Panel()->installEventFilter(&probe);
  return program.Run();
}
