// Row helpers shared by the transform units: allocating a result like its source, complementing
// bytes, mapping bytes through a table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphRows.h"

namespace quorvane {

// Dest = NewImage(Width, Height, Format, Palette) with Source's resolution (a resolution of 0
// stays 0, as Assign keeps it).
void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette);
// The same through NewImageForOverwrite: the caller writes every pixel byte of every row and
// calls ClearRowPadding (or writes the padding itself).
void NewImageForOverwriteLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                              const TDibPalette* palette);
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

// Bytes[i] = ~Bytes[i] for Count bytes.
void ComplementBytes(uint8_t* bytes, size_t count);

}  // namespace quorvane
