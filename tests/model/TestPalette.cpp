#include <gtest/gtest.h>

#include "model/QvPalette.h"

using namespace quorvane;

namespace {

TEST(DefaultPalettes, Tables) {
  const TDibPalette& bw = DefaultPalette(TImageFormat::BlackWhite);
  EXPECT_EQ(bw.Count, 2);
  EXPECT_EQ(bw.Entries[1].Value(), 0xFFFFFFu);
  const TDibPalette& g16 = DefaultPalette(TImageFormat::Gray16);
  EXPECT_EQ(g16.Count, 16);
  EXPECT_EQ(g16.Entries[15], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(g16.Entries[3], (TPaletteEntry{51, 51, 51, 0}));
  const TDibPalette& c256 = DefaultPalette(TImageFormat::Color256);
  const TDibPalette& c16 = DefaultPalette(TImageFormat::Color16);
  EXPECT_EQ(c256.Count, 256);
  EXPECT_EQ(c16.Count, 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(c16.Entries[i], c256.Entries[i]);
  EXPECT_EQ(c256.Entries[1], (TPaletteEntry{0x00, 0x00, 0xAA, 0}));
  EXPECT_EQ(c256.Entries[6], (TPaletteEntry{0xAA, 0x55, 0x00, 0}));
  EXPECT_EQ(c256.Entries[30], (TPaletteEntry{0xE3, 0xB3, 0xB3, 0}));
  EXPECT_EQ(c256.Entries[247], (TPaletteEntry{0x2C, 0x30, 0x41, 0}));
  for (int i = 248; i < 256; ++i) EXPECT_EQ(c256.Entries[i].Value(), 0u);
  EXPECT_EQ(DefaultPalette(TImageFormat::TrueColor).Count, 0);
}

TEST(RgbToPaletteConverter, NearestEntryWithTiesToTheLowestIndex) {
  TRgbToPaletteConverter bw(&DefaultPalette(TImageFormat::BlackWhite));
  EXPECT_EQ(bw.PaletteIndexOf(PackColor(0, 0, 0)), 0);
  EXPECT_EQ(bw.PaletteIndexOf(PackColor(127, 127, 127)), 0);
  EXPECT_EQ(bw.PaletteIndexOf(PackColor(128, 128, 128)), 1);
  EXPECT_EQ(bw.PaletteIndexOf(PackColor(255, 0, 255)), 1);  // 2*255^2 to black vs 255^2 to white
  EXPECT_EQ(bw.PaletteIndexOf(PackColor(255, 255, 255)), 1);

  TDibPalette twins{};
  twins.Count = 3;
  twins.Entries[0] = {0, 0, 0, 0};
  twins.Entries[1] = {200, 10, 10, 0};
  twins.Entries[2] = {200, 10, 10, 0};
  TRgbToPaletteConverter converter(&twins);
  EXPECT_EQ(converter.PaletteIndexOf(PackColor(200, 10, 10)), 1);
  EXPECT_EQ(converter.PaletteIndexOf(PackColor(190, 12, 10)), 1);
  // Equidistant from two different entries: the lower index wins.
  TDibPalette pair{};
  pair.Count = 2;
  pair.Entries[0] = {10, 0, 0, 0};
  pair.Entries[1] = {20, 0, 0, 0};
  TRgbToPaletteConverter pairConverter(&pair);
  EXPECT_EQ(pairConverter.PaletteIndexOf(PackColor(15, 0, 0)), 0);
}

TEST(RgbToPaletteConverter, CacheCollisionsStillAnswerCorrectly) {
  TRgbToPaletteConverter converter(&DefaultPalette(TImageFormat::Gray256));
  const TColorValue a = PackColor(10, 10, 10);
  const TColorValue b = a + 1020;  // same slot
  ASSERT_EQ(a % 1020, b % 1020);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(converter.PaletteIndexOf(a), 10);
    const TColorValue bb = b;
    const int expected = (ColorByte0(bb) + ColorByte1(bb) + ColorByte2(bb) + 1) / 3;  // nearest gray, roughly
    EXPECT_NEAR(converter.PaletteIndexOf(b), expected, 1);
  }
}

TEST(RgbToPaletteConverter, EmptyPaletteGivesZero) {
  TDibPalette none{};
  TRgbToPaletteConverter converter(&none);
  EXPECT_EQ(converter.PaletteIndexOf(PackColor(1, 2, 3)), 0);
}

}  // namespace
