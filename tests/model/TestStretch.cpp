#include <gtest/gtest.h>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphStretch.h"

#include <cstring>
#include <string>

using namespace quorvane;

namespace {

void Fill(TDibGraphic& image, TColorValue (*color)(int x, int y)) {
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) image.SetPixel(x, y, color(x, y));
}

TEST(Stretch, ColorOnColorSamplesTheNearestPixel) {
  TDibGraphic source, dest;
  source.NewImage(3, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  Fill(source, [](int x, int y) { return PackColor(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7); });
  dest.NewImage(6, 4, TImageFormat::TrueColor, nullptr, 0, 0);
  StretchImage(source, {0, 0, 3, 2}, dest, {0, 0, 6, 4}, TStretchMode::smColorOnColor);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(dest.GetPixel(x, y), PackColor(x / 2, y / 2, 7)) << x << "," << y;

  // Shrinking by three samples the middle pixel of each group.
  TDibGraphic wide, narrow;
  wide.NewImage(9, 1, TImageFormat::Gray256, nullptr, 0, 0);
  for (int x = 0; x < 9; ++x) wide.SetPixelIndex(x, 0, x * 10);
  narrow.NewImage(3, 1, TImageFormat::Gray256, nullptr, 0, 0);
  StretchImage(wide, {0, 0, 9, 1}, narrow, {0, 0, 3, 1}, TStretchMode::smColorOnColor);
  EXPECT_EQ(narrow.GetPixelIndex(0, 0), 10);
  EXPECT_EQ(narrow.GetPixelIndex(1, 0), 40);
  EXPECT_EQ(narrow.GetPixelIndex(2, 0), 70);
}

TEST(Stretch, HalftoneAveragesWhenShrinking) {
  TDibGraphic source, dest;
  source.NewImage(4, 4, TImageFormat::TrueColor, nullptr, 0, 0);
  Fill(source, [](int x, int y) { return PackColor(static_cast<uint8_t>(10 * x + y), 100, 0); });
  dest.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  StretchImage(source, {0, 0, 4, 4}, dest, {0, 0, 2, 2}, TStretchMode::smHalftone);
  // Top-left block: 0,10,1,11 -> 5.5 rounds to 6.
  EXPECT_EQ(dest.GetPixel(0, 0), PackColor(6, 100, 0));
  EXPECT_EQ(dest.GetPixel(1, 1), PackColor(28, 100, 0));  // 22,32,23,33 -> 27.5
  // Shrink in x, grow in y: averages along x only.
  TDibGraphic tall;
  tall.NewImage(2, 8, TImageFormat::TrueColor, nullptr, 0, 0);
  StretchImage(source, {0, 0, 4, 4}, tall, {0, 0, 2, 8}, TStretchMode::smHalftone);
  EXPECT_EQ(tall.GetPixel(0, 0), PackColor(5, 100, 0));   // (0 + 10) / 2
  EXPECT_EQ(tall.GetPixel(1, 7), PackColor(28, 100, 0));  // (23 + 33) / 2
}

TEST(Stretch, PaletteSourcesAndDestinations) {
  TDibGraphic source, dest;
  source.NewImage(2, 2, TImageFormat::BlackWhite, nullptr, 0, 0);
  source.SetPixelIndex(0, 0, 1);
  source.SetPixelIndex(1, 1, 1);
  dest.NewImage(1, 1, TImageFormat::Gray256, nullptr, 0, 0);
  StretchImage(source, {0, 0, 2, 2}, dest, {0, 0, 1, 1}, TStretchMode::smHalftone);
  EXPECT_EQ(dest.GetPixelIndex(0, 0), 128) << "half white averages to mid gray";

  dest.NewImage(4, 4, TImageFormat::Color16, nullptr, 0, 0);
  source.Draw(dest, {0, 0, 4, 4});
  EXPECT_EQ(dest.GetPixel(0, 0), PackColor(255, 255, 255));
  EXPECT_EQ(dest.GetPixel(3, 0), PackColor(0, 0, 0));
  EXPECT_EQ(dest.GetPixel(3, 3), PackColor(255, 255, 255));
}

TEST(Stretch, ClipsToTheDestinationAndIgnoresEmptyRectangles) {
  TDibGraphic source, dest;
  source.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  Fill(source, [](int x, int y) { return PackColor(static_cast<uint8_t>(50 + x), static_cast<uint8_t>(50 + y), 0); });
  dest.NewImage(3, 3, TImageFormat::TrueColor, nullptr, 0, 0);
  // A 4x4 target hanging off the top-left: only its bottom-right quarter lands.
  StretchImage(source, {0, 0, 2, 2}, dest, {-2, -2, 2, 2}, TStretchMode::smColorOnColor);
  EXPECT_EQ(dest.GetPixel(0, 0), PackColor(51, 51, 0));
  EXPECT_EQ(dest.GetPixel(1, 1), PackColor(51, 51, 0));
  EXPECT_EQ(dest.GetPixel(2, 2), 0u);
  StretchImage(source, {0, 0, 2, 2}, dest, {2, 2, 2, 9}, TStretchMode::smHalftone);
  StretchImage(source, {0, 0, 2, 2}, dest, {5, 5, 9, 9}, TStretchMode::smHalftone);
  StretchImage(source, {0, 0, 2, 2}, dest, {-9, -9, -5, -5}, TStretchMode::smHalftone);
  EXPECT_EQ(dest.GetPixel(2, 2), 0u);
  TDibGraphic empty;
  empty.Draw(dest, {0, 0, 3, 3});
  source.Draw(empty, {0, 0, 3, 3});
}

TEST(Stretch, HugeReductionDoesNotOverflowSums) {
  TDibGraphic source, dest;
  source.NewImage(4200, 4200, TImageFormat::Gray256, nullptr, 0, 0);
  std::fill(source.Bits(), source.Bits() + source.ImageSize(), 255);
  dest.NewImage(1, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  StretchImage(source, {0, 0, 4200, 4200}, dest, {0, 0, 1, 1}, TStretchMode::smHalftone);
  EXPECT_EQ(dest.GetPixel(0, 0), PackColor(255, 255, 255));
}

}  // namespace

namespace {

TEST(Stretch, PaletteDestinationTakesTheNearestEntryOfEachColour) {
  TDibGraphic source, direct, mapped;
  source.NewImage(37, 23, TImageFormat::TrueColor, nullptr, 0, 0);
  uint32_t seed = 7;
  for (size_t i = 0; i < source.ImageSize(); ++i) {
    seed = seed * 1103515245u + 12345u;
    source.Bits()[i] = static_cast<uint8_t>(seed >> 24);
  }
  for (TStretchMode mode : {TStretchMode::smHalftone, TStretchMode::smColorOnColor}) {
    direct.NewImage(15, 31, TImageFormat::TrueColor, nullptr, 0, 0);
    mapped.NewImage(15, 31, TImageFormat::Color256, nullptr, 0, 0);
    StretchImage(source, {0, 0, 37, 23}, direct, {0, 0, 15, 31}, mode);
    StretchImage(source, {0, 0, 37, 23}, mapped, {0, 0, 15, 31}, mode);
    TDibGraphic expected;
    expected.NewImage(15, 31, TImageFormat::Color256, nullptr, 0, 0);
    for (int y = 0; y < 31; ++y)
      for (int x = 0; x < 15; ++x) {
        expected.SetPixel(x, y, direct.GetPixel(x, y));
        ASSERT_EQ(mapped.GetPixelIndex(x, y), expected.GetPixelIndex(x, y)) << x << "," << y;
      }
  }
}

}  // namespace

namespace {

// Integer reductions take an unrolled path; its averages must be those of the general one, which
// a reduction by a non-integer factor takes.
TEST(Stretch, IntegerReductionsAverageLikeAnyOther) {
  TDibGraphic source;
  source.NewImage(48, 24, TImageFormat::TrueColor, nullptr, 0, 0);
  uint32_t seed = 99;
  for (size_t i = 0; i < source.ImageSize(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    source.Bits()[i] = static_cast<uint8_t>(seed >> 24);
  }
  for (int factor : {2, 3, 4, 8, 6}) {
    TDibGraphic dest;
    const int w = 48 / factor, h = 24 / factor;
    dest.NewImage(w, h, TImageFormat::TrueColor, nullptr, 0, 0);
    StretchImage(source, {0, 0, 48, 24}, dest, {0, 0, w, h}, TStretchMode::smHalftone);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int sums[3] = {0, 0, 0};
        for (int sy = y * factor; sy < (y + 1) * factor; ++sy)
          for (int sx = x * factor; sx < (x + 1) * factor; ++sx)
            for (int c = 0; c < 3; ++c) sums[c] += source.ScanLine(sy)[3 * sx + c];
        for (int c = 0; c < 3; ++c) {
          const double mean = static_cast<double>(sums[c]) / (factor * factor);
          ASSERT_EQ(dest.ScanLine(y)[3 * x + c], static_cast<int>(mean + 0.5)) << factor << ": " << x << "," << y;
        }
      }
  }
}

}  // namespace

namespace {

// Enlargements by 2, 3 and 4 repeat each pixel; 5 takes the general sampling. All must agree
// with the nearest-pixel rule, into TrueColor and palette destinations.
TEST(Stretch, WholeEnlargementsRepeatEachPixel) {
  TDibGraphic source;
  source.NewImage(7, 3, TImageFormat::TrueColor, nullptr, 0, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
      source.SetPixel(x, y, PackColor(static_cast<uint8_t>(30 * x), static_cast<uint8_t>(80 * y), 200));
  for (int k : {2, 3, 4, 5})
    for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Gray256}) {
      TDibGraphic dest;
      dest.NewImage(7 * k, 3 * k, format, nullptr, 0, 0);
      StretchImage(source, {0, 0, 7, 3}, dest, {0, 0, 7 * k, 3 * k}, TStretchMode::smColorOnColor);
      TDibGraphic expected;
      expected.NewImage(1, 1, format, nullptr, 0, 0);
      for (int y = 0; y < 3 * k; ++y)
        for (int x = 0; x < 7 * k; ++x) {
          expected.SetPixel(0, 0, source.GetPixel(x / k, y / k));
          ASSERT_EQ(dest.GetPixel(x, y), expected.GetPixel(0, 0)) << k << ": " << x << "," << y;
        }
    }
}

}  // namespace

namespace {

// A black-and-white source is averaged by counting its set pixels; the result must be that of
// averaging the same two colours held by a 16-colour image, pixel for pixel, into every format,
// for reductions by whole and by fractional factors, spans of more than 8 columns, mixed axes,
// rectangles off byte boundaries and clipped ones, spans whose sums pass a byte, and more rows per
// pixel than a byte counts.
TEST(Stretch, BlackAndWhiteSourcesAverageLikeTwoColourImages) {
  struct TCase {
    int SourceWidth, SourceHeight;
    TRect From, To;
  } cases[] = {
      {2480, 351, {0, 0, 2480, 351}, {0, 0, 706, 100}},  // a page at fit: spans of 3 and 4
      {64, 48, {0, 0, 64, 48}, {0, 0, 32, 24}},
      {100, 90, {3, 5, 97, 88}, {0, 0, 9, 11}},    // spans of 10 and 11 columns
      {61, 40, {5, 1, 58, 40}, {0, 0, 20, 80}},    // shrinks across, grows down
      {19, 70, {0, 0, 19, 70}, {0, 0, 40, 13}},    // grows across, shrinks down
      {83, 57, {0, 0, 83, 57}, {-4, -6, 30, 20}},  // clipped to the destination
      {5, 600, {0, 0, 5, 600}, {0, 0, 3, 2}},      // 300 rows per pixel
      {64, 400, {0, 0, 64, 400}, {0, 0, 8, 2}},    // 200 rows of 8 columns: sums past a byte
  };
  const TDibPalette twoColours{0x300, 2, {TPaletteEntry{200, 40, 7, 0}, TPaletteEntry{15, 180, 250, 0}}};
  uint32_t seed = 3;
  for (const TCase& c : cases) {
    TDibGraphic bits, nibbles;
    bits.NewImage(c.SourceWidth, c.SourceHeight, TImageFormat::BlackWhite, &twoColours, 0, 0);
    nibbles.NewImage(c.SourceWidth, c.SourceHeight, TImageFormat::Color16, &twoColours, 0, 0);
    for (int y = 0; y < c.SourceHeight; ++y)
      for (int x = 0; x < c.SourceWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int index = (seed >> 20) % 3 == 0 ? 1 : 0;  // a third of the pixels set
        bits.SetPixelIndex(x, y, index);
        nibbles.SetPixelIndex(x, y, index);
      }
    for (int f = 0; f < kImageFormatCount; ++f) {
      const auto format = static_cast<TImageFormat>(f);
      SCOPED_TRACE(std::string(ImageFormatName(format)) + " from " + std::to_string(c.SourceWidth) + "x" +
                   std::to_string(c.SourceHeight));
      TDibGraphic counted, averaged;
      counted.NewImage(120, 100, format, nullptr, 0, 0);
      averaged.NewImage(120, 100, format, nullptr, 0, 0);
      StretchImage(bits, c.From, counted, c.To, TStretchMode::smHalftone);
      StretchImage(nibbles, c.From, averaged, c.To, TStretchMode::smHalftone);
      ASSERT_EQ(std::memcmp(counted.Bits(), averaged.Bits(), counted.ImageSize()), 0);
    }
  }
}

}  // namespace
