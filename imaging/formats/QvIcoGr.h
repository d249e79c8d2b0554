// Icon image: reads the picture of the standard icon size from an ICO file (BMP-style entries of
// 1 to 32 bits and PNG-style entries) and writes an image as a one-picture ICO file. Not
// registered for any extension; it turns images into platform icons and back.
#pragma once

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EIconError);

class TIconGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TIconGraphic)

  // The icon size of this platform, independent of any display.
  static constexpr int kStandardIconSize = 32;

  TGraphicCapabilities Capabilities() const override { return {false, kAllImageFormats}; }

  // Replaces the image with the icon at the stream's position (the index is ignored): of several
  // pictures the one nearest the standard size, the deepest of equal sizes. The result is a
  // TrueColor image of that picture drawn onto black, so transparent areas are black.
  // Raises EIconError "Invalid icon" for a file whose directory, entries or picture do not fit in
  // the stream or are malformed.
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes one picture of the standard size: the image's top-left part (the rest black) in the
  // 16 colours of the default 16-colour palette, with an all-zero (opaque) mask.
  void SaveToStream(TStream& stream) override;
};

}  // namespace quorvane
