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

 protected:
  bool PassesThrough(const TDibGraphic& source) const override;  // narrower than 2 pixels
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

class TFlipVerticalTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TFlipVerticalTransform"; }

 protected:
  bool PassesThrough(const TDibGraphic& source) const override;  // lower than 2 pixels
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Turns the picture clockwise by Angle degrees. An angle within 0.005 of a whole number of
// degrees (after rounding to three decimals) that is a multiple of 90 takes an exact path; any
// other angle samples the nearest source pixel and grows the image to the rotated corners; it
// turns by the angle reduced to [0, 360) (a non-finite angle turns nothing).
// Raises "CreateDibSection failed" when the rotated size does not fit an image.
class TRotateTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TRotateTransform"; }

  virtual void Rotate90(const TDibGraphic& source, TDibGraphic& dest);
  virtual void Rotate180(const TDibGraphic& source, TDibGraphic& dest);
  virtual void Rotate270(const TDibGraphic& source, TDibGraphic& dest);
  virtual void RotateByAngle(const TDibGraphic& source, TDibGraphic& dest);

  // The clockwise quarter turns (0 to 3) Angle makes by the exact path; -1 for any other angle.
  int QuarterTurns() const;

  double Angle = 90.0;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Removes margins from the four edges. Raises "Invalid crop parameters" (leaving Dest untouched)
// when a margin is negative or the margins leave no pixel; all margins 0 copy the source.
class TCropTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TCropTransform"; }

  int32_t CropTop = 0;
  int32_t CropLeft = 0;
  int32_t CropBottom = 0;
  int32_t CropRight = 0;

 protected:
  bool PassesThrough(const TDibGraphic& source) const override;  // all margins 0
  void CheckParameters(const TDibGraphic& source) const override;
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

}  // namespace quorvane
