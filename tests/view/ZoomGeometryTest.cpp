// The view's arithmetic without widgets: zoom of each mode, display size and its clamping, scroll
// bars, placement, the visible area and the part built around it.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "model/QvExcept.h"
#include "view/QvZoomGeometry.h"

namespace {

using namespace quorvane;

constexpr int kBar = 15;  // extent of both scroll bars in these cases

// Rectangles compare as text, which also shows them in a failure.
std::string Text(const TRect& r) {
  std::ostringstream text;
  text << '(' << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ')';
  return text.str();
}

struct TZoomCase {
  const char* Name;
  int ImageWidth, ImageHeight;
  int BoxWidth, BoxHeight;
  TZoomMode Mode;
  float Percent;     // the current zoom (zmPercent keeps it)
  TScrollBars Bars;  // shown before the zoom is computed
  float WantZoom;
  int WantWidth, WantHeight;
  TScrollBars WantBars;
};

using Z = TZoomMode;

// clang-format off
const TZoomCase kZoomCases[] = {
    {"full page, wide image", 200, 100, 100, 100, Z::zmFullPage, 100, {}, 50.0f, 100, 50, {}},
    {"full page, tall image", 100, 400, 100, 100, Z::zmFullPage, 100, {}, 25.0f, 25, 100, {}},
    {"full page ignores the bars shown", 100, 400, 100, 100, Z::zmFullPage, 100, {true, true}, 25.0f, 25, 100, {}},
    {"full page enlarges", 20, 10, 100, 100, Z::zmFullPage, 100, {}, 500.0f, 100, 50, {}},
    {"percent 33", 100, 100, 150, 150, Z::zmPercent, 33.0f, {}, 33.0f, 33, 33, {}},
    {"percent 200 scrolls both ways", 100, 100, 150, 150, Z::zmPercent, 200.0f, {}, 200.0f, 200, 200, {true, true}},
    {"original size fits", 80, 60, 100, 100, Z::zmOriginalSize, 37.0f, {}, 100.0f, 80, 60, {}},
    {"original size, only wider", 300, 50, 100, 100, Z::zmOriginalSize, 100, {}, 100.0f, 300, 50, {true, false}},
    {"fit height hides both bars", 50, 200, 100, 100, Z::zmFitHeight, 100, {true, true}, 50.0f, 25, 100, {}},
    {"fit width, short image", 200, 50, 100, 100, Z::zmFitWidth, 100, {}, 50.0f, 100, 25, {}},
    {"fit width beside a vertical bar", 170, 400, 100, 100, Z::zmFitWidth, 100, {false, true}, 50.0f, 85, 200, {false, true}},
    {"tiny zoom keeps a pixel", 100, 100, 100, 100, Z::zmPercent, 0.2f, {}, 0.2f, 1, 1, {}},
    {"a vertical bar brings the horizontal", 95, 300, 100, 100, Z::zmOriginalSize, 100, {}, 100.0f, 95, 300, {true, true}},
    {"a horizontal bar brings the vertical", 300, 95, 100, 100, Z::zmOriginalSize, 100, {}, 100.0f, 300, 95, {true, true}},
    {"fits beside neither bar", 90, 90, 100, 100, Z::zmOriginalSize, 100, {}, 100.0f, 90, 90, {}},
};
// clang-format on

void PrintTo(const TZoomCase& c, std::ostream* os) { *os << c.Name; }

class ZoomGeometryCases : public ::testing::TestWithParam<TZoomCase> {};

TEST_P(ZoomGeometryCases, GiveZoomDisplaySizeBarsAndRanges) {
  const TZoomCase& c = GetParam();
  const TZoomGeometry geometry(c.BoxWidth, c.BoxHeight, 0, kBar, kBar);
  const TScrollBars zooming = TZoomGeometry::BarsWhileZooming(c.Mode, c.Bars);
  const float zoom = geometry.Zoom(c.Mode, c.Percent, c.ImageWidth, c.ImageHeight, zooming);
  EXPECT_FLOAT_EQ(zoom, c.WantZoom);
  const int width = TZoomGeometry::DisplayExtent(c.ImageWidth, zoom);
  const int height = TZoomGeometry::DisplayExtent(c.ImageHeight, zoom);
  EXPECT_EQ(width, c.WantWidth);
  EXPECT_EQ(height, c.WantHeight);
  const TScrollBars bars = geometry.ScrollBarsFor(width, height);
  EXPECT_EQ(bars.Horizontal, c.WantBars.Horizontal);
  EXPECT_EQ(bars.Vertical, c.WantBars.Vertical);
  // What does not fit beside the bars scrolls.
  EXPECT_EQ(geometry.HorizontalRange(width, bars), std::max(0, width - geometry.ClientWidth(bars)));
  EXPECT_EQ(geometry.VerticalRange(height, bars), std::max(0, height - geometry.ClientHeight(bars)));
  EXPECT_EQ(bars.Horizontal, geometry.HorizontalRange(width, bars) > 0);
  EXPECT_EQ(bars.Vertical, geometry.VerticalRange(height, bars) > 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ZoomGeometryCases, ::testing::ValuesIn(kZoomCases), [](const auto& info) {
  std::string name = info.param.Name;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(ZoomGeometry, ClientSizeLosesFrameAndBarsButNeverGoesNegative) {
  const TZoomGeometry geometry(100, 60, 2, kBar, 12);
  EXPECT_EQ(geometry.ClientWidth({}), 96);
  EXPECT_EQ(geometry.ClientWidth({true, false}), 96);
  EXPECT_EQ(geometry.ClientWidth({false, true}), 81);
  EXPECT_EQ(geometry.ClientHeight({true, false}), 44);
  const TZoomGeometry tiny(10, 5, 2, kBar, kBar);
  EXPECT_EQ(tiny.ClientWidth({true, true}), 0);
  EXPECT_EQ(tiny.ClientHeight({true, true}), 0);
  // A box without client height zooms fit height to 0 %, and the copy keeps one pixel.
  EXPECT_FLOAT_EQ(tiny.Zoom(TZoomMode::zmFitHeight, 100, 40, 40, {}), 2.5f);
  const TZoomGeometry flat(10, 4, 2, kBar, kBar);
  EXPECT_FLOAT_EQ(flat.Zoom(TZoomMode::zmFitHeight, 100, 40, 40, {}), 0.0f);
  EXPECT_EQ(TZoomGeometry::DisplayExtent(40, 0.0f), 1);
}

TEST(ZoomGeometry, DisplayExtentTruncatesAndIsClamped) {
  const struct {
    int Extent;
    float Percent;
    int Want;  // 0: refused
  } cases[] = {
      {100, 33.0f, 33},
      {3, 50.0f, 1},
      {7, 150.0f, 10},
      {100, 0.2f, 1},
      {167772, 10000.0f, 16777200},
      {16777215, 100.0f, 16777215},
      {16777216, 100.0f, 0},
      {30000, 70000.0f, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Extent) + " at " + std::to_string(c.Percent));
    if (c.Want == 0) {
      try {
        TZoomGeometry::DisplayExtent(c.Extent, c.Percent);
        ADD_FAILURE() << "accepted";
      } catch (const EQuorvaneError& e) {
        EXPECT_EQ(e.Message(), "CreateDibSection failed");
      }
    } else {
      EXPECT_EQ(TZoomGeometry::DisplayExtent(c.Extent, c.Percent), c.Want);
    }
  }
}

TEST(ZoomGeometry, CentringUsesTheOuterSizeWhereNothingScrolls) {
  const TZoomGeometry geometry(150, 100, 0, kBar, kBar);
  const struct {
    int Width, Height;
    TScrollBars Bars;
    bool Centered;
    TRect Want;
  } cases[] = {
      {50, 50, {}, true, {50, 25, 100, 75}},
      {50, 50, {}, false, {0, 0, 50, 50}},
      {49, 51, {}, true, {50, 24, 99, 75}},               // halves truncated
      {50, 300, {false, true}, true, {50, 0, 100, 300}},  // scrolls down: not centred vertically
      {400, 50, {true, false}, true, {0, 25, 400, 75}},   // scrolls across: not centred horizontally
      {150, 100, {}, true, {0, 0, 150, 100}},             // as large as the box
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Width) + " x " + std::to_string(c.Height));
    EXPECT_EQ(Text(geometry.CopyRect(c.Width, c.Height, c.Bars, c.Centered)), Text(c.Want));
  }
}

TEST(ZoomGeometry, VisibleAreaIsTheClientAtTheScrollPositionInsideTheCopy) {
  const TZoomGeometry geometry(100, 100, 0, kBar, kBar);
  const TScrollBars both{true, true};
  EXPECT_EQ(Text(geometry.VisibleArea(70, 40, TRect{0, 0, 300, 300}, both)), Text(TRect{70, 40, 155, 125}));
  EXPECT_EQ(Text(geometry.VisibleArea(250, 250, TRect{0, 0, 300, 300}, both)), Text(TRect{250, 250, 300, 300}));
  // A centred copy smaller than the client: all of it.
  EXPECT_EQ(Text(geometry.VisibleArea(0, 0, TRect{25, 30, 75, 70}, {})), Text(TRect{0, 0, 50, 40}));
}

TEST(ZoomGeometry, BuiltAreaCoversTheWantedPartWithAMargin) {
  const TZoomGeometry small(100, 100, 0, kBar, kBar);  // margin 64 (a quarter of the client is less)
  const TZoomGeometry large(800, 600, 0, kBar, kBar);  // margins 200 and 150
  const struct {
    const char* Name;
    const TZoomGeometry& Geometry;
    TRect Wanted, Built;
    int Width, Height;
    std::optional<TRect> Want;
  } cases[] = {
      {"nothing built yet", small, {100, 100, 200, 200}, {}, 1000, 1000, TRect{36, 36, 264, 264}},
      {"clipped to the copy", small, {0, 0, 100, 100}, {}, 120, 1000, TRect{0, 0, 120, 164}},
      {"already built", small, {100, 100, 200, 200}, {36, 36, 264, 264}, 1000, 1000, std::nullopt},
      {"partly built", small, {100, 100, 270, 200}, {36, 36, 264, 264}, 1000, 1000, TRect{36, 36, 334, 264}},
      {"outside the copy", small, {500, 0, 600, 50}, {}, 400, 400, std::nullopt},
      {"wanted beyond the copy is clipped first", small, {-50, -50, 50, 50}, {0, 0, 114, 114}, 400, 400, std::nullopt},
      {"a quarter of a large client", large, {1000, 1000, 1800, 1600}, {}, 5000, 5000, TRect{800, 850, 2000, 1750}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::optional<TRect> got = c.Geometry.AreaToBuild(c.Wanted, c.Built, c.Width, c.Height, {});
    ASSERT_EQ(got.has_value(), c.Want.has_value());
    if (got) {
      EXPECT_EQ(Text(*got), Text(*c.Want));
    }
  }
}

TEST(ZoomGeometry, ZoomStepsGoToTheNeighbouringStepOfTheLadder) {
  const struct {
    float Percent;
    int Direction;
    float Want;
  } cases[] = {
      {100, 1, 125},   {100, -1, 75},  {8.7f, 1, 10}, {8.7f, -1, 7},     // a fitted zoom between steps
      {10.04f, 1, 15}, {9.96f, -1, 7},                                   // a hair off a step counts as on it
      {1000, 1, 1000}, {1, -1, 1},     {0.5f, 1, 1},  {2000, -1, 1000},  // the ends hold
      {50, 0, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Percent) + " by " + std::to_string(c.Direction));
    EXPECT_FLOAT_EQ(TZoomGeometry::NextZoomStep(c.Percent, c.Direction), c.Want);
  }
  // Every step out undoes a step in, from end to end of the ladder.
  for (float zoom = 1; zoom < 1000;) {
    const float in = TZoomGeometry::NextZoomStep(zoom, 1);
    ASSERT_GT(in, zoom);
    EXPECT_FLOAT_EQ(TZoomGeometry::NextZoomStep(in, -1), zoom);
    zoom = in;
  }
}

TEST(ZoomGeometry, ZoomingAboutAPointKeepsThePicturePointUnderIt) {
  const struct {
    const char* Name;
    double Ratio;
    int Viewport, Scroll, CopyStart;
    float From, To;
    int Range;
    int WantScroll;
  } cases[] = {
      {"in at the origin", 1, 0, 0, 0, 100, 200, 1000, 0},
      {"in about the middle", 1, 50, 0, 0, 100, 200, 1000, 50},
      {"in while scrolled", 1, 50, 30, 0, 100, 200, 1000, 110},
      {"out past the start", 1, 50, 30, 0, 200, 100, 1000, 0},
      {"in beyond the range", 1, 90, 900, 0, 100, 400, 500, 500},
      {"centred copy", 1, 70, 0, 40, 100, 200, 1000, 30},
      {"device pixels at ratio 2", 2, 50, 0, 0, 100, 200, 1000, 50},
      {"ratio 1.5 rounds", 1.5, 33, 10, 0, 100, 125, 1000, 21},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TZoomGeometry geometry(400, 300, 0, kBar, kBar, c.Ratio);
    const double position = geometry.PicturePosition(c.Viewport, c.Scroll, c.CopyStart, c.From);
    EXPECT_EQ(geometry.ScrollToKeep(position, c.Viewport, c.CopyStart, c.To, c.Range), c.WantScroll);
    // Back at the first zoom the scroll position returns where the range allows.
    if (c.WantScroll > 0 && c.WantScroll < c.Range) {
      EXPECT_NEAR(geometry.ScrollToKeep(position, c.Viewport, c.CopyStart, c.From, 100000), c.Scroll, 1);
    }
  }
}

TEST(ZoomGeometry, DevicePixelsAndWidgetPixelsMeetWithoutGaps) {
  // A fit counts the client in device pixels: at ratio 2 a 100 x 100 client holds 200 pixels.
  const TZoomGeometry hidpi(100, 100, 0, kBar, kBar, 2.0);
  EXPECT_FLOAT_EQ(hidpi.Zoom(TZoomMode::zmFullPage, 100, 400, 200, {}), 50.0f);
  EXPECT_FLOAT_EQ(hidpi.Zoom(TZoomMode::zmOriginalSize, 37, 400, 200, {}), 100.0f);
  const struct {
    double Ratio;
    int Device;
    int WantLogical;
  } extents[] = {{1, 37, 37},     {2, 200, 100}, {2, 201, 101}, {1.5, 150, 100}, {1.5, 151, 101},
                 {1.1, 110, 100}, {2, 1, 1},     {0, 50, 50},   {-3, 50, 50}};
  for (const auto& e : extents) {
    SCOPED_TRACE(std::to_string(e.Ratio) + ": " + std::to_string(e.Device));
    EXPECT_EQ(TZoomGeometry(100, 100, 0, kBar, kBar, e.Ratio).LogicalExtent(e.Device), e.WantLogical);
  }
  const struct {
    double Ratio;
    TRect Logical;
    int Width, Height;
    TRect Want;
  } rects[] = {
      {1, {3, 4, 10, 12}, 50, 50, {3, 4, 10, 12}},
      {2, {3, 4, 10, 12}, 50, 50, {6, 8, 20, 24}},
      {1.5, {1, 1, 3, 3}, 50, 50, {1, 1, 5, 5}},        // rounded outwards
      {2, {20, 20, 40, 40}, 51, 60, {40, 40, 51, 60}},  // clipped to the copy
  };
  for (const auto& r : rects) {
    SCOPED_TRACE(std::to_string(r.Ratio) + " " + Text(r.Logical));
    EXPECT_EQ(Text(TZoomGeometry(100, 100, 0, kBar, kBar, r.Ratio).DeviceRect(r.Logical, r.Width, r.Height)),
              Text(r.Want));
  }
}

}  // namespace
