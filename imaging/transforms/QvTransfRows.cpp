#include "transforms/QvTransfRows.h"

#include <immintrin.h>

#include <cstring>

namespace quorvane {

void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette) {
  const auto xDpi = static_cast<uint16_t>(source.XDpi());
  const auto yDpi = static_cast<uint16_t>(source.YDpi());
  dest.NewImage(width, height, format, palette, xDpi, yDpi);
  dest.SetXDpi(xDpi);
  dest.SetYDpi(yDpi);
}

void NewImageForOverwriteLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                              const TDibPalette* palette) {
  const auto xDpi = static_cast<uint16_t>(source.XDpi());
  const auto yDpi = static_cast<uint16_t>(source.YDpi());
  dest.NewImageForOverwrite(width, height, format, palette, xDpi, yDpi);
  dest.SetXDpi(xDpi);
  dest.SetYDpi(yDpi);
}

void ClearRowPadding(TDibGraphic& image) {
  const auto used = static_cast<size_t>((static_cast<int64_t>(image.Width()) * image.BitCount() + 7) / 8);
  const auto bytesPerLine = static_cast<size_t>(image.BytesPerLine());
  if (used == bytesPerLine) return;
  for (int y = 0; y < image.Height(); ++y) ClearRowTail(image.ScanLine(y), used, bytesPerLine);
}

void ComplementBytes(uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
}

bool HasByteTableLookups() {
  static const bool has =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  return has;
}

namespace {

// 64 lookups per step: two 128-entry permutes, the top bit of each index choosing between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t MapBytes64(const uint8_t table[256], const uint8_t* in,
                                                                         uint8_t* out, size_t count) {
  const __m512i t0 = _mm512_loadu_si512(table);
  const __m512i t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128);
  const __m512i t3 = _mm512_loadu_si512(table + 192);
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
    _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
  }
  return i;
}

}  // namespace

void MapBytes(const uint8_t table[256], const uint8_t* in, uint8_t* out, size_t count) {
  size_t i = HasByteTableLookups() ? MapBytes64(table, in, out, count) : 0;
  for (; i < count; ++i) out[i] = table[in[i]];
}

}  // namespace quorvane
