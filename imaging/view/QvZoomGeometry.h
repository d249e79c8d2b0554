// The arithmetic of the image view, without widgets: the zoom of each zoom mode from the client
// size, the size of the display copy, the scroll bars it needs, where it sits in the scrolled
// area, the part of it that is visible, and the part built around that for smooth scrolling.
//
// A TZoomGeometry describes one box: its outer size, its frame, the extents of its scroll bars
// and the screen's device pixel ratio. Every result is a plain number or rectangle;
// TImageScrollBox applies them to its widgets. Rectangles have Right and Bottom exclusive.
//
// Two kinds of pixels meet here. The box, its scroll bars and the image control are measured in
// the widgets' (logical) pixels; the display copy is built in device pixels, so that at 100 % one
// picture pixel is one pixel of the screen also where the screen scales widgets (a ratio of 2
// makes a widget pixel 2 x 2 device pixels). The zoom relates picture pixels to device pixels.
// With a ratio of 1 both kinds are the same. Sizes and rectangles of the display copy
// (DisplayExtent, DeviceRect, AreaToBuild) are in device pixels, everything the widgets use in
// logical pixels.
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
  // whose vertical scroll bar is BarWidth pixels wide and whose horizontal one BarHeight high, on
  // a screen of Ratio device pixels per widget pixel (values up to 0 count as 1).
  TZoomGeometry(int width, int height, int frame, int barWidth, int barHeight, double ratio = 1.0);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  double Ratio() const { return FRatio; }
  // The client size (never negative) with Bars shown.
  int ClientWidth(TScrollBars bars) const;
  int ClientHeight(TScrollBars bars) const;

  // The scroll bars shown while Mode computes its zoom: full page and fit height hide both (so
  // they divide the whole client), the other modes keep Bars (a vertical bar narrows fit width).
  static TScrollBars BarsWhileZooming(TZoomMode mode, TScrollBars bars);
  // The zoom in percent of Mode for an image of ImageWidth x ImageHeight with Bars shown:
  // zmPercent keeps Percent; zmFullPage takes the smaller of the two client-to-image ratios (the
  // height's when they are equal); zmFitWidth and zmFitHeight the ratio of their direction;
  // zmOriginalSize, and any other value, 100. The client counts in device pixels. Ratios are
  // 32-bit floats, as the zoom is.
  float Zoom(TZoomMode mode, float percent, int imageWidth, int imageHeight, TScrollBars bars) const;

  // Extent x Percent / 100, truncated toward zero and at least 1 (a tiny zoom shows a dot rather
  // than failing every redraw); a copy beyond kMaxDisplayExtent raises EQuorvaneError
  // "CreateDibSection failed".
  static int DisplayExtent(int extent, float percent);
  // The widget pixels a display copy DeviceExtent device pixels long covers (rounded up, so the
  // image control holds every device pixel of the copy; at least 1).
  int LogicalExtent(int deviceExtent) const;
  // The device pixels of a DeviceWidth x DeviceHeight copy that Logical (widget pixels of the
  // image control) covers, rounded outwards and clipped to the copy.
  TRect DeviceRect(const TRect& logical, int deviceWidth, int deviceHeight) const;

  // The zoom ladder that zooming in and out steps through, in percent:
  // 1 2 3 5 7 10 15 20 25 33 50 67 75 100 125 150 200 300 400 500 600 800 1000.
  // The next step from Percent in Direction (> 0 in, < 0 out): the first step beyond Percent by
  // more than half a percent of it, so a zoom that lies between steps (a fitted 8.7 %) goes to
  // the neighbouring step (10 or 7); Percent itself when there is no step beyond it.
  static float NextZoomStep(float percent, int direction);

  // Zooming about a point. The picture position (in picture pixels, fractional) shown at
  // Viewport (a widget coordinate of the client area, along one axis) when the copy starts at
  // CopyStart and is scrolled to Scroll at Percent.
  double PicturePosition(int viewport, int scroll, int copyStart, float percent) const;
  // The scroll position (0 ... Range) that shows picture position Position at Viewport again at
  // Percent, with the copy starting at CopyStart.
  int ScrollToKeep(double position, int viewport, int copyStart, float percent, int range) const;

  // The following take the display copy's size in widget pixels (LogicalExtent), as the image
  // control has it.
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
  // The copy's rectangle visible at scroll position (ScrollX, ScrollY), in image-control pixels.
  TRect VisibleArea(int scrollX, int scrollY, const TRect& copy, TScrollBars bars) const;
  // The part of a DisplayWidth x DisplayHeight copy to build so that Wanted (clipped to the copy)
  // is covered: nothing when Built covers it already (or nothing of it lies in the copy), else
  // Wanted with a margin of a quarter of the client (at least kMinScrollMargin widget pixels) on
  // every side, clipped to the copy. Wanted, Built and the result are device pixels of the copy.
  std::optional<TRect> AreaToBuild(const TRect& wanted, const TRect& built, int displayWidth, int displayHeight,
                                   TScrollBars bars) const;

 private:
  int FWidth;
  int FHeight;
  int FFrame;
  int FBarWidth;
  int FBarHeight;
  double FRatio;
};

// Rectangle helpers of the view (Right and Bottom exclusive).
TRect IntersectRect(const TRect& a, const TRect& b);
bool IsEmptyRect(const TRect& r);
bool ContainsRect(const TRect& outer, const TRect& inner);

}  // namespace quorvane
