// Nearest palette entry of a colour, for bulk mapping (dithering, row conversion).
//
// The result is that of TRgbToPaletteConverter (least squared distance, ties to the lowest
// index, 0 for an empty palette), found by searching only the entries that can be nearest for
// the 8 x 8 x 8 colour cell the colour lies in. Each cell's short list is built on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/QvPalette.h"

class TNearestEntryIndex {
 public:
  // Copies the palette's first min(Count, 256) entries.
  explicit TNearestEntryIndex(const TDibPalette& palette);

  int IndexOf(int blue, int green, int red) {
    if (FCount <= 1) return 0;
    const int cell = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
    int32_t start = FCellStart[static_cast<size_t>(cell)];
    if (start < 0) start = BuildCell(cell);
    const uint8_t* list = FPool.data() + start;
    const int n = list[0] + 1;
    int best = 0x7FFFFFFF, result = 0;
    for (int i = 1; i <= n; ++i) {
      const int e = list[i];
      const int db = blue - FBlue[e], dg = green - FGreen[e], dr = red - FRed[e];
      const int d = db * db + dg * dg + dr * dr;
      if (d < best) {
        best = d;
        result = e;
      }
    }
    return result;
  }

 private:
  int32_t BuildCell(int cell);

  int FCount;
  int FBlue[256], FGreen[256], FRed[256];
  std::vector<int32_t> FCellStart;  // offset of the cell's list in FPool, -1 until built
  std::vector<uint8_t> FPool;       // per cell: entry count - 1, then the entries in index order
};
