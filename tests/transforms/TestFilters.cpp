#include <algorithm>

#include "TransfTestSupport.h"
#include "transforms/QvTransfFilter.h"

using namespace quorvane;

namespace {

// The convolution rule pixel by pixel through the colour accessors (positive denominators).
void ReferenceConvolution(const TDibGraphic& src, TDibGraphic& dst, const std::array<int8_t, 9>& k, int den) {
  const int w = src.Width(), h = src.Height();
  dst.NewImage(w, h, TImageFormat::TrueColor, nullptr, static_cast<uint16_t>(src.XDpi()),
               static_cast<uint16_t>(src.YDpi()));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (x == 0 || y == 0 || x == w - 1 || y == h - 1) {
        dst.SetPixel(x, y, src.GetPixel(x, y));
        continue;
      }
      int out[3];
      for (int ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (int j = 0; j < 3; ++j)
          for (int i = 0; i < 3; ++i)
            sum += k[static_cast<size_t>(j * 3 + i)] *
                   static_cast<int>((src.GetPixel(x + i - 1, y + j - 1) >> (8 * ch)) & 0xFF);
        out[ch] = sum < 0 ? 0 : std::min(sum / den, 255);
      }
      dst.SetPixel(x, y, PackColor(out[0], out[1], out[2]));
    }
}

void Fill(TDibGraphic& img, int w, int h, TColorValue c) {
  img.NewImage(w, h, TImageFormat::TrueColor, nullptr, 0, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.SetPixel(x, y, c);
}

}  // namespace

TEST(Convolution, PresetsMatchPerPixelRuleOnEveryFormat) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 23, 11, 21);
    TSharpenTransform sharpen;
    TSmoothTransform smooth;
    TEdgeTransform edge;
    TEmbossTransform emboss;
    for (TConvolutionTransform* t : std::initializer_list<TConvolutionTransform*>{&sharpen, &smooth, &edge, &emboss}) {
      TDibGraphic got, want;
      t->ApplyOnDest(src, got);
      ReferenceConvolution(src, want, t->Kernel, t->Denominator);
      EXPECT_TRUE(SameImage(got, want)) << t->ClassName();
    }
  }
}

TEST(Convolution, StrengthSetsCentreAndDenominator) {
  TSharpenTransform sharpen;
  TSmoothTransform smooth;
  TDibGraphic src, out;
  FillRandom(src, TImageFormat::TrueColor, 5, 5, 2);
  sharpen.ApplyOnDest(src, out);
  smooth.ApplyOnDest(src, out);
  EXPECT_EQ(sharpen.Kernel[4], 37);
  EXPECT_EQ(sharpen.Denominator, 25);
  EXPECT_EQ(smooth.Kernel[4], 35);
  EXPECT_EQ(smooth.Denominator, 47);
  sharpen.Strength = 98;  // a = Round(0.5) = 0
  sharpen.Kernel[4] = 99;
  sharpen.ApplyOnDest(src, out);
  EXPECT_EQ(sharpen.Kernel[4], 15);
  EXPECT_EQ(sharpen.Denominator, 3);
}

TEST(Convolution, SmallImagesPassThroughUnchanged) {
  for (auto [w, h] : {std::pair{2, 7}, std::pair{7, 2}, std::pair{1, 1}}) {
    TDibGraphic src, out;
    FillRandom(src, TImageFormat::Color16, w, h, 3);
    TSharpenTransform t;
    TProgressLog log;
    log.Hook(t);
    t.ApplyOnDest(src, out);
    EXPECT_TRUE(SameImage(out, src));
    EXPECT_TRUE(log.Percents.empty());
  }
}

TEST(Convolution, ThreeByThreeChangesOnlyCentreAndCornersStay) {
  TDibGraphic src, out;
  FillRandom(src, TImageFormat::TrueColor, 3, 3, 4);
  TEdgeTransform t;
  t.ApplyOnDest(src, out);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      if (x == 1 && y == 1) continue;
      EXPECT_EQ(out.GetPixel(x, y), src.GetPixel(x, y));
    }
}

TEST(Convolution, UniformImages) {
  TDibGraphic src, out;
  Fill(src, 6, 5, PackColor(10, 128, 250));
  TSharpenTransform sharpen;
  TSmoothTransform smooth;
  TEmbossTransform emboss;
  for (TConvolutionTransform* t : std::initializer_list<TConvolutionTransform*>{&sharpen, &smooth, &emboss}) {
    t->ApplyOnDest(src, out);
    EXPECT_TRUE(SameImage(out, src)) << t->ClassName();
  }
  TEdgeTransform edge;
  edge.ApplyOnDest(src, out);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool border = x == 0 || y == 0 || x == 5 || y == 4;
      EXPECT_EQ(out.GetPixel(x, y), border ? src.GetPixel(x, y) : 0u);
    }
}

TEST(Convolution, ZeroAndNegativeDenominators) {
  TDibGraphic src, out;
  FillRandom(src, TImageFormat::TrueColor, 8, 6, 9);
  TConvolutionTransform t;
  t.Denominator = 0;
  t.ApplyOnDest(src, out);
  EXPECT_EQ(t.Denominator, 1);
  EXPECT_TRUE(SameImage(out, src)) << "the identity kernel";
  // A negative denominator makes every quotient 0 or negative: saturated to black, not wrapped.
  t.Denominator = -1;
  t.ApplyOnDest(src, out);
  EXPECT_EQ(out.GetPixel(3, 3), 0u);
  EXPECT_EQ(out.GetPixel(0, 3), src.GetPixel(0, 3));
}

TEST(AntiAlias, TableValues) {
  const auto& table = AntiAliasTable();
  EXPECT_EQ(table[0x00], 0x0000);
  EXPECT_EQ(table[0xFF], 0xFFFF);
  EXPECT_EQ(table[0x80], 0x4000);  // top-left pixel only: column 0 sees 1 of 4
  EXPECT_EQ(table[0x11], 0x008F);  // column 3 of both rows: column 2 sees 2 of 4, column 3 2 of 2
  EXPECT_EQ(table[0xCC], 0xF800);  // columns 0 and 1 of both rows
}

TEST(AntiAlias, UniformAndSingleWhitePixels) {
  TAntiAliasTransform t;
  for (int white : {0, 1}) {
    TDibGraphic src, out;
    src.NewImage(16, 5, TImageFormat::BlackWhite, nullptr, 200, 100);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 16; ++x) src.SetPixelIndex(x, y, white);
    t.ApplyOnDest(src, out);
    ASSERT_EQ(out.ImageFormat(), TImageFormat::Gray16);
    EXPECT_EQ(out.XDpi(), 200);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(out.GetPixelIndex(x, y), white ? 15 : 0);
  }
  for (int px = 0; px < 12; ++px) {
    SCOPED_TRACE(px);
    TDibGraphic src, out;
    src.NewImage(12, 4, TImageFormat::BlackWhite, nullptr, 0, 0);
    const int py = 2;
    src.SetPixelIndex(px, py, 1);
    t.ApplyOnDest(src, out);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 12; ++x) {
        int want = 0;
        const bool rows = y == py || y == py - 1;
        if (px % 4 == 3) {
          if (rows && x == px) want = 8;
          if (rows && x == px - 1) want = 4;
        } else {
          if (rows && x == px) want = 4;
          if (rows && x == px - 1 && px % 4 != 0) want = 4;
        }
        ASSERT_EQ(out.GetPixelIndex(x, y), want) << x << "," << y;
      }
  }
}

TEST(AntiAlias, OneRowPairsWithItselfAndOtherFormatsPassThrough) {
  TAntiAliasTransform t;
  TDibGraphic row, out;
  row.NewImage(8, 1, TImageFormat::BlackWhite, nullptr, 0, 0);
  for (int x = 0; x < 8; ++x) row.SetPixelIndex(x, 0, 1);
  t.Apply(row);
  ASSERT_EQ(row.ImageFormat(), TImageFormat::Gray16);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(row.GetPixelIndex(x, 0), 15);

  for (TImageFormat f : {TImageFormat::Gray256, TImageFormat::TrueColor}) {
    TDibGraphic src, copy;
    FillRandom(src, f, 7, 3, 1);
    copy.Assign(&src);
    TProgressLog log;
    log.Hook(t);
    t.Apply(src);
    EXPECT_TRUE(SameImage(src, copy));
    t.ApplyOnDest(copy, out);
    EXPECT_TRUE(SameImage(out, copy));
    EXPECT_TRUE(log.Percents.empty());
  }
}
