// Hand-built Windows bitmaps: the information header and the file around it, for the tests of
// the readers' handling of header variants and run-length data.
#pragma once

#include <cstdint>

#include "support/TestBytes.h"

namespace qvtest {

// A Windows bitmap information header of 40 bytes (one plane, no resolution, every colour
// important), appended to B.
inline void PutBitmapInfoHeader(Bytes& b, uint32_t headerSize, int width, int height, int bits, uint32_t compression,
                                uint32_t imageSize = 0, uint32_t coloursUsed = 0) {
  Put32(b, headerSize);
  Put32(b, static_cast<uint32_t>(width));
  Put32(b, static_cast<uint32_t>(height));
  Put16(b, 1);
  Put16(b, static_cast<uint32_t>(bits));
  Put32(b, compression);
  Put32(b, imageSize);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, coloursUsed);
  Put32(b, 0);
}

// A bitmap file: the file header, then Info (an information header), Palette and Pixels; the data
// offset points right after the palette.
inline Bytes BitmapFile(const Bytes& info, const Bytes& palette, const Bytes& pixels) {
  Bytes b = {'B', 'M'};
  const uint32_t offset = static_cast<uint32_t>(14 + info.size() + palette.size());
  Put32(b, static_cast<uint32_t>(offset + pixels.size()));
  Put32(b, 0);
  Put32(b, offset);
  b.insert(b.end(), info.begin(), info.end());
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace qvtest
