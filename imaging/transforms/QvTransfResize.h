// Resizing: TResizeTransform rebuilds an image at a new pixel size, either through the software
// halftone stretch (fast, used by the view) or through ResampleImage, a separable two-pass
// resampling engine with one of six reconstruction filters. It can change the image format of
// the result at the same time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "transforms/QvTransf.h"

namespace quorvane {

// Reconstruction filters, in the order of the Resize dialog's list.
enum class TResizeFilter : uint8_t { rfTriangle = 0, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell };

constexpr int kResizeFilterCount = 6;

// A weight function: every intermediate result is a 32-bit float.
using TFilterFunction = float (*)(float x);

struct TFilterTableEntry {
  TFilterFunction Filter;
  float Support;
};

// Weight function and support of each filter, indexed by TResizeFilter.
extern const std::array<TFilterTableEntry, kResizeFilterCount> FilterTable;

// Display text of a filter ("Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell").
std::string ResizeFilterName(TResizeFilter filter);

float NormalizedSinc(float x);
float TriangleWeight(float x);
float HermiteWeight(float x);
float BellWeight(float x);
float BSplineWeight(float x);
float Lanczos3Weight(float x);
float MitchellWeight(float x);

// Fills every pixel of Dest, which already has its final size, format and palette, from Source:
// a horizontal pass into TrueColor work rows, then a vertical pass, each with one list of
// (source index, weight) contributors per destination column or row. The first and last source
// pixels map onto the first and last destination pixels; positions outside the source are
// mirrored back into it. Sums are clamped to 0..255 and rounded to nearest, ties to even.
// Transform (may be null) receives progress through its OnProgress and PreviousPercent.
// Raises EQuorvaneError "Source graphic too small" for an empty source and "Destination graphic
// too small" when Dest is narrower or lower than 2 pixels.
void ResampleImage(const TDibGraphic& source, TDibGraphic& dest, TFilterFunction filter, TImageTransform* transform,
                   float support);

class TResizeTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TResizeTransform"; }

  // ApplyOnDest rebuilds Dest at NewWidth x NewHeight with the source's resolution. The format
  // is the source's, or TargetFormat with ForceFormat. Palette results keep the source's palette
  // when it fits the format, else take the format's default palette.
  // Sizes below 1 (below 2 with Interpolate) and an empty source are refused before Dest is
  // touched: "Destination graphic too small" / "Source graphic too small".
  // Builds only the rectangle Part of the NewWidth x NewHeight result: Dest becomes Part's size
  // (Part clipped to the result) and holds exactly the pixels, format, palette and resolution
  // that ApplyOnDest would give there. Without Interpolate only Part's pixels are computed, so a
  // window of a very large zoom costs the window's size. Refuses as ApplyOnDest does, and with
  // "Destination graphic too small" when Part holds no pixel of the result.
  void ApplyOnDestPart(const TDibGraphic& source, TDibGraphic& dest, const TRect& part);

  int NewWidth = 300;
  int NewHeight = 200;
  bool Interpolate = false;  // true: ResampleImage; false: the halftone stretch
  bool ForceFormat = false;
  TImageFormat TargetFormat = TImageFormat::TrueColor;
  TResizeFilter Filter = TResizeFilter::rfTriangle;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

}  // namespace quorvane
