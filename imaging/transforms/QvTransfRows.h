// Row helpers shared by the transform units: allocating a result like its source, clearing row
// padding, complementing bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphRows.h"

namespace quorvane {

// Dest = NewImage(Width, Height, Format, Palette) with Source's resolution (a resolution of 0
// stays 0, as Assign keeps it).
// With Overwrite the block is allocated through NewImageForOverwrite: the caller writes every
// pixel byte of every row and calls ClearRowPadding (or writes the padding itself).
void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette, bool overwrite = false);
inline void NewImageForOverwriteLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height,
                                     TImageFormat format, const TDibPalette* palette) {
  NewImageLike(dest, source, width, height, format, palette, true);
}
// Bytes of a row of Width pixels of Bits each that hold pixels (the rest is padding).
inline size_t PixelBytes(int width, int bits) {
  return static_cast<size_t>((static_cast<int64_t>(width) * bits + 7) / 8);
}
// Zeroes the bytes of every row after its last pixel byte.
void ClearRowPadding(TDibGraphic& image);
// Zeroes the bytes of Row (BytesPerLine long) after its first Used bytes.
inline void ClearRowTail(uint8_t* row, size_t used, size_t bytesPerLine) {
  for (size_t i = used; i < bytesPerLine; ++i) row[i] = 0;
}

// Out[i] = ~In[i] for Count bytes (In and Out may be the same).
void ComplementBytes(const uint8_t* in, uint8_t* out, size_t count);

}  // namespace quorvane
