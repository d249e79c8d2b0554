// Row kernels of the transforms: the loops that have processor-specific paths. Each one does
// its whole row; which path runs is decided by the processor level (model/QvCpu.h), and every
// path gives the same bytes as the portable one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane {

// Out[i] = Table[In[i]] for Count bytes (In and Out may be the same).
void MapBytes(const uint8_t table[256], const uint8_t* in, uint8_t* out, size_t count);

// Out[Width - 1 - x] = In[x] for one-byte pixels, and for three-byte pixels.
void ReverseBytes(const uint8_t* in, uint8_t* out, int width);
void ReverseTriples(const uint8_t* in, uint8_t* out, int width);

// A 16 x 16 block of bytes transposed: Out[i][k] = In[k][i] for 16 bytes at each pointer.
void TransposeBytes16x16(const uint8_t* const in[16], uint8_t* const out[16]);

// Palette indices to three-byte pixels through a table of 256 colours (bytes 0, 1, 2 of each).
class TTripleExpander {
 public:
  explicit TTripleExpander(const std::array<uint32_t, 256>& colors);
  // Out gets 3 * Width bytes; nothing after them is written.
  void Expand(const uint8_t* in, uint8_t* out, int width) const;

 private:
  std::array<uint32_t, 256> FColors;
  uint8_t FChannels[3][256];
  bool FWide;
};

// Three-byte pixels to four floats each: Out[4x .. 4x+3] = In[3x], In[3x+1], In[3x+2], 0.
void TriplesToFloats(const uint8_t* in, float* out, int width);

// The lightness operations (brightness, contrast) on three-byte pixels: RgbToHsl, a new
// lightness, HslToRgb. Pairs[Max << 8 | Min] holds, for the largest and smallest byte of a pixel,
// the M1 and M2 of the reverse conversion (for a gray pair both are the new lightness), so that
// only the hue remains per pixel. Maps the leading pixels of the row on a processor-specific path
// with the same arithmetic (every operation rounded as the scalar one) and returns how many; the
// caller maps the rest.
struct TLightnessPair {
  double M1;
  double M2;
};
int MapLightnessWide(const TLightnessPair* pairs, const uint8_t* in, uint8_t* out, int width);

// Gray levels of three-byte pixels: Trunc((B * WB + G * WG + R * WR) / 1000) clamped to 0..255,
// then LevelIndex of it. Every sum must fit 32 bits; weights within +-32767 take the wide path.
class TGrayIndexer {
 public:
  TGrayIndexer(int32_t blueWeight, int32_t greenWeight, int32_t redWeight, const std::array<uint8_t, 256>& levelIndex);
  void Index(const uint8_t* in, uint8_t* out, int width) const;
  // Whether a processor-specific path does the bulk of each row.
  bool Wide() const { return FWide; }

 private:
  int32_t FBlue, FGreen, FRed;
  std::array<uint8_t, 256> FLevelIndex;
  bool FWide;
};

}  // namespace quorvane
