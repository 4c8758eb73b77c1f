// The reference for start-up: an empty Qt Widgets program that shows one
// window and prints "shown" at its first paint.

#include <QApplication>
#include <QWidget>

#include "qt_bench.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(640, 480);
  tavomark::bench::FirstPaint probe;
  window.installEventFilter(&probe);
  window.show();
  return QApplication::exec();
}
