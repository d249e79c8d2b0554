// The view on a screen that scales widgets (run with QT_SCALE_FACTOR=2, the test_view.scale2
// entry of ctest; skipped at a ratio of 1): the display copy is made in device pixels, so at
// 100 % one picture pixel is one pixel of the screen, and fits count the client in device pixels.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "ViewTestSupport.h"

using namespace qvtest;

namespace {

// What the image control paints, in device pixels, against the whole display copy.
::testing::AssertionResult PaintedIsTheCopy(TImageScrollBox& box, const TDibGraphic& whole) {
  const QImage shown = box.ImageControl()->grab().toImage();
  if (shown.width() < whole.Width() || shown.height() < whole.Height())
    return ::testing::AssertionFailure() << "painted " << shown.width() << " x " << shown.height() << ", the copy is "
                                         << whole.Width() << " x " << whole.Height();
  for (int y = 0; y < whole.Height(); ++y)
    for (int x = 0; x < whole.Width(); ++x)
      if ((shown.pixel(x, y) & 0xFFFFFF) != whole.GetPixel(x, y))
        return ::testing::AssertionFailure() << "device pixel (" << x << ", " << y << ") differs";
  return ::testing::AssertionSuccess();
}

TEST(HiDpi, PicturePixelsAreDevicePixels) {
  auto box = ShownBox(120, 100);
  const double ratio = box->devicePixelRatioF();
  if (ratio != 2.0) GTEST_SKIP() << "runs at QT_SCALE_FACTOR=2 (ratio here " << ratio << ")";
  const struct {
    const char* Name;
    int Width, Height;
    TZoomMode Mode;
    float Percent;
    float WantZoom;
    int WantDeviceWidth, WantDeviceHeight, WantControlWidth, WantControlHeight;
  } cases[] = {
      {"100 % is one device pixel each", 50, 40, TZoomMode::zmOriginalSize, 0, 100, 50, 40, 25, 20},
      {"odd sizes round the control up", 51, 41, TZoomMode::zmOriginalSize, 0, 100, 51, 41, 26, 21},
      {"200 % fills a widget pixel", 30, 20, TZoomMode::zmPercent, 200, 200, 60, 40, 30, 20},
      {"full page counts device pixels", 480, 100, TZoomMode::zmFullPage, 0, 50, 240, 50, 120, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto image = ShowPattern(*box, TImageFormat::TrueColor, c.Width, c.Height, c.Mode, c.Percent);
    EXPECT_FLOAT_EQ(box->ZoomPercent(), c.WantZoom);
    EXPECT_EQ(box->DisplayWidth(), c.WantDeviceWidth);
    EXPECT_EQ(box->DisplayHeight(), c.WantDeviceHeight);
    EXPECT_EQ(box->ImageControl()->size(), QSize(c.WantControlWidth, c.WantControlHeight));
    TDibGraphic whole;
    WholeDisplayCopy(*box, *image, whole);
    EXPECT_TRUE(PaintedIsTheCopy(*box, whole));
  }
}

TEST(HiDpi, AQuickSelectionHoldsTheDevicePixelsItCovers) {
  auto box = ShownBox(120, 100);
  if (box->devicePixelRatioF() != 2.0) GTEST_SKIP() << "runs at QT_SCALE_FACTOR=2";
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 60, 50);
  box->SetGraphic(image);
  box->SetMouseMode(TMouseMode::mmQuickSelect);
  TDibGraphic selected;
  box->OnQuickSelect = [&](TImageScrollBox&, TDibGraphic& g) { selected.Assign(&g); };
  Drag(*box, {QPoint(5, 4), QPoint(15, 10)});
  ASSERT_EQ(selected.Width(), 20);
  ASSERT_EQ(selected.Height(), 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(selected.GetPixel(x, y), image.GetPixel(x + 10, y + 8));
}

}  // namespace
