// PCX image: 1, 4, 8 and 24-bit run-length coded files, read and written through the bitmap-format
// library, with the resolution fields of the header handled here.
#pragma once

#include "model/QvDiGrph.h"

namespace quorvane {

class TPcxGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TPcxGraphic)
  // One image per file, of any of the six formats (1, 4, 8 or 24 bits).
  TGraphicCapabilities Capabilities() const override { return {false, kAllImageFormats}; }

  // Reads the PCX image that starts at the stream's position (the index is ignored); the image
  // takes the file's resolution, zero included. Raises EGbmError for files the codec refuses.
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes the image as PCX from the stream's position p, then its resolution at p + 12; the
  // stream is left at p + 16.
  void SaveToStream(TStream& stream) override;
};

}  // namespace quorvane
