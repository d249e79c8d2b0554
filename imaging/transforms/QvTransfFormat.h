// Image format conversion: TImageFormatTransform converts an image of any of the six formats
// to any other. Palette colour results use a quantized palette (UseQuantizer) or a fixed one;
// gray and black-and-white results their default palettes. With UseDither pixels are mapped by
// Floyd-Steinberg error diffusion onto the nearest palette entries, otherwise each pixel takes
// its nearest entry, as the halftone stretch does.
#pragma once

#include "transforms/QvTransf.h"

namespace quorvane {

class TImageFormatTransform : public TImageTransform {
 public:
  const char* ClassName() const override { return "TImageFormatTransform"; }

  // Converts in place unless the image is already in TargetFormat.
  void Apply(TDibGraphic& image) override;

  // The quantizer's progress, relayed onto this transform's range: the first half when
  // dithering follows, the whole range otherwise.
  void RelayProgress(TImageTransform* sender, int percent);

  TImageFormat TargetFormat = TImageFormat::TrueColor;
  // The palette of Color16/Color256 results. It persists between applications: it receives the
  // quantized palette, or, when empty (or larger than the target format holds) and no quantizer
  // runs, the target's fixed table. A palette set by the caller that fits is used unchanged.
  TDibPalette TargetPalette{0x300, 0, {}};
  bool UseQuantizer = true;
  bool UseDither = true;  // ignored for TrueColor results

 protected:
  // ApplyOnDest always rebuilds Dest in TargetFormat, same size and resolution as Source.
  void Transform(const TDibGraphic& source, TDibGraphic& dest) override;

 private:
  void Diffuse(const TDibGraphic& source, TDibGraphic& dest);
};

}  // namespace quorvane
