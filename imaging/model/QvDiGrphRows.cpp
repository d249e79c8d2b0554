#include "model/QvDiGrphRows.h"

#include <array>
#include <cstring>

#include "model/QvCpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_ROWS_X86 1
#endif

namespace quorvane {

namespace {

// For each byte the eight 1-bit pixels it holds, most significant bit first.
constexpr std::array<std::array<uint8_t, 8>, 256> MakeBitTable() {
  std::array<std::array<uint8_t, 8>, 256> table{};
  for (int v = 0; v < 256; ++v)
    for (int i = 0; i < 8; ++i) table[v][i] = static_cast<uint8_t>((v >> (7 - i)) & 1);
  return table;
}
constexpr auto kBitPixels = MakeBitTable();

#ifdef QV_ROWS_X86
// Five pixels per shuffle: a 16-byte load holds five whole pixels and one byte of the sixth,
// which the shuffle writes back unchanged, so the loop stops while a sixth pixel remains.
__attribute__((target("ssse3"))) size_t SwapRedBlueSsse3(const uint8_t* in, uint8_t* out, size_t count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t x = 0;
  for (; x + 6 <= count; x += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
  }
  return x;
}
#endif

}  // namespace

void SwapRedBlue(const uint8_t* in, uint8_t* out, size_t count) {
  size_t x = 0;
#ifdef QV_ROWS_X86
  if (CpuHas(TCpuLevel::Ssse3)) x = SwapRedBlueSsse3(in, out, count);
#endif
  for (; x < count; ++x) {
    const uint8_t first = in[3 * x];
    out[3 * x + 1] = in[3 * x + 1];
    out[3 * x] = in[3 * x + 2];
    out[3 * x + 2] = first;
  }
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

namespace {

// Eight indices as the bits of one byte, the first in the highest bit, a bit set for each index
// that is not 0. The high bit of each byte of the word is made the byte's "not zero" flag
// (adding 0x7F to the low seven bits carries into it); the multiplication then moves the flag of
// byte K to bit 63 - K, and no two of its partial products meet or carry.
inline uint8_t PackEightIndices(const uint8_t* indices) {
  uint64_t v;
  std::memcpy(&v, indices, 8);
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t flags = (((v & kLow7) + kLow7) | v) & ~kLow7;
  return static_cast<uint8_t>(((flags >> 7) * 0x8040201008040201ull) >> 56);
}

}  // namespace

void PackIndices(const uint8_t* indices, int count, int bits, uint8_t* row) {
  if (bits == 8) {
    std::memcpy(row, indices, static_cast<size_t>(count));
    return;
  }
  int i = 0;
  if (bits == 1) {
    for (; i + 8 <= count; i += 8) row[i >> 3] = PackEightIndices(indices + i);
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

namespace {

// Stores triples as palette indices found by FindIndex, asking once per run of equal colours.
template <typename TFindIndex>
void WriteMappedRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr, TFindIndex findIndex) {
  std::vector<uint8_t> indices(static_cast<size_t>(count));
  uint32_t previous = 0xFFFFFFFFu;
  uint8_t previousIndex = 0;
  for (int i = 0; i < count; ++i, bgr += 3) {
    const uint32_t c = PackColor(bgr[0], bgr[1], bgr[2]);
    if (c != previous) {
      previous = c;
      previousIndex = findIndex(bgr);
    }
    indices[static_cast<size_t>(i)] = previousIndex;
  }
  WriteRowIndices(image, y, x0, count, indices.data());
}

}  // namespace

void ReadRowIndices(const TDibGraphic& image, int y, int x0, int count, uint8_t* indices) {
  UnpackIndices(image.ScanLine(y), image.BitCount(), x0, count, indices);
}

void WriteRowIndices(TDibGraphic& image, int y, int x0, int count, const uint8_t* indices) {
  uint8_t* row = image.ScanLine(y);
  const int bits = image.BitCount();
  if (bits == 8 || (x0 == 0 && count == image.Width())) {
    // Whole rows pack byte by byte; the bits after the last pixel are padding.
    PackIndices(indices, count, bits, row + (bits == 8 ? x0 : 0));
    return;
  }
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    if (bits == 1) {
      const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
      if (indices[i])
        row[x >> 3] |= mask;
      else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
    } else {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (indices[i] & 0x0F))
                  : static_cast<uint8_t>((b & 0x0F) | ((indices[i] & 0x0F) << 4));
    }
  }
}

const uint8_t* RowAsBgr(const TDibGraphic& image, int y, int x0, int count, std::vector<uint8_t>& scratch) {
  if (image.ImageFormat() == TImageFormat::TrueColor) return image.ScanLine(y) + 3 * static_cast<ptrdiff_t>(x0);
  scratch.resize(4 * static_cast<size_t>(count));
  // Indices go to the back half of the scratch, triples to the front; they never overlap
  // because triple i is written after index i has been read.
  uint8_t* indices = scratch.data() + 3 * static_cast<size_t>(count);
  ReadRowIndices(image, y, x0, count, indices);
  const auto& entries = image.PaletteRecord().Entries;
  uint8_t* out = scratch.data();
  for (int i = 0; i < count; ++i) {
    const TPaletteEntry& e = entries[indices[i]];
    out[0] = e.Blue;
    out[1] = e.Green;
    out[2] = e.Red;
    out += 3;
  }
  return scratch.data();
}

void WriteBgrToRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr) {
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    std::memcpy(image.ScanLine(y) + 3 * static_cast<ptrdiff_t>(x0), bgr, 3 * static_cast<size_t>(count));
    return;
  }
  TRgbToPaletteConverter& converter = *image.Converter();
  WriteMappedRow(image, y, x0, count, bgr, [&converter](const uint8_t* p) {
    return static_cast<uint8_t>(converter.PaletteIndexOf(PackColor(p[0], p[1], p[2])));
  });
}

void WriteBgrToRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr, TNearestEntryIndex& nearest) {
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    std::memcpy(image.ScanLine(y) + 3 * static_cast<ptrdiff_t>(x0), bgr, 3 * static_cast<size_t>(count));
    return;
  }
  WriteMappedRow(image, y, x0, count, bgr,
                 [&nearest](const uint8_t* p) { return static_cast<uint8_t>(nearest.IndexOf(p[0], p[1], p[2])); });
}

void ReadRowColors(const TDibGraphic& image, int y, TColorValue* colors) {
  const int width = image.Width();
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    const uint8_t* p = image.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) colors[x] = PackColor(p[0], p[1], p[2]);
    return;
  }
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  ReadRowIndices(image, y, 0, width, indices.data());
  const auto& entries = image.PaletteRecord().Entries;
  for (int x = 0; x < width; ++x) colors[x] = entries[indices[static_cast<size_t>(x)]].Value();
}

void WriteRowColors(TDibGraphic& image, int y, const TColorValue* colors) {
  const int width = image.Width();
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    uint8_t* p = image.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = ColorByte0(colors[x]);
      p[1] = ColorByte1(colors[x]);
      p[2] = ColorByte2(colors[x]);
    }
    return;
  }
  TRgbToPaletteConverter& converter = *image.Converter();
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    indices[static_cast<size_t>(x)] = static_cast<uint8_t>(converter.PaletteIndexOf(colors[x]));
  WriteRowIndices(image, y, 0, width, indices.data());
}

}  // namespace quorvane
