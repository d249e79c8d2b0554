// Nearest palette entry of a colour, for bulk mapping (dithering, row conversion).
//
// The result is that of TRgbToPaletteConverter (least squared distance, ties to the lowest
// index, 0 for an empty palette), found by searching only the entries that can be nearest for
// the 4 x 4 x 4 colour cell the colour lies in. Each cell's short list is built on first use;
// a cell with a single possible entry answers at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/QvPalette.h"

namespace quorvane {

class TNearestEntryIndex {
 public:
  // Copies the palette's first min(Count, 256) entries.
  explicit TNearestEntryIndex(const TDibPalette& palette);

  int IndexOf(int blue, int green, int red) {
    if (FCount <= 1) return 0;
    const int cell = ((red >> (8 - kCellBits)) << (2 * kCellBits)) | ((green >> (8 - kCellBits)) << kCellBits) |
                     (blue >> (8 - kCellBits));
    int32_t code = FCell[static_cast<size_t>(cell)];
    if (code == kUnbuilt) code = BuildCell(cell);
    if (code < 0) return -code - 2;  // the only entry that can be nearest in this cell
    const uint8_t* list = FPool.data() + code;
    const int n = list[0] + 1;
    int best = 0x7FFFFFFF, result = 0;
    for (int i = 1; i <= n; ++i) {
      const int e = list[i];
      const int db = blue - FBlue[e], dg = green - FGreen[e], dr = red - FRed[e];
      const int d = db * db + dg * dg + dr * dr;
      // Selects rather than branches: which entry wins is unpredictable when dithering.
      result = d < best ? e : result;
      best = d < best ? d : best;
    }
    return result;
  }

 private:
  int32_t BuildCell(int cell);

  int FCount;
  int FBlue[256], FGreen[256], FRed[256];
  static constexpr int kCellBits = 6;  // cells of 4 x 4 x 4 colours
  static constexpr int32_t kUnbuilt = -1;
  // Per cell: kUnbuilt; -(index + 2) when one entry is nearest for the whole cell; else the
  // offset of its list in FPool (entry count - 1, then the entries in index order).
  std::vector<int32_t> FCell;
  std::vector<uint8_t> FPool;
};

}  // namespace quorvane
