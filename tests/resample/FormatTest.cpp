#include <gtest/gtest.h>

#include <vector>

#include "ResampleTestImages.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvPaletteNearest.h"
#include "support/PictureCompare.h"
#include "transforms/QvTransfFormat.h"

using namespace quorvane;

namespace {

constexpr TImageFormat kFormats[kImageFormatCount] = {TImageFormat::BlackWhite, TImageFormat::Gray16,
                                                      TImageFormat::Gray256,    TImageFormat::Color16,
                                                      TImageFormat::Color256,   TImageFormat::TrueColor};

// Error diffusion as defined, pixel by pixel through GetPixel/SetPixel.
void ReferenceDiffusion(const TDibGraphic& source, TDibGraphic& dest) {
  const int w = source.Width(), h = source.Height();
  std::vector<int> c[3], n[3];
  for (int k = 0; k < 3; ++k) {
    c[k].assign(static_cast<size_t>(w), 0);
    n[k].assign(static_cast<size_t>(w), 0);
  }
  auto colorOf = [&](int x) {
    return PackColor(static_cast<uint8_t>(c[0][x]), static_cast<uint8_t>(c[1][x]), static_cast<uint8_t>(c[2][x]));
  };
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const TColorValue v = source.GetPixel(x, y);
      for (int k = 0; k < 3; ++k) {
        c[k][x] = clamp(n[k][x] + static_cast<int>((v >> (8 * k)) & 0xFF));
        n[k][x] = 0;
      }
    }
    dest.SetPixel(0, y, colorOf(0));
    for (int x = 1; x <= w - 2; ++x) {
      dest.SetPixel(x, y, colorOf(x));
      const TColorValue a = dest.GetPixel(x, y);
      for (int k = 0; k < 3; ++k) {
        const int e = c[k][x] - static_cast<int>((a >> (8 * k)) & 0xFF);
        c[k][x + 1] = clamp(c[k][x + 1] + (7 * e) / 16);
        n[k][x - 1] += (3 * e) / 16;
        n[k][x] += (5 * e) / 16;
        n[k][x + 1] += e / 16;
      }
    }
    dest.SetPixel(w - 1, y, colorOf(w - 1));
  }
}

void ExpectSameIndices(const TDibGraphic& a, const TDibGraphic& b) {
  ASSERT_EQ(a.ImageFormat(), b.ImageFormat());
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.PaletteRecord().Count, b.PaletteRecord().Count);
  EXPECT_TRUE(qvtest::SamePicture(a, b));
}

std::unique_ptr<TDibGraphic> Convert(TImageFormatTransform& t, const TDibGraphic& source) {
  auto dest = std::make_unique<TDibGraphic>();
  t.ApplyOnDest(source, *dest);
  return dest;
}

std::unique_ptr<TDibGraphic> SourceOf(TImageFormat format, uint32_t seed) {
  if (format == TImageFormat::TrueColor) return PhotoLikeImage(23, 17, seed);
  return RandomImage(23, 17, format, seed);
}

}  // namespace

TEST(ImageFormatTransform, AllThirtySixPairsFollowTheirTargetPath) {
  uint32_t seed = 20;
  for (TImageFormat from : kFormats) {
    auto source = SourceOf(from, seed++);
    source->SetXDpi(300);
    for (TImageFormat to : kFormats)
      for (bool dither : {false, true}) {
        SCOPED_TRACE(testing::Message() << int(from) << " -> " << int(to) << " dither " << dither);
        TImageFormatTransform t;
        t.TargetFormat = to;
        t.UseDither = dither;
        t.UseQuantizer = false;
        auto dest = Convert(t, *source);
        ASSERT_EQ(dest->ImageFormat(), to);
        EXPECT_EQ(dest->XDpi(), 300);
        auto expected = MakeImage(
            23, 17, to, to == TImageFormat::Color16 || to == TImageFormat::Color256 ? &DefaultPalette(to) : nullptr);
        if (dither && to != TImageFormat::TrueColor)
          ReferenceDiffusion(*source, *expected);
        else
          StretchImage(*source, TRect{0, 0, 23, 17}, *expected, TRect{0, 0, 23, 17}, TStretchMode::smHalftone);
        ExpectSameIndices(*dest, *expected);
      }
  }
}

TEST(ImageFormatTransform, QuantizedDiffusionMatchesTheDefinition) {
  auto source = PhotoLikeImage(61, 40, 31);
  for (TImageFormat to : {TImageFormat::Color16, TImageFormat::Color256}) {
    TImageFormatTransform t;
    t.TargetFormat = to;
    auto dest = Convert(t, *source);
    EXPECT_EQ(t.TargetPalette.Count, to == TImageFormat::Color16 ? 16 : 256);
    EXPECT_EQ(dest->PaletteRecord().Entries, t.TargetPalette.Entries);
    auto expected = MakeImage(61, 40, to, &t.TargetPalette);
    ReferenceDiffusion(*source, *expected);
    ExpectSameIndices(*dest, *expected);
  }
}

TEST(ImageFormatTransform, PaletteExactImageDithersWithoutError) {
  for (TImageFormat format : {TImageFormat::BlackWhite, TImageFormat::Gray16, TImageFormat::Color16}) {
    auto source = RandomImage(37, 21, TImageFormat::TrueColor, 40);
    const TDibPalette& palette = DefaultPalette(format);
    std::mt19937 rng(41);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) source->SetPixel(x, y, palette.Entries[rng() % palette.Count].Value());
    TImageFormatTransform t;
    t.TargetFormat = format;
    t.UseQuantizer = false;
    auto dest = Convert(t, *source);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(dest->GetPixel(x, y), source->GetPixel(x, y));
  }
}

TEST(ImageFormatTransform, MidGrayDithersToItsShareOfWhite) {
  for (int level : {64, 128, 200}) {
    auto gray = MakeImage(202, 100, TImageFormat::TrueColor);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 202; ++x) gray->SetPixel(x, y, PackColor(level, level, level));
    TImageFormatTransform t;
    t.TargetFormat = TImageFormat::BlackWhite;
    auto dest = Convert(t, *gray);
    int white = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 1; x < 201; ++x) white += dest->GetPixelIndex(x, y);
    EXPECT_NEAR(white / 20000.0, level / 255.0, 0.02) << level;
  }
}

TEST(ImageFormatTransform, EdgePixelsPassNoError) {
  // Two columns: both are edge pixels, so each maps on its own (120 -> black everywhere).
  auto narrow = MakeImage(2, 3, TImageFormat::TrueColor);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) narrow->SetPixel(x, y, PackColor(120, 120, 120));
  TImageFormatTransform t;
  t.TargetFormat = TImageFormat::BlackWhite;
  auto dest = Convert(t, *narrow);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(dest->GetPixelIndex(x, y), 0);
  // One column: pixel 0 is written twice with the same colour.
  auto single = MakeImage(1, 2, TImageFormat::TrueColor);
  single->SetPixel(0, 0, 0xFFFFFF);
  EXPECT_EQ(Convert(t, *single)->GetPixelIndex(0, 0), 1);
}

TEST(ImageFormatTransform, BlackWhiteToTrueColorIsPure) {
  auto bw = RandomImage(19, 7, TImageFormat::BlackWhite, 50);
  TImageFormatTransform t;
  auto dest = Convert(t, *bw);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x) {
      const TColorValue c = dest->GetPixel(x, y);
      EXPECT_TRUE(c == 0 || c == 0xFFFFFF);
      EXPECT_EQ(c, bw->GetPixelIndex(x, y) ? 0xFFFFFFu : 0u);
    }
}

TEST(ImageFormatTransform, TargetPaletteKeepsOrGivesWay) {
  auto source = PhotoLikeImage(20, 10, 60);
  TImageFormatTransform t;
  t.UseQuantizer = false;
  t.TargetFormat = TImageFormat::Color16;
  Convert(t, *source);
  EXPECT_EQ(t.TargetPalette.Count, 16);  // the fixed table, kept
  EXPECT_EQ(t.TargetPalette.Entries, DefaultPalette(TImageFormat::Color16).Entries);
  // Kept also when the target changes: 16 entries fit a 256-colour image.
  t.TargetFormat = TImageFormat::Color256;
  EXPECT_EQ(Convert(t, *source)->PaletteRecord().Count, 16);

  // A caller's palette that fits is used unchanged.
  TDibPalette mine{};
  mine.Count = 2;
  mine.Entries[1] = {10, 20, 30, 0};
  t.TargetPalette = mine;
  auto dest = Convert(t, *source);
  EXPECT_EQ(dest->PaletteRecord().Count, 2);
  EXPECT_EQ(dest->PaletteRecord().Entries[1], mine.Entries[1]);

  // 256 entries cannot be a 16-colour palette: replaced by the fixed 16-colour table.
  t.TargetPalette = DefaultPalette(TImageFormat::Color256);
  t.TargetFormat = TImageFormat::Color16;
  for (bool dither : {true, false}) {
    t.UseDither = dither;
    dest = Convert(t, *source);
    EXPECT_EQ(t.TargetPalette.Count, 16);
    EXPECT_EQ(dest->PaletteRecord().Count, 16);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x) EXPECT_LT(dest->GetPixelIndex(x, y), 16);
  }
}

TEST(ImageFormatTransform, ApplySkipsEqualFormatsAndProgressIsRelayed) {
  auto image = RandomImage(9, 5, TImageFormat::Gray16, 70);
  auto copy = MakeImage(1, 1, TImageFormat::TrueColor);
  copy->Assign(image.get());
  TImageFormatTransform t;
  t.TargetFormat = TImageFormat::Gray16;
  int calls = 0;
  t.OnProgress = [&](TImageTransform*, int) { ++calls; };
  t.Apply(*image);
  EXPECT_EQ(calls, 0);
  ExpectSameIndices(*image, *copy);
  // ApplyOnDest converts all the same.
  EXPECT_EQ(Convert(t, *image)->ImageFormat(), TImageFormat::Gray16);
  EXPECT_GT(calls, 0);

  // Quantizing then dithering: the quantizer fills the first half of the range.
  std::vector<int> reports;
  t.OnProgress = [&](TImageTransform* sender, int percent) {
    EXPECT_EQ(sender, &t);
    reports.push_back(percent);
  };
  t.TargetFormat = TImageFormat::Color256;
  auto photo = PhotoLikeImage(300, 200, 71);
  Convert(t, *photo);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), 0);
  EXPECT_EQ(reports.back(), 100);
  const auto fifty = std::find(reports.begin(), reports.end(), 50);
  ASSERT_NE(fifty, reports.end());
  EXPECT_TRUE(std::all_of(reports.begin() + 1, fifty, [](int p) { return p <= 50; }));
  EXPECT_TRUE(std::is_sorted(fifty, reports.end()));

  t.Apply(*photo);
  EXPECT_EQ(photo->ImageFormat(), TImageFormat::Color256);
}

TEST(NearestEntryIndex, AgreesWithTheLinearSearch) {
  // Palettes with duplicates (ties go to the lowest index), clustered and spread entries.
  std::mt19937 rng(80);
  std::vector<TDibPalette> palettes = {DefaultPalette(TImageFormat::Color256), DefaultPalette(TImageFormat::Color16),
                                       DefaultPalette(TImageFormat::Gray16), DefaultPalette(TImageFormat::BlackWhite)};
  TDibPalette clustered{};
  clustered.Count = 200;
  for (int i = 0; i < 200; ++i)
    clustered.Entries[static_cast<size_t>(i)] = {static_cast<uint8_t>(100 + rng() % 40),
                                                 static_cast<uint8_t>(rng() % 8 * 4),
                                                 static_cast<uint8_t>(250 - rng() % 30), 0};
  palettes.push_back(clustered);
  for (const TDibPalette& palette : palettes) {
    TNearestEntryIndex fast(palette);
    TRgbToPaletteConverter linear(&palette);
    for (int i = 0; i < 200000; ++i) {
      const TColorValue c = rng() & 0xFFFFFF;
      ASSERT_EQ(fast.IndexOf(ColorByte0(c), ColorByte1(c), ColorByte2(c)), linear.PaletteIndexOf(c)) << std::hex << c;
    }
  }
}
