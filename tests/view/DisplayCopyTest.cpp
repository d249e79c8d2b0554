// The display copy is built around the visible area only; every pixel built, and every pixel
// painted, must be the one the whole-image copy holds at that place.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "ViewTestSupport.h"

using namespace qvtest;

namespace {

// The built part's pixel (x, y) against the whole copy at the part's offset.
::testing::AssertionResult PartMatchesWhole(const TImageScrollBox& box, const TDibGraphic& whole) {
  const TDibGraphic& part = box.DisplayGraphic();
  const TRect area = box.DisplayArea();
  if (part.Width() != area.Width() || part.Height() != area.Height())
    return ::testing::AssertionFailure() << "part size differs from its area";
  if (part.ImageFormat() != whole.ImageFormat()) return ::testing::AssertionFailure() << "format differs";
  const TPixelReader read = part.PixelReader();
  for (int y = 0; y < part.Height(); ++y)
    for (int x = 0; x < part.Width(); ++x)
      if (read(part.ScanLine(y), x) != read(whole.ScanLine(y + area.Top), x + area.Left))
        return ::testing::AssertionFailure() << "pixel (" << x + area.Left << ", " << y + area.Top << ") differs";
  return ::testing::AssertionSuccess();
}

bool Covers(const TRect& outer, const TRect& inner) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

struct TWindowCase {
  TImageFormat Format;
  float Zoom;
};

void PrintTo(const TWindowCase& c, std::ostream* os) { *os << ImageFormatName(c.Format) << " at " << c.Zoom << " %"; }

class DisplayWindow : public ::testing::TestWithParam<TWindowCase> {};

TEST_P(DisplayWindow, EqualsTheWholeCopyWhereverScrolled) {
  const auto [format, zoom] = GetParam();
  auto box = ShownBox(160, 120);
  ShowPattern(*box, format, 97, 71, TZoomMode::zmPercent, zoom);
  TDibGraphic whole;
  WholeDisplayCopy(*box, box->Graphic(), whole);
  ASSERT_EQ(whole.Width(), box->DisplayWidth());
  ASSERT_EQ(whole.Height(), box->DisplayHeight());

  QScrollBar* h = box->horizontalScrollBar();
  QScrollBar* v = box->verticalScrollBar();
  const std::pair<int, int> positions[] = {
      {0, 0}, {h->maximum() / 2, v->maximum() / 3}, {h->maximum(), v->maximum()}, {13, v->maximum()}};
  for (const auto& [x, y] : positions) {
    h->setValue(x);
    v->setValue(y);
    box->EnsureDisplayArea(box->VisibleArea());
    SCOPED_TRACE(::testing::Message() << "scrolled to " << x << ", " << y);
    EXPECT_TRUE(Covers(box->DisplayArea(), box->VisibleArea()));
    EXPECT_TRUE(PartMatchesWhole(*box, whole));
    EXPECT_TRUE(ShownIsTheCopy(*box, whole));
  }
}

std::vector<TWindowCase> WindowCases() {
  std::vector<TWindowCase> cases;
  for (TImageFormat f : kAllFormats)
    for (float zoom : {33.0f, 100.0f, 137.5f, 400.0f, 1000.0f}) cases.push_back({f, zoom});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(FormatsAndZooms, DisplayWindow, ::testing::ValuesIn(WindowCases()), [](const auto& info) {
  return "format" + std::to_string(static_cast<int>(info.param.Format)) + "_zoom" +
         std::to_string(static_cast<int>(info.param.Zoom * 10));
});

TEST(DisplayWindowLimits, LargeZoomBuildsOnlyAroundTheView) {
  auto box = ShownBox(200, 150);
  const auto image = ShowPattern(*box, TImageFormat::TrueColor, 3000, 2000, TZoomMode::zmPercent, 1000.0f);
  EXPECT_EQ(box->DisplayWidth(), 30000);
  EXPECT_EQ(box->DisplayHeight(), 20000);
  // Window plus margins, nowhere near the 1.8 GB of the whole copy.
  EXPECT_LE(box->DisplayGraphic().Width(), 200 + 2 * 64);
  EXPECT_LE(box->DisplayGraphic().Height(), 150 + 2 * 64);
  box->horizontalScrollBar()->setValue(box->horizontalScrollBar()->maximum());
  box->verticalScrollBar()->setValue(12345);
  box->EnsureDisplayArea(box->VisibleArea());
  const TRect area = box->DisplayArea();
  EXPECT_EQ(area.Right, 30000);
  // Spot checks against the stretch's sampling of the source at 10x.
  const TDibGraphic& part = box->DisplayGraphic();
  for (const auto& [x, y] : {std::pair{area.Left, area.Top}, std::pair{area.Right - 1, area.Bottom - 1}})
    EXPECT_EQ(part.GetPixel(x - area.Left, y - area.Top), image->GetPixel(x / 10, y / 10)) << x << "," << y;
}

TEST(DisplayWindowLimits, ResizePartMatchesTheWholeResultAlsoInterpolated) {
  TDibGraphic image;
  MakePattern(image, TImageFormat::Color16, 23, 17);
  for (bool interpolate : {false, true}) {
    TResizeTransform resize;
    resize.NewWidth = 61;
    resize.NewHeight = 9;
    resize.Interpolate = interpolate;
    TDibGraphic whole, part;
    resize.ApplyOnDest(image, whole);
    resize.ApplyOnDestPart(image, part, TRect{-5, 3, 40, 99});  // clipped to 0..40 x 3..9
    ASSERT_EQ(part.Width(), 40);
    ASSERT_EQ(part.Height(), 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 40; ++x) ASSERT_EQ(part.GetPixel(x, y), whole.GetPixel(x, y + 3)) << interpolate;
    EXPECT_THROW(resize.ApplyOnDestPart(image, part, TRect{61, 0, 70, 5}), EQuorvaneError);
  }
}

}  // namespace
