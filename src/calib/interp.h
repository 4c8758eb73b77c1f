#pragma once
// Integer table operations for calibration curves: the interval of a sorted
// breakpoint table that brackets a value, interpolation over 16-bit tables in
// one, two and three dimensions, the nearest breakpoint, and the linear filling
// of an array between its end points. Nothing here keeps state.
//
// Breakpoint tables hold n 16-bit entries in non-decreasing order. An interval
// (lo, hi) with lo == hi means the value lies on a breakpoint (lo is then the
// first of a run of equal entries) or at or beyond an end of the table;
// lo + 1 == hi means table[lo] < v < table[hi]. Unsorted tables give
// meaningless but in-range intervals.
//
// Interpolated results are rounded half away from zero. The products that the
// device's own code forms in 32 bits (differences of up to 65535 times values
// of up to 65535) are formed here in 64 bits, so results stay exact over the
// whole 16-bit range instead of wrapping.

#include <cstdint>

namespace tavomark::calib {

// The interval of v in table[0 .. n-1] ((0, 0) when n is 0), comparing the entries as signed
// 16-bit numbers when isSigned is non-zero and as unsigned ones otherwise.
void CercaIntervallo(uint16_t& lo, uint16_t& hi, uint16_t v, const uint16_t* table, uint16_t n, int isSigned);
// The signed search. Tables of exactly 16 and 32 entries use a fixed probe
// sequence; others are halved.
void CercaIntervallo_S16(uint16_t& lo, uint16_t& hi, int16_t v, const int16_t* table, uint16_t n);

// ys at x over breakpoints xs (n entries each); 0 when n is 0. No
// extrapolation: outside the table the end values hold.
[[nodiscard]] int32_t Interp1D(int16_t x, const int16_t* xs, const int16_t* ys, uint16_t n);
// values holds ny rows of nx entries: the value at column ix, row iy is
// values[iy * nx + ix]. 0 when nx or ny is 0.
[[nodiscard]] int32_t Interp2D(int16_t x, int16_t y, const int16_t* xs, const int16_t* ys, uint16_t nx, uint16_t ny,
                               const int16_t* values);
// values holds nz planes of ny rows of nx entries:
// values[iz * nx * ny + iy * nx + ix]. 0 when any count is 0.
[[nodiscard]] int32_t Interp3D(int16_t x, int16_t y, int16_t z, const int16_t* xs, const int16_t* ys,
                               const int16_t* zs, uint16_t nx, uint16_t ny, uint16_t nz, const int16_t* values);
// Index of the breakpoint nearest to v (a tie goes to the upper one); 0 when n is 0.
[[nodiscard]] uint16_t GetNearest_S16(int16_t v, const int16_t* table, uint16_t n);
// Fills a[1 .. n-2] on the straight line from a[0] to a[n-1]; nothing below
// three entries. Returns n.
int32_t InterpArray(double* a, int32_t n);

// Half away from zero, then toward zero: 2.5 -> 3, -0.5 -> -1.
[[nodiscard]] int32_t RoundHalfAway(double q);

}  // namespace tavomark::calib
