#include <cmath>

#include "TransfTestSupport.h"
#include "common/CommaLocale.h"
#include "transforms/QvTransfGeometry.h"

using namespace quorvane;

namespace {

// The per-pixel any-angle rotation, written out as the rule states it.
void ReferenceRotate(const TDibGraphic& src, TDibGraphic& dst, double angle) {
  const int w = src.Width(), h = src.Height();
  const double t = M_PI * angle / 180, s = std::sin(t), c = std::cos(t);
  const int cx = w / 2, cy = h / 2;
  long minX = 1L << 40, maxX = -(1L << 40), minY = minX, maxY = maxX;
  for (auto [x, y] : {std::pair{0, 0}, std::pair{0, h - 1}, std::pair{w - 1, h - 1}, std::pair{w - 1, 0}}) {
    const long X = std::lrint((x - cx) * c - (y - cy) * s + cx), Y = std::lrint((x - cx) * s + (y - cy) * c + cy);
    minX = std::min(minX, X), maxX = std::max(maxX, X), minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  const int nw = static_cast<int>(maxX - minX + 1), nh = static_cast<int>(maxY - minY + 1);
  dst.NewImage(nw, nh, src.ImageFormat(), &src.PaletteRecord(), static_cast<uint16_t>(src.XDpi()),
               static_cast<uint16_t>(src.YDpi()));
  const double is = std::sin(-t), ic = std::cos(-t);
  const int ncx = nw / 2, ncy = nh / 2;
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x) {
      long sx = std::lrint((x - ncx) * ic - (y - ncy) * is + cx), sy = std::lrint((x - ncx) * is + (y - ncy) * ic + cy);
      if (sx == w) sx = w - 1;
      if (sy == h) sy = h - 1;
      if (sx >= 0 && sx < w && sy >= 0 && sy < h)
        SetRawPixel(dst, x, y, RawPixel(src, static_cast<int>(sx), static_cast<int>(sy)));
      else
        dst.SetPixel(x, y, BackgroundColor);
    }
}

// Dest(x', y') == Source(x, y) for the mapping of a quarter turn or flip.
template <typename F>
::testing::AssertionResult Moved(const TDibGraphic& src, const TDibGraphic& dst, F map) {
  if (dst.ImageFormat() != src.ImageFormat()) return ::testing::AssertionFailure() << "format";
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) {
      const auto [dx, dy] = map(x, y);
      if (RawPixel(dst, dx, dy) != RawPixel(src, x, y))
        return ::testing::AssertionFailure() << "(" << x << "," << y << ")";
    }
  return ::testing::AssertionSuccess();
}

void Rotate(const TDibGraphic& src, TDibGraphic& dst, double angle) {
  TRotateTransform t;
  t.Angle = angle;
  t.ApplyOnDest(src, dst);
}

}  // namespace

TEST(Geometry, FlipsAndQuarterTurnsMovePixelsOnEveryFormat) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    // 70 x 67 crosses the 64-pixel tiles; 13 x 5 has partial bytes in every sub-byte format.
    for (const auto& size : {std::pair{70, 67}, std::pair{13, 5}}) {
      const int w = size.first, h = size.second;  // lambdas below capture them (clang 14: no bindings)
      TDibGraphic src;
      FillRandom(src, f, w, h, 11);
      TDibGraphic dst;
      TFlipHorizontalTransform flipH;
      flipH.ApplyOnDest(src, dst);
      EXPECT_TRUE(Moved(src, dst, [&](int x, int y) { return std::pair{w - 1 - x, y}; })) << "flip horizontal";
      TFlipVerticalTransform flipV;
      flipV.ApplyOnDest(src, dst);
      EXPECT_TRUE(Moved(src, dst, [&](int x, int y) { return std::pair{x, h - 1 - y}; })) << "flip vertical";
      Rotate(src, dst, 90);
      ASSERT_EQ(dst.Width(), h);
      EXPECT_TRUE(Moved(src, dst, [&](int x, int y) { return std::pair{h - 1 - y, x}; })) << "rotate 90";
      Rotate(src, dst, 180);
      EXPECT_TRUE(Moved(src, dst, [&](int x, int y) { return std::pair{w - 1 - x, h - 1 - y}; })) << "rotate 180";
      Rotate(src, dst, 270);
      EXPECT_TRUE(Moved(src, dst, [&](int x, int y) { return std::pair{y, w - 1 - x}; })) << "rotate 270";
      EXPECT_EQ(dst.XDpi(), 150) << "resolution values are not exchanged";
      EXPECT_EQ(dst.YDpi(), 75);
    }
  }
}

TEST(Geometry, RoundTripsRestoreEveryFormatExactly) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 70, 67, 11);
    TDibGraphic img;
    img.Assign(&src);
    TFlipHorizontalTransform flipH;
    TFlipVerticalTransform flipV;
    flipH.Apply(img);
    flipH.Apply(img);
    EXPECT_TRUE(SameImage(img, src)) << "flip horizontal twice";
    flipV.Apply(img);
    flipV.Apply(img);
    EXPECT_TRUE(SameImage(img, src)) << "flip vertical twice";
    TRotateTransform rotate;
    for (int i = 0; i < 4; ++i) rotate.Apply(img);
    EXPECT_TRUE(SameImage(img, src)) << "rotate 90 four times";
    rotate.Angle = 180;
    rotate.Apply(img);
    rotate.Apply(img);
    EXPECT_TRUE(SameImage(img, src)) << "rotate 180 twice";
    rotate.Angle = 90;
    rotate.Apply(img);
    rotate.Angle = 270;
    rotate.Apply(img);
    EXPECT_TRUE(SameImage(img, src)) << "rotate 90 then 270";
  }
}

TEST(Rotate, WholeAngleTest) {
  TDibGraphic src;
  FillRandom(src, TImageFormat::Color256, 3, 2, 11);
  TDibGraphic a, b;
  for (double angle : {0.0, 360.0, -720.0}) {
    Rotate(src, a, angle);
    EXPECT_TRUE(SameImage(a, src)) << angle;
  }
  Rotate(src, a, -90);
  Rotate(src, b, 270);
  EXPECT_TRUE(SameImage(a, b));
  Rotate(src, a, 450);
  Rotate(src, b, 90);
  EXPECT_TRUE(SameImage(a, b));
  Rotate(src, a, 90.004);
  EXPECT_TRUE(SameImage(a, b)) << "within the tolerance: the exact path";
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(b.GetPixelIndex(1, 0), src.GetPixelIndex(0, 0)) << "top-left lands top-right";
  // 90.0049 rounds to 90.005 at three decimals: the any-angle path.
  TDibGraphic big;
  FillRandom(big, TImageFormat::Color256, 40, 30, 11);
  Rotate(big, a, 90.0049);
  ReferenceRotate(big, b, 90.0049);
  EXPECT_TRUE(SameImage(a, b));
}

TEST(Rotate, WholeAngleTestUnderCommaLocale) {
  qvtest::TCommaLocaleScope comma;
  ASSERT_TRUE(comma.Active()) << qvtest::kCommaLocale << " is missing: run scripts/install-deps.sh";
  TDibGraphic src, a, b;
  FillRandom(src, TImageFormat::TrueColor, 5, 3, 7);
  for (double angle : {90.0, 90.004, -270.0}) {
    Rotate(src, a, angle);
    ASSERT_EQ(a.Width(), 3) << angle;
    EXPECT_EQ(a.GetPixel(2, 0), src.GetPixel(0, 0)) << angle;
  }
  Rotate(src, a, 90.0049);
  ReferenceRotate(src, b, 90.0049);
  EXPECT_TRUE(SameImage(a, b)) << "the any-angle path, as in the C locale";
}

// Angles far outside one turn are the same turn as their remainder; none may overflow into a
// bogus size (pi times 1e308 is infinite).
TEST(Rotate, HugeAnglesTurnAsTheirRemainder) {
  TDibGraphic src;
  FillRandom(src, TImageFormat::Color16, 23, 17, 3);
  for (double angle : {1e308, -1e308, 1e20 + 0.5, -7.25e15, 3600.0 + 33.5}) {
    TDibGraphic got, want;
    Rotate(src, got, angle);
    double remainder = std::fmod(angle, 360.0);
    if (remainder < 0) remainder += 360;
    Rotate(src, want, remainder);
    EXPECT_TRUE(SameImage(got, want)) << angle;
    EXPECT_GT(got.Width(), 1) << angle;
  }
  for (double angle : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    TDibGraphic got;
    Rotate(src, got, angle);
    EXPECT_TRUE(SameImage(got, src)) << "a non-finite angle turns nothing";
  }
}

TEST(Rotate, AnyAngleMatchesPerPixelRuleOnEveryFormat) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 41, 29, 11);
    for (double angle : {45.0, 90.3, -17.25, 200.0, 1e-3}) {
      TDibGraphic got, want;
      Rotate(src, got, angle);
      ReferenceRotate(src, want, angle);
      EXPECT_TRUE(SameImage(got, want)) << angle;
    }
  }
}

TEST(Rotate, FortyFiveDegreesOfAHundredSquare) {
  TDibGraphic src, dst;
  FillRandom(src, TImageFormat::Color16, 100, 100, 5);
  Rotate(src, dst, 45);
  EXPECT_EQ(dst.Width(), 141);
  EXPECT_EQ(dst.Height(), 141);
  EXPECT_EQ(dst.ImageFormat(), TImageFormat::Color16);
  EXPECT_EQ(dst.GetPixelIndex(0, 0), src.Converter()->PaletteIndexOf(BackgroundColor));
  FillRandom(src, TImageFormat::TrueColor, 100, 100, 5);
  Rotate(src, dst, 45);
  EXPECT_EQ(dst.GetPixel(0, 0), BackgroundColor);
  EXPECT_EQ(dst.GetPixel(140, 140), BackgroundColor);
}

TEST(Rotate, HugeRotatedSizeFailsCleanly) {
  // A very wide one-row image turned slightly: the result would be far beyond any image size.
  TDibGraphic src, dst;
  src.NewImage(1000000, 1, TImageFormat::BlackWhite, nullptr, 0, 0);
  TRotateTransform t;
  t.Angle = 0.5;
  EXPECT_EQ(MessageOf([&] { t.ApplyOnDest(src, dst); }), "CreateDibSection failed");
  t.Angle = 60;
  EXPECT_EQ(MessageOf([&] { t.ApplyOnDest(src, dst); }), "CreateDibSection failed");
}

TEST(Crop, MarginsAndRefusals) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 100, 20, 11);
    TCropTransform t;
    TDibGraphic dst;
    t.ApplyOnDest(src, dst);
    EXPECT_TRUE(SameImage(dst, src)) << "all margins 0";
    t.CropLeft = 10;
    t.CropRight = 10;
    t.CropTop = 3;
    t.CropBottom = 1;
    t.ApplyOnDest(src, dst);
    ASSERT_EQ(dst.Width(), 80);
    ASSERT_EQ(dst.Height(), 16);
    EXPECT_TRUE(Moved(dst, src, [](int x, int y) { return std::pair{x + 10, y + 3}; }));
    t.CropLeft = 13;  // odd offsets in the packed formats
    t.CropRight = 0;
    t.ApplyOnDest(src, dst);
    EXPECT_TRUE(Moved(dst, src, [](int x, int y) { return std::pair{x + 13, y + 3}; }));
    TDibGraphic fresh;
    fresh.NewImage(87, 16, f, &src.PaletteRecord(), 150, 75);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 87; ++x) SetRawPixel(fresh, x, y, RawPixel(dst, x, y));
    EXPECT_TRUE(SameImage(dst, fresh)) << "padding stays zero";
  }
  TDibGraphic src;
  FillRandom(src, TImageFormat::Gray256, 100, 20, 11);
  TDibGraphic dst;
  dst.Assign(&src);
  TCropTransform t;
  t.CropLeft = 50;
  t.CropRight = 50;
  EXPECT_EQ(MessageOf([&] { t.ApplyOnDest(src, dst); }), "Invalid crop parameters");
  EXPECT_TRUE(SameImage(dst, src)) << "Dest untouched";
  for (int side = 0; side < 4; ++side) {
    TCropTransform n;
    (side == 0 ? n.CropLeft : side == 1 ? n.CropTop : side == 2 ? n.CropRight : n.CropBottom) = -1;
    EXPECT_EQ(MessageOf([&] { n.ApplyOnDest(src, dst); }), "Invalid crop parameters") << side;
  }
  t.CropLeft = 0;
  t.CropRight = 0;
  t.CropBottom = -2147483647 - 1;
  EXPECT_EQ(MessageOf([&] { t.ApplyOnDest(src, dst); }), "Invalid crop parameters");
}

TEST(Geometry, EmptySourcesGiveEmptyResults) {
  TDibGraphic empty, dst;
  FillRandom(dst, TImageFormat::Gray16, 4, 4, 1);
  for (double angle : {90.0, 33.0}) {
    Rotate(empty, dst, angle);
    EXPECT_TRUE(dst.Empty()) << angle;
  }
  TFlipHorizontalTransform flipH;
  flipH.ApplyOnDest(empty, dst);
  EXPECT_TRUE(dst.Empty());
}

TEST(Geometry, TinyImagesAreCopied) {
  TDibGraphic col, row, dst;
  FillRandom(col, TImageFormat::Color16, 1, 5, 1);
  FillRandom(row, TImageFormat::Color16, 5, 1, 1);
  TFlipHorizontalTransform flipH;
  TFlipVerticalTransform flipV;
  flipH.ApplyOnDest(col, dst);
  EXPECT_TRUE(SameImage(dst, col));
  flipV.ApplyOnDest(row, dst);
  EXPECT_TRUE(SameImage(dst, row));
}
