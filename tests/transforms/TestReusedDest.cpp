// Results written into a destination that already holds a block of the same size (left
// unzeroed by the transforms that write every byte) and results of the wide row paths.
#include <functional>
#include <memory>

#include "TransfTestSupport.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

namespace {

// Widths around the 5-, 16-, 21-, 22- and 64-pixel steps of the row routines.
constexpr int kWidths[] = {1, 5, 6, 7, 16, 21, 22, 23, 64, 65, 130};

// T into a fresh image, and again into an image whose same-sized block is full of garbage.
::testing::AssertionResult SameOnGarbage(TImageTransform& t, const TDibGraphic& src) {
  TDibGraphic fresh, reused;
  t.ApplyOnDest(src, fresh);
  t.ApplyOnDest(src, reused);
  std::memset(reused.Bits(), 0xA5, reused.ImageSize());
  t.ApplyOnDest(src, reused);
  return SameImage(reused, fresh);
}

std::vector<std::pair<std::string, std::function<std::unique_ptr<TImageTransform>()>>> Transforms() {
  auto rotate = [](double angle) {
    return [angle]() -> std::unique_ptr<TImageTransform> {
      auto t = std::make_unique<TRotateTransform>();
      t->Angle = angle;
      return t;
    };
  };
  auto gray = [](TImageFormat target) {
    return [target]() -> std::unique_ptr<TImageTransform> {
      auto t = std::make_unique<TConvertToGrayTransform>();
      t->GrayTarget = target;
      return t;
    };
  };
  return {
      {"flip horizontal", [] { return std::make_unique<TFlipHorizontalTransform>(); }},
      {"flip vertical", [] { return std::make_unique<TFlipVerticalTransform>(); }},
      {"rotate 90", rotate(90)},
      {"rotate 180", rotate(180)},
      {"rotate 270", rotate(270)},
      {"rotate 30", rotate(30)},
      {"crop",
       [] {
         auto t = std::make_unique<TCropTransform>();
         t->CropLeft = 0, t->CropTop = 1, t->CropRight = 0, t->CropBottom = 0;
         return t;
       }},
      {"negative", [] { return std::make_unique<TNegativeTransform>(); }},
      {"gamma",
       [] {
         auto t = std::make_unique<TGammaTransform>();
         t->GammaValue = 2.2;
         return t;
       }},
      {"gray 256", gray(TImageFormat::Gray256)},
      {"gray 16", gray(TImageFormat::Gray16)},
      {"black and white", gray(TImageFormat::BlackWhite)},
  };
}

// The image of the single pixel (X, Y) of Source, with Source's palette.
void OnePixel(const TDibGraphic& src, int x, int y, TDibGraphic& pixel) {
  pixel.NewImage(1, 1, src.ImageFormat(), &src.PaletteRecord(), 96, 96);
  SetRawPixel(pixel, 0, 0, RawPixel(src, x, y));
}

}  // namespace

TEST(ReusedDestination, GarbageInAReusedBlockNeverShows) {
  for (TImageFormat f : kAllFormats)
    for (int w : kWidths) {
      SCOPED_TRACE(FormatLabel(f) + " width " + std::to_string(w));
      TDibGraphic src;
      FillRandom(src, f, w, 9, static_cast<unsigned>(w));
      for (const auto& [name, make] : Transforms()) {
        auto t = make();
        EXPECT_TRUE(SameOnGarbage(*t, src)) << name;
      }
    }
}

// A point operation's pixel does not depend on the row around it, so each pixel of a wide row
// must equal the result of the same pixel alone (which takes the one-pixel-at-a-time paths).
TEST(ReusedDestination, WideRowsAgreeWithSinglePixels) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 130, 3, 17);
    for (const auto& [name, make] : Transforms()) {
      if (name.rfind("gamma", 0) != 0 && name.rfind("gray", 0) != 0) continue;
      auto t = make();
      TDibGraphic wide, pixel, single;
      t->ApplyOnDest(src, wide);
      for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) {
          OnePixel(src, x, y, pixel);
          t->ApplyOnDest(pixel, single);
          ASSERT_EQ(RawPixel(wide, x, y), RawPixel(single, 0, 0)) << name << " at " << x << ", " << y;
        }
    }
  }
}

// Source and destination the same image: the same result as into another image, and the same
// progress reports.
TEST(ReusedDestination, SourceAsItsOwnDestination) {
  for (TImageFormat f : kAllFormats) {
    SCOPED_TRACE(FormatLabel(f));
    TDibGraphic src;
    FillRandom(src, f, 23, 9, 5);
    for (const auto& [name, make] : Transforms()) {
      auto t = make();
      TProgressLog expectedLog, log;
      TDibGraphic separate, same;
      expectedLog.Hook(*t);
      t->ApplyOnDest(src, separate);
      log.Hook(*t);
      same.Assign(&src);
      t->ApplyOnDest(same, same);
      EXPECT_TRUE(SameImage(same, separate)) << name;
      EXPECT_EQ(log.Percents, expectedLog.Percents) << name;
    }
  }
}
