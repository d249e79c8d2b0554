#include "formats/QvTgaGr.h"

#include "formats/QvGbm.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TTgaGraphic)

void TTgaGraphic::LoadFromStream(TStream& stream) {
  // The codec seeks to positions measured from the start, so an image stored further into a
  // stream is read from a copy of its own.
  if (stream.Position() != 0) {
    TMemoryStream copy;
    const int64_t rest = stream.Size() - stream.Position();
    if (rest > 0) copy.CopyFrom(stream, rest);
    copy.SetPosition(0);
    GbmReadImage(copy, *this, "File.tga");
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
