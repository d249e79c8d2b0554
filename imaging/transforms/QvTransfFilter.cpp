#include "transforms/QvTransfFilter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvMisc.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

// ---- convolution ----

namespace {

// Kernel sums of one row's channel bytes (interior positions 3 .. Count-4 of the BGR rows above,
// at and below), before division.
void KernelSums(const std::array<int8_t, 9>& k, const uint8_t* above, const uint8_t* at, const uint8_t* below,
                int count, int32_t* sums) {
  const int32_t k11 = k[0], k12 = k[1], k13 = k[2], k21 = k[3], k22 = k[4], k23 = k[5], k31 = k[6], k32 = k[7],
                k33 = k[8];
  for (int i = 3; i < count - 3; ++i) {
    sums[i] = k11 * above[i - 3] + k12 * above[i] + k13 * above[i + 3] + k21 * at[i - 3] + k22 * at[i] +
              k23 * at[i + 3] + k31 * below[i - 3] + k32 * below[i] + k33 * below[i + 3];
  }
}

// Sum to channel: 0 for a negative sum, else min(Sum div Denominator, 255). A negative
// denominator turns every non-negative sum into 0 or less, which saturates to 0.
class TSumToChannel {
 public:
  explicit TSumToChannel(int denominator) : FDenominator(denominator) {
    if (denominator > 1) {
      FQuotients.resize(static_cast<size_t>(255 * denominator));
      for (size_t s = 0; s < FQuotients.size(); ++s)
        FQuotients[s] = static_cast<uint8_t>(s / static_cast<size_t>(denominator));
    }
  }

  void Map(const int32_t* sums, int from, int to, uint8_t* out) const {
    if (FDenominator == 1) {
      for (int i = from; i < to; ++i) out[i] = static_cast<uint8_t>(std::clamp(sums[i], 0, 255));
    } else if (FDenominator < 0) {
      for (int i = from; i < to; ++i) out[i] = 0;
    } else {
      const auto limit = static_cast<int32_t>(FQuotients.size());
      const uint8_t* q = FQuotients.data();
      for (int i = from; i < to; ++i) {
        const int32_t s = sums[i];
        out[i] = s < 0 ? 0 : s >= limit ? 255 : q[s];
      }
    }
  }

 private:
  int FDenominator;
  std::vector<uint8_t> FQuotients;
};

}  // namespace

bool TConvolutionTransform::PassesThrough(const TDibGraphic& source) const {
  return source.Width() < 3 || source.Height() < 3;
}

void TConvolutionTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int w = source.Width();
  const int h = source.Height();
  NewImageForOverwriteLike(dest, source, w, h, TImageFormat::TrueColor, nullptr);
  ClearRowPadding(dest);
  if (Denominator == 0) Denominator = 1;

  const int count = 3 * w;
  const TSumToChannel toChannel(Denominator);
  // Per thread: the three source rows around the current one as BGR (palette rows unpacked once
  // each, in a ring) and the kernel sums of a row.
  struct TScratch {
    std::vector<uint8_t> Rows[3];
    std::vector<int32_t> Sums;
  };
  const int threads = BandThreads(h, 2 * static_cast<size_t>(dest.BytesPerLine()));
  std::vector<TScratch> scratch(static_cast<size_t>(threads));
  // The one-pixel frame is copied: rows 0 and H-1 whole, and the first and last pixel of every
  // other row. Progress: interior row Y is step Y of 0..H-1.
  RunProgressRows(*this, h, h, threads, [&](int first, int last, int slot) {
    TScratch& s = scratch[static_cast<size_t>(slot)];
    s.Sums.resize(static_cast<size_t>(count));
    const uint8_t* rows[3] = {};
    auto load = [&](int y) { rows[y % 3] = RowAsBgr(source, y, 0, w, s.Rows[y % 3]); };
    for (int y = std::max(first - 1, 0); y < std::min(first + 1, h); ++y) load(y);
    for (int y = first; y < last; ++y) {
      uint8_t* out = dest.ScanLine(y);
      if (y == 0 || y == h - 1) {
        std::memcpy(out, rows[y % 3], static_cast<size_t>(count));
        if (y + 1 < h) load(y + 1);
        continue;
      }
      load(y + 1);
      const uint8_t* above = rows[(y - 1) % 3];
      const uint8_t* at = rows[y % 3];
      const uint8_t* below = rows[(y + 1) % 3];
      KernelSums(Kernel, above, at, below, count, s.Sums.data());
      toChannel.Map(s.Sums.data(), 3, count - 3, out);
      std::memcpy(out, at, 3);
      std::memcpy(out + count - 3, at + count - 3, 3);
    }
  });
}

namespace {
// a = Round((100 - Strength) / 4), ties to even.
int StrengthStep(uint8_t strength) { return static_cast<int>(RoundHalfEven((100 - strength) / 4.0L)); }
}  // namespace

TSharpenTransform::TSharpenTransform() {
  Kernel = {-1, -2, -1, -2, 37, -2, -1, -2, -1};
  Denominator = 25;
}

void TSharpenTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int a = StrengthStep(Strength);
  Kernel[4] = static_cast<int8_t>(a + 15);
  Denominator = static_cast<int8_t>(a + 3);
  TConvolutionTransform::Transform(source, dest);
}

TSmoothTransform::TSmoothTransform() {
  Kernel = {1, 2, 1, 2, 35, 2, 1, 2, 1};
  Denominator = 47;
}

void TSmoothTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int a = StrengthStep(Strength);
  Kernel[4] = static_cast<int8_t>(a + 15);
  Denominator = static_cast<int8_t>(a + 27);
  TConvolutionTransform::Transform(source, dest);
}

TEdgeTransform::TEdgeTransform() { Kernel = {1, 1, 1, 1, -8, 1, 1, 1, 1}; }

TEmbossTransform::TEmbossTransform() { Kernel = {-1, -1, 0, -1, 1, 1, 0, 1, 1}; }

// ---- anti-alias ----

namespace {

// Round(n * 3.75) for n = 0..4 and Round(n * 7.5) for n = 0..2, ties to even.
constexpr uint16_t kFourPixelLevel[5] = {0, 4, 8, 11, 15};
constexpr uint16_t kTwoPixelLevel[3] = {0, 8, 15};

constexpr std::array<uint16_t, 256> MakeAntiAliasTable() {
  std::array<uint16_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    auto b = [v](int bit) { return (v >> bit) & 1; };
    const uint16_t c0 = kFourPixelLevel[b(7) + b(6) + b(3) + b(2)];
    const uint16_t c1 = kFourPixelLevel[b(6) + b(5) + b(2) + b(1)];
    const uint16_t c2 = kFourPixelLevel[b(5) + b(4) + b(1) + b(0)];
    const uint16_t c3 = kTwoPixelLevel[b(4) + b(0)];
    table[static_cast<size_t>(v)] = static_cast<uint16_t>(c0 << 12 | c1 << 8 | c2 << 4 | c3);
  }
  return table;
}

// Built at compile time: immutable, so any number of threads may read it.
constexpr std::array<uint16_t, 256> kAntiAliasTable = MakeAntiAliasTable();

void AntiAliasRow(const uint8_t* upper, const uint8_t* lower, int bytes, uint8_t* out) {
  for (int j = 0; j < bytes; ++j, out += 4) {
    const unsigned p = upper[j], q = lower[j];
    const uint16_t w1 = kAntiAliasTable[(p & 0xF0) | (q >> 4)];
    const uint16_t w2 = kAntiAliasTable[((p & 0x0F) << 4) | (q & 0x0F)];
    out[0] = static_cast<uint8_t>(w1 >> 8);
    out[1] = static_cast<uint8_t>(w1);
    out[2] = static_cast<uint8_t>(w2 >> 8);
    out[3] = static_cast<uint8_t>(w2);
  }
}

}  // namespace

const std::array<uint16_t, 256>& AntiAliasTable() { return kAntiAliasTable; }

void TAntiAliasTransform::Apply(TDibGraphic& image) {
  if (image.ImageFormat() == TImageFormat::BlackWhite && !image.Empty()) TImageTransform::Apply(image);
}

bool TAntiAliasTransform::PassesThrough(const TDibGraphic& source) const {
  return source.ImageFormat() != TImageFormat::BlackWhite || source.Empty();
}

void TAntiAliasTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int w = source.Width();
  const int h = source.Height();
  NewImageLike(dest, source, w, h, TImageFormat::Gray16, nullptr);
  // 8 source pixels per byte become 4 destination bytes; the rows hold exactly that many. The
  // last row is paired with itself.
  const int bytes = (w + 7) / 8;
  RunProgressRows(*this, h, h, BandThreads(h, 5 * static_cast<size_t>(bytes)), [&](int first, int last, int) {
    for (int y = first; y < last; ++y)
      AntiAliasRow(source.ScanLine(y), source.ScanLine(std::min(y + 1, h - 1)), bytes, dest.ScanLine(y));
  });
}

}  // namespace quorvane
