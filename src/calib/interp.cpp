#include "interp.h"

#include <cstddef>

namespace tavomark::calib {

namespace {

// The first index of the run of entries equal to table[at] that ends at at.
template <typename T>
uint16_t RunStart(const T* table, uint16_t at) {
  while (at > 0 && table[at - 1] == table[at]) --at;
  return at;
}

// A fixed probe sequence for 16 (start 7, step 4) and 32 (start 15, step 8)
// entries: a binary search that needs no index arithmetic but an add.
template <typename T>
void ProbeSearch(uint16_t& lo, uint16_t& hi, T v, const T* table, int start, int step) {
  int i = start;
  while (table[i] != v) {
    i += table[i] > v ? -step : step;
    step /= 2;
    if (step == 0) break;
  }
  if (table[i] == v) {
    lo = hi = RunStart(table, static_cast<uint16_t>(i));
  } else if (table[i] > v) {
    lo = static_cast<uint16_t>(i - 1);
    hi = static_cast<uint16_t>(i);
  } else {
    lo = static_cast<uint16_t>(i);
    hi = static_cast<uint16_t>(i + 1);
  }
}

template <typename T>
void HalvingSearch(uint16_t& lo, uint16_t& hi, T v, const T* table, uint16_t n) {
  uint32_t low = 0;
  uint32_t high = n - 1u;
  uint32_t span = n;
  while (span > 1) {
    const uint32_t mid = low + span / 2;
    if (table[mid] == v) {
      lo = hi = RunStart(table, static_cast<uint16_t>(mid));
      return;
    }
    if (table[mid] < v) {
      low = mid;
    } else {
      high = mid;
    }
    span = high - low;
  }
  lo = static_cast<uint16_t>(low);
  hi = static_cast<uint16_t>(high);
}

template <typename T>
void Search(uint16_t& lo, uint16_t& hi, T v, const T* table, uint16_t n) {
  // An empty table is the caller's mistake; it reads nothing.
  if (n == 0 || table[0] >= v) {
    lo = hi = 0;
  } else if (table[n - 1] <= v) {
    lo = hi = RunStart(table, static_cast<uint16_t>(n - 1));
  } else if (n == 16) {
    ProbeSearch(lo, hi, v, table, 7, 4);
  } else if (n == 32) {
    ProbeSearch(lo, hi, v, table, 15, 8);
  } else {
    HalvingSearch(lo, hi, v, table, n);
  }
}

// Weights of one axis of the 3D interpolation: on a bracketed interval the
// distances to both ends and the interval's width; on a single breakpoint equal
// weights over a width of 2, which averages the two (identical) samples.
struct AxisWeights {
  int64_t a = 1;  // coordinate - breakpoint[lo]
  int64_t b = 1;  // breakpoint[hi] - coordinate
  int64_t d = 2;  // breakpoint[hi] - breakpoint[lo]
};

AxisWeights Weights(int16_t c, const int16_t* bp, uint16_t lo, uint16_t hi) {
  if (bp[lo] == bp[hi]) return {};
  return {int64_t{c} - bp[lo], int64_t{bp[hi]} - c, int64_t{bp[hi]} - bp[lo]};
}

}  // namespace

int32_t RoundHalfAway(double q) {
  return static_cast<int32_t>(q >= 0.0 ? q + 0.5 : q - 0.5);
}

void CercaIntervallo(uint16_t& lo, uint16_t& hi, uint16_t v, const uint16_t* table, uint16_t n, int isSigned) {
  if (isSigned != 0) {
    // int16_t and uint16_t may alias each other: they are the signed and
    // unsigned forms of one type.
    CercaIntervallo_S16(lo, hi, static_cast<int16_t>(v), reinterpret_cast<const int16_t*>(table), n);
  } else {
    Search(lo, hi, v, table, n);
  }
}

void CercaIntervallo_S16(uint16_t& lo, uint16_t& hi, int16_t v, const int16_t* table, uint16_t n) {
  Search(lo, hi, v, table, n);
}

int32_t Interp1D(int16_t x, const int16_t* xs, const int16_t* ys, uint16_t n) {
  if (n == 0) return 0;
  uint16_t lo = 0;
  uint16_t hi = 0;
  CercaIntervallo_S16(lo, hi, x, xs, n);
  if (lo == hi) return ys[lo];
  const int64_t numerator = (int64_t{x} - xs[lo]) * (int64_t{ys[hi]} - ys[lo]);
  const int64_t denominator = int64_t{xs[hi]} - xs[lo];
  return ys[lo] + RoundHalfAway(static_cast<double>(numerator) / static_cast<double>(denominator));
}

int32_t Interp2D(int16_t x, int16_t y, const int16_t* xs, const int16_t* ys, uint16_t nx, uint16_t ny,
                 const int16_t* values) {
  if (nx == 0 || ny == 0) return 0;
  uint16_t lx = 0, hx = 0, ly = 0, hy = 0;
  CercaIntervallo_S16(lx, hx, x, xs, nx);
  CercaIntervallo_S16(ly, hy, y, ys, ny);
  const auto v = [&](uint16_t ix, uint16_t iy) -> int64_t { return values[std::size_t{iy} * nx + ix]; };

  if (lx == hx && ly == hy) return static_cast<int32_t>(v(lx, ly));
  if (ly == hy) {
    const int64_t numerator = (v(hx, ly) - v(lx, ly)) * (int64_t{x} - xs[lx]);
    const double q = static_cast<double>(numerator) / static_cast<double>(int64_t{xs[hx]} - xs[lx]);
    return static_cast<int32_t>(v(lx, ly)) + RoundHalfAway(q);
  }
  if (lx == hx) {
    const int64_t numerator = (v(lx, hy) - v(lx, ly)) * (int64_t{y} - ys[ly]);
    const double q = static_cast<double>(numerator) / static_cast<double>(int64_t{ys[hy]} - ys[ly]);
    return static_cast<int32_t>(v(lx, ly)) + RoundHalfAway(q);
  }
  const int64_t dx1 = int64_t{x} - xs[lx];
  const int64_t dx2 = int64_t{xs[hx]} - x;
  const int64_t dy1 = int64_t{y} - ys[ly];
  const int64_t dy2 = int64_t{ys[hy]} - y;
  const int64_t lowRow = v(lx, ly) * dx2 + v(hx, ly) * dx1;
  const int64_t highRow = v(lx, hy) * dx2 + v(hx, hy) * dx1;
  const int64_t denominator = (int64_t{ys[hy]} - ys[ly]) * (int64_t{xs[hx]} - xs[lx]);
  const double numerator =
      static_cast<double>(dy2) * static_cast<double>(lowRow) + static_cast<double>(dy1) * static_cast<double>(highRow);
  return RoundHalfAway(numerator / static_cast<double>(denominator));
}

int32_t Interp3D(int16_t x, int16_t y, int16_t z, const int16_t* xs, const int16_t* ys, const int16_t* zs,
                 uint16_t nx, uint16_t ny, uint16_t nz, const int16_t* values) {
  if (nx == 0 || ny == 0 || nz == 0) return 0;
  uint16_t lx = 0, hx = 0, ly = 0, hy = 0, lz = 0, hz = 0;
  CercaIntervallo_S16(lx, hx, x, xs, nx);
  CercaIntervallo_S16(ly, hy, y, ys, ny);
  CercaIntervallo_S16(lz, hz, z, zs, nz);
  const AxisWeights wx = Weights(x, xs, lx, hx);
  const AxisWeights wy = Weights(y, ys, ly, hy);
  const AxisWeights wz = Weights(z, zs, lz, hz);
  const std::size_t plane = std::size_t{nx} * ny;
  const auto v = [&](uint16_t ix, uint16_t iy, uint16_t iz) -> double {
    return values[iz * plane + std::size_t{iy} * nx + ix];
  };
  const auto planeSum = [&](uint16_t iz) {
    return static_cast<double>(wy.a * wx.b) * v(lx, hy, iz) + static_cast<double>(wy.a * wx.a) * v(hx, hy, iz) +
           static_cast<double>(wy.b * wx.a) * v(hx, ly, iz) + static_cast<double>(wy.b * wx.b) * v(lx, ly, iz);
  };
  const double q = (static_cast<double>(wz.b) * planeSum(lz) + static_cast<double>(wz.a) * planeSum(hz)) /
                   (static_cast<double>(wx.d) * static_cast<double>(wy.d) * static_cast<double>(wz.d));
  return RoundHalfAway(q);
}

uint16_t GetNearest_S16(int16_t v, const int16_t* table, uint16_t n) {
  if (n == 0) return 0;
  uint16_t lo = 0;
  uint16_t hi = 0;
  CercaIntervallo_S16(lo, hi, v, table, n);
  if (lo == hi) return lo;
  return int32_t{v} - table[lo] < int32_t{table[hi]} - v ? lo : hi;
}

int32_t InterpArray(double* a, int32_t n) {
  if (n < 3) return n;
  const double first = a[0];
  const double span = a[n - 1] - a[0];
  for (int32_t k = 1; k < n - 1; ++k) a[k] = first + (span * k) / (n - 1);
  return n;
}

}  // namespace tavomark::calib
