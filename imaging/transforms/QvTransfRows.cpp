#include "transforms/QvTransfRows.h"

#include <cstring>

namespace quorvane {

void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette, bool overwrite) {
  const auto xDpi = static_cast<uint16_t>(source.XDpi());
  const auto yDpi = static_cast<uint16_t>(source.YDpi());
  if (overwrite)
    dest.NewImageForOverwrite(width, height, format, palette, xDpi, yDpi);
  else
    dest.NewImage(width, height, format, palette, xDpi, yDpi);
  dest.SetXDpi(xDpi);
  dest.SetYDpi(yDpi);
}

void ClearRowPadding(TDibGraphic& image) {
  const size_t used = PixelBytes(image.Width(), image.BitCount());
  const auto bytesPerLine = static_cast<size_t>(image.BytesPerLine());
  if (used == bytesPerLine) return;
  for (int y = 0; y < image.Height(); ++y) ClearRowTail(image.ScanLine(y), used, bytesPerLine);
}

void ComplementBytes(const uint8_t* in, uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(~in[i]);
}

}  // namespace quorvane
