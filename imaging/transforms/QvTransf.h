// The transform framework: every operation that maps one image to another is a
// TImageTransform. A caller creates one, sets its parameters, optionally hooks OnProgress, and
// calls ApplyOnDest(Source, Dest) or Apply(Image). A transform keeps no image between
// applications.
//
// ApplyOnDest(Source, Dest), the same for every operation:
//   1. Source and Dest the same image: the result is built into a temporary and assigned back
//      (as Apply does), so the operation never reads pixels it has already replaced.
//   2. An operation that leaves this source as it is (PassesThrough: a flip of a one-pixel-wide
//      image, a crop of nothing, ...) makes Dest a copy of Source; nothing is reported.
//   3. CheckParameters raises when the parameters do not fit Source; Dest is untouched and
//      nothing is reported.
//   4. Progress start (PreviousPercent reset to 255, 0 reported), the operation's Transform,
//      progress end (100). Transform rebuilds Dest and reports one step per outer loop step
//      (rows or columns) before the step. A failure inside Transform propagates; Dest may then
//      be empty or partly written, Source is never changed.
// Apply(Image) runs ApplyOnDest into a temporary and assigns the result back: on failure Image
// is unchanged. Some operations override Apply to work in place, with the same result.
// A progress report fires only when the integer percentage changes.
#pragma once

#include <cstdint>
#include <functional>

#include "model/QvDiGrph.h"
#include "model/QvThreads.h"

namespace quorvane {

class TImageTransform;

// Sender may be null when a routine reports on its own account. Percent is 0 to 100.
using TTransformProgressEvent = std::function<void(TImageTransform* sender, int percent)>;

// Reports (Current - Minimum) * 100 / (Maximum - Minimum), clamped to 0..100, through Event
// when it differs from Previous; returns it (0, without calling anything, when Event is empty).
// A zero range reports 100.
uint8_t ReportProgress(TImageTransform* sender, int current, int minimum, int maximum, uint8_t previous,
                       const TTransformProgressEvent& event);

class TImageTransform {
 public:
  virtual ~TImageTransform() = default;
  virtual const char* ClassName() const { return "TImageTransform"; }

  // In place: ApplyOnDest into a temporary, then assigned back. On failure Image is unchanged.
  virtual void Apply(TDibGraphic& image);
  // Rebuilds Dest from Source as the contract above says.
  void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest);

  TTransformProgressEvent OnProgress;
  uint8_t PreviousPercent = 255;

 protected:
  // Whether the result for Source is Source itself (Dest becomes a copy, without progress).
  virtual bool PassesThrough(const TDibGraphic& source) const;
  // Raises when the parameters cannot be applied to Source (before anything is reported).
  virtual void CheckParameters(const TDibGraphic& source) const;
  // The operation itself: Dest (never Source) rebuilt from Source, with the steps reported.
  // The base class raises "Method "ApplyOnDest" not implemented for <class> class".
  virtual void Transform(const TDibGraphic& source, TDibGraphic& dest);

  // The progress protocol in three calls.
  void StartProgress();
  void StepProgress(int current, int minimum, int maximum) {
    PreviousPercent = ReportProgress(this, current, minimum, maximum, PreviousPercent, OnProgress);
  }
  void FinishProgress();
};

// Runs Body over rows [0, Count) in bands on Threads threads (RunRowBands, model/QvThreads.h)
// and reports Transform's progress on the calling thread as a loop does that reports step s of
// 0..Steps-1 before its work: the steps are spread evenly over the rows and each is passed, in
// order, once the rows before it are done. The percentages are those of the loop, whatever the
// thread count.
void RunProgressRows(TImageTransform& transform, int steps, int count, int threads, const TRowBandBody& body,
                     int grain = 1);

// Hue, saturation and lightness of a colour value (bytes 0, 1, 2), each 0 to 1; H is -1 for a
// gray (no hue), with S = 0.
struct THsl {
  double H = -1.0;
  double S = 0.0;
  double L = 0.0;
};
THsl RgbToHsl(TColorValue color);
// A channel of 0 to 1 as a byte: Trunc(C * 255 + 0.5); the clamp only guards against rounding
// just outside 0..1 (and keeps the conversion defined).
inline uint8_t UnitToByte(double c) {
  const double v = c * 255 + 0.5;
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<uint8_t>(v);
}
// The colour of H, S, L; byte 3 is 0. RgbToHsl followed by HslToRgb returns the colour.
TColorValue HslToRgb(double h, double s, double l);

}  // namespace quorvane
