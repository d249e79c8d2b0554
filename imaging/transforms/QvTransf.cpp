#include "transforms/QvTransf.h"

#include "model/QvExcept.h"

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

void TImageTransform::Apply(TDibGraphic& image) {
  TDibGraphic result;
  ApplyOnDest(image, result);
  image.Assign(&result);
}

void TImageTransform::ApplyOnDest(const TDibGraphic&, TDibGraphic&) {
  throw EQuorvaneError(FormatMessage("Method %s not implemented for %s class", "\"ApplyOnDest\"", ClassName()));
}

void TImageTransform::StartProgress() {
  PreviousPercent = 255;
  StepProgress(0, 0, 100);
}

void TImageTransform::FinishProgress() { StepProgress(100, 0, 100); }
