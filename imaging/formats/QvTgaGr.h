// Targa image: colour-mapped, gray and true-colour files, read through the bitmap-format library
// as 8 or 24-bit pictures; written uncompressed as 8-bit colour-mapped or 24-bit true colour.
#pragma once

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(ETgaError);

class TTgaGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TTgaGraphic)
  // One image per file, written as 8-bit colour-mapped or 24-bit true colour.
  TGraphicCapabilities Capabilities() const override {
    return {false, FormatSet({TImageFormat::Gray256, TImageFormat::Color256, TImageFormat::TrueColor})};
  }

  // Reads the Targa image at the stream's position (multi-image settings have no effect).
  void LoadFromStream(TStream& stream) override;
  // Writes Gray256, Color256 and TrueColor images; other formats raise ETgaError "TARGA image
  // must be true color or 8 bit with palette" before any byte is written.
  void SaveToStream(TStream& stream) override;
};

}  // namespace quorvane
