#include "formats/QvPcxGr.h"

#include <optional>

#include "formats/QvGbm.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TPcxGraphic)

namespace {

constexpr int64_t kResolutionOffset = 12;

void ReadPcx(TDibGraphic& image, TStream& stream) {
  // A stream too short for the resolution fields is refused by the header reader below.
  uint8_t res[4];
  std::optional<std::pair<uint16_t, uint16_t>> dpi;
  if (stream.Seek(kResolutionOffset, TSeekOrigin::soBeginning) == kResolutionOffset &&
      stream.Read(res, sizeof res) == sizeof res)
    dpi.emplace(static_cast<uint16_t>(res[0] | res[1] << 8), static_cast<uint16_t>(res[2] | res[3] << 8));
  stream.Seek(0, TSeekOrigin::soBeginning);
  // The resolution is set before the pixels are read: once rows are read, a writer may already be
  // writing the image (formats/QvRowGate.h).
  GbmReadImage(stream, image, "File.pcx", "", [&](TDibGraphic& read) {
    if (dpi) {
      read.SetXDpi(dpi->first);
      read.SetYDpi(dpi->second);
    }
  });
}

}  // namespace

void TPcxGraphic::LoadImageFromStream(TStream& stream, int) {
  // The codec seeks to positions measured from the start and finds the 8-bit palette at the end,
  // so an image stored further into a stream is read through a window that starts with it.
  const int64_t start = stream.Position();
  if (start != 0) {
    TSubStream image(stream, start, stream.Size() - start);
    ReadPcx(*this, image);
  } else {
    ReadPcx(*this, stream);
  }
}

void TPcxGraphic::SaveToStream(TStream& stream) {
  const int64_t start = stream.Position();
  GbmWriteImage(stream, *this, "File.pcx");
  const auto x = static_cast<uint16_t>(XDpi());
  const auto y = static_cast<uint16_t>(YDpi());
  const uint8_t res[4] = {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(y),
                          static_cast<uint8_t>(y >> 8)};
  stream.Seek(start + kResolutionOffset, TSeekOrigin::soBeginning);
  stream.WriteBuffer(res, sizeof res);
}

}  // namespace quorvane
