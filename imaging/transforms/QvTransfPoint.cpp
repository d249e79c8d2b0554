#include "transforms/QvTransfPoint.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

// GCC 12 takes the intrinsics' deliberately undefined vectors for uninitialised variables.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "model/QvMisc.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

// Rows are moved as little-endian words in places.
static_assert(std::endian::native == std::endian::little);

namespace {

using TColorTable = std::array<TColorValue, 256>;

// Palette indices to blue, green, red triples with 64-byte table lookups: each channel of 64
// pixels is looked up on its own, then the three are interleaved by byte permutes.
class TTripleExpander {
 public:
  explicit TTripleExpander(const TColorTable& colors) {
    for (size_t i = 0; i < 256; ++i) {
      FChannels[0][i] = ColorByte0(colors[i]);
      FChannels[1][i] = ColorByte1(colors[i]);
      FChannels[2][i] = ColorByte2(colors[i]);
    }
  }
  // Expands the first multiple of 64 pixels of the row; returns how many it did.
  __attribute__((target("avx512f,avx512bw,avx512vbmi"))) int Expand(const uint8_t* in, uint8_t* out, int width) const {
    __m512i tables[3][4];
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 4; ++k) tables[c][k] = _mm512_loadu_si512(FChannels[c] + 64 * k);
    const TInterleave& il = Interleave();
    __m512i blueGreen[3], red[3];
    for (int m = 0; m < 3; ++m) {
      blueGreen[m] = _mm512_loadu_si512(il.BlueGreen[m]);
      red[m] = _mm512_loadu_si512(il.Red[m]);
    }
    int x = 0;
    for (; x + 64 <= width; x += 64, out += 192) {
      const __m512i v = _mm512_loadu_si512(in + x);
      const __mmask64 high = _mm512_movepi8_mask(v);
      __m512i channel[3];
      for (int c = 0; c < 3; ++c)
        channel[c] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(tables[c][0], v, tables[c][1]),
                                            _mm512_permutex2var_epi8(tables[c][2], v, tables[c][3]));
      for (int m = 0; m < 3; ++m) {
        __m512i o = _mm512_permutex2var_epi8(channel[0], blueGreen[m], channel[1]);
        o = _mm512_mask_permutexvar_epi8(o, il.RedMask[m], red[m], channel[2]);
        _mm512_storeu_si512(out + 64 * m, o);
      }
    }
    return x;
  }

 private:
  // Output byte J of 64-byte block M is channel (64M + J) mod 3 of pixel (64M + J) / 3.
  struct TInterleave {
    uint8_t BlueGreen[3][64]{};  // pixel, or 64 + pixel for green
    uint8_t Red[3][64]{};
    __mmask64 RedMask[3]{};
    TInterleave() {
      for (int m = 0; m < 3; ++m)
        for (int j = 0; j < 64; ++j) {
          const int k = 64 * m + j, pixel = k / 3, channel = k % 3;
          if (channel == 2) {
            Red[m][j] = static_cast<uint8_t>(pixel);
            RedMask[m] |= __mmask64{1} << j;
          } else {
            BlueGreen[m][j] = static_cast<uint8_t>(channel * 64 + pixel);
          }
        }
    }
  };
  static const TInterleave& Interleave() {
    static const TInterleave il;
    return il;
  }
  uint8_t FChannels[3][256];
};

// Every operation below that yields TrueColor: the result of a palette source comes from a
// per-entry colour table; a TrueColor source goes through MapTrueColorRow.
// Step(y, Height - 1) reports progress before each row.
template <typename TMapRow, typename TStep>
void MapToTrueColor(const TDibGraphic& source, TDibGraphic& dest, const TColorTable& paletteResult,
                    TMapRow mapTrueColorRow, TStep step) {
  const int w = source.Width();
  const int h = source.Height();
  // Every pixel is written and the padding cleared: the block need not be zeroed first.
  NewImageForOverwriteLike(dest, source, w, h, TImageFormat::TrueColor, nullptr);
  const size_t used = 3 * static_cast<size_t>(w);
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  if (source.ImageFormat() == TImageFormat::TrueColor) {
    for (int y = 0; y < h; ++y) {
      step(y, h - 1);
      mapTrueColorRow(source.ScanLine(y), dest.ScanLine(y), w);
      ClearRowTail(dest.ScanLine(y), used, bytesPerLine);
    }
    return;
  }
  std::vector<uint8_t> indices(static_cast<size_t>(w));
  const int bits = source.BitCount();
  const bool wide = HasByteTableLookups();
  const TTripleExpander expander(paletteResult);
  for (int y = 0; y < h; ++y) {
    step(y, h - 1);
    const uint8_t* index = source.ScanLine(y);
    if (bits != 8) {
      UnpackIndices(index, bits, 0, w, indices.data());
      index = indices.data();
    }
    uint8_t* out = dest.ScanLine(y);
    ClearRowTail(out, used, bytesPerLine);
    const int done = wide ? expander.Expand(index, out, w) : 0;
    index += done;
    out += 3 * static_cast<ptrdiff_t>(done);
    const int rest = w - done;
    if (rest == 0) continue;
    // Four-byte stores that the next pixel partly overwrites; the last pixel is stored alone
    // so that nothing is written past it.
    for (int x = 0; x < rest - 1; ++x, out += 3) {
      const uint32_t c = paletteResult[index[x]];
      std::memcpy(out, &c, 4);
    }
    const TColorValue c = paletteResult[index[rest - 1]];
    out[0] = ColorByte0(c);
    out[1] = ColorByte1(c);
    out[2] = ColorByte2(c);
  }
}

TColorTable MapPalette(const TDibGraphic& source, TColorValue (*map)(TColorValue, const void*), const void* context) {
  TColorTable table{};
  if (source.ImageFormat() == TImageFormat::TrueColor) return table;
  const auto& entries = source.PaletteRecord().Entries;
  for (size_t i = 0; i < 256; ++i) table[i] = map(entries[i].Value(), context);
  return table;
}

// ---- lightness operations ----

// byte / 255 as the HSL routines compute it.
struct TUnitTable {
  std::array<double, 256> Value{};
  TUnitTable() {
    for (int i = 0; i < 256; ++i) Value[static_cast<size_t>(i)] = i / 255.0;
  }
};
const TUnitTable kUnit;

uint8_t UnitToByte(double c) {
  const double v = c * 255 + 0.5;
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return static_cast<uint8_t>(v);
}

using TLightnessFunction = double (*)(double l, double parameter);

double Brighten(double l, double delta) {
  l = l + delta;
  if (l > 1)
    l = 1;
  else if (l < 0)
    l = 0;
  return l;
}

double Contrast(double l, double sign) {
  l = l + ((std::sin((l - 0.5) * std::numbers::pi) + 1) * 0.5 - l) * sign * 0.5;
  if (l > 1)
    l = 1;
  else if (l < 0)
    l = 0;
  return l;
}

struct TLightness {
  TLightnessFunction Function;
  double Parameter;
};

TColorValue ChangeLightness(TColorValue color, const void* context) {
  const auto& op = *static_cast<const TLightness*>(context);
  const THsl hsl = RgbToHsl(color);
  return HslToRgb(hsl.H, hsl.S, op.Function(hsl.L, op.Parameter)) | (color & 0xFF000000u);
}

// The lightness operations depend on a colour's largest and smallest channel for everything but
// the hue, so M1 and M2 of the reverse conversion are computed once per (max, min) byte pair;
// per pixel only the hue and the middle channel remain. The arithmetic is the same, in the same
// order, as RgbToHsl followed by HslToRgb, so the bytes are identical.
struct TPairValues {
  double M1;
  double M2;  // for a gray pair: the new lightness
};

class TLightnessMapper {
 public:
  explicit TLightnessMapper(const TLightness& op) : FPairs(256 * 256) {
    for (int mxb = 0; mxb < 256; ++mxb)
      for (int mnb = 0; mnb <= mxb; ++mnb) {
        const double mx = kUnit.Value[static_cast<size_t>(mxb)];
        const double mn = kUnit.Value[static_cast<size_t>(mnb)];
        const double l = (mx + mn) / 2;
        const double d = mx - mn;
        TPairValues& pair = FPairs[static_cast<size_t>(mxb << 8 | mnb)];
        const double nl = op.Function(l, op.Parameter);
        if (d == 0) {
          pair = {nl, nl};
          continue;
        }
        const double s = l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
        const double m2 = nl <= 0.5 ? nl * (1 + s) : nl + s - nl * s;
        pair = {2 * nl - m2, m2};
      }
  }

  void MapRow(const uint8_t* in, uint8_t* out, int width) const {
    uint32_t previous = 0xFFFFFFFFu;
    uint8_t r0 = 0, r1 = 0, r2 = 0;
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      const uint32_t key = PackColor(in[0], in[1], in[2]);
      if (key != previous) {
        previous = key;
        MapPixel(in[0], in[1], in[2], r0, r1, r2);
      }
      out[0] = r0;
      out[1] = r1;
      out[2] = r2;
    }
  }

 private:
  // The hue rule of RgbToHsl as (base + sign * (mx - channel) / d) with the case chosen by
  // table instead of branches (adding -q equals subtracting q exactly); likewise the channel
  // order of HslToRgb's sector.
  struct THueCase {
    double Base;
    double Sign;
    int Channel;
  };
  static constexpr THueCase kHueCases[6] = {
      {1, -1, 1},  // blue is max, green not min
      {5, 1, 2},   // blue is max, green min
      {3, -1, 2},  // green is max, red not min
      {1, 1, 0},   // green is max, red min
      {5, -1, 0},  // red is max, blue not min
      {3, 1, 1},   // red is max, blue min
  };
  // Output position of the high, middle and low value for sectors 0..6 (6 is sector 0 again).
  static constexpr uint8_t kHigh[7] = {0, 1, 1, 2, 2, 0, 0};
  static constexpr uint8_t kMiddle[7] = {1, 0, 2, 1, 0, 2, 1};
  static constexpr uint8_t kLow[7] = {2, 2, 0, 0, 1, 1, 2};

  void MapPixel(int b0, int b1, int b2, uint8_t& o0, uint8_t& o1, uint8_t& o2) const {
    const int mxb = std::max(b0, std::max(b1, b2));
    const int mnb = std::min(b0, std::min(b1, b2));
    const TPairValues& pair = FPairs[static_cast<size_t>(mxb << 8 | mnb)];
    if (mxb == mnb) {
      o0 = o1 = o2 = UnitToByte(pair.M2);
      return;
    }
    const double* unit = kUnit.Value.data();
    const double mx = unit[mxb];
    const double d = mx - unit[mnb];
    const int b[3] = {b0, b1, b2};
    // The case in arithmetic rather than branches, which noisy pictures would mispredict.
    const int max0 = b0 == mxb;
    const int max1 = (1 - max0) & (b1 == mxb);
    const int max2 = 1 - max0 - max1;
    const int hueCase = max0 * (b1 == mnb) + max1 * (2 + (b2 == mnb)) + max2 * (4 + (b0 == mnb));
    const THueCase& hc = kHueCases[hueCase];
    const double h = hc.Base + hc.Sign * ((mx - unit[b[hc.Channel]]) / d);
    const double h6 = (h / 6) * 6;
    int i = static_cast<int>(h6);
    const double f = h6 - i;
    if (static_cast<unsigned>(i) > 6) i = 0;  // as HslToRgb's default sector; never reached
    const double m1 = pair.M1;
    const double m2 = pair.M2;
    const double middle[2] = {m1 + (m2 - m1) * f, m2 - (m2 - m1) * f};
    uint8_t out[3];
    out[kHigh[i]] = UnitToByte(m2);
    out[kLow[i]] = UnitToByte(m1);
    out[kMiddle[i]] = UnitToByte(middle[i & 1]);
    o0 = out[0];
    o1 = out[1];
    o2 = out[2];
  }

  std::vector<TPairValues> FPairs;
};

template <typename TStep>
void ApplyLightness(const TDibGraphic& source, TDibGraphic& dest, const TLightness& op, TStep step) {
  if (source.ImageFormat() == TImageFormat::TrueColor) {
    const TLightnessMapper mapper(op);
    MapToTrueColor(
        source, dest, TColorTable{}, [&](const uint8_t* in, uint8_t* out, int w) { mapper.MapRow(in, out, w); }, step);
  } else {
    MapToTrueColor(
        source, dest, MapPalette(source, ChangeLightness, &op), [](const uint8_t*, uint8_t*, int) {}, step);
  }
}

}  // namespace

// ---- negative ----

void TNegativeTransform::Apply(TDibGraphic& image) {
  StartProgress();
  if (!image.Empty()) {
    const int h = image.Height();
    switch (image.ImageFormat()) {
      case TImageFormat::Color16:
      case TImageFormat::Color256: {
        // The indices stay; only the palette is inverted. NewImage replaces the pixel block,
        // so the pixels are kept aside meanwhile.
        std::vector<uint8_t> pixels(image.Bits(), image.Bits() + image.ImageSize());
        TDibPalette inverted = image.PaletteRecord();
        for (TPaletteEntry& e : inverted.Entries)
          e = {static_cast<uint8_t>(255 - e.Blue), static_cast<uint8_t>(255 - e.Green),
               static_cast<uint8_t>(255 - e.Red), 0};
        const TDibGraphic& source = image;
        const auto xDpi = static_cast<uint16_t>(source.XDpi());
        const auto yDpi = static_cast<uint16_t>(source.YDpi());
        image.NewImage(image.Width(), h, image.ImageFormat(), &inverted, xDpi, yDpi);
        image.SetXDpi(xDpi);
        image.SetYDpi(yDpi);
        std::memcpy(image.Bits(), pixels.data(), pixels.size());
        break;
      }
      case TImageFormat::TrueColor:
        for (int y = 0; y < h; ++y) {
          StepProgress(y, 0, h - 1);
          ComplementBytes(image.ScanLine(y), 3 * static_cast<size_t>(image.Width()));
        }
        break;
      default:
        // Gray and black-and-white indices complement with their storage, row padding included.
        for (int y = 0; y < h; ++y) {
          StepProgress(y, 0, h - 1);
          ComplementBytes(image.ScanLine(y), static_cast<size_t>(image.BytesPerLine()));
        }
        break;
    }
  }
  FinishProgress();
}

// The same result as Dest.Assign(Source) followed by Apply(Dest), in one pass.
void TNegativeTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest || source.Empty()) {
    dest.Assign(&source);
    Apply(dest);
    return;
  }
  StartProgress();
  const int w = source.Width();
  const int h = source.Height();
  const TImageFormat format = source.ImageFormat();
  if (format == TImageFormat::Color16 || format == TImageFormat::Color256) {
    TDibPalette inverted = source.PaletteRecord();
    for (TPaletteEntry& e : inverted.Entries)
      e = {static_cast<uint8_t>(255 - e.Blue), static_cast<uint8_t>(255 - e.Green), static_cast<uint8_t>(255 - e.Red),
           0};
    NewImageLike(dest, source, w, h, format, &inverted);
    std::memcpy(dest.Bits(), source.Bits(), source.ImageSize());
  } else {
    NewImageLike(dest, source, w, h, format, &source.PaletteRecord());
    // TrueColor pixels only; gray and black-and-white rows with their padding.
    const size_t count =
        format == TImageFormat::TrueColor ? 3 * static_cast<size_t>(w) : static_cast<size_t>(source.BytesPerLine());
    for (int y = 0; y < h; ++y) {
      StepProgress(y, 0, h - 1);
      const uint8_t* in = source.ScanLine(y);
      uint8_t* out = dest.ScanLine(y);
      for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(~in[i]);
    }
  }
  dest.SetFrameDelay(source.FrameDelay());
  FinishProgress();
}

// ---- brightness and contrast ----

void TBrightnessTransform::SetAmount(double value) { Amount = std::clamp(value, -100.0, 100.0); }

void TBrightnessTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest) return Apply(dest);
  StartProgress();
  ApplyLightness(source, dest, TLightness{Brighten, Amount / 100},
                 [this](int y, int last) { StepProgress(y, 0, last); });
  FinishProgress();
}

void TContrastTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest) return Apply(dest);
  StartProgress();
  ApplyLightness(source, dest, TLightness{Contrast, RaiseContrast ? 1.0 : -1.0},
                 [this](int y, int last) { StepProgress(y, 0, last); });
  FinishProgress();
}

// ---- gamma ----

void TGammaTransform::SetGammaValue(double value) { GammaValue = std::clamp(value, 0.1, 7.0); }

namespace {

using TByteTable = std::array<uint8_t, 256>;

TColorValue MapThroughTable(TColorValue color, const void* context) {
  const auto& table = *static_cast<const TByteTable*>(context);
  return PackColor(table[ColorByte0(color)], table[ColorByte1(color)], table[ColorByte2(color)]) |
         (color & 0xFF000000u);
}

// The byte table applied to two bytes at once (128 KiB, built per application).
class TPairTable {
 public:
  explicit TPairTable(const TByteTable& table) : FBytes(table), FPairs(65536) {
    for (size_t v = 0; v < 65536; ++v) FPairs[v] = static_cast<uint16_t>(table[v & 0xFF] | (table[v >> 8] << 8));
  }

  void Map(const uint8_t* in, uint8_t* out, size_t count) const {
    const uint16_t* pairs = FPairs.data();
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
      uint64_t v;
      std::memcpy(&v, in + i, 8);
      const uint64_t r = pairs[v & 0xFFFF] | (static_cast<uint64_t>(pairs[(v >> 16) & 0xFFFF]) << 16) |
                         (static_cast<uint64_t>(pairs[(v >> 32) & 0xFFFF]) << 32) |
                         (static_cast<uint64_t>(pairs[v >> 48]) << 48);
      std::memcpy(out + i, &r, 8);
    }
    for (; i < count; ++i) out[i] = FBytes[in[i]];
  }

 private:
  const TByteTable& FBytes;
  std::vector<uint16_t> FPairs;
};

}  // namespace

void TGammaTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest) return Apply(dest);
  StartProgress();
  TByteTable table{};
  const long double exponent = 1.0L / GammaValue;
  for (int i = 1; i < 256; ++i)
    table[static_cast<size_t>(i)] =
        static_cast<uint8_t>(std::clamp<int64_t>(RoundHalfEven(Power(i / 255.0L, exponent) * 255), 0, 255));
  const TColorTable palette = MapPalette(source, MapThroughTable, &table);
  auto step = [this](int y, int last) { StepProgress(y, 0, last); };
  if (HasByteTableLookups()) {
    MapToTrueColor(
        source, dest, palette,
        [&table](const uint8_t* in, uint8_t* out, int w) {
          MapBytes(table.data(), in, out, 3 * static_cast<size_t>(w));
        },
        step);
  } else {
    const TPairTable pairs(table);
    MapToTrueColor(
        source, dest, palette,
        [&pairs](const uint8_t* in, uint8_t* out, int w) { pairs.Map(in, out, 3 * static_cast<size_t>(w)); }, step);
  }
  FinishProgress();
}

// ---- convert to gray ----

namespace {

// Round(Weight * 1000); weights beyond a million times the full range saturate every pixel
// anyway, and the bound keeps the sums inside 64 bits.
int64_t IntegerWeight(double weight) { return RoundHalfEven(std::clamp(weight, -1e6, 1e6) * 1000); }

struct TGrayWeights {
  std::array<int64_t, 256> Red{}, Green{}, Blue{};

  std::array<int32_t, 256> Red32{}, Green32{}, Blue32{};
  bool Fits32;  // every sum fits 32 bits

  TGrayWeights(double red, double green, double blue) {
    const int64_t wr = IntegerWeight(red), wg = IntegerWeight(green), wb = IntegerWeight(blue);
    constexpr int64_t kLimit = (int64_t{1} << 31) / (3 * 255);
    Fits32 = std::abs(wr) < kLimit && std::abs(wg) < kLimit && std::abs(wb) < kLimit;
    for (int v = 0; v < 256; ++v) {
      Red[static_cast<size_t>(v)] = wr * v;
      Green[static_cast<size_t>(v)] = wg * v;
      Blue[static_cast<size_t>(v)] = wb * v;
      if (Fits32) {
        Red32[static_cast<size_t>(v)] = static_cast<int32_t>(wr * v);
        Green32[static_cast<size_t>(v)] = static_cast<int32_t>(wg * v);
        Blue32[static_cast<size_t>(v)] = static_cast<int32_t>(wb * v);
      }
    }
  }
  uint8_t Level32(int b0, int b1, int b2) const {
    const int32_t g =
        (Red32[static_cast<size_t>(b2)] + Green32[static_cast<size_t>(b1)] + Blue32[static_cast<size_t>(b0)]) / 1000;
    return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
  }
  // The gray level of a pixel; a negative sum (negative weights) gives black.
  uint8_t Level(int b0, int b1, int b2) const {
    const int64_t g =
        (Red[static_cast<size_t>(b2)] + Green[static_cast<size_t>(b1)] + Blue[static_cast<size_t>(b0)]) / 1000;
    return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
  }
};

// Gray indices of 16 TrueColor pixels per step; returns how many pixels it did. Each weight
// must fit 16 bits. The weighted sums are formed by 16-bit multiply-adds, clamped to
// 0 .. 255999, and divided by 1000 as Trunc((Sum + 0.5) * 0.001) in single precision: exact for
// every sum in that range (checked for all of them), since 0.5 keeps the product 0.0005 away
// from the next whole number while the rounding error stays below 0.00003.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int GrayIndices16(const TGrayWeights& weights,
                                                                         const uint8_t levelIndex[256],
                                                                         const uint8_t* in, uint8_t* out, int width) {
  // Blue and green of pixel I as 16-bit words 2I and 2I + 1; red as 32-bit lane I.
  alignas(64) uint8_t blueGreenOrder[64], redOrder[64];
  for (int i = 0; i < 16; ++i) {
    blueGreenOrder[4 * i] = static_cast<uint8_t>(3 * i);
    blueGreenOrder[4 * i + 2] = static_cast<uint8_t>(3 * i + 1);
    blueGreenOrder[4 * i + 1] = blueGreenOrder[4 * i + 3] = 0;
    redOrder[4 * i] = static_cast<uint8_t>(3 * i + 2);
    redOrder[4 * i + 1] = redOrder[4 * i + 2] = redOrder[4 * i + 3] = 0;
  }
  const __m512i blueGreen = _mm512_load_si512(blueGreenOrder);
  const __m512i red = _mm512_load_si512(redOrder);
  const __m512i blueGreenWeights = _mm512_set1_epi32(static_cast<int32_t>(
      (static_cast<uint32_t>(weights.Green32[1]) << 16) | (static_cast<uint32_t>(weights.Blue32[1]) & 0xFFFF)));
  const __m512i redWeight = _mm512_set1_epi32(weights.Red32[1] & 0xFFFF);
  const __m512i zero = _mm512_setzero_si512();
  const __m512i largest = _mm512_set1_epi32(255999);
  const __m512 half = _mm512_set1_ps(0.5f), thousandth = _mm512_set1_ps(0.001f);
  __m512i tables[4];
  for (int k = 0; k < 4; ++k) tables[k] = _mm512_loadu_si512(levelIndex + 64 * k);
  int x = 0;
  // A whole 64-byte load (of which 48 bytes are used) while it stays within the row's pixels: a
  // masked load is much slower here.
  for (; x + 22 <= width; x += 16, in += 48) {
    const __m512i v = _mm512_loadu_si512(in);
    const __m512i bg = _mm512_maskz_permutexvar_epi8(0x5555555555555555ull, blueGreen, v);
    const __m512i r = _mm512_maskz_permutexvar_epi8(0x1111111111111111ull, red, v);
    __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(bg, blueGreenWeights), _mm512_madd_epi16(r, redWeight));
    sum = _mm512_min_epi32(_mm512_max_epi32(sum, zero), largest);
    const __m512 level = _mm512_mul_ps(_mm512_add_ps(_mm512_cvtepi32_ps(sum), half), thousandth);
    const __m512i levels = _mm512_castsi128_si512(_mm512_cvtepi32_epi8(_mm512_cvttps_epi32(level)));
    const __m512i index =
        _mm512_mask_blend_epi8(_mm512_movepi8_mask(levels), _mm512_permutex2var_epi8(tables[0], levels, tables[1]),
                               _mm512_permutex2var_epi8(tables[2], levels, tables[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm512_castsi512_si128(index));
  }
  return x;
}

}  // namespace

void TConvertToGrayTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
  if (&source == &dest) return Apply(dest);
  StartProgress();
  const int w = source.Width();
  const int h = source.Height();
  // Every row is written whole and its padding cleared: the block need not be zeroed first.
  NewImageForOverwriteLike(dest, source, w, h, GrayTarget, nullptr);
  const TGrayWeights weights(RedWeight, GreenWeight, BlueWeight);
  const bool toTrueColor = dest.ImageFormat() == TImageFormat::TrueColor;
  // Gray level to destination index, through the destination's own nearest-entry lookup.
  std::array<uint8_t, 256> levelIndex{};
  if (!toTrueColor)
    for (int g = 0; g < 256; ++g)
      levelIndex[static_cast<size_t>(g)] = static_cast<uint8_t>(dest.Converter()->PaletteIndexOf(
          PackColor(static_cast<uint8_t>(g), static_cast<uint8_t>(g), static_cast<uint8_t>(g))));
  // A palette source maps each entry once.
  std::array<uint8_t, 256> entryLevel{};
  if (source.ImageFormat() != TImageFormat::TrueColor)
    for (size_t i = 0; i < 256; ++i) {
      const TPaletteEntry& e = source.PaletteRecord().Entries[i];
      entryLevel[i] = weights.Level(e.Blue, e.Green, e.Red);
    }

  std::array<uint8_t, 256> entryIndex{};
  for (size_t i = 0; i < 256; ++i) entryIndex[i] = levelIndex[entryLevel[i]];
  // With non-negative weights of a usual size every sum is a small index: sum to result.
  std::vector<uint8_t> sumIndex;
  if (weights.Fits32 && !toTrueColor && weights.Red32[1] >= 0 && weights.Green32[1] >= 0 && weights.Blue32[1] >= 0) {
    const int64_t maxSum = int64_t{255} * (weights.Red32[1] + weights.Green32[1] + weights.Blue32[1]);
    if (maxSum < (int64_t{1} << 22)) {
      sumIndex.resize(static_cast<size_t>(maxSum) + 1);
      for (size_t sum = 0; sum < sumIndex.size(); ++sum) sumIndex[sum] = levelIndex[std::min<size_t>(sum / 1000, 255)];
    }
  }
  std::vector<uint8_t> levels(static_cast<size_t>(w));
  const int srcBits = source.BitCount();
  const int dstBits = dest.BitCount();
  const size_t used = static_cast<size_t>((static_cast<int64_t>(w) * dstBits + 7) / 8);
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  constexpr int32_t kWord = 32767;
  const bool wideSums = HasByteTableLookups() && weights.Fits32 && std::abs(weights.Red32[1]) <= kWord &&
                        std::abs(weights.Green32[1]) <= kWord && std::abs(weights.Blue32[1]) <= kWord;
  for (int y = 0; y < h; ++y) {
    StepProgress(y, 0, h - 1);
    const uint8_t* in = source.ScanLine(y);
    uint8_t* out = dest.ScanLine(y);
    ClearRowTail(out, used, bytesPerLine);
    if (srcBits == 24 && dstBits == 8 && wideSums) {
      const int done = GrayIndices16(weights, levelIndex.data(), in, out, w);
      in += 3 * static_cast<ptrdiff_t>(done);
      for (int x = done; x < w; ++x, in += 3) out[x] = levelIndex[weights.Level32(in[0], in[1], in[2])];
      continue;
    }
    if (srcBits == 24 && dstBits == 8 && !sumIndex.empty()) {
      // The common case in one pass: the weighted sum indexes the result directly.
      const int32_t* red = weights.Red32.data();
      const int32_t* green = weights.Green32.data();
      const int32_t* blue = weights.Blue32.data();
      const uint8_t* index = sumIndex.data();
      for (int x = 0; x < w; ++x, in += 3) out[x] = index[blue[in[0]] + green[in[1]] + red[in[2]]];
      continue;
    }
    if (srcBits == 8 && dstBits == 8) {
      MapBytes(entryIndex.data(), in, out, static_cast<size_t>(w));
      continue;
    }
    if (srcBits == 24 && dstBits == 8 && weights.Fits32) {
      for (int x = 0; x < w; ++x, in += 3) out[x] = levelIndex[weights.Level32(in[0], in[1], in[2])];
      continue;
    }
    if (srcBits == 24) {
      for (int x = 0; x < w; ++x, in += 3) levels[static_cast<size_t>(x)] = weights.Level(in[0], in[1], in[2]);
    } else {
      UnpackIndices(in, srcBits, 0, w, levels.data());
      for (uint8_t& v : levels) v = entryLevel[v];
    }
    if (toTrueColor) {
      for (int x = 0; x < w; ++x, out += 3) out[0] = out[1] = out[2] = levels[static_cast<size_t>(x)];
    } else {
      for (uint8_t& v : levels) v = levelIndex[v];
      PackIndices(levels.data(), w, dstBits, out);
    }
  }
  FinishProgress();
}

}  // namespace quorvane
