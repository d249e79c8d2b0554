#include "formats/QvDiGrphDib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "formats/QvGbm.h"
#include "model/QvBytes.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "model/QvMisc.h"

namespace quorvane {

namespace {

constexpr long double kInchesPerMetre = 39.370078740157480317L;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

[[noreturn]] void InvalidHdib() { throw EQuorvaneError("Invalid HDIB"); }

// The header fields, read once and checked against the block.
struct TPackedHeader {
  uint32_t HeaderSize;
  int32_t Width;
  int32_t Height;  // negative: rows stored top-down
  int BitCount;
  uint32_t Compression;
  uint32_t ImageSize;
  int32_t XPelsPerMeter, YPelsPerMeter;
  uint32_t ColorsUsed;
};

TPackedHeader ReadHeader(const uint8_t* p, size_t size) {
  if (size < kInfoHeaderSize) InvalidHdib();
  TPackedHeader h{};
  h.HeaderSize = GetLe32(p);
  if (h.HeaderSize < kInfoHeaderSize || h.HeaderSize > size) InvalidHdib();
  h.Width = static_cast<int32_t>(GetLe32(p + 4));
  h.Height = static_cast<int32_t>(GetLe32(p + 8));
  h.BitCount = GetLe16(p + 14);
  h.Compression = GetLe32(p + 16);
  h.ImageSize = GetLe32(p + 20);
  h.XPelsPerMeter = static_cast<int32_t>(GetLe32(p + 24));
  h.YPelsPerMeter = static_cast<int32_t>(GetLe32(p + 28));
  h.ColorsUsed = GetLe32(p + 32);
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: throw EQuorvaneError("Unsupported bit count");
  }
  return h;
}

// Entries of the colour table that follows the header.
uint64_t ColorCount(const TPackedHeader& h) {
  if (h.ColorsUsed != 0) return h.ColorsUsed;
  return h.BitCount <= 8 ? uint64_t{1} << h.BitCount : 0;
}

// The resolution as the block gives it: nearest whole dots per inch, kept as 16 bits.
uint16_t DpiOf(int32_t pelsPerMeter) {
  return static_cast<uint16_t>(static_cast<uint64_t>(RoundHalfEven(pelsPerMeter / kInchesPerMetre)));
}

TDibPalette PaletteOf(const uint8_t* table, uint64_t count) {
  TDibPalette palette{};
  palette.Count = static_cast<uint16_t>(std::min<uint64_t>(count, 256));
  for (int i = 0; i < palette.Count; ++i) {
    const uint8_t* e = table + 4 * i;
    palette.Entries[i] = {e[0], e[1], e[2], 0};
  }
  return palette;
}

// One colour channel of a 16 or 32-bit pixel: where its bits lie and how they widen to 8 bits.
// Narrower channels repeat their bit pattern (5-bit 31 becomes 255, 6-bit 49 becomes 199), as
// other readers of such bitmaps do; wider ones keep their top 8 bits.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Width = 0;
  std::array<uint8_t, 256> Widened{};

  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    Shift = std::countr_zero(mask);
    Width = std::bit_width(mask >> Shift);
    if (Width >= 8) return;
    for (uint32_t v = 0; v < (1u << Width); ++v) {
      uint32_t repeated = 0;
      int produced = 0;
      for (; produced < 8; produced += Width) repeated = repeated << Width | v;
      Widened[v] = static_cast<uint8_t>(repeated >> (produced - 8));
    }
  }
  uint8_t Expand(uint32_t pixel) const {
    const uint32_t v = (pixel & Mask) >> Shift;
    return Width >= 8 ? static_cast<uint8_t>(v >> (Width - 8)) : Widened[v & 0xFF];
  }
};

struct TMasks {
  uint32_t Red, Green, Blue;
};

TMasks MasksOf(const TPackedHeader& h, const uint8_t* block, size_t size) {
  if (h.Compression == kBiRgb)
    return h.BitCount == 16 ? TMasks{0x7C00, 0x03E0, 0x001F} : TMasks{0xFF0000, 0x00FF00, 0x0000FF};
  // The masks lie in the larger headers, or in the three words right after a 40-byte one.
  if (kInfoHeaderSize + 12 > size) InvalidHdib();
  const uint8_t* m = block + kInfoHeaderSize;
  return {GetLe32(m), GetLe32(m + 4), GetLe32(m + 8)};
}

// Offset of the first pixel byte: header, masks after a 40-byte header, colour table.
uint64_t PixelOffset(const TPackedHeader& h, uint64_t colors) {
  uint64_t offset = h.HeaderSize;
  if (h.HeaderSize == kInfoHeaderSize && (h.Compression == kBiBitfields || h.Compression == kBiAlphaBitfields))
    offset += h.Compression == kBiBitfields ? 12 : 16;
  return offset + 4 * colors;
}

// Source row of picture row Y (0 = top), for rows stored bottom-up or top-down.
const uint8_t* SourceRow(const uint8_t* pixels, int64_t rowBytes, int height, bool topDown, int y) {
  const int64_t stored = topDown ? y : height - 1 - y;
  return pixels + stored * rowBytes;
}

void CopyPlainRows(TDibGraphic& image, const uint8_t* pixels, bool topDown) {
  const int64_t rowBytes = image.BytesPerLine();
  for (int y = 0; y < image.Height(); ++y)
    std::memcpy(image.ScanLine(y), SourceRow(pixels, rowBytes, image.Height(), topDown, y),
                static_cast<size_t>(rowBytes));
}

template <int Bytes>
void ExpandMaskedRows(TDibGraphic& image, const uint8_t* pixels, int64_t rowBytes, bool topDown, const TMasks& masks) {
  const TChannel red(masks.Red), green(masks.Green), blue(masks.Blue);
  const int width = image.Width();
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* src = SourceRow(pixels, rowBytes, image.Height(), topDown, y);
    uint8_t* dst = image.ScanLine(y);
    for (int x = 0; x < width; ++x, src += Bytes, dst += 3) {
      const uint32_t pixel = Bytes == 2 ? GetLe16(src) : GetLe32(src);
      dst[0] = blue.Expand(pixel);
      dst[1] = green.Expand(pixel);
      dst[2] = red.Expand(pixel);
    }
  }
}

// RLE blocks are expanded by the bitmap reader: the block, behind a 14-byte file header and with
// its header cut to the 40-byte form, is a bitmap file.
void LoadRunLengthBlock(TDibGraphic& image, const uint8_t* block, size_t size, const TPackedHeader& h,
                        uint64_t colors) {
  if (h.ImageSize == 0) InvalidHdib();
  if (h.Height < 0) throw EQuorvaneError("Unsupported compression");
  const uint64_t tableBytes = 4 * colors;
  const uint64_t source = h.HeaderSize + tableBytes;
  if (source > size || h.ImageSize > size - source) InvalidHdib();
  const uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + tableBytes + h.ImageSize;
  CheckBufferSize(fileSize);
  if (fileSize > std::numeric_limits<uint32_t>::max()) InvalidHdib();

  std::vector<uint8_t> file(static_cast<size_t>(fileSize));
  uint8_t* p = file.data();
  p[0] = 'B';
  p[1] = 'M';
  PutLe32(p + 2, static_cast<uint32_t>(fileSize));
  PutLe32(p + 10, static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + tableBytes));
  std::memcpy(p + kFileHeaderSize, block, kInfoHeaderSize);
  PutLe32(p + kFileHeaderSize, kInfoHeaderSize);
  std::memcpy(p + kFileHeaderSize + kInfoHeaderSize, block + h.HeaderSize,
              static_cast<size_t>(tableBytes + h.ImageSize));
  TMemoryStream stream(std::move(file));
  GbmReadImage(stream, image, "block.bmp");
}

void Load(TDibGraphic& image, const uint8_t* block, size_t size) {
  const TPackedHeader h = ReadHeader(block, size);
  const uint64_t colors = ColorCount(h);
  const bool topDown = h.Height < 0;
  const int64_t height = topDown ? -static_cast<int64_t>(h.Height) : h.Height;
  const uint16_t xDpi = DpiOf(h.XPelsPerMeter), yDpi = DpiOf(h.YPelsPerMeter);

  if (h.Compression == kBiRle8 || h.Compression == kBiRle4) {
    LoadRunLengthBlock(image, block, size, h, colors);
    image.SetXDpi(xDpi);
    image.SetYDpi(yDpi);
    return;
  }
  const bool masked = h.Compression == kBiBitfields || h.Compression == kBiAlphaBitfields;
  if (h.Compression != kBiRgb && !masked) throw EQuorvaneError("Unsupported compression");
  if (masked && (h.BitCount != 16 && h.BitCount != 32)) throw EQuorvaneError("Unsupported compression");
  if (masked && h.ImageSize == 0) InvalidHdib();

  CheckImageSize(h.Width, height, h.BitCount);
  const int64_t rowBytes = RowBytes(h.Width, h.BitCount);
  const uint64_t offset = PixelOffset(h, h.BitCount <= 8 ? colors : h.ColorsUsed);
  if (offset > size || static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height) > size - offset) InvalidHdib();
  const uint8_t* pixels = block + offset;

  if (h.BitCount == 16 || h.BitCount == 32) {
    const TMasks masks = MasksOf(h, block, size);
    image.NewImageForOverwrite(h.Width, static_cast<int>(height), TImageFormat::TrueColor, nullptr, xDpi, yDpi);
    if (h.BitCount == 16)
      ExpandMaskedRows<2>(image, pixels, rowBytes, topDown, masks);
    else
      ExpandMaskedRows<4>(image, pixels, rowBytes, topDown, masks);
    return;
  }
  // The pixel offset check above covers the colour table too.
  TDibPalette palette{};
  if (h.BitCount <= 8) palette = PaletteOf(block + h.HeaderSize, colors);
  image.NewImageForOverwrite(h.Width, static_cast<int>(height), BitCountToImageFormat(h.BitCount),
                             h.BitCount <= 8 ? &palette : nullptr, xDpi, yDpi);
  CopyPlainRows(image, pixels, topDown);
}

}  // namespace

void LoadFromDibHandle(TDibGraphic& image, const void* block, size_t size) {
  if (block == nullptr) InvalidHdib();
  try {
    Load(image, static_cast<const uint8_t*>(block), size);
  } catch (...) {
    image.FreeImage();
    throw;
  }
}

bool LoadDeepBitmapFile(TDibGraphic& image, const std::vector<uint8_t>& file) {
  if (file.size() < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M') return false;
  const uint32_t pixelOffset = GetLe32(&file[10]);
  const uint32_t headerSize = GetLe32(&file[14]);
  const int bits = GetLe16(&file[28]);
  const uint32_t compression = GetLe32(&file[30]);
  if ((bits != 16 && bits != 32) || headerSize < kInfoHeaderSize || headerSize > file.size() - kFileHeaderSize)
    return false;
  const size_t masks = headerSize == kInfoHeaderSize ? (compression == kBiBitfields        ? 12
                                                        : compression == kBiAlphaBitfields ? 16
                                                                                           : 0)
                                                     : 0;
  if (kFileHeaderSize + headerSize + masks > pixelOffset || pixelOffset > file.size()) return false;
  std::vector<uint8_t> block(file.begin() + kFileHeaderSize, file.begin() + kFileHeaderSize + headerSize + masks);
  block.insert(block.end(), file.begin() + pixelOffset, file.end());
  std::fill(block.begin() + 32, block.begin() + 36, 0);  // the optional colour table is skipped
  const int32_t width = static_cast<int32_t>(GetLe32(&block[4])), height = static_cast<int32_t>(GetLe32(&block[8]));
  if (GetLe32(&block[20]) == 0 && width > 0) {
    // Files may leave the image size 0; the packed reader wants it for masked pixels.
    const uint64_t size =
        static_cast<uint64_t>(RowBytes(width, bits)) * static_cast<uint64_t>(std::abs(static_cast<int64_t>(height)));
    PutLe32(&block[20], static_cast<uint32_t>(std::min<uint64_t>(size, std::numeric_limits<uint32_t>::max())));
  }
  LoadFromDibHandle(image, block.data(), block.size());
  return true;
}

std::vector<uint8_t> SaveToDibHandle(const TDibGraphic& image) {
  if (image.Empty()) throw EQuorvaneError("Invalid HDIB");
  const TBitmapInfoHeader& h = image.BitmapInfo().Header;
  const size_t table = 4 * static_cast<size_t>(h.biClrUsed);
  std::vector<uint8_t> block(kInfoHeaderSize + table + image.ImageSize());
  uint8_t* p = block.data();
  PutLe32(p, kInfoHeaderSize);
  PutLe32(p + 4, static_cast<uint32_t>(h.biWidth));
  PutLe32(p + 8, static_cast<uint32_t>(h.biHeight));
  PutLe16(p + 12, 1);
  PutLe16(p + 14, h.biBitCount);
  PutLe32(p + 20, static_cast<uint32_t>(image.ImageSize()));
  PutLe32(p + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
  PutLe32(p + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
  PutLe32(p + 32, h.biClrUsed);
  for (uint32_t i = 0; i < h.biClrUsed; ++i) {
    const TPaletteEntry& e = image.BitmapInfo().Colors[i];
    uint8_t* q = p + kInfoHeaderSize + 4 * i;
    q[0] = e.Blue;
    q[1] = e.Green;
    q[2] = e.Red;
  }
  std::memcpy(p + kInfoHeaderSize + table, image.Bits(), image.ImageSize());
  return block;
}

}  // namespace quorvane
