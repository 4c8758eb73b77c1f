#pragma once
// Little-endian reading and writing of the file formats' integers and doubles.
// Files never see a struct's in-memory layout: every field goes through here.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tavomark {

inline void PutU8(uint8_t* p, uint8_t v) { p[0] = v; }

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void PutF32(uint8_t* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }
inline void PutF64(uint8_t* p, double v) { PutU64(p, std::bit_cast<uint64_t>(v)); }

inline uint8_t GetU8(const uint8_t* p) { return p[0]; }

inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetU32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline uint64_t GetU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline float GetF32(const uint8_t* p) { return std::bit_cast<float>(GetU32(p)); }
inline double GetF64(const uint8_t* p) { return std::bit_cast<double>(GetU64(p)); }

// Copies a fixed-size text field to or from its bytes in a file slot.
template <std::size_t N>
void PutChars(uint8_t* p, const char (&field)[N]) {
  std::memcpy(p, field, N);
}
template <std::size_t N>
void GetChars(const uint8_t* p, char (&field)[N]) {
  std::memcpy(field, p, N);
}

}  // namespace tavomark
