// Shared parts of the fuzz targets: the input as a memory stream, a cap on image sizes so huge
// headers are refused cleanly, and a write/read round trip that must give the same picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "model/QvStream.h"

using namespace quorvane;

namespace fuzz {

// 2 MiB of pixels by default: big enough for every layout the readers know, small enough that a
// header claiming a large picture over a few bytes of data costs little per input. The bitmap
// formats take less: their widest rows (65535 pixels of 24 bits) still fit in 256 KB, and every
// input that claims more than it holds is decoded as filler, which costs in proportion to the
// limit. Each target calls this with one value only (the first call decides).
constexpr int64_t kBitmapFormatLimit = 256 << 10;

inline void LimitImageSize(int64_t maxMemory = 2 << 20) {
  static const bool limited = [maxMemory] {
    TImageLimits limits;
    limits.MaxMemory = maxMemory;
    SetImageLimits(limits);
    return true;
  }();
  (void)limited;
}

inline TMemoryStream InputStream(const uint8_t* data, size_t size) {
  return TMemoryStream(std::vector<uint8_t>(data, data + size));
}

// Reads Stream into Image; false when the reader refuses the input with the library's exception,
// which is a sound answer to a bad file (anything else reaches the fuzzer).
inline bool Reads(TDibGraphic& image, TStream& stream) {
  try {
    image.LoadFromStream(stream);
  } catch (const Exception&) {
    return false;
  }
  return true;
}

// Same size, format, palette entries in use and pixels (padding bytes excluded).
inline bool SamePicture(const TDibGraphic& a, const TDibGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.ImageFormat() != b.ImageFormat()) return false;
  if (a.ImageFormat() != TImageFormat::TrueColor) {
    const int used = 1 << a.BitCount();
    for (int i = 0; i < used; ++i) {
      const TPaletteEntry& p = a.PaletteRecord().Entries[i];
      const TPaletteEntry& q = b.PaletteRecord().Entries[i];
      if (p.Red != q.Red || p.Green != q.Green || p.Blue != q.Blue) return false;
    }
  }
  const int64_t bits = static_cast<int64_t>(a.Width()) * a.BitCount();
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* p = a.ScanLine(y);
    const uint8_t* q = b.ScanLine(y);
    for (int64_t i = 0; i < bits / 8; ++i)
      if (p[i] != q[i]) return false;
    if (bits % 8) {
      const uint8_t mask = static_cast<uint8_t>(0xFF00 >> (bits % 8));
      if ((p[bits / 8] ^ q[bits / 8]) & mask) return false;
    }
  }
  return true;
}

// Small enough for a second pass (a write and a read) at little cost per input. Writers work row
// by row, so a tall picture one pixel wide costs as much as a large one.
inline bool SmallPicture(const TDibGraphic& image) {
  return !image.Empty() && image.Height() <= 1024 && static_cast<int64_t>(image.Width()) * image.Height() <= (1 << 16);
}

// Writes a picture that was read, reads the result with a fresh reader and demands the same
// picture. Small pictures only, to keep executions fast.
template <class TGraphic>
void RoundTrip(const TDibGraphic& image) {
  if (!SmallPicture(image)) return;
  TGraphic writer;
  writer.Assign(&image);
  TMemoryStream stream;
  writer.SaveToStream(stream);
  stream.SetPosition(0);
  TGraphic reader;
  reader.LoadFromStream(stream);
  if (!SamePicture(image, reader)) std::abort();
}

}  // namespace fuzz
