#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "ResampleTestImages.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "support/PictureCompare.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfResize.h"

using namespace quorvane;

namespace {

// The engine written pixel by pixel, vertical pass column by column, as a reference for the
// row-wise implementation.
struct TRefPair {
  int Index;
  float Weight;
};

std::vector<std::vector<TRefPair>> RefLists(float s, int n, int count, TFilterFunction filter, float support) {
  float width = support, fscale = 1.0f;
  if (s < 1.0f) {
    width = support / s;
    fscale = 1.0f / s;
  }
  std::vector<std::vector<TRefPair>> lists(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const float center = static_cast<float>(i) / s;
    for (int j = static_cast<int>(std::floor(center - width)); j <= static_cast<int>(std::ceil(center + width)); ++j) {
      float weight = filter((center - static_cast<float>(j)) / fscale) / fscale;
      if (weight == 0.0f) continue;
      const int k = j < 0 ? -j : j >= n ? 2 * n - 1 - j : j;
      if (k < 0 || k >= n) weight = 0.0f;
      lists[static_cast<size_t>(i)].push_back({k, weight});
    }
  }
  return lists;
}

uint8_t RefByte(float sum) {
  if (sum > 255.0f) return 255;
  if (sum < 0.0f) return 0;
  return static_cast<uint8_t>(std::nearbyint(sum));
}

void RefResample(const TDibGraphic& source, TDibGraphic& dest, TFilterFunction filter, float support) {
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  const float xs = sw == 1 ? float(dw) : float(dw - 1) / float(sw - 1);
  const float ys = sh == 1 ? float(dh) : float(dh - 1) / float(sh - 1);
  TDibGraphic work;
  work.NewImage(dw, sh, TImageFormat::TrueColor, nullptr, 0, 0);
  const auto columns = RefLists(xs, sw, dw, filter, support);
  for (int r = 0; r < sh; ++r)
    for (int i = 0; i < dw; ++i) {
      float sum[3] = {0, 0, 0};
      for (const TRefPair& p : columns[static_cast<size_t>(i)]) {
        if (p.Weight == 0.0f) continue;
        const TColorValue c = source.GetPixel(p.Index, r);
        for (int k = 0; k < 3; ++k) sum[k] += static_cast<float>((c >> (8 * k)) & 0xFF) * p.Weight;
      }
      work.SetPixel(i, r, PackColor(RefByte(sum[0]), RefByte(sum[1]), RefByte(sum[2])));
    }
  const auto rows = RefLists(ys, sh, dh, filter, support);
  for (int x = 0; x < dw; ++x)
    for (int y = 0; y < dh; ++y) {
      float sum[3] = {0, 0, 0};
      for (const TRefPair& p : rows[static_cast<size_t>(y)]) {
        if (p.Weight == 0.0f) continue;
        const TColorValue c = work.GetPixel(x, p.Index);
        for (int k = 0; k < 3; ++k) sum[k] += static_cast<float>((c >> (8 * k)) & 0xFF) * p.Weight;
      }
      dest.SetPixel(x, y, PackColor(RefByte(sum[0]), RefByte(sum[1]), RefByte(sum[2])));
    }
}

std::unique_ptr<TDibGraphic> Resize(const TDibGraphic& source, int width, int height, TResizeFilter filter) {
  TResizeTransform t;
  t.NewWidth = width;
  t.NewHeight = height;
  t.Interpolate = true;
  t.Filter = filter;
  auto dest = std::make_unique<TDibGraphic>();
  t.ApplyOnDest(source, *dest);
  return dest;
}

void ExpectSamePixels(const TDibGraphic& a, const TDibGraphic& b) { EXPECT_TRUE(qvtest::SamePicture(a, b)); }

}  // namespace

TEST(ResizeFilters, TableAndWeights) {
  const float supports[] = {1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};
  const char* names[] = {"Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell"};
  for (int f = 0; f < kResizeFilterCount; ++f) {
    EXPECT_EQ(FilterTable[static_cast<size_t>(f)].Support, supports[f]);
    EXPECT_EQ(ResizeFilterName(static_cast<TResizeFilter>(f)), names[f]);
    // Every filter is even and vanishes at its support.
    const auto w = FilterTable[static_cast<size_t>(f)].Filter;
    EXPECT_EQ(w(0.7f), w(-0.7f));
    EXPECT_EQ(w(supports[f]), 0.0f);
  }
  EXPECT_EQ(TriangleWeight(0.25f), 0.75f);
  EXPECT_EQ(HermiteWeight(0.5f), 0.5f);
  EXPECT_EQ(BellWeight(0.0f), 0.75f);
  EXPECT_EQ(BellWeight(1.0f), 0.125f);
  EXPECT_EQ(BSplineWeight(0.0f), 2.0f / 3.0f);
  EXPECT_EQ(BSplineWeight(1.0f), 1.0f / 6.0f);
  EXPECT_EQ(Lanczos3Weight(0.0f), 1.0f);
  EXPECT_EQ(NormalizedSinc(0.0f), 1.0f);
  EXPECT_NEAR(NormalizedSinc(0.5f), 2.0 / 3.14159265358979, 1e-6);
  EXPECT_NEAR(MitchellWeight(0.0f), 16.0 / 18.0, 1e-6);
  EXPECT_NEAR(MitchellWeight(1.0f), 1.0 / 18.0, 1e-6);
  EXPECT_LT(Lanczos3Weight(1.5f), 0.0f);  // negative lobe
}

TEST(ResampleImage, TriangleTwoByTwoToThreeByThree) {
  auto source = MakeImage(2, 2, TImageFormat::TrueColor);
  source->SetPixel(0, 0, PackColor(0, 40, 200));
  source->SetPixel(1, 0, PackColor(100, 80, 0));
  source->SetPixel(0, 1, PackColor(20, 120, 100));
  source->SetPixel(1, 1, PackColor(60, 0, 20));
  auto dest = Resize(*source, 3, 3, TResizeFilter::rfTriangle);
  EXPECT_EQ(dest->GetPixel(0, 0), source->GetPixel(0, 0));
  EXPECT_EQ(dest->GetPixel(2, 0), source->GetPixel(1, 0));
  EXPECT_EQ(dest->GetPixel(0, 2), source->GetPixel(0, 1));
  EXPECT_EQ(dest->GetPixel(2, 2), source->GetPixel(1, 1));
  EXPECT_EQ(dest->GetPixel(1, 1), PackColor(45, 60, 80));
  EXPECT_EQ(dest->GetPixel(1, 0), PackColor(50, 60, 100));
}

TEST(ResampleImage, HalfwaySumsRoundToEven) {
  // The middle column of a 2 -> 3 enlargement is 0.5 a + 0.5 b: 0.5 -> 0, 2.5 -> 2, 1.5 -> 2.
  auto source = MakeImage(2, 2, TImageFormat::TrueColor);
  for (int y = 0; y < 2; ++y) {
    source->SetPixel(0, y, PackColor(0, 2, 0));
    source->SetPixel(1, y, PackColor(1, 3, 3));
  }
  auto dest = Resize(*source, 3, 2, TResizeFilter::rfTriangle);
  EXPECT_EQ(dest->GetPixel(1, 0), PackColor(0, 2, 2));
  EXPECT_EQ(dest->GetPixel(1, 1), PackColor(0, 2, 2));
}

TEST(ResampleImage, OnePixelEnlargedByEveryFilter) {
  auto source = MakeImage(1, 1, TImageFormat::TrueColor);
  source->SetPixel(0, 0, PackColor(10, 128, 250));
  auto triangle = Resize(*source, 4, 4, TResizeFilter::rfTriangle);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(triangle->GetPixel(x, y), PackColor(10, 128, 250));
  for (int f = 0; f < kResizeFilterCount; ++f) {
    auto dest = Resize(*source, 4, 4, static_cast<TResizeFilter>(f));
    auto ref = MakeImage(4, 4, TImageFormat::TrueColor);
    RefResample(*source, *ref, FilterTable[static_cast<size_t>(f)].Filter, FilterTable[static_cast<size_t>(f)].Support);
    ExpectSamePixels(*dest, *ref);
  }
}

TEST(ResampleImage, ShrinkFourToTwoWeightsMirror) {
  // Destination pixel 0 = 1/3 p0 + 4/9 p1 + 2/9 p2 (mirrored positions fold back).
  auto source = MakeImage(4, 2, TImageFormat::TrueColor);
  const uint8_t v[4] = {90, 180, 45, 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) source->SetPixel(x, y, PackColor(v[x], 0, 0));
  auto dest = Resize(*source, 2, 2, TResizeFilter::rfTriangle);
  EXPECT_EQ(ColorByte0(dest->GetPixel(0, 0)), 120);
  EXPECT_EQ(ColorByte0(dest->GetPixel(0, 1)), 120);
  // Pixel 1 (center 3): 1/3 p3 + 2/9 (p2 + p3) + 1/9 (p1 + p2), positions 4 and 5 mirrored.
  EXPECT_EQ(ColorByte0(dest->GetPixel(1, 0)), 35);
}

TEST(ResampleImage, OvershootIsClampedNotWrapped) {
  auto source = MakeImage(8, 2, TImageFormat::TrueColor);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) source->SetPixel(x, y, x < 4 ? 0 : 0xFFFFFF);
  for (auto f : {TResizeFilter::rfLanczos3, TResizeFilter::rfMitchell}) {
    auto dest = Resize(*source, 29, 2, f);
    // Source position 2.5 sits in the negative lobe of the white side: a negative sum; 4.5
    // likewise above 255. Wrapping would turn them into bright and dark values.
    EXPECT_EQ(ColorByte0(dest->GetPixel(10, 0)), 0);
    EXPECT_EQ(ColorByte0(dest->GetPixel(18, 0)), 255);
    for (int x = 0; x < 12; ++x) EXPECT_LT(ColorByte0(dest->GetPixel(x, 0)), 64) << x;
    for (int x = 17; x < 29; ++x) EXPECT_GT(ColorByte0(dest->GetPixel(x, 0)), 191) << x;
  }
}

TEST(ResampleImage, MatchesPixelByPixelDefinition) {
  // Enlarging, shrinking and mixed, with palette sources and destinations.
  struct TCase {
    int sw, sh, dw, dh;
    TImageFormat from, to;
  } cases[] = {{13, 9, 31, 20, TImageFormat::TrueColor, TImageFormat::TrueColor},
               {41, 30, 7, 5, TImageFormat::TrueColor, TImageFormat::TrueColor},
               // Rows of 16-pixel steps and odd tails of the row conversion to floats.
               {37, 12, 11, 6, TImageFormat::TrueColor, TImageFormat::TrueColor},
               {64, 7, 95, 3, TImageFormat::TrueColor, TImageFormat::Color16},
               {17, 5, 4, 23, TImageFormat::Color256, TImageFormat::TrueColor},
               {9, 11, 20, 3, TImageFormat::Gray16, TImageFormat::Color256},
               {6, 7, 2, 9, TImageFormat::TrueColor, TImageFormat::BlackWhite},
               // Tall images, so that the rows one destination row reads are a small part of them.
               {10, 60, 12, 150, TImageFormat::TrueColor, TImageFormat::TrueColor},
               {10, 90, 12, 31, TImageFormat::TrueColor, TImageFormat::TrueColor}};
  uint32_t seed = 1;
  for (const TCase& c : cases) {
    auto source = RandomImage(c.sw, c.sh, c.from, seed++);
    for (int f = 0; f < kResizeFilterCount; ++f) {
      const auto& entry = FilterTable[static_cast<size_t>(f)];
      auto dest = MakeImage(c.dw, c.dh, c.to);
      auto ref = MakeImage(c.dw, c.dh, c.to);
      ResampleImage(*source, *dest, entry.Filter, nullptr, entry.Support);
      RefResample(*source, *ref, entry.Filter, entry.Support);
      ExpectSamePixels(*dest, *ref);
    }
  }
}

TEST(ResizeTransform, SizesAreCheckedBeforeTheDestinationIsTouched) {
  auto source = RandomImage(5, 5, TImageFormat::TrueColor, 3);
  auto dest = RandomImage(3, 3, TImageFormat::Gray16, 4);
  TResizeTransform t;
  t.Interpolate = true;
  t.NewWidth = 1;
  t.NewHeight = 4;
  try {
    t.ApplyOnDest(*source, *dest);
    FAIL();
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Destination graphic too small");
  }
  EXPECT_EQ(dest->Width(), 3);
  EXPECT_EQ(dest->ImageFormat(), TImageFormat::Gray16);

  // Without interpolation one pixel is fine, zero is refused the same way.
  t.Interpolate = false;
  t.ApplyOnDest(*source, *dest);
  EXPECT_EQ(dest->Width(), 1);
  EXPECT_EQ(dest->Height(), 4);
  t.NewWidth = 0;
  EXPECT_THROW(t.ApplyOnDest(*source, *dest), EQuorvaneError);
  EXPECT_EQ(dest->Width(), 1);

  TDibGraphic empty;
  t.NewWidth = 4;
  try {
    t.ApplyOnDest(empty, *dest);
    FAIL();
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Source graphic too small");
  }

  // The engine itself refuses a one-pixel destination.
  auto thin = MakeImage(1, 5, TImageFormat::TrueColor);
  EXPECT_THROW(ResampleImage(*source, *thin, TriangleWeight, nullptr, 1.0f), EQuorvaneError);
}

TEST(ResizeTransform, StretchPathAndProgress) {
  auto source = PhotoLikeImage(40, 30, 5);
  source->SetXDpi(150);
  TResizeTransform t;
  t.NewWidth = 13;
  t.NewHeight = 7;
  std::vector<int> reports;
  t.OnProgress = [&](TImageTransform* sender, int percent) {
    EXPECT_EQ(sender, &t);
    reports.push_back(percent);
  };
  TDibGraphic dest;
  t.ApplyOnDest(*source, dest);
  EXPECT_EQ(reports, (std::vector<int>{0, 50, 100}));
  EXPECT_EQ(dest.XDpi(), 150);
  auto expected = MakeImage(13, 7, TImageFormat::TrueColor);
  StretchImage(*source, TRect{0, 0, 40, 30}, *expected, TRect{0, 0, 13, 7}, TStretchMode::smHalftone);
  ExpectSamePixels(dest, *expected);

  reports.clear();
  t.Interpolate = true;
  t.ApplyOnDest(*source, dest);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), 0);
  EXPECT_EQ(reports.back(), 100);
}

TEST(ResizeTransform, ForcedFormatsAndTheirPalettes) {
  auto color = PhotoLikeImage(12, 10, 6);
  TResizeTransform t;
  t.NewWidth = 8;
  t.NewHeight = 6;
  t.Interpolate = true;
  t.ForceFormat = true;

  // Gray: the default gray palette, each pixel the gray nearest to the resampled colour.
  t.TargetFormat = TImageFormat::Gray256;
  TDibGraphic gray;
  t.ApplyOnDest(*color, gray);
  EXPECT_EQ(gray.ImageFormat(), TImageFormat::Gray256);
  t.ForceFormat = false;
  TDibGraphic full;
  t.ApplyOnDest(*color, full);
  TRgbToPaletteConverter grays(&DefaultPalette(TImageFormat::Gray256));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(gray.GetPixelIndex(x, y), grays.PaletteIndexOf(full.GetPixel(x, y)));

  // Palette colour results: a palette that cannot serve gives way to the format's default.
  t.ForceFormat = true;
  t.TargetFormat = TImageFormat::Color16;
  TDibGraphic c16;
  t.ApplyOnDest(*color, c16);  // TrueColor source: no palette
  EXPECT_EQ(c16.PaletteRecord().Count, 16);
  EXPECT_EQ(c16.PaletteRecord().Entries, DefaultPalette(TImageFormat::Color16).Entries);

  auto c256source = RandomImage(12, 10, TImageFormat::Color256, 7);
  t.ApplyOnDest(*c256source, c16);  // 256 entries do not fit
  EXPECT_EQ(c16.PaletteRecord().Count, 16);
  EXPECT_EQ(c16.PaletteRecord().Entries, DefaultPalette(TImageFormat::Color16).Entries);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_LT(c16.GetPixelIndex(x, y), 16);

  TDibPalette own{};
  own.Count = 3;
  own.Entries[1] = {0, 0, 255, 0};
  own.Entries[2] = {255, 255, 255, 0};
  auto c16source = RandomImage(12, 10, TImageFormat::Color16, 8, &own);
  t.TargetFormat = TImageFormat::Color256;
  TDibGraphic c256;
  t.ApplyOnDest(*c16source, c256);  // a palette that fits is kept
  EXPECT_EQ(c256.PaletteRecord().Count, 3);
  EXPECT_EQ(c256.PaletteRecord().Entries[1], own.Entries[1]);
}

// A one-pixel source stretched to a huge width: the result fits the limits (1 bit per pixel),
// the engine's per-column lists (16 bytes and more per column) do not, and must be refused
// before they are allocated.
TEST(ResampleImage, ContributorListsAreCheckedAgainstTheMemoryLimit) {
  const TImageLimits saved = ImageLimits();
  TImageLimits wide = saved;
  wide.MaxWidth = int64_t{1} << 31;
  wide.MaxArea = int64_t{1} << 31;
  wide.MaxMemory = int64_t{256} << 20;
  SetImageLimits(wide);
  auto source = MakeImage(1, 1, TImageFormat::BlackWhite);
  TDibGraphic dest;
  dest.NewImage(1 << 28, 2, TImageFormat::BlackWhite, nullptr, 0, 0);
  std::string message;
  try {
    ResampleImage(*source, dest, TriangleWeight, nullptr, 1.0f);
  } catch (const EQuorvaneError& e) {
    message = e.Message();
  }
  SetImageLimits(saved);
  EXPECT_EQ(message, "CreateDibSection failed");
}

// Resizing and format conversion into their own source: the result of a separate destination.
TEST(ResizeTransform, SourceAsItsOwnDestination) {
  TResizeTransform resize;
  resize.NewWidth = 7;
  resize.NewHeight = 4;
  TImageFormatTransform format;
  format.TargetFormat = TImageFormat::Color16;
  format.UseQuantizer = false;
  for (TImageTransform* t : std::initializer_list<TImageTransform*>{&resize, &format})
    for (bool interpolate : {false, true}) {
      resize.Interpolate = interpolate;
      auto source = RandomImage(11, 6, TImageFormat::TrueColor, 21);
      TDibGraphic separate;
      t->ApplyOnDest(*source, separate);
      t->ApplyOnDest(*source, *source);
      ASSERT_EQ(source->Width(), separate.Width()) << t->ClassName();
      ASSERT_EQ(source->ImageFormat(), separate.ImageFormat()) << t->ClassName();
      EXPECT_EQ(std::memcmp(source->Bits(), separate.Bits(), separate.ImageSize()), 0) << t->ClassName();
    }
}
