#include "transforms/QvTransfPoint.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "model/QvCpu.h"
#include "model/QvMisc.h"
#include "transforms/QvTransfKernels.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

// Rows are moved as little-endian words in places.
static_assert(std::endian::native == std::endian::little);

namespace {

using TColorTable = std::array<TColorValue, 256>;

// Every operation below that yields TrueColor: the result of a palette source comes from a
// per-entry colour table; a TrueColor source goes through MapTrueColorRow. Rows run in bands on
// the library's threads, with Transform's progress reported per row.
template <typename TMapRow>
void MapToTrueColor(TImageTransform& transform, const TDibGraphic& source, TDibGraphic& dest,
                    const TColorTable& paletteResult, TMapRow mapTrueColorRow) {
  const int w = source.Width();
  const int h = source.Height();
  // Every pixel is written and the padding cleared: the block need not be zeroed first.
  NewImageForOverwriteLike(dest, source, w, h, TImageFormat::TrueColor, nullptr);
  const size_t used = 3 * static_cast<size_t>(w);
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  const int threads = BandThreads(h, bytesPerLine);
  if (source.ImageFormat() == TImageFormat::TrueColor) {
    RunProgressRows(transform, h, h, threads, [&](int first, int last, int) {
      for (int y = first; y < last; ++y) {
        mapTrueColorRow(source.ScanLine(y), dest.ScanLine(y), w);
        ClearRowTail(dest.ScanLine(y), used, bytesPerLine);
      }
    });
    return;
  }
  const int bits = source.BitCount();
  const TTripleExpander expander(paletteResult);
  std::vector<std::vector<uint8_t>> indices(static_cast<size_t>(threads));
  RunProgressRows(transform, h, h, threads, [&](int first, int last, int slot) {
    std::vector<uint8_t>& unpacked = indices[static_cast<size_t>(slot)];
    if (bits != 8) unpacked.resize(static_cast<size_t>(w));
    for (int y = first; y < last; ++y) {
      const uint8_t* index = source.ScanLine(y);
      if (bits != 8) {
        UnpackIndices(index, bits, 0, w, unpacked.data());
        index = unpacked.data();
      }
      uint8_t* out = dest.ScanLine(y);
      ClearRowTail(out, used, bytesPerLine);
      expander.Expand(index, out, w);
    }
  });
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
// For a gray pair (largest = smallest) both values are the new lightness.
using TPairValues = TLightnessPair;

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
    const int done = MapLightnessWide(FPairs.data(), in, out, width);
    in += 3 * static_cast<ptrdiff_t>(done);
    out += 3 * static_cast<ptrdiff_t>(done);
    uint32_t previous = 0xFFFFFFFFu;
    uint8_t r0 = 0, r1 = 0, r2 = 0;
    for (int x = done; x < width; ++x, in += 3, out += 3) {
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

void ApplyLightness(TImageTransform& transform, const TDibGraphic& source, TDibGraphic& dest, const TLightness& op) {
  if (source.ImageFormat() == TImageFormat::TrueColor) {
    const TLightnessMapper mapper(op);
    MapToTrueColor(transform, source, dest, TColorTable{},
                   [&](const uint8_t* in, uint8_t* out, int w) { mapper.MapRow(in, out, w); });
  } else {
    MapToTrueColor(transform, source, dest, MapPalette(source, ChangeLightness, &op),
                   [](const uint8_t*, uint8_t*, int) {});
  }
}

}  // namespace

// ---- negative ----

namespace {

// The palette with every entry's colour bytes complemented (byte 3 = 0).
TDibPalette InvertedPalette(const TDibPalette& palette) {
  TDibPalette inverted = palette;
  for (TPaletteEntry& e : inverted.Entries)
    e = {static_cast<uint8_t>(255 - e.Blue), static_cast<uint8_t>(255 - e.Green), static_cast<uint8_t>(255 - e.Red), 0};
  return inverted;
}

// Complements the rows of From into To (the same image, or one of the same size and format):
// TrueColor pixels only; gray and black-and-white rows with their padding.
void ComplementRows(TImageTransform& transform, const TDibGraphic& from, TDibGraphic& to) {
  const int h = from.Height();
  const size_t count = from.ImageFormat() == TImageFormat::TrueColor ? 3 * static_cast<size_t>(from.Width())
                                                                     : static_cast<size_t>(from.BytesPerLine());
  RunProgressRows(transform, h, h, BandThreads(h, count), [&](int first, int last, int) {
    for (int y = first; y < last; ++y) ComplementBytes(from.ScanLine(y), to.ScanLine(y), count);
  });
}

}  // namespace

void TNegativeTransform::Apply(TDibGraphic& image) {
  StartProgress();
  if (!image.Empty()) {
    const TImageFormat format = image.ImageFormat();
    if (format == TImageFormat::Color16 || format == TImageFormat::Color256) {
      // The indices stay; only the palette is inverted. NewImage replaces the pixel block, so
      // the pixels are kept aside meanwhile. No rows are reported on this path.
      std::vector<uint8_t> pixels(image.Bits(), image.Bits() + image.ImageSize());
      const TDibPalette inverted = InvertedPalette(image.PaletteRecord());
      NewImageLike(image, image, image.Width(), image.Height(), format, &inverted);
      std::memcpy(image.Bits(), pixels.data(), pixels.size());
    } else {
      ComplementRows(*this, image, image);
    }
  }
  FinishProgress();
}

// The same result as Dest.Assign(Source) followed by Apply(Dest), in one pass.
void TNegativeTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  if (source.Empty()) {
    dest.Assign(&source);
    return;
  }
  const int w = source.Width();
  const int h = source.Height();
  const TImageFormat format = source.ImageFormat();
  if (format == TImageFormat::Color16 || format == TImageFormat::Color256) {
    const TDibPalette inverted = InvertedPalette(source.PaletteRecord());
    NewImageLike(dest, source, w, h, format, &inverted);
    std::memcpy(dest.Bits(), source.Bits(), source.ImageSize());
  } else {
    NewImageLike(dest, source, w, h, format, &source.PaletteRecord());
    ComplementRows(*this, source, dest);
  }
  dest.SetFrameDelay(source.FrameDelay());
}

// ---- brightness and contrast ----

void TBrightnessTransform::SetAmount(double value) { Amount = std::clamp(value, -100.0, 100.0); }

void TBrightnessTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  ApplyLightness(*this, source, dest, TLightness{Brighten, Amount / 100});
}

void TContrastTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  ApplyLightness(*this, source, dest, TLightness{Contrast, RaiseContrast ? 1.0 : -1.0});
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

void TGammaTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  TByteTable table{};
  const long double exponent = 1.0L / GammaValue;
  for (int i = 1; i < 256; ++i)
    table[static_cast<size_t>(i)] =
        static_cast<uint8_t>(std::clamp<int64_t>(RoundHalfEven(Power(i / 255.0L, exponent) * 255), 0, 255));
  const TColorTable palette = MapPalette(source, MapThroughTable, &table);
  if (CpuHas(TCpuLevel::Avx512)) {
    MapToTrueColor(*this, source, dest, palette, [&table](const uint8_t* in, uint8_t* out, int w) {
      MapBytes(table.data(), in, out, 3 * static_cast<size_t>(w));
    });
  } else {
    const TPairTable pairs(table);
    MapToTrueColor(*this, source, dest, palette, [&pairs](const uint8_t* in, uint8_t* out, int w) {
      pairs.Map(in, out, 3 * static_cast<size_t>(w));
    });
  }
}

}  // namespace quorvane
