#include "transforms/QvTransfFormat.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvPaletteNearest.h"
#include "model/QvThreads.h"
#include "transforms/QvQuantz.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

namespace {

int PaletteCapacity(TImageFormat format) { return format == TImageFormat::Color16 ? 16 : 256; }

inline int ClampByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Every pixel to its nearest entry of Dest's palette, or copied for a TrueColor result: what
// the halftone stretch does between images of equal size. Rows run in bands on the library's
// threads, each thread with its own nearest-entry index (the index fills itself as it is asked).
// No rows are reported: after a quantizer the progress range is already used up.
void MapNearest(const TDibGraphic& source, TDibGraphic& dest) {
  const int width = source.Width(), height = source.Height();
  const bool trueColor = dest.ImageFormat() == TImageFormat::TrueColor;
  struct TScratch {
    std::vector<uint8_t> Bgr, Indices;
    std::unique_ptr<TNearestEntryIndex> Nearest;
  };
  const int threads = BandThreads(height, 4 * static_cast<size_t>(width));
  std::vector<TScratch> scratch(static_cast<size_t>(threads));
  RunRowBands(height, threads, [&](int first, int last, int slot) {
    TScratch& s = scratch[static_cast<size_t>(slot)];
    if (trueColor) {
      for (int y = first; y < last; ++y)
        std::memcpy(dest.ScanLine(y), RowAsBgr(source, y, 0, width, s.Bgr), 3 * static_cast<size_t>(width));
      return;
    }
    if (!s.Nearest) s.Nearest = std::make_unique<TNearestEntryIndex>(dest.PaletteRecord());
    s.Indices.resize(static_cast<size_t>(width));
    for (int y = first; y < last; ++y) {
      const uint8_t* p = RowAsBgr(source, y, 0, width, s.Bgr);
      for (int x = 0; x < width; ++x, p += 3)
        s.Indices[static_cast<size_t>(x)] = static_cast<uint8_t>(s.Nearest->IndexOf(p[0], p[1], p[2]));
      WriteRowIndices(dest, y, 0, width, s.Indices.data());
    }
  });
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
  const auto xDpi = static_cast<uint16_t>(source.XDpi()), yDpi = static_cast<uint16_t>(source.YDpi());
  if (UseDither && TargetFormat != TImageFormat::TrueColor) {
    dest.NewImage(source.Width(), source.Height(), TargetFormat, palette, xDpi, yDpi);
    Diffuse(source, dest);
  } else {
    // Every pixel is written: only the row padding needs clearing.
    dest.NewImageForOverwrite(source.Width(), source.Height(), TargetFormat, palette, xDpi, yDpi);
    ClearRowPadding(dest);
    MapNearest(source, dest);
  }
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
