#include "transforms/QvTransfRows.h"

#include <cstring>

void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette) {
  const auto xDpi = static_cast<uint16_t>(source.XDpi());
  const auto yDpi = static_cast<uint16_t>(source.YDpi());
  dest.NewImage(width, height, format, palette, xDpi, yDpi);
  dest.SetXDpi(xDpi);
  dest.SetYDpi(yDpi);
}

void ComplementBytes(uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
}
