#include "scan/QvScanPage.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "formats/QvDiGrphDib.h"
#include "formats/QvPdfGr.h"
#include "formats/QvTifGr.h"

namespace quorvane {

void LoadScannedPage(TDibGraphic& image, TW_HANDLE page, uint16_t xDpi, uint16_t yDpi) {
  LoadFromDibHandle(image, QvMemLock(page), QvMemSize(page));
  image.SetXDpi(xDpi);
  image.SetYDpi(yDpi);
}

void ApplyScanCompression(TDibGraphic& image) {
  if (auto* tiff = dynamic_cast<TTiffGraphic*>(&image))
    tiff->SetCompression(DefaultSaveCompression(image.ImageFormat()));
}

namespace {

bool IsGrayLevels(const TDibGraphic& image) {
  const auto& entries = image.PaletteRecord().Entries;
  for (size_t i = 0; i < entries.size(); ++i)
    if (static_cast<size_t>(entries[i].Red) != i || static_cast<size_t>(entries[i].Green) != i ||
        static_cast<size_t>(entries[i].Blue) != i)
      return false;
  return true;
}

}  // namespace

void PrepareScannedPage(TDibGraphic& image) {
  ApplyScanCompression(image);
  if (!dynamic_cast<TPdfGraphic*>(&image) || image.ImageFormat() != TImageFormat::Color256 || !IsGrayLevels(image))
    return;
  TDibGraphic gray;
  gray.NewImage(image.Width(), image.Height(), TImageFormat::Gray256, nullptr, static_cast<uint16_t>(image.XDpi()),
                static_cast<uint16_t>(image.YDpi()));
  const auto& source = image;
  for (int y = 0; y < image.Height(); ++y)
    std::memcpy(gray.ScanLine(y), source.ScanLine(y), static_cast<size_t>(image.Width()));
  image.TakeImage(gray);
}

namespace {

bool IsDark(unsigned red, unsigned green, unsigned blue) { return 299 * red + 587 * green + 114 * blue < 128000; }

}  // namespace

double DarkPixelPercent(const TDibGraphic& image) {
  const int width = image.Width();
  const int height = image.Height();
  if (width <= 0 || height <= 0) return 0;
  const int bits = ImageFormatBits(image.ImageFormat());
  std::array<bool, 256> darkEntry{};
  if (bits <= 8) {
    const TDibPalette& palette = image.PaletteRecord();
    for (size_t i = 0; i < darkEntry.size(); ++i)
      darkEntry[i] = IsDark(palette.Entries[i].Red, palette.Entries[i].Green, palette.Entries[i].Blue);
  }
  uint64_t dark = 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      switch (bits) {
        case 1: dark += darkEntry[(row[x / 8] >> (7 - x % 8)) & 1u]; break;
        case 4: dark += darkEntry[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15u]; break;
        case 8: dark += darkEntry[row[x]]; break;
        default: {
          const uint8_t* pixel = row + 3 * static_cast<size_t>(x);
          dark += IsDark(pixel[2], pixel[1], pixel[0]);
        }
      }
    }
  }
  return 100.0 * static_cast<double>(dark) / (static_cast<double>(width) * height);
}

}  // namespace quorvane
