#include "transforms/QvTransfRows.h"

#include <array>
#include <cstring>

namespace {

// For each byte the eight 1-bit pixels it holds, most significant bit first.
constexpr std::array<std::array<uint8_t, 8>, 256> MakeBitTable() {
  std::array<std::array<uint8_t, 8>, 256> table{};
  for (int v = 0; v < 256; ++v)
    for (int i = 0; i < 8; ++i) table[v][i] = static_cast<uint8_t>((v >> (7 - i)) & 1);
  return table;
}
constexpr auto kBitPixels = MakeBitTable();

}  // namespace

void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette) {
  const auto xDpi = static_cast<uint16_t>(source.XDpi());
  const auto yDpi = static_cast<uint16_t>(source.YDpi());
  dest.NewImage(width, height, format, palette, xDpi, yDpi);
  dest.SetXDpi(xDpi);
  dest.SetYDpi(yDpi);
}

void UnpackIndices(const uint8_t* row, int bits, int x0, int count, uint8_t* indices) {
  if (bits == 8) {
    std::memcpy(indices, row + x0, static_cast<size_t>(count));
    return;
  }
  int i = 0;
  if (bits == 1) {
    for (; i < count && ((x0 + i) & 7) != 0; ++i) indices[i] = (row[(x0 + i) >> 3] >> (7 - ((x0 + i) & 7))) & 1;
    for (; i + 8 <= count; i += 8) std::memcpy(indices + i, kBitPixels[row[(x0 + i) >> 3]].data(), 8);
    for (; i < count; ++i) indices[i] = (row[(x0 + i) >> 3] >> (7 - ((x0 + i) & 7))) & 1;
    return;
  }
  if (count > 0 && (x0 & 1)) {
    indices[0] = row[x0 >> 1] & 0x0F;
    i = 1;
  }
  for (; i + 2 <= count; i += 2) {
    const uint8_t b = row[(x0 + i) >> 1];
    indices[i] = b >> 4;
    indices[i + 1] = b & 0x0F;
  }
  if (i < count) indices[i] = row[(x0 + i) >> 1] >> 4;
}

void PackIndices(const uint8_t* indices, int count, int bits, uint8_t* row) {
  if (bits == 8) {
    std::memcpy(row, indices, static_cast<size_t>(count));
    return;
  }
  int i = 0;
  if (bits == 1) {
    for (; i + 8 <= count; i += 8) {
      unsigned b = 0;
      for (int k = 0; k < 8; ++k) b = (b << 1) | (indices[i + k] != 0 ? 1u : 0u);
      row[i >> 3] = static_cast<uint8_t>(b);
    }
    if (i < count) {
      unsigned b = 0;
      for (int k = 0; i + k < count; ++k) b |= (indices[i + k] != 0 ? 0x80u : 0u) >> k;
      row[i >> 3] = static_cast<uint8_t>(b);
    }
    return;
  }
  for (; i + 2 <= count; i += 2)
    row[i >> 1] = static_cast<uint8_t>(((indices[i] & 0x0F) << 4) | (indices[i + 1] & 0x0F));
  if (i < count) row[i >> 1] = static_cast<uint8_t>((indices[i] & 0x0F) << 4);
}

void ComplementBytes(uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
}
