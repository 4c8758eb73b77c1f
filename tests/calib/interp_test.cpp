// Table search and interpolation: the worked examples of the calibration
// library's documentation, then a differential check against a plain
// reference (a linear scan for the interval, the interpolation formulas in
// exact integer arithmetic) over thousands of random sorted tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "interp.h"

namespace tavomark::calib {
namespace {

using S16 = std::vector<int16_t>;

std::pair<int, int> Search(const S16& t, int v) {
  uint16_t lo = 99, hi = 99;
  CercaIntervallo_S16(lo, hi, static_cast<int16_t>(v), t.data(), static_cast<uint16_t>(t.size()));
  return {lo, hi};
}

S16 Steps(int n, int step) {
  S16 t(n);
  for (int i = 0; i < n; ++i) t[i] = static_cast<int16_t>(i * step);
  return t;
}

TEST(Interp1D, WorkedExamples) {
  const S16 xs = {0, 10, 20}, ys = {0, 100, 300};
  const std::pair<int, int> cases[] = {{5, 50}, {15, 200}, {-5, 0}, {25, 300}, {10, 100}};
  for (auto [x, expected] : cases) EXPECT_EQ(Interp1D(static_cast<int16_t>(x), xs.data(), ys.data(), 3), expected) << x;

  const S16 down = {10, 0}, two = {0, 10};
  EXPECT_EQ(Interp1D(3, two.data(), down.data(), 2), 7);
  EXPECT_EQ(Interp1D(7, two.data(), down.data(), 2), 3);
  const S16 x4 = {0, 4}, neg = {0, -2};
  EXPECT_EQ(Interp1D(1, x4.data(), neg.data(), 2), -1);  // -0.5 rounds away from zero
  EXPECT_EQ(Interp1D(1, nullptr, nullptr, 0), 0);
}

TEST(CercaIntervallo, RunsOfEqualEntriesAndTheFixedProbeTables) {
  const S16 runs = {0, 5, 5, 5, 9};
  EXPECT_EQ(Search(runs, 5), std::make_pair(1, 1));
  EXPECT_EQ(Search(runs, 9), std::make_pair(4, 4));
  EXPECT_EQ(Search(runs, 200), std::make_pair(4, 4));
  const S16 tail = {1, 3, 3};
  EXPECT_EQ(Search(tail, 3), std::make_pair(1, 1));
  EXPECT_EQ(Search(tail, 7), std::make_pair(1, 1));
  for (int n : {16, 32}) {
    const S16 t = Steps(n, 10);
    EXPECT_EQ(Search(t, 75), std::make_pair(7, 8)) << n;
    EXPECT_EQ(Search(t, 70), std::make_pair(7, 7)) << n;
  }
}

TEST(CercaIntervallo, UnsignedReadsFFFFAsTheTop) {
  const std::vector<uint16_t> t = {0x0000, 0x0010, 0xFFFF};
  uint16_t lo = 0, hi = 0;
  CercaIntervallo(lo, hi, 0x8000, t.data(), 3, 0);  // unsigned: 16 < 32768 < 65535
  EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(uint16_t{1}, uint16_t{2}));
  const std::vector<uint16_t> s = {0xFFFF, 0x0000, 0x0010};  // signed: -1, 0, 16
  CercaIntervallo(lo, hi, 0xFFFF, s.data(), 3, 1);
  EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(uint16_t{0}, uint16_t{0}));
  CercaIntervallo(lo, hi, 8, s.data(), 3, 1);
  EXPECT_EQ(std::make_pair(lo, hi), std::make_pair(uint16_t{1}, uint16_t{2}));
}

TEST(GetNearest, TieGoesUp) {
  const S16 t = {0, 10};
  EXPECT_EQ(GetNearest_S16(5, t.data(), 2), 1);
  EXPECT_EQ(GetNearest_S16(4, t.data(), 2), 0);
  EXPECT_EQ(GetNearest_S16(4, t.data(), 0), 0);
}

TEST(Interp2D, WorkedExamples) {
  const S16 bp = {0, 10}, values = {0, 10, 20, 30};
  EXPECT_EQ(Interp2D(5, 5, bp.data(), bp.data(), 2, 2, values.data()), 15);
  EXPECT_EQ(Interp2D(-3, 20, bp.data(), bp.data(), 2, 2, values.data()), 20);
  EXPECT_EQ(Interp2D(5, 5, bp.data(), bp.data(), 0, 2, values.data()), 0);
}

TEST(InterpArray, FillsBetweenTheEnds) {
  std::vector<double> a = {0, -1, -1, -1, 8};
  EXPECT_EQ(InterpArray(a.data(), 5), 5);
  EXPECT_EQ(a, (std::vector<double>{0, 2, 4, 6, 8}));
  std::vector<double> b = {3, 9};
  EXPECT_EQ(InterpArray(b.data(), 2), 2);
  EXPECT_EQ(b, (std::vector<double>{3, 9}));
}

// Products near the 16-bit limits overflow 32 bits; they must come out exact.
TEST(Interp, ExtremeSpansDoNotWrap) {
  const S16 xs = {-32768, 32767}, ys = {-32768, 32767};
  EXPECT_EQ(Interp1D(0, xs.data(), ys.data(), 2), 0);
  EXPECT_EQ(Interp1D(32766, xs.data(), ys.data(), 2), 32766);
  const S16 grid = {-32768, 32767, 32767, -32768};
  EXPECT_EQ(Interp2D(32766, -32767, xs.data(), xs.data(), 2, 2, grid.data()), 32765);
  const S16 cube = {-32768, 32767, 32767, -32768, -32768, 32767, 32767, -32768};
  EXPECT_EQ(Interp3D(-32767, -32768, 0, xs.data(), xs.data(), xs.data(), 2, 2, 2, cube.data()), -32767);
}

// --- the reference ---------------------------------------------------------

template <typename T>
std::pair<int, int> LinearInterval(const std::vector<T>& t, T v) {
  const int n = static_cast<int>(t.size());
  if (t[0] >= v) return {0, 0};
  if (t[n - 1] <= v) {
    int k = n - 1;
    while (k > 0 && t[k - 1] == t[n - 1]) --k;
    return {k, k};
  }
  for (int i = 0; i < n; ++i)
    if (t[i] == v) return {i, i};
  for (int i = 0; i + 1 < n; ++i)
    if (t[i] < v && v < t[i + 1]) return {i, i + 1};
  return {-1, -1};
}

// round(num / den) half away from zero, exactly (den > 0).
int64_t RoundDiv(int64_t num, int64_t den) {
  return num >= 0 ? (2 * num + den) / (2 * den) : -((-2 * num + den) / (2 * den));
}

int64_t Lerp1(int64_t c, int64_t c0, int64_t c1, int64_t v0, int64_t v1) {
  return v0 + RoundDiv((c - c0) * (v1 - v0), c1 - c0);
}

class Random {
 public:
  explicit Random(unsigned seed) : m_gen(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_gen); }
  template <typename T>
  std::vector<T> SortedTable(int n, int lo, int hi) {
    std::vector<T> t(n);
    // Some tables get long runs of equal entries.
    const int spread = Int(0, 3) == 0 ? 4 : hi - lo;
    const int base = Int(lo, hi - spread);
    for (T& e : t) e = static_cast<T>(base + Int(0, spread));
    std::sort(t.begin(), t.end());
    return t;
  }
  template <typename T>
  T Probe(const std::vector<T>& t, int lo, int hi) {
    if (Int(0, 2) == 0) return t[Int(0, static_cast<int>(t.size()) - 1)];  // on a breakpoint
    const int from = std::max(lo, static_cast<int>(t.front()) - 3);
    const int to = std::min(hi, static_cast<int>(t.back()) + 3);
    return static_cast<T>(Int(from, to));
  }

 private:
  std::mt19937 m_gen;
};

TEST(InterpDifferential, SearchMatchesALinearScan) {
  Random rnd(1234);
  for (int round = 0; round < 6000; ++round) {
    const int n = round < 800 ? (round % 2 ? 16 : 32) : rnd.Int(1, 40);
    if (round % 2) {
      const S16 t = rnd.SortedTable<int16_t>(n, -32768, 32767);
      const int16_t v = rnd.Probe(t, -32768, 32767);
      ASSERT_EQ(Search(t, v), LinearInterval(t, v)) << "n=" << n << " v=" << v;
    } else {
      const std::vector<uint16_t> t = rnd.SortedTable<uint16_t>(n, 0, 65535);
      const uint16_t v = rnd.Probe(t, 0, 65535);
      uint16_t lo = 0, hi = 0;
      CercaIntervallo(lo, hi, v, t.data(), static_cast<uint16_t>(n), 0);
      ASSERT_EQ(std::make_pair(int{lo}, int{hi}), LinearInterval(t, v)) << "n=" << n << " v=" << v;
    }
  }
}

TEST(InterpDifferential, OneAndTwoDimensionsMatchTheFormulas) {
  Random rnd(99);
  for (int round = 0; round < 4000; ++round) {
    const int nx = round < 400 ? 16 + 16 * (round % 2) : rnd.Int(1, 40);
    const int ny = rnd.Int(1, 40);
    const S16 xs = rnd.SortedTable<int16_t>(nx, -32768, 32767);
    const S16 ys = rnd.SortedTable<int16_t>(ny, -32768, 32767);
    S16 values(static_cast<std::size_t>(nx) * ny);
    for (int16_t& v : values) v = static_cast<int16_t>(rnd.Int(-32768, 32767));
    const int16_t x = rnd.Probe(xs, -32768, 32767), y = rnd.Probe(ys, -32768, 32767);
    const auto [lx, hx] = LinearInterval(xs, x);
    const auto [ly, hy] = LinearInterval(ys, y);
    const auto V = [&](int ix, int iy) -> int64_t { return values[iy * nx + ix]; };

    const int64_t oneD = lx == hx ? V(lx, 0) : Lerp1(x, xs[lx], xs[hx], V(lx, 0), V(hx, 0));
    ASSERT_EQ(Interp1D(x, xs.data(), values.data(), static_cast<uint16_t>(nx)), oneD) << round;

    int64_t twoD = 0;
    if (lx == hx && ly == hy) {
      twoD = V(lx, ly);
    } else if (ly == hy) {
      twoD = Lerp1(x, xs[lx], xs[hx], V(lx, ly), V(hx, ly));
    } else if (lx == hx) {
      twoD = Lerp1(y, ys[ly], ys[hy], V(lx, ly), V(lx, hy));
    } else {
      // Bilinear over the cell: sum of the corners weighted by the opposite areas.
      const int64_t num = V(lx, ly) * (xs[hx] - x) * (ys[hy] - y) + V(hx, ly) * (x - xs[lx]) * (ys[hy] - y) +
                          V(lx, hy) * (xs[hx] - x) * (y - ys[ly]) + V(hx, hy) * (x - xs[lx]) * (y - ys[ly]);
      twoD = RoundDiv(num, int64_t{xs[hx] - xs[lx]} * (ys[hy] - ys[ly]));
    }
    ASSERT_EQ(Interp2D(x, y, xs.data(), ys.data(), static_cast<uint16_t>(nx), static_cast<uint16_t>(ny),
                       values.data()),
              twoD)
        << round;

    const uint16_t nearest = GetNearest_S16(x, xs.data(), static_cast<uint16_t>(nx));
    const int expectedNearest = lx == hx ? lx : (x - xs[lx] < xs[hx] - x ? lx : hx);
    ASSERT_EQ(nearest, expectedNearest) << round;
  }
}

// Trilinear interpolation; a single breakpoint averages its (equal) samples.
// Ranges are kept where every product is exact in double precision.
TEST(InterpDifferential, ThreeDimensionsMatchTrilinearInterpolation) {
  Random rnd(7);
  for (int round = 0; round < 3000; ++round) {
    const int n[3] = {rnd.Int(1, 12), rnd.Int(1, 12), rnd.Int(1, 12)};
    S16 bp[3];
    int16_t c[3];
    std::pair<int, int> iv[3];
    for (int a = 0; a < 3; ++a) {
      bp[a] = rnd.SortedTable<int16_t>(n[a], -2000, 2000);
      c[a] = rnd.Probe(bp[a], -2000, 2000);
      iv[a] = LinearInterval(bp[a], c[a]);
    }
    S16 values(static_cast<std::size_t>(n[0]) * n[1] * n[2]);
    for (int16_t& v : values) v = static_cast<int16_t>(rnd.Int(-2000, 2000));

    int64_t num = 0;
    int64_t den = 1;
    int64_t w[3][2];
    for (int a = 0; a < 3; ++a) {
      const auto [lo, hi] = iv[a];
      if (bp[a][lo] == bp[a][hi]) {
        w[a][0] = w[a][1] = 1;
        den *= 2;
      } else {
        w[a][0] = bp[a][hi] - c[a];  // weight of the lower sample
        w[a][1] = c[a] - bp[a][lo];
        den *= bp[a][hi] - bp[a][lo];
      }
    }
    for (int corner = 0; corner < 8; ++corner) {
      const int sx = corner & 1, sy = (corner >> 1) & 1, sz = corner >> 2;
      const int ix = sx ? iv[0].second : iv[0].first;
      const int iy = sy ? iv[1].second : iv[1].first;
      const int iz = sz ? iv[2].second : iv[2].first;
      num += w[0][sx] * w[1][sy] * w[2][sz] * values[(iz * n[1] + iy) * n[0] + ix];
    }
    ASSERT_EQ(Interp3D(c[0], c[1], c[2], bp[0].data(), bp[1].data(), bp[2].data(), static_cast<uint16_t>(n[0]),
                       static_cast<uint16_t>(n[1]), static_cast<uint16_t>(n[2]), values.data()),
              RoundDiv(num, den))
        << round;
  }
}

TEST(InterpDifferential, ArrayFillIsTheStraightLine) {
  Random rnd(5);
  for (int round = 0; round < 500; ++round) {
    const int n = rnd.Int(0, 40);
    std::vector<double> a(n, -7.0);
    if (n == 0) {
      EXPECT_EQ(InterpArray(a.data(), 0), 0);
      continue;
    }
    a.front() = rnd.Int(-1000, 1000);
    a.back() = rnd.Int(-1000, 1000);
    const std::vector<double> before = a;
    ASSERT_EQ(InterpArray(a.data(), n), n);
    for (int k = 0; k < n; ++k) {
      const double expected = n < 3 ? before[k] : before.front() + (before.back() - before.front()) * k / (n - 1);
      ASSERT_NEAR(a[k], expected, 1e-9) << n << " " << k;
    }
  }
}

}  // namespace
}  // namespace tavomark::calib
