#pragma once
// Qt pieces the window benchmarks share.

#include <QApplication>
#include <QEvent>
#include <QObject>

#include <cstdio>
#include <optional>
#include <vector>

#include <unistd.h>

namespace tavomark::bench {

// A QApplication on Qt's offscreen platform, so no display is needed:
// "-platform offscreen" goes in front of the program's arguments, and argc and
// argv hold what Qt leaves of them afterwards.
class OffscreenApp {
 public:
  OffscreenApp(int& argc, char**& argv) : m_args(argv, argv + argc) {
    m_args.insert(m_args.begin() + 1, {m_platform, m_offscreen});
    m_argc = static_cast<int>(m_args.size());
    m_app.emplace(m_argc, m_args.data());
    argc = m_argc;
    argv = m_args.data();
  }
  OffscreenApp(const OffscreenApp&) = delete;
  OffscreenApp& operator=(const OffscreenApp&) = delete;

 private:
  char m_platform[10] = "-platform";
  char m_offscreen[10] = "offscreen";
  std::vector<char*> m_args;
  int m_argc = 0;  // Qt keeps a reference to it
  std::optional<QApplication> m_app;
};

// At the window's first paint it is on the screen: says "shown" on stdout and
// leaves at once, as the start-up measurement ends there.
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

}  // namespace tavomark::bench
