#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace tarvik {

// Unaligned loads of fixed-width values in a stated byte order.

inline uint16_t LoadU16BE(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint16_t LoadU16LE(const uint8_t* p) {
  return static_cast<uint16_t>((p[1] << 8) | p[0]);
}
inline int16_t LoadI16BE(const uint8_t* p) {
  return static_cast<int16_t>(LoadU16BE(p));
}
inline int16_t LoadI16LE(const uint8_t* p) {
  return static_cast<int16_t>(LoadU16LE(p));
}

inline uint32_t LoadU32BE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint32_t LoadU32LE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[1]) << 8) | static_cast<uint32_t>(p[0]);
}
inline int32_t LoadI32BE(const uint8_t* p) {
  return static_cast<int32_t>(LoadU32BE(p));
}
inline int32_t LoadI32LE(const uint8_t* p) {
  return static_cast<int32_t>(LoadU32LE(p));
}

inline uint64_t LoadU64BE(const uint8_t* p) {
  return (static_cast<uint64_t>(LoadU32BE(p)) << 32) | LoadU32BE(p + 4);
}
inline uint64_t LoadU64LE(const uint8_t* p) {
  return (static_cast<uint64_t>(LoadU32LE(p + 4)) << 32) | LoadU32LE(p);
}

inline float LoadF32BE(const uint8_t* p) {
  return std::bit_cast<float>(LoadU32BE(p));
}
inline float LoadF32LE(const uint8_t* p) {
  return std::bit_cast<float>(LoadU32LE(p));
}
inline double LoadF64BE(const uint8_t* p) {
  return std::bit_cast<double>(LoadU64BE(p));
}
inline double LoadF64LE(const uint8_t* p) {
  return std::bit_cast<double>(LoadU64LE(p));
}

inline void StoreU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU16BE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void StoreU32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace tarvik
