// Picture comparisons shared by every test program (the static library quorvane_test_support).
// Each returns a gtest assertion result whose message names the first difference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "model/QvDiGrph.h"

namespace qvtest {

using quorvane::TDibGraphic;

// Same size, and every pixel has the same colour (formats and palettes may differ).
::testing::AssertionResult SamePicture(const TDibGraphic& actual, const TDibGraphic& expected);

// As SamePicture and, when both are palette images, the same indices.
::testing::AssertionResult SameIndices(const TDibGraphic& actual, const TDibGraphic& expected);

// Same size, format, palette, resolution and stored bytes (row padding included).
::testing::AssertionResult SameImage(const TDibGraphic& actual, const TDibGraphic& expected);

// A picture as 8-bit red, green, blue triples, rows top to bottom (what other programs dump).
struct TRgbPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
  const uint8_t* At(int x, int y) const { return &Rgb[(static_cast<size_t>(y) * Width + x) * 3]; }
  uint8_t* At(int x, int y) { return &Rgb[(static_cast<size_t>(y) * Width + x) * 3]; }
};

// Same size and every channel within Tolerance (0: equal).
::testing::AssertionResult SamePixels(const TRgbPicture& ours, const TRgbPicture& theirs, int tolerance = 0);

}  // namespace qvtest
