#include "formats/QvOrient.h"

#include <span>
#include <utility>

#include "formats/QvExif.h"
#include "transforms/QvTransfGeometry.h"

namespace quorvane {

namespace {

// What turns pixels of an orientation upright: at most a quarter turn (or a half turn) followed by
// a flip. Transposition is a clockwise quarter turn and a mirror; the other diagonal, a clockwise
// quarter turn and a flip top to bottom.
struct TUprightSteps {
  int Angle = 0;  // clockwise, 0, 90, 180 or 270
  bool FlipHorizontal = false;
  bool FlipVertical = false;
};

TUprightSteps StepsFor(uint16_t orientation) {
  switch (orientation) {
    case kOrientationTopRight: return {0, true, false};
    case kOrientationBottomRight: return {180, false, false};
    case kOrientationBottomLeft: return {0, false, true};
    case kOrientationLeftTop: return {90, true, false};
    case kOrientationRightTop: return {90, false, false};
    case kOrientationRightBottom: return {90, false, true};
    case kOrientationLeftBottom: return {270, false, false};
    default: return {};
  }
}

}  // namespace

bool AutoOrient(TDibGraphic& image) {
  TImageMetadata& metadata = image.Metadata();
  const TUprightSteps steps = StepsFor(metadata.Orientation);
  if (image.Empty() || (steps.Angle == 0 && !steps.FlipHorizontal && !steps.FlipVertical)) {
    // Nothing to turn; a value outside 1 to 8 means upright too.
    metadata.Orientation = kOrientationTopLeft;
    return false;
  }
  // Built beside the image and moved into it, so that the image object, with its subclass
  // settings, stays the same. Each step writes into the image the previous one did not.
  TDibGraphic first, second;
  const TDibGraphic* source = &image;
  TDibGraphic* result = &first;
  const auto step = [&](TImageTransform&& transform) {
    transform.ApplyOnDest(*source, *result);
    source = result;
    result = result == &first ? &second : &first;
  };
  if (steps.Angle != 0) {
    TRotateTransform rotate;
    rotate.Angle = steps.Angle;
    step(std::move(rotate));
  }
  if (steps.FlipHorizontal) step(TFlipHorizontalTransform());
  if (steps.FlipVertical) step(TFlipVerticalTransform());
  TDibGraphic& turned = source == &first ? first : second;
  const bool transposed = steps.Angle == 90 || steps.Angle == 270;
  const auto xDpi = static_cast<uint16_t>(image.XDpi()), yDpi = static_cast<uint16_t>(image.YDpi());
  turned.SetXDpi(transposed ? yDpi : xDpi);
  turned.SetYDpi(transposed ? xDpi : yDpi);
  turned.SetFrameDelay(image.FrameDelay());
  image.TakeImage(turned);
  metadata.Orientation = kOrientationTopLeft;
  if (!metadata.Exif.empty()) metadata.Exif = ExifWithOrientation(metadata.Exif, kOrientationTopLeft);
  return true;
}

void AutoOrientPages(TDibGraphic& image) {
  bool shownTurned = false;
  for (int i = 1; i <= image.FrameCount(); ++i)
    if (AutoOrient(image.GetFrame(i)) && i == image.CurrentFrame()) shownTurned = true;
  AutoOrient(image);
  if (shownTurned) image.Assign(&image.GetFrame(image.CurrentFrame()));
}

uint16_t OrientationAfterTiffFlips(uint16_t fileOrientation) {
  switch (fileOrientation) {
    case kOrientationLeftTop:
    case kOrientationRightBottom: return kOrientationLeftTop;
    case kOrientationRightTop:
    case kOrientationLeftBottom: return kOrientationRightBottom;
    default: return kOrientationTopLeft;
  }
}

}  // namespace quorvane
