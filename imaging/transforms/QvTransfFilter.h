// Neighbourhood filters.
//
// TConvolutionTransform: a 3x3 integer kernel over each colour channel; the result is always
// TrueColor of the source's size and resolution. The one-pixel frame is copied unchanged; an
// interior channel is the kernel sum divided by Denominator (truncated), saturated to 0..255.
// Images narrower or lower than 3 pixels are copied unchanged (same format). A Denominator of 0
// is treated as, and stored back as, 1.
//
// TAntiAliasTransform: a black-and-white image becomes a Gray16 image whose every pixel counts
// the white pixels in the 2x2 block of itself, its right neighbour and the two below (see the
// table in the source). Other formats are left alone (Apply) or copied (ApplyOnDest).
#pragma once

#include <array>
#include <cstdint>

#include "transforms/QvTransf.h"

namespace quorvane {

class TConvolutionTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TConvolutionTransform"; }

  // Row-major, top row first; in each row the left neighbour, the pixel's column, the right
  // neighbour. Kernel[4] is the centre.
  std::array<int8_t, 9> Kernel{0, 0, 0, 0, 1, 0, 0, 0, 0};
  int8_t Denominator = 1;

 protected:
  bool PassesThrough(const TDibGraphic& source) const override;  // narrower or lower than 3
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// Centre and denominator follow Strength at every application: a = Round((100 - Strength) / 4),
// centre a + 15, denominator a + 3.
class TSharpenTransform : public TConvolutionTransform {
 public:
  TSharpenTransform();
  const char* ClassName() const override { return "TSharpenTransform"; }

  uint8_t Strength = 10;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// As sharpen, with denominator a + 27.
class TSmoothTransform : public TConvolutionTransform {
 public:
  TSmoothTransform();
  const char* ClassName() const override { return "TSmoothTransform"; }

  uint8_t Strength = 20;

 protected:
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

class TEdgeTransform : public TConvolutionTransform {
 public:
  TEdgeTransform();
  const char* ClassName() const override { return "TEdgeTransform"; }
};

class TEmbossTransform : public TConvolutionTransform {
 public:
  TEmbossTransform();
  const char* ClassName() const override { return "TEmbossTransform"; }
};

class TAntiAliasTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TAntiAliasTransform"; }
  void Apply(TDibGraphic& image) override;

 protected:
  bool PassesThrough(const TDibGraphic& source) const override;  // not black and white
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;
};

// The shared, read-only table: for a byte whose high nibble is four pixels of one row and whose
// low nibble the same four columns of the row below, four 4-bit gray levels, first column in the
// most significant nibble.
const std::array<uint16_t, 256>& AntiAliasTable();

}  // namespace quorvane
