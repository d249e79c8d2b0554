// Conversion to gray: the point operation that yields a gray (or true-colour gray) image.
#pragma once

#include "transforms/QvTransf.h"

namespace quorvane {

// Weighted sum of red, green and blue (weights rounded to thousandths), stored as the nearest
// gray of GrayTarget's default palette.
class TConvertToGrayTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TConvertToGrayTransform"; }

  double RedWeight = 0.299;
  double GreenWeight = 0.587;
  double BlueWeight = 0.114;
  TImageFormat GrayTarget = TImageFormat::Gray256;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

}  // namespace quorvane
