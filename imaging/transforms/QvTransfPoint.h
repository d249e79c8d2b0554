// Point operations: each result pixel depends only on the source pixel at the same place.
//
// TNegativeTransform keeps the source format: gray and black-and-white rows are complemented
// byte by byte (padding included), Color16/Color256 keep their indices and get the inverted
// palette, TrueColor pixels are inverted. Brightness, contrast and gamma produce TrueColor;
// convert-to-gray (QvTransfGray.h) produces GrayTarget with that format's default palette. Every result keeps the
// source's size and resolution. Setters clamp; fields written directly are used as they are.
#pragma once

#include "transforms/QvTransf.h"
#include "transforms/QvTransfGray.h"

namespace quorvane {

class TNegativeTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TNegativeTransform"; }
  void Apply(TDibGraphic& image) override;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Adds Amount percent of the full range to each pixel's lightness (HSL), clamped to 0..1.
class TBrightnessTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TBrightnessTransform"; }
  // Clamps to -100..100.
  void SetAmount(double value);

  double Amount = 5.0;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Moves each pixel's lightness half-way towards (RaiseContrast) or away from an S-curve.
class TContrastTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TContrastTransform"; }

  bool RaiseContrast = true;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Maps every channel through (i / 255) ^ (1 / GammaValue); values above 1 brighten.
class TGammaTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TGammaTransform"; }
  // Clamps to 0.1..7.0.
  void SetGammaValue(double value);

  double GammaValue = 1.0;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

}  // namespace quorvane
