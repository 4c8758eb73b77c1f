// The reference for start-up: an empty Qt Widgets program that shows one
// window and prints "shown" at its first paint.

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

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
  QWidget window;
  window.resize(640, 480);
  FirstPaint probe;
  window.installEventFilter(&probe);
  window.show();
  return QApplication::exec();
}
