#include "transforms/QvTransf.h"

#include <algorithm>

#include "model/QvExcept.h"

namespace quorvane {

uint8_t ReportProgress(TImageTransform* sender, int current, int minimum, int maximum, uint8_t previous,
                       const TTransformProgressEvent& event) {
  if (!event) return 0;
  int percent = 100;
  const int64_t range = static_cast<int64_t>(maximum) - minimum;
  if (range != 0) {
    const int64_t p = (static_cast<int64_t>(current) - minimum) * 100 / range;
    percent = static_cast<int>(p < 0 ? 0 : p > 100 ? 100 : p);
  }
  if (percent != previous) event(sender, percent);
  return static_cast<uint8_t>(percent);
}

void RunProgressRows(TImageTransform& transform, int steps, int count, int threads, const TRowBandBody& body,
                     int grain) {
  int64_t next = 0;
  auto done = [&](int rows) {
    if (!transform.OnProgress || steps < 1) return;
    // The step that comes before row Rows (the last step once every row is done).
    const int unit = std::min(rows, count - 1);
    const int64_t target = count <= 1 ? steps - 1 : static_cast<int64_t>(unit) * (steps - 1) / (count - 1);
    for (; next <= target; ++next)
      transform.PreviousPercent = ReportProgress(&transform, static_cast<int>(next), 0, steps - 1,
                                                 transform.PreviousPercent, transform.OnProgress);
  };
  RunRowBands(count, threads, body, done, grain);
}

void TImageTransform::Apply(TDibGraphic& image) {
  TDibGraphic result;
  ApplyOnDest(image, result);
  image.Assign(&result);
}

void TImageTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest) {
    TDibGraphic result;
    ApplyOnDest(source, result);
    dest.Assign(&result);
    return;
  }
  if (PassesThrough(source)) {
    dest.Assign(&source);
    return;
  }
  CheckParameters(source);
  StartProgress();
  Transform(source, dest);
  // A transform changes pixels, not what their colours mean.
  dest.CopyIccProfile(source);
  FinishProgress();
}

bool TImageTransform::PassesThrough(const TDibGraphic&) const { return false; }

void TImageTransform::CheckParameters(const TDibGraphic&) const {}

void TImageTransform::Transform(const TDibGraphic&, TDibGraphic&) {
  throw EQuorvaneError(FormatMessage("Method %s not implemented for %s class", "\"ApplyOnDest\"", ClassName()));
}

void TImageTransform::StartProgress() {
  PreviousPercent = 255;
  StepProgress(0, 0, 100);
}

void TImageTransform::FinishProgress() { StepProgress(100, 0, 100); }

THsl RgbToHsl(TColorValue color) {
  const double c0 = ColorByte0(color) / 255.0;
  const double c1 = ColorByte1(color) / 255.0;
  const double c2 = ColorByte2(color) / 255.0;
  THsl hsl;
  const double mx = std::max(c0, std::max(c1, c2));
  const double mn = std::min(c0, std::min(c1, c2));
  hsl.L = (mx + mn) / 2;
  const double d = mx - mn;
  if (d == 0) return hsl;
  hsl.S = hsl.L <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  double h;
  if (c0 == mx)
    h = c1 == mn ? 5 + (mx - c2) / d : 1 - (mx - c1) / d;
  else if (c1 == mx)
    h = c2 == mn ? 1 + (mx - c0) / d : 3 - (mx - c2) / d;
  else
    h = c0 == mn ? 3 + (mx - c1) / d : 5 - (mx - c0) / d;
  hsl.H = h / 6;
  return hsl;
}

TColorValue HslToRgb(double h, double s, double l) {
  const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
  if (s == 0 || h == -1) {
    const uint8_t v = UnitToByte(l);
    return PackColor(v, v, v);
  }
  const double h6 = h * 6;
  const int i = static_cast<int>(h6);
  const double f = h6 - i;
  const double m1 = 2 * l - m2;
  const double up = m1 + (m2 - m1) * f;
  const double down = m2 - (m2 - m1) * f;
  double c0, c1, c2;
  switch (i) {
    case 1: c0 = down, c1 = m2, c2 = m1; break;
    case 2: c0 = m1, c1 = m2, c2 = up; break;
    case 3: c0 = m1, c1 = down, c2 = m2; break;
    case 4: c0 = up, c1 = m1, c2 = m2; break;
    case 5: c0 = m2, c1 = m1, c2 = down; break;
    default: c0 = m2, c1 = up, c2 = m1; break;
  }
  return PackColor(UnitToByte(c0), UnitToByte(c1), UnitToByte(c2));
}

}  // namespace quorvane
