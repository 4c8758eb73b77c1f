#pragma once
// Timing of the panel benchmarks: a body run several times, each after its
// own preparation (not timed), reported as best, median and worst.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace tavomark::bench {

struct Figures {
  double best = 0, median = 0, worst = 0;
};

inline Figures Time(int runs, const std::function<void()>& prepare, const std::function<void()>& body) {
  std::vector<double> ms;
  for (int i = 0; i < std::max(runs, 1); ++i) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    body();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms.front(), ms[ms.size() / 2], ms.back()};
}

// One line; the target is left out when it is not above 0.
inline void Print(const char* name, const Figures& f, double target) {
  std::printf("%-10s best %8.3f ms  median %8.3f ms  worst %8.3f ms", name, f.best, f.median, f.worst);
  if (target > 0) std::printf("  (target < %g ms)", target);
  std::printf("\n");
}

}  // namespace tavomark::bench
