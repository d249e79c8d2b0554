// Hand-built file bytes: little-endian fields appended to a buffer or read at an offset (the core's
// own helpers, model/QvBytes.h), and big-endian ones for the formats that store them so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "model/QvBytes.h"

namespace qvtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) { quorvane::AppendLe16(b, v); }
inline void Put32(Bytes& b, uint32_t v) { quorvane::AppendLe32(b, v); }
inline void Append(Bytes& b, std::initializer_list<int> values) {
  for (int v : values) b.push_back(static_cast<uint8_t>(v));
}
inline uint16_t Get16(const Bytes& b, size_t at) { return quorvane::GetLe16(b.data() + at); }
inline uint32_t Get32(const Bytes& b, size_t at) { return quorvane::GetLe32(b.data() + at); }
inline uint32_t Be32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

}  // namespace qvtest
