#include "view/QvZoomGeometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "model/QvExcept.h"

namespace quorvane {

TRect IntersectRect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

bool IsEmptyRect(const TRect& r) { return r.Width() <= 0 || r.Height() <= 0; }

bool ContainsRect(const TRect& outer, const TRect& inner) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

namespace {

constexpr float kZoomSteps[] = {1,  2,   3,   5,   7,   10,  15,  20,  25,  33,  50,  67,
                                75, 100, 125, 150, 200, 300, 400, 500, 600, 800, 1000};

// Fractions of a pixel this close to a whole one are taken as whole: a ratio such as 1.1 makes
// 110 / 1.1 come out a hair above 100.
constexpr double kPixelSlack = 1e-6;

}  // namespace

TZoomGeometry::TZoomGeometry(int width, int height, int frame, int barWidth, int barHeight, double ratio)
    : FWidth(width),
      FHeight(height),
      FFrame(frame),
      FBarWidth(barWidth),
      FBarHeight(barHeight),
      FRatio(ratio > 0 && std::isfinite(ratio) ? ratio : 1.0) {}

int TZoomGeometry::ClientWidth(TScrollBars bars) const {
  return std::max(0, FWidth - 2 * FFrame - (bars.Vertical ? FBarWidth : 0));
}

int TZoomGeometry::ClientHeight(TScrollBars bars) const {
  return std::max(0, FHeight - 2 * FFrame - (bars.Horizontal ? FBarHeight : 0));
}

TScrollBars TZoomGeometry::BarsWhileZooming(TZoomMode mode, TScrollBars bars) {
  switch (mode) {
    case TZoomMode::zmFullPage:
    case TZoomMode::zmFitHeight: return TScrollBars{};
    default: return bars;
  }
}

float TZoomGeometry::Zoom(TZoomMode mode, float percent, int imageWidth, int imageHeight, TScrollBars bars) const {
  const float width = static_cast<float>(imageWidth);
  const float height = static_cast<float>(imageHeight);
  // The client in device pixels, which the zoom relates picture pixels to.
  const auto device = [this](int logical) { return static_cast<float>(logical * FRatio); };
  switch (mode) {
    case TZoomMode::zmFullPage: {
      // Both ratios divide the whole client: the width without the vertical bar, the height
      // without the horizontal one.
      const float ratioW = device(ClientWidth(TScrollBars{})) / width;
      const float ratioH = device(ClientHeight(TScrollBars{})) / height;
      return 100.0f * (ratioW < ratioH ? ratioW : ratioH);
    }
    case TZoomMode::zmFitWidth: {
      const float ratio = device(ClientWidth(bars)) / width;
      return 100.0f * ratio;
    }
    case TZoomMode::zmFitHeight: {
      const float ratio = device(ClientHeight(TScrollBars{})) / height;
      return 100.0f * ratio;
    }
    case TZoomMode::zmPercent: return percent;
    default: return 100.0f;
  }
}

int TZoomGeometry::DisplayExtent(int extent, float percent) {
  const double scaled = std::trunc(static_cast<double>(extent) * (static_cast<double>(percent) / 100.0));
  if (scaled > kMaxDisplayExtent) throw EQuorvaneError("CreateDibSection failed");
  return std::max(1, static_cast<int>(scaled));
}

int TZoomGeometry::LogicalExtent(int deviceExtent) const {
  return std::max(1, static_cast<int>(std::ceil(deviceExtent / FRatio - kPixelSlack)));
}

TRect TZoomGeometry::DeviceRect(const TRect& logical, int deviceWidth, int deviceHeight) const {
  const auto down = [this](int v) { return static_cast<int>(std::floor(v * FRatio + kPixelSlack)); };
  const auto up = [this](int v) { return static_cast<int>(std::ceil(v * FRatio - kPixelSlack)); };
  return IntersectRect(TRect{down(logical.Left), down(logical.Top), up(logical.Right), up(logical.Bottom)},
                       TRect{0, 0, deviceWidth, deviceHeight});
}

float TZoomGeometry::NextZoomStep(float percent, int direction) {
  if (direction > 0) {
    for (float step : kZoomSteps)
      if (step > percent * 1.005f) return step;
  } else if (direction < 0) {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
      if (*it < percent / 1.005f) return *it;
  }
  return percent;
}

double TZoomGeometry::PicturePosition(int viewport, int scroll, int copyStart, float percent) const {
  return (viewport + scroll - copyStart) * FRatio * 100.0 / percent;
}

int TZoomGeometry::ScrollToKeep(double position, int viewport, int copyStart, float percent, int range) const {
  const double scroll = position * percent / 100.0 / FRatio + copyStart - viewport;
  if (!(scroll > 0)) return 0;  // NaN too
  return scroll >= range ? range : static_cast<int>(std::lround(scroll));
}

TScrollBars TZoomGeometry::ScrollBarsFor(int displayWidth, int displayHeight) const {
  const int fullWidth = ClientWidth(TScrollBars{});
  const int fullHeight = ClientHeight(TScrollBars{});
  bool horizontal = displayWidth > fullWidth;
  bool vertical = displayHeight > fullHeight - (horizontal ? FBarHeight : 0);
  if (vertical && !horizontal) {
    horizontal = displayWidth > fullWidth - FBarWidth;
    if (horizontal) vertical = displayHeight > fullHeight - FBarHeight;
  }
  return TScrollBars{horizontal, vertical};
}

int TZoomGeometry::HorizontalRange(int displayWidth, TScrollBars bars) const {
  return std::max(0, displayWidth - ClientWidth(bars));
}

int TZoomGeometry::VerticalRange(int displayHeight, TScrollBars bars) const {
  return std::max(0, displayHeight - ClientHeight(bars));
}

TRect TZoomGeometry::CopyRect(int displayWidth, int displayHeight, TScrollBars bars, bool centered) const {
  int left = 0;
  int top = 0;
  if (centered) {
    // The box's outer size decides, as long as there is nothing to scroll in that direction.
    if (displayHeight < FHeight && !bars.Vertical) top = (FHeight - displayHeight) / 2;
    if (displayWidth < FWidth && !bars.Horizontal) left = (FWidth - displayWidth) / 2;
  }
  return TRect{left, top, left + displayWidth, top + displayHeight};
}

TRect TZoomGeometry::VisibleArea(int scrollX, int scrollY, const TRect& copy, TScrollBars bars) const {
  const int left = scrollX - copy.Left;
  const int top = scrollY - copy.Top;
  const TRect visible{left, top, left + ClientWidth(bars), top + ClientHeight(bars)};
  return IntersectRect(visible, TRect{0, 0, copy.Width(), copy.Height()});
}

std::optional<TRect> TZoomGeometry::AreaToBuild(const TRect& wanted, const TRect& built, int displayWidth,
                                                int displayHeight, TScrollBars bars) const {
  const TRect whole{0, 0, displayWidth, displayHeight};
  const TRect area = IntersectRect(wanted, whole);
  if (IsEmptyRect(area) || ContainsRect(built, area)) return std::nullopt;
  const auto margin = [this](int client) {
    return static_cast<int>(std::ceil(std::max(kMinScrollMargin, client / 4) * FRatio));
  };
  const int marginX = margin(ClientWidth(bars));
  const int marginY = margin(ClientHeight(bars));
  return IntersectRect(TRect{area.Left - marginX, area.Top - marginY, area.Right + marginX, area.Bottom + marginY},
                       whole);
}

}  // namespace quorvane
