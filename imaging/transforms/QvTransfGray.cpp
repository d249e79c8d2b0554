#include "transforms/QvTransfGray.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <vector>

#include "model/QvMisc.h"
#include "transforms/QvTransfKernels.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

namespace {

// Round(Weight * 1000); weights beyond a million times the full range saturate every pixel
// anyway, and the bound keeps the sums inside 64 bits.
int64_t IntegerWeight(double weight) { return RoundHalfEven(std::clamp(weight, -1e6, 1e6) * 1000); }

struct TGrayWeights {
  int64_t Red, Green, Blue;
  bool Fits32;  // every sum of a pixel fits 32 bits

  TGrayWeights(double red, double green, double blue)
      : Red(IntegerWeight(red)), Green(IntegerWeight(green)), Blue(IntegerWeight(blue)) {
    constexpr int64_t kLimit = (int64_t{1} << 31) / (3 * 255);
    Fits32 = std::abs(Red) < kLimit && std::abs(Green) < kLimit && std::abs(Blue) < kLimit;
  }
  // The gray level of a pixel; a negative sum (negative weights) gives black.
  uint8_t Level(int b0, int b1, int b2) const {
    const int64_t g = (Red * b2 + Green * b1 + Blue * b0) / 1000;
    return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
  }
  bool NonNegative() const { return Red >= 0 && Green >= 0 && Blue >= 0; }
};

// The rows of one conversion. The routine for the source and destination formats and the
// weights is chosen once; every routine gives the bytes of the general one.
class TGrayRows {
 public:
  TGrayRows(const TDibGraphic& source, TDibGraphic& dest, const TGrayWeights& weights)
      : FWeights(weights),
        FWidth(source.Width()),
        FSourceBits(source.BitCount()),
        FDestBits(dest.BitCount()),
        FToTrueColor(dest.ImageFormat() == TImageFormat::TrueColor) {
    // Gray level to destination index, through the destination's own nearest-entry lookup.
    if (!FToTrueColor)
      for (int g = 0; g < 256; ++g)
        FLevelIndex[static_cast<size_t>(g)] = static_cast<uint8_t>(dest.Converter()->PaletteIndexOf(
            PackColor(static_cast<uint8_t>(g), static_cast<uint8_t>(g), static_cast<uint8_t>(g))));
    // A palette source maps each entry once.
    if (source.ImageFormat() != TImageFormat::TrueColor)
      for (size_t i = 0; i < 256; ++i) {
        const TPaletteEntry& e = source.PaletteRecord().Entries[i];
        FEntryLevel[i] = weights.Level(e.Blue, e.Green, e.Red);
        FEntryIndex[i] = FLevelIndex[FEntryLevel[i]];
      }
    FRow = ChooseRow();
  }

  // Levels is scratch of its caller's own (one per thread).
  void Convert(const uint8_t* in, uint8_t* out, std::vector<uint8_t>& levels) const { (this->*FRow)(in, out, levels); }

 private:
  using TRow = void (TGrayRows::*)(const uint8_t*, uint8_t*, std::vector<uint8_t>&) const;

  TRow ChooseRow() {
    if (FSourceBits == 8 && FDestBits == 8) return &TGrayRows::PaletteBytes;
    if (FSourceBits != 24 || FDestBits != 8 || !FWeights.Fits32) return &TGrayRows::General;
    FIndexer.emplace(static_cast<int32_t>(FWeights.Blue), static_cast<int32_t>(FWeights.Green),
                     static_cast<int32_t>(FWeights.Red), FLevelIndex);
    if (FIndexer->Wide()) return &TGrayRows::Indexed;
    // With non-negative weights of a usual size every sum is a small index: sum to result.
    if (FWeights.NonNegative()) {
      const int64_t maxSum = 255 * (FWeights.Red + FWeights.Green + FWeights.Blue);
      if (maxSum < (int64_t{1} << 22)) {
        FSumIndex.resize(static_cast<size_t>(maxSum) + 1);
        for (size_t sum = 0; sum < FSumIndex.size(); ++sum)
          FSumIndex[sum] = FLevelIndex[std::min<size_t>(sum / 1000, 255)];
        for (int v = 0; v < 256; ++v) {
          FRed32[static_cast<size_t>(v)] = static_cast<int32_t>(FWeights.Red * v);
          FGreen32[static_cast<size_t>(v)] = static_cast<int32_t>(FWeights.Green * v);
          FBlue32[static_cast<size_t>(v)] = static_cast<int32_t>(FWeights.Blue * v);
        }
        return &TGrayRows::SummedIndex;
      }
    }
    return &TGrayRows::Indexed;
  }

  void PaletteBytes(const uint8_t* in, uint8_t* out, std::vector<uint8_t>&) const {
    MapBytes(FEntryIndex.data(), in, out, static_cast<size_t>(FWidth));
  }

  void Indexed(const uint8_t* in, uint8_t* out, std::vector<uint8_t>&) const { FIndexer->Index(in, out, FWidth); }

  // The common case in one pass: the weighted sum indexes the result directly.
  void SummedIndex(const uint8_t* in, uint8_t* out, std::vector<uint8_t>&) const {
    const int32_t* red = FRed32.data();
    const int32_t* green = FGreen32.data();
    const int32_t* blue = FBlue32.data();
    const uint8_t* index = FSumIndex.data();
    for (int x = 0; x < FWidth; ++x, in += 3) out[x] = index[blue[in[0]] + green[in[1]] + red[in[2]]];
  }

  void General(const uint8_t* in, uint8_t* out, std::vector<uint8_t>& scratch) const {
    scratch.resize(static_cast<size_t>(FWidth));
    uint8_t* levels = scratch.data();
    if (FSourceBits == 24) {
      for (int x = 0; x < FWidth; ++x, in += 3) levels[x] = FWeights.Level(in[0], in[1], in[2]);
    } else {
      UnpackIndices(in, FSourceBits, 0, FWidth, levels);
      for (int x = 0; x < FWidth; ++x) levels[x] = FEntryLevel[levels[x]];
    }
    if (FToTrueColor) {
      for (int x = 0; x < FWidth; ++x, out += 3) out[0] = out[1] = out[2] = levels[x];
    } else {
      for (int x = 0; x < FWidth; ++x) levels[x] = FLevelIndex[levels[x]];
      PackIndices(levels, FWidth, FDestBits, out);
    }
  }

  const TGrayWeights& FWeights;
  int FWidth, FSourceBits, FDestBits;
  bool FToTrueColor;
  std::array<uint8_t, 256> FLevelIndex{}, FEntryLevel{}, FEntryIndex{};
  std::optional<TGrayIndexer> FIndexer;
  std::vector<uint8_t> FSumIndex;
  std::array<int32_t, 256> FRed32{}, FGreen32{}, FBlue32{};
  TRow FRow;
};

}  // namespace

void TConvertToGrayTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int h = source.Height();
  // Every row is written whole and its padding cleared: the block need not be zeroed first.
  NewImageForOverwriteLike(dest, source, source.Width(), h, GrayTarget, nullptr);
  const TGrayWeights weights(RedWeight, GreenWeight, BlueWeight);
  const TGrayRows rows(source, dest, weights);
  const size_t used = PixelBytes(dest.Width(), dest.BitCount());
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  const int threads = BandThreads(h, static_cast<size_t>(source.BytesPerLine()) + bytesPerLine);
  std::vector<std::vector<uint8_t>> levels(static_cast<size_t>(threads));
  RunProgressRows(*this, h, h, threads, [&](int first, int last, int slot) {
    for (int y = first; y < last; ++y) {
      uint8_t* out = dest.ScanLine(y);
      ClearRowTail(out, used, bytesPerLine);
      rows.Convert(source.ScanLine(y), out, levels[static_cast<size_t>(slot)]);
    }
  });
}

}  // namespace quorvane
