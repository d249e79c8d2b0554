// Images and comparisons shared by the transform tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "support/ErrorMessage.h"
#include "support/PictureCompare.h"
#include "transforms/QvTransf.h"

using namespace quorvane;

inline const TImageFormat kAllFormats[] = {TImageFormat::BlackWhite, TImageFormat::Gray16,   TImageFormat::Gray256,
                                           TImageFormat::Color16,    TImageFormat::Color256, TImageFormat::TrueColor};

inline std::string FormatLabel(TImageFormat f) { return ImageFormatName(f); }

// A W x H image of random pixels. Colour palettes are random too (so that inverted or mapped
// entries are not accidentally the default ones); gray and black-and-white keep their defaults.
inline void FillRandom(TDibGraphic& image, TImageFormat format, int w, int h, unsigned seed, int xDpi = 150,
                       int yDpi = 75) {
  std::mt19937 rng(seed);
  TDibPalette palette = DefaultPalette(format);
  if (format == TImageFormat::Color16 || format == TImageFormat::Color256)
    for (int i = 0; i < palette.Count; ++i) palette.Entries[static_cast<size_t>(i)] = EntryOf(rng() & 0xFFFFFF);
  image.NewImage(w, h, format, format == TImageFormat::TrueColor ? nullptr : &palette, static_cast<uint16_t>(xDpi),
                 static_cast<uint16_t>(yDpi));
  const int levels = format == TImageFormat::TrueColor ? 0 : 1 << image.BitCount();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (levels)
        image.SetPixelIndex(x, y, static_cast<int>(rng() % static_cast<unsigned>(levels)));
      else
        image.SetPixel(x, y, rng() & 0xFFFFFF);
    }
}

using qvtest::SameImage;

// Reads pixel (X, Y) as the geometric transforms copy it: the index, or the colour of TrueColor.
inline uint32_t RawPixel(const TDibGraphic& image, int x, int y) {
  return image.ImageFormat() == TImageFormat::TrueColor ? image.GetPixel(x, y)
                                                        : static_cast<uint32_t>(image.GetPixelIndex(x, y));
}
inline void SetRawPixel(TDibGraphic& image, int x, int y, uint32_t v) {
  if (image.ImageFormat() == TImageFormat::TrueColor)
    image.SetPixel(x, y, v);
  else
    image.SetPixelIndex(x, y, static_cast<int>(v));
}

// Records every progress report.
struct TProgressLog {
  std::vector<int> Percents;
  void Hook(TImageTransform& t) {
    t.OnProgress = [this](TImageTransform*, int percent) { Percents.push_back(percent); };
  }
};

using qvtest::MessageOf;
