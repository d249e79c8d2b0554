// Geometric transforms: flips, rotations and cropping. They keep the source's format, palette
// and resolution and move pixels without recomputing them (palette images as indices), except
// that an any-angle rotation paints uncovered pixels with BackgroundColor (for palette images the
// entry nearest to it).
#pragma once

#include <cstdint>

#include "transforms/QvTransf.h"

namespace quorvane {

class TFlipHorizontalTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TFlipHorizontalTransform"; }
  void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) override;
};

class TFlipVerticalTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TFlipVerticalTransform"; }
  void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Turns the picture clockwise by Angle degrees. An angle within 0.005 of a whole number of
// degrees (after rounding to three decimals) that is a multiple of 90 takes an exact path; any
// other angle samples the nearest source pixel and grows the image to the rotated corners.
// Raises "CreateDibSection failed" when the rotated size does not fit an image.
class TRotateTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TRotateTransform"; }
  void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) override;

  virtual void Rotate90(const TDibGraphic& source, TDibGraphic& dest);
  virtual void Rotate180(const TDibGraphic& source, TDibGraphic& dest);
  virtual void Rotate270(const TDibGraphic& source, TDibGraphic& dest);
  virtual void RotateByAngle(const TDibGraphic& source, TDibGraphic& dest);

  double Angle = 90.0;
};

// Removes margins from the four edges. Raises "Invalid crop parameters" (leaving Dest untouched)
// when a margin is negative or the margins leave no pixel; all margins 0 copy the source.
class TCropTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TCropTransform"; }
  void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) override;

  int32_t CropTop = 0;
  int32_t CropLeft = 0;
  int32_t CropBottom = 0;
  int32_t CropRight = 0;
};

}  // namespace quorvane
