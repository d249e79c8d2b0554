// The arithmetic of the image view, without widgets: the zoom of each zoom mode from the client
// size, the size of the display copy, the scroll bars it needs, where it sits in the scrolled
// area, the part of it that is visible, and the part built around that for smooth scrolling.
//
// A TZoomGeometry describes one box: its outer size, its frame, and the extents of its scroll
// bars. Every result is a plain number or rectangle; TImageScrollBox applies them to its widgets.
// Rectangles are in display-copy pixels (Right and Bottom exclusive) unless said otherwise.
#pragma once

#include <cstdint>
#include <optional>

#include "model/QvDiGrph.h"

namespace quorvane {

enum class TZoomMode : uint8_t { zmOriginalSize = 0, zmFullPage = 1, zmFitWidth = 2, zmFitHeight = 3, zmPercent = 4 };

// Which scroll bars a box shows.
struct TScrollBars {
  bool Horizontal = false;
  bool Vertical = false;
  bool operator==(const TScrollBars&) const = default;
};

// The widest and highest display copy: the largest size a widget can have.
inline constexpr int kMaxDisplayExtent = 16777215;
// The smallest margin built around the visible area, in display pixels.
inline constexpr int kMinScrollMargin = 64;

class TZoomGeometry {
 public:
  // A box of Width x Height pixels (its outer size) with a frame of Frame pixels on each side,
  // whose vertical scroll bar is BarWidth pixels wide and whose horizontal one BarHeight high.
  TZoomGeometry(int width, int height, int frame, int barWidth, int barHeight);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // The client size (never negative) with Bars shown.
  int ClientWidth(TScrollBars bars) const;
  int ClientHeight(TScrollBars bars) const;

  // The scroll bars shown while Mode computes its zoom: full page and fit height hide both (so
  // they divide the whole client), the other modes keep Bars (a vertical bar narrows fit width).
  static TScrollBars BarsWhileZooming(TZoomMode mode, TScrollBars bars);
  // The zoom in percent of Mode for an image of ImageWidth x ImageHeight with Bars shown:
  // zmPercent keeps Percent; zmFullPage takes the smaller of the two client-to-image ratios (the
  // height's when they are equal); zmFitWidth and zmFitHeight the ratio of their direction;
  // zmOriginalSize, and any other value, 100. Ratios are 32-bit floats, as the zoom is.
  float Zoom(TZoomMode mode, float percent, int imageWidth, int imageHeight, TScrollBars bars) const;

  // Extent x Percent / 100, truncated toward zero and at least 1 (a tiny zoom shows a dot rather
  // than failing every redraw); a copy beyond kMaxDisplayExtent raises EQuorvaneError
  // "CreateDibSection failed".
  static int DisplayExtent(int extent, float percent);

  // The scroll bars a display copy of DisplayWidth x DisplayHeight needs: a bar where the copy
  // exceeds the client, each decided again once the other is known, since a bar in one
  // direction narrows the client in the other.
  TScrollBars ScrollBarsFor(int displayWidth, int displayHeight) const;
  // How far the copy scrolls in each direction with Bars shown (0 when it fits).
  int HorizontalRange(int displayWidth, TScrollBars bars) const;
  int VerticalRange(int displayHeight, TScrollBars bars) const;

  // The display copy's rectangle in the scrolled area, before scrolling: at the top-left corner,
  // or, when Centered, centred in the box's outer size in each direction in which it is smaller
  // than the box and has no scroll bar.
  TRect CopyRect(int displayWidth, int displayHeight, TScrollBars bars, bool centered) const;
  // The copy's rectangle visible at scroll position (ScrollX, ScrollY), in copy pixels.
  TRect VisibleArea(int scrollX, int scrollY, const TRect& copy, TScrollBars bars) const;
  // The part of a DisplayWidth x DisplayHeight copy to build so that Wanted (clipped to the copy)
  // is covered: nothing when Built covers it already (or nothing of it lies in the copy), else
  // Wanted with a margin of a quarter of the client (at least kMinScrollMargin) on every side,
  // clipped to the copy.
  std::optional<TRect> AreaToBuild(const TRect& wanted, const TRect& built, int displayWidth, int displayHeight,
                                   TScrollBars bars) const;

 private:
  int FWidth;
  int FHeight;
  int FFrame;
  int FBarWidth;
  int FBarHeight;
};

// Rectangle helpers of the view (Right and Bottom exclusive).
TRect IntersectRect(const TRect& a, const TRect& b);
bool IsEmptyRect(const TRect& r);
bool ContainsRect(const TRect& outer, const TRect& inner);

}  // namespace quorvane
