#include "QvSanePage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/QvBytes.h"

namespace quorvane::dsm {

namespace {

constexpr double kInchesPerMetre = 39.370078740157480317;
constexpr size_t kHeaderSize = 40;

// Rows of the frame actually delivered: a hand scanner reports no line count in advance.
int FrameRows(const TSaneFrame& frame) {
  const size_t delivered = frame.Bytes.size() / static_cast<size_t>(frame.Parameters.bytes_per_line);
  if (frame.Parameters.lines <= 0) return static_cast<int>(std::min<size_t>(delivered, INT32_MAX));
  return static_cast<int>(std::min<size_t>(delivered, static_cast<size_t>(frame.Parameters.lines)));
}

// Sample Index of a row of Depth-bit samples, scaled to 8 bits; 1-bit samples give 0 or 255.
uint8_t Sample(const uint8_t* row, size_t index, int depth) {
  switch (depth) {
    case 1: return (row[index / 8] >> (7 - index % 8)) & 1u ? 255 : 0;
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + 2 * index, 2);  // native byte order
      return static_cast<uint8_t>(v >> 8);
    }
    default: return row[index];
  }
}

class TDibWriter {
 public:
  TDibWriter(int width, int height, int bits, int xDpi, int yDpi, int colours)
      : FStride(((size_t(width) * bits + 31) / 32) * 4) {
    FPage.Width = width;
    FPage.Height = height;
    FPage.BitsPerPixel = bits;
    FOffset = kHeaderSize + 4 * size_t(colours);
    FPage.Block.assign(FOffset + FStride * size_t(height), 0);
    uint8_t* h = FPage.Block.data();
    PutLe32(h, kHeaderSize);
    PutLe32(h + 4, static_cast<uint32_t>(width));
    PutLe32(h + 8, static_cast<uint32_t>(height));
    PutLe16(h + 12, 1);
    PutLe16(h + 14, static_cast<uint16_t>(bits));
    PutLe32(h + 20, static_cast<uint32_t>(FStride * size_t(height)));
    PutLe32(h + 24, static_cast<uint32_t>(std::lround(xDpi * kInchesPerMetre)));
    PutLe32(h + 28, static_cast<uint32_t>(std::lround(yDpi * kInchesPerMetre)));
    PutLe32(h + 32, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
      const uint8_t level = static_cast<uint8_t>(colours == 2 ? i * 255 : i);
      std::memset(h + kHeaderSize + 4 * size_t(i), level, 3);
    }
  }
  // Top row is 0; the block stores rows bottom-up.
  uint8_t* Row(int y) { return FPage.Block.data() + FOffset + FStride * size_t(FPage.Height - 1 - y); }
  TPackedPage Take() { return std::move(FPage); }

 private:
  TPackedPage FPage;
  size_t FStride;
  size_t FOffset = 0;
};

TPackedPage PackLineart(const TSaneFrame& f, int height, int xDpi, int yDpi) {
  const int width = f.Parameters.pixels_per_line;
  TDibWriter dib(width, height, 1, xDpi, yDpi, 2);
  const size_t bytes = (size_t(width) + 7) / 8;
  const uint8_t lastMask = static_cast<uint8_t>(0xFF00u >> ((width - 1) % 8 + 1));
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = f.Bytes.data() + size_t(y) * size_t(f.Parameters.bytes_per_line);
    uint8_t* dst = dib.Row(y);
    // The device's 1 is black; entry 1 of the table is white.
    for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
    dst[bytes - 1] &= lastMask;
  }
  return dib.Take();
}

TPackedPage PackGray(const TSaneFrame& f, int height, int xDpi, int yDpi) {
  const int width = f.Parameters.pixels_per_line;
  TDibWriter dib(width, height, 8, xDpi, yDpi, 256);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = f.Bytes.data() + size_t(y) * size_t(f.Parameters.bytes_per_line);
    uint8_t* dst = dib.Row(y);
    if (f.Parameters.depth == 8) {
      std::memcpy(dst, src, size_t(width));
    } else {
      for (int x = 0; x < width; ++x) dst[x] = Sample(src, size_t(x), f.Parameters.depth);
    }
  }
  return dib.Take();
}

// Colour from one interleaved frame (Planes = 1) or from three single-colour frames.
TPackedPage PackColour(const std::vector<const TSaneFrame*>& rgb, int height, int xDpi, int yDpi) {
  const int width = rgb[0]->Parameters.pixels_per_line;
  const int depth = rgb[0]->Parameters.depth;
  const bool interleaved = rgb.size() == 1;
  TDibWriter dib(width, height, 24, xDpi, yDpi, 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* dst = dib.Row(y);
    for (int c = 0; c < 3; ++c) {
      const TSaneFrame& f = *rgb[interleaved ? 0 : size_t(c)];
      const uint8_t* src = f.Bytes.data() + size_t(y) * size_t(f.Parameters.bytes_per_line);
      uint8_t* out = dst + (2 - c);  // blue, green, red
      if (interleaved) {
        for (int x = 0; x < width; ++x) out[3 * size_t(x)] = Sample(src, 3 * size_t(x) + size_t(c), depth);
      } else {
        for (int x = 0; x < width; ++x) out[3 * size_t(x)] = Sample(src, size_t(x), depth);
      }
    }
  }
  return dib.Take();
}

bool ValidFrame(const TSaneFrame& f) {
  const SANE_Parameters& p = f.Parameters;
  if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0) return false;
  if (p.depth != 1 && p.depth != 8 && p.depth != 16) return false;
  const size_t samples = p.format == SANE_FRAME_RGB ? 3 : 1;
  return size_t(p.bytes_per_line) * 8 >= size_t(p.pixels_per_line) * samples * size_t(p.depth);
}

}  // namespace

TPackedPage PackPage(const std::vector<TSaneFrame>& frames, int xDpi, int yDpi) {
  if (frames.empty() || !std::all_of(frames.begin(), frames.end(), [](const TSaneFrame& f) { return ValidFrame(f); }))
    return {};
  const TSaneFrame& first = frames.front();
  int height = FrameRows(first);
  if (first.Parameters.format == SANE_FRAME_GRAY && frames.size() == 1 && height > 0)
    return first.Parameters.depth == 1 ? PackLineart(first, height, xDpi, yDpi) : PackGray(first, height, xDpi, yDpi);
  if (first.Parameters.format == SANE_FRAME_RGB && frames.size() == 1 && height > 0)
    return PackColour({&first}, height, xDpi, yDpi);
  // Three-pass devices: one frame per colour in any order.
  const TSaneFrame* planes[3] = {};
  for (const TSaneFrame& f : frames) {
    const int c = f.Parameters.format - SANE_FRAME_RED;
    if (c < 0 || c > 2 || planes[c] || f.Parameters.pixels_per_line != first.Parameters.pixels_per_line ||
        f.Parameters.depth != first.Parameters.depth)
      return {};
    planes[c] = &f;
    height = std::min(height, FrameRows(f));
  }
  if (!planes[0] || !planes[1] || !planes[2] || height <= 0) return {};
  return PackColour({planes[0], planes[1], planes[2]}, height, xDpi, yDpi);
}

}  // namespace quorvane::dsm
