#include "support/PictureCompare.h"

#include <cstdlib>
#include <cstring>

namespace qvtest {

using namespace quorvane;

namespace {

::testing::AssertionResult SizeDiffers(int aw, int ah, int bw, int bh) {
  return ::testing::AssertionFailure() << "size " << aw << "x" << ah << ", expected " << bw << "x" << bh;
}

}  // namespace

::testing::AssertionResult SamePicture(const TDibGraphic& actual, const TDibGraphic& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height())
    return SizeDiffers(actual.Width(), actual.Height(), expected.Width(), expected.Height());
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x)
      if (actual.GetPixel(x, y) != expected.GetPixel(x, y))
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                             << actual.GetPixel(x, y) << ", expected " << expected.GetPixel(x, y);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameIndices(const TDibGraphic& actual, const TDibGraphic& expected) {
  if (auto same = SamePicture(actual, expected); !same) return same;
  if (actual.BitCount() == 24 || expected.BitCount() == 24) return ::testing::AssertionSuccess();
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x)
      if (actual.GetPixelIndex(x, y) != expected.GetPixelIndex(x, y))
        return ::testing::AssertionFailure() << "index (" << x << "," << y << ") is " << actual.GetPixelIndex(x, y)
                                             << ", expected " << expected.GetPixelIndex(x, y);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameImage(const TDibGraphic& a, const TDibGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return SizeDiffers(a.Width(), a.Height(), b.Width(), b.Height());
  if (a.ImageFormat() != b.ImageFormat()) return ::testing::AssertionFailure() << "format differs";
  if (a.XDpi() != b.XDpi() || a.YDpi() != b.YDpi()) return ::testing::AssertionFailure() << "resolution differs";
  if (a.ImageFormat() != TImageFormat::TrueColor) {
    if (a.PaletteRecord().Count != b.PaletteRecord().Count) return ::testing::AssertionFailure() << "palette count";
    for (int i = 0; i < a.PaletteRecord().Count; ++i)
      if (!(a.PaletteRecord().Entries[static_cast<size_t>(i)] == b.PaletteRecord().Entries[static_cast<size_t>(i)]))
        return ::testing::AssertionFailure() << "palette entry " << i;
  }
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.BytesPerLine())) != 0) {
      for (int x = 0; x < a.Width(); ++x)
        if (a.GetPixel(x, y) != b.GetPixel(x, y))
          return ::testing::AssertionFailure()
                 << "pixel (" << x << ", " << y << ") " << std::hex << a.GetPixel(x, y) << " vs " << b.GetPixel(x, y);
      return ::testing::AssertionFailure() << "row " << y << " differs in its padding";
    }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SamePixels(const TRgbPicture& ours, const TRgbPicture& theirs, int tolerance) {
  if (ours.Width != theirs.Width || ours.Height != theirs.Height || ours.Rgb.size() != theirs.Rgb.size())
    return SizeDiffers(ours.Width, ours.Height, theirs.Width, theirs.Height);
  for (int y = 0; y < ours.Height; ++y)
    for (int x = 0; x < ours.Width; ++x) {
      const uint8_t* a = ours.At(x, y);
      const uint8_t* b = theirs.At(x, y);
      for (int c = 0; c < 3; ++c)
        if (std::abs(a[c] - b[c]) > tolerance)
          return ::testing::AssertionFailure()
                 << "pixel (" << x << ", " << y << "): ours " << int(a[0]) << "," << int(a[1]) << "," << int(a[2])
                 << ", theirs " << int(b[0]) << "," << int(b[1]) << "," << int(b[2]);
    }
  return ::testing::AssertionSuccess();
}

}  // namespace qvtest
