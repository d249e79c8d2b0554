#include <cmath>

#include "TransfTestSupport.h"
#include "model/QvMisc.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

namespace {

// ---- the per-pixel rules, written out pixel by pixel through the image accessors ----

void ReferenceLightness(const TDibGraphic& src, TDibGraphic& dst, double (*change)(double, double), double p) {
  dst.NewImage(src.Width(), src.Height(), TImageFormat::TrueColor, nullptr, static_cast<uint16_t>(src.XDpi()),
               static_cast<uint16_t>(src.YDpi()));
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      const THsl hsl = RgbToHsl(src.GetPixel(x, y));
      double l = change(hsl.L, p);
      if (l > 1)
        l = 1;
      else if (l < 0)
        l = 0;
      dst.SetPixel(x, y, HslToRgb(hsl.H, hsl.S, l));
    }
}
double AddLightness(double l, double amount) { return l + amount / 100; }
double ContrastCurve(double l, double sign) { return l + ((std::sin((l - 0.5) * M_PI) + 1) * 0.5 - l) * sign * 0.5; }

void ReferenceGray(const TDibGraphic& src, TDibGraphic& dst, TImageFormat target) {
  dst.NewImage(src.Width(), src.Height(), target, nullptr, static_cast<uint16_t>(src.XDpi()),
               static_cast<uint16_t>(src.YDpi()));
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      const TColorValue c = src.GetPixel(x, y);
      int g = (299 * ColorByte2(c) + 587 * ColorByte1(c) + 114 * ColorByte0(c)) / 1000;
      if (g > 255) g = 255;
      dst.SetPixel(x, y, PackColor(g, g, g));
    }
}

void ReferenceGamma(const TDibGraphic& src, TDibGraphic& dst, double gamma) {
  uint8_t table[256] = {};
  for (int i = 1; i < 256; ++i)
    table[i] = static_cast<uint8_t>(std::nearbyint(std::pow(i / 255.0L, 1.0L / gamma) * 255));
  dst.NewImage(src.Width(), src.Height(), TImageFormat::TrueColor, nullptr, static_cast<uint16_t>(src.XDpi()),
               static_cast<uint16_t>(src.YDpi()));
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      const TColorValue c = src.GetPixel(x, y);
      dst.SetPixel(x, y, PackColor(table[ColorByte0(c)], table[ColorByte1(c)], table[ColorByte2(c)]));
    }
}

// A TrueColor image holding a million colours: every blue/green pair with 16 reds, then noise.
void ManyColours(TDibGraphic& image) {
  image.NewImage(1024, 1100, TImageFormat::TrueColor, nullptr, 96, 96);
  std::mt19937 rng(7);
  for (int y = 0; y < 1100; ++y)
    for (int x = 0; x < 1024; ++x) {
      const TColorValue c = y < 1024 ? PackColor(x & 255, y & 255, ((x >> 8) * 4 + (y >> 8)) * 17) : rng() & 0xFFFFFF;
      image.SetPixel(x, y, c);
    }
}

}  // namespace

TEST(HslRoutines, HandValuesAndRoundTrip) {
  const THsl red = RgbToHsl(PackColor(0, 0, 255));
  EXPECT_DOUBLE_EQ(red.L, 0.5);
  EXPECT_DOUBLE_EQ(red.S, 1.0);
  EXPECT_NEAR(red.H, 4.0 / 6, 1e-12);
  const THsl gray = RgbToHsl(PackColor(9, 9, 9));
  EXPECT_EQ(gray.H, -1.0);
  EXPECT_EQ(gray.S, 0.0);
  EXPECT_EQ(HslToRgb(-1.0, 0.0, 0.03), PackColor(8, 8, 8));
  // Converting there and back returns every colour of the grid unchanged.
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 3)
      for (int b = 0; b < 256; b += 7) {
        const TColorValue c = PackColor(b, g, r);
        const THsl hsl = RgbToHsl(c);
        ASSERT_EQ(HslToRgb(hsl.H, hsl.S, hsl.L), c) << std::hex << c;
      }
}

TEST(Negative, EveryFormatFollowsItsRuleAndTwiceRestores) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 37, 9, 1);
    TDibGraphic dst;
    TNegativeTransform negative;
    negative.ApplyOnDest(src, dst);
    ASSERT_EQ(dst.ImageFormat(), f);
    if (f == TImageFormat::Color16 || f == TImageFormat::Color256) {
      for (int i = 0; i < src.PaletteRecord().Count; ++i) {
        const TPaletteEntry& e = src.PaletteRecord().Entries[static_cast<size_t>(i)];
        EXPECT_EQ(dst.PaletteRecord().Entries[static_cast<size_t>(i)].Value(),
                  PackColor(255 - e.Blue, 255 - e.Green, 255 - e.Red));
      }
      for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) ASSERT_EQ(dst.GetPixelIndex(x, y), src.GetPixelIndex(x, y));
    } else if (f == TImageFormat::TrueColor) {
      for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) ASSERT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y) ^ 0xFFFFFF);
    } else {
      const int top = (1 << src.BitCount()) - 1;
      for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) ASSERT_EQ(dst.GetPixelIndex(x, y), top - src.GetPixelIndex(x, y));
      EXPECT_EQ(dst.ScanLine(0)[dst.BytesPerLine() - 1], static_cast<uint8_t>(~src.ScanLine(0)[src.BytesPerLine() - 1]))
          << "gray rows are complemented with their padding";
    }
    negative.Apply(dst);
    EXPECT_TRUE(SameImage(dst, src));
  }
}

TEST(Brightness, MatchesPerPixelRuleOnEveryFormat) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 37, 9, 3);
    for (double amount : {5.0, -37.3, 100.0}) {
      TBrightnessTransform t;
      t.SetAmount(amount);
      TDibGraphic got, want;
      t.ApplyOnDest(src, got);
      ReferenceLightness(src, want, AddLightness, amount);
      EXPECT_TRUE(SameImage(got, want)) << amount;
    }
  }
}

TEST(Brightness, HandValuesAndClampingSetter) {
  TBrightnessTransform t;
  t.SetAmount(3);
  TDibGraphic img, out;
  img.NewImage(2, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  img.SetPixel(0, 0, 0xFFFFFF);
  t.ApplyOnDest(img, out);
  EXPECT_EQ(out.GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(out.GetPixel(1, 0), PackColor(8, 8, 8));
  t.SetAmount(250);
  EXPECT_EQ(t.Amount, 100.0);
  t.SetAmount(-101);
  EXPECT_EQ(t.Amount, -100.0);
}

// The row code shares the (max, min) work between colours; a million colours must still give
// exactly what the per-pixel conversion gives.
TEST(Lightness, ManyColoursMatchPerPixelConversion) {
  TDibGraphic src;
  ManyColours(src);
  for (double amount : {5.0, -63.7}) {
    TBrightnessTransform t;
    t.Amount = amount;
    TDibGraphic got, want;
    t.ApplyOnDest(src, got);
    ReferenceLightness(src, want, AddLightness, amount);
    EXPECT_TRUE(SameImage(got, want)) << "brightness " << amount;
  }
  for (bool raise : {true, false}) {
    TContrastTransform t;
    t.RaiseContrast = raise;
    TDibGraphic got, want;
    t.ApplyOnDest(src, got);
    ReferenceLightness(src, want, ContrastCurve, raise ? 1.0 : -1.0);
    EXPECT_TRUE(SameImage(got, want)) << "contrast " << raise;
  }
}

TEST(Contrast, MatchesPerPixelRuleAndHandValues) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 37, 9, 4);
    TContrastTransform t;
    TDibGraphic got, want;
    t.ApplyOnDest(src, got);
    ReferenceLightness(src, want, ContrastCurve, 1.0);
    EXPECT_TRUE(SameImage(got, want));
  }
  EXPECT_NEAR(ContrastCurve(0.25, 1), 0.1982, 1e-4);
  EXPECT_NEAR(ContrastCurve(0.75, 1), 0.8018, 1e-4);
  EXPECT_NEAR(ContrastCurve(0.25, -1), 0.3018, 1e-4);
  // L = 0.25 is gray 63.75: a gray of 64 (L = 0.251) moves to about 0.1995 * 255 = 51.
  TDibGraphic img, out;
  img.NewImage(1, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  img.SetPixel(0, 0, PackColor(64, 64, 64));
  TContrastTransform t;
  t.ApplyOnDest(img, out);
  EXPECT_EQ(out.GetPixel(0, 0), PackColor(51, 51, 51));
}

TEST(Gamma, TableValuesSetterAndEveryFormat) {
  TGammaTransform t;
  t.SetGammaValue(0);
  EXPECT_EQ(t.GammaValue, 0.1);
  t.SetGammaValue(10);
  EXPECT_EQ(t.GammaValue, 7.0);

  TDibGraphic ramp, out;
  ramp.NewImage(256, 1, TImageFormat::Gray256, nullptr, 0, 0);
  for (int i = 0; i < 256; ++i) ramp.SetPixelIndex(i, 0, i);
  t.SetGammaValue(1.0);
  t.ApplyOnDest(ramp, out);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(out.GetPixel(i, 0), PackColor(i, i, i));
  t.SetGammaValue(2.0);
  t.ApplyOnDest(ramp, out);
  EXPECT_EQ(out.GetPixel(128, 0), PackColor(181, 181, 181));
  EXPECT_EQ(out.GetPixel(0, 0), 0u);

  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 37, 9, 5);
    for (double g : {0.45, 2.2}) {
      TGammaTransform gamma;
      gamma.GammaValue = g;
      TDibGraphic got, want;
      gamma.ApplyOnDest(src, got);
      ReferenceGamma(src, want, g);
      EXPECT_TRUE(SameImage(got, want)) << g;
    }
  }
}

TEST(ConvertToGray, EveryFormatToEveryGrayTarget) {
  for (TImageFormat f : kAllFormats)
    for (TImageFormat target : {TImageFormat::Gray256, TImageFormat::Gray16, TImageFormat::BlackWhite}) {
      SCOPED_TRACE(FormatLabel(f) + " to " + FormatLabel(target));
      TDibGraphic src;
      FillRandom(src, f, 37, 9, 6);
      TConvertToGrayTransform t;
      t.GrayTarget = target;
      TDibGraphic got, want;
      t.ApplyOnDest(src, got);
      ReferenceGray(src, want, target);
      EXPECT_TRUE(SameImage(got, want));
    }
}

TEST(ConvertToGray, PrimariesAndNegativeWeights) {
  TDibGraphic img, out;
  img.NewImage(4, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  img.SetPixel(0, 0, PackColor(0, 0, 255));
  img.SetPixel(1, 0, PackColor(0, 255, 0));
  img.SetPixel(2, 0, PackColor(255, 0, 0));
  img.SetPixel(3, 0, 0xFFFFFF);
  TConvertToGrayTransform t;
  t.ApplyOnDest(img, out);
  EXPECT_EQ(out.ImageFormat(), TImageFormat::Gray256);
  EXPECT_EQ(out.GetPixelIndex(0, 0), 76);
  EXPECT_EQ(out.GetPixelIndex(1, 0), 149);
  EXPECT_EQ(out.GetPixelIndex(2, 0), 29);
  EXPECT_EQ(out.GetPixelIndex(3, 0), 255);
  // A negative weighted sum gives black rather than a wrapped byte.
  t.RedWeight = -1;
  t.ApplyOnDest(img, out);
  EXPECT_EQ(out.GetPixelIndex(0, 0), 0);
  EXPECT_EQ(out.GetPixelIndex(1, 0), 149);
}

TEST(PointOps, ResultFormatSizeAndResolution) {
  TBrightnessTransform brightness;
  TContrastTransform contrast;
  TGammaTransform gamma;
  TConvertToGrayTransform gray;
  for (TImageFormat f : kAllFormats) {
    TDibGraphic src;
    FillRandom(src, f, 37, 9, 1);
    for (TImageTransform* t : std::initializer_list<TImageTransform*>{&brightness, &contrast, &gamma, &gray}) {
      TDibGraphic out;
      t->ApplyOnDest(src, out);
      EXPECT_EQ(out.ImageFormat(), t == &gray ? TImageFormat::Gray256 : TImageFormat::TrueColor) << t->ClassName();
      EXPECT_EQ(out.Width(), 37);
      EXPECT_EQ(out.Height(), 9);
      EXPECT_EQ(out.XDpi(), 150);
      EXPECT_EQ(out.YDpi(), 75);
    }
  }
}

TEST(PointOps, ApplyInPlaceEqualsApplyOnDest) {
  TDibGraphic src;
  FillRandom(src, TImageFormat::Color16, 37, 9, 8);
  TBrightnessTransform t;
  TDibGraphic viaDest, inPlace;
  t.ApplyOnDest(src, viaDest);
  inPlace.Assign(&src);
  t.Apply(inPlace);
  EXPECT_TRUE(SameImage(inPlace, viaDest));
}
