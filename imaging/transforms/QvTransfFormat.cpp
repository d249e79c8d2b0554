#include "transforms/QvTransfFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvPaletteNearest.h"
#include "transforms/QvQuantz.h"

namespace quorvane {

namespace {

int PaletteCapacity(TImageFormat format) { return format == TImageFormat::Color16 ? 16 : 256; }

inline int ClampByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Every pixel to its nearest entry of Dest's palette, or copied for a TrueColor result: what
// the halftone stretch does between images of equal size.
void MapNearest(const TDibGraphic& source, TDibGraphic& dest) {
  const int width = source.Width(), height = source.Height();
  std::vector<uint8_t> scratch;
  if (dest.ImageFormat() == TImageFormat::TrueColor) {
    for (int y = 0; y < height; ++y)
      std::memcpy(dest.ScanLine(y), RowAsBgr(source, y, 0, width, scratch), 3 * static_cast<size_t>(width));
    return;
  }
  TNearestEntryIndex nearest(dest.PaletteRecord());
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = RowAsBgr(source, y, 0, width, scratch);
    for (int x = 0; x < width; ++x, p += 3)
      indices[static_cast<size_t>(x)] = static_cast<uint8_t>(nearest.IndexOf(p[0], p[1], p[2]));
    WriteRowIndices(dest, y, 0, width, indices.data());
  }
}

}  // namespace

void TImageFormatTransform::Apply(TDibGraphic& image) {
  if (image.ImageFormat() != TargetFormat) TImageTransform::Apply(image);
}

void TImageFormatTransform::RelayProgress(TImageTransform*, int percent) {
  PreviousPercent = ReportProgress(this, percent, 0, UseDither ? 200 : 99, PreviousPercent, OnProgress);
}

void TImageFormatTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const TDibPalette* palette = nullptr;
  if (TargetFormat == TImageFormat::Color16 || TargetFormat == TImageFormat::Color256) {
    const int capacity = PaletteCapacity(TargetFormat);
    if (UseQuantizer) {
      QuantizePalette(source, TargetPalette, static_cast<uint16_t>(capacity), PreviousPercent,
                      [this](TImageTransform* sender, int percent) { RelayProgress(sender, percent); });
    } else if (TargetPalette.Count == 0 || TargetPalette.Count > capacity) {
      // An empty palette, or one the format cannot hold, gives way to the fixed table.
      TargetPalette = DefaultPalette(TargetFormat);
    }
    palette = &TargetPalette;
  }
  dest.NewImage(source.Width(), source.Height(), TargetFormat, palette, static_cast<uint16_t>(source.XDpi()),
                static_cast<uint16_t>(source.YDpi()));
  if (UseDither && TargetFormat != TImageFormat::TrueColor)
    Diffuse(source, dest);
  else
    MapNearest(source, dest);
}

// Floyd-Steinberg error diffusion. Per channel, Current holds the row being mapped (clamped to
// bytes) and Next the errors collected for the row below (unclamped until that row is loaded).
// The first and last pixel of a row receive errors but pass none on.
void TImageFormatTransform::Diffuse(const TDibGraphic& source, TDibGraphic& dest) {
  const int width = source.Width(), height = source.Height();
  const size_t n = 3 * static_cast<size_t>(width);
  std::vector<int32_t> current(n, 0), next(n, 0);
  std::vector<uint8_t> indices(static_cast<size_t>(width)), scratch;
  TNearestEntryIndex nearest(dest.PaletteRecord());
  const auto& entries = dest.PaletteRecord().Entries;
  int32_t* c = current.data();
  int32_t* e1 = next.data();

  for (int y = 0; y < height; ++y) {
    if (UseQuantizer)
      StepProgress(y + (height - 1 - y) / 2, 0, height - 1);
    else
      StepProgress(y, 0, height - 1);

    const uint8_t* p = RowAsBgr(source, y, 0, width, scratch);
    for (size_t j = 0; j < n; ++j) {
      c[j] = ClampByte(e1[j] + p[j]);
      e1[j] = 0;
    }
    indices[0] = static_cast<uint8_t>(nearest.IndexOf(c[0], c[1], c[2]));
    for (int x = 1; x < width - 1; ++x) {
      int32_t* cx = c + 3 * static_cast<size_t>(x);
      int32_t* nx = e1 + 3 * static_cast<size_t>(x);
      const int index = nearest.IndexOf(cx[0], cx[1], cx[2]);
      indices[static_cast<size_t>(x)] = static_cast<uint8_t>(index);
      const TPaletteEntry& a = entries[static_cast<size_t>(index)];
      const int32_t stored[3] = {a.Blue, a.Green, a.Red};
      for (int k = 0; k < 3; ++k) {
        const int32_t e = cx[k] - stored[k];
        cx[k + 3] = ClampByte(cx[k + 3] + (7 * e) / 16);
        nx[k - 3] += (3 * e) / 16;
        nx[k] += (5 * e) / 16;
        nx[k + 3] += e / 16;
      }
    }
    const int32_t* last = c + 3 * static_cast<size_t>(width - 1);
    indices[static_cast<size_t>(width - 1)] = static_cast<uint8_t>(nearest.IndexOf(last[0], last[1], last[2]));
    WriteRowIndices(dest, y, 0, width, indices.data());
  }
}

}  // namespace quorvane
