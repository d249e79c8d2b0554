#include "model/QvPaletteNearest.h"

#include <algorithm>

namespace quorvane {

namespace {

// Squared distance from V to the nearest and to the farthest point of [Lo, Hi].
int NearSquare(int v, int lo, int hi) {
  const int d = v < lo ? lo - v : v > hi ? v - hi : 0;
  return d * d;
}
int FarSquare(int v, int lo, int hi) {
  const int d = std::max(v - lo, hi - v);
  return d * d;
}

}  // namespace

TNearestEntryIndex::TNearestEntryIndex(const TDibPalette& palette)
    : FCount(std::min<int>(palette.Count, 256)), FCell(size_t{1} << (3 * kCellBits), kUnbuilt) {
  for (int i = 0; i < FCount; ++i) {
    FBlue[i] = palette.Entries[static_cast<size_t>(i)].Blue;
    FGreen[i] = palette.Entries[static_cast<size_t>(i)].Green;
    FRed[i] = palette.Entries[static_cast<size_t>(i)].Red;
  }
}

int32_t TNearestEntryIndex::BuildCell(int cell) {
  constexpr int mask = (1 << kCellBits) - 1, shift = 8 - kCellBits, span = (1 << shift) - 1;
  const int b0 = (cell & mask) << shift, g0 = ((cell >> kCellBits) & mask) << shift,
            r0 = ((cell >> (2 * kCellBits)) & mask) << shift;
  // No colour of the cell is farther than Bound from the entry whose farthest point is nearest,
  // so an entry whose nearest point lies beyond Bound is never the nearest entry.
  int bound = 0x7FFFFFFF;
  for (int e = 0; e < FCount; ++e) {
    const int far =
        FarSquare(FBlue[e], b0, b0 + span) + FarSquare(FGreen[e], g0, g0 + span) + FarSquare(FRed[e], r0, r0 + span);
    bound = std::min(bound, far);
  }
  const auto start = static_cast<int32_t>(FPool.size());
  FPool.push_back(0);
  for (int e = 0; e < FCount; ++e) {
    const int near =
        NearSquare(FBlue[e], b0, b0 + span) + NearSquare(FGreen[e], g0, g0 + span) + NearSquare(FRed[e], r0, r0 + span);
    if (near <= bound) FPool.push_back(static_cast<uint8_t>(e));
  }
  const size_t listed = FPool.size() - static_cast<size_t>(start) - 1;
  int32_t code = start;
  if (listed == 1) {
    code = -static_cast<int32_t>(FPool.back()) - 2;
    FPool.resize(static_cast<size_t>(start));
  } else {
    FPool[static_cast<size_t>(start)] = static_cast<uint8_t>(listed - 1);
  }
  FCell[static_cast<size_t>(cell)] = code;
  return code;
}

}  // namespace quorvane
