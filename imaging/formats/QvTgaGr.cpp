#include "formats/QvTgaGr.h"

#include "formats/QvGbm.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TTgaGraphic)

void TTgaGraphic::LoadFromStream(TStream& stream) {
  ClearWarnings();
  // The codec seeks to positions measured from the start, so an image stored further into a
  // stream is read through a window that starts with it.
  const int64_t start = stream.Position();
  if (start != 0) {
    TSubStream image(stream, start, stream.Size() - start);
    GbmReadImage(image, *this, "File.tga");
  } else {
    GbmReadImage(stream, *this, "File.tga");
  }
}

void TTgaGraphic::SaveToStream(TStream& stream) {
  const TImageFormat format = ImageFormat();
  if (format != TImageFormat::Gray256 && format != TImageFormat::Color256 && format != TImageFormat::TrueColor)
    throw ETgaError("TARGA image must be true color or 8 bit with palette");
  GbmWriteImage(stream, *this, "File.tga");
}

}  // namespace quorvane
