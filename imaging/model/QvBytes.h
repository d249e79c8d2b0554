// Little-endian 16 and 32-bit fields, as the bitmap, icon, DCX and scanner page headers store them.
// The caller checks that the bytes are there; these only assemble and split the values.
// Header only, so that modules which link none of the library (the source-manager module) can use it.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvane {

constexpr uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
constexpr uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v & 0xFFFF);
  PutLe16(p + 2, v >> 16);
}

inline void AppendLe16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<uint8_t>& b, uint32_t v) {
  AppendLe16(b, v & 0xFFFF);
  AppendLe16(b, v >> 16);
}

}  // namespace quorvane
