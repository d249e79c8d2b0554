#include "transforms/QvTransfResize.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "model/QvPaletteNearest.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfKernels.h"

namespace quorvane {

// ---------------------------------------------------------------------------------------------
// Weight functions. Each step is a float operation so that every intermediate is rounded to
// 32 bits, as the weights' definition requires.

float NormalizedSinc(float x) {
  if (x == 0.0f) return 1.0f;
  const float t = std::numbers::pi_v<float> * x;
  return static_cast<float>(std::sin(static_cast<double>(t))) / t;
}

float TriangleWeight(float x) {
  const float a = std::fabs(x);
  return a < 1.0f ? 1.0f - a : 0.0f;
}

float HermiteWeight(float x) {
  const float a = std::fabs(x);
  if (a >= 1.0f) return 0.0f;
  const float a2 = a * a;
  return (2.0f * a - 3.0f) * a2 + 1.0f;
}

float BellWeight(float x) {
  const float a = std::fabs(x);
  if (a < 0.5f) return 0.75f - a * a;
  if (a < 1.5f) {
    const float t = a - 1.5f;
    return 0.5f * (t * t);
  }
  return 0.0f;
}

float BSplineWeight(float x) {
  const float a = std::fabs(x);
  if (a < 1.0f) {
    const float a2 = a * a;
    return 0.5f * (a2 * a) - a2 + 2.0f / 3.0f;
  }
  if (a < 2.0f) {
    const float t = 2.0f - a;
    return (t * t * t) / 6.0f;
  }
  return 0.0f;
}

float Lanczos3Weight(float x) {
  if (std::fabs(x) >= 3.0f) return 0.0f;
  return NormalizedSinc(x) * NormalizedSinc(x / 3.0f);
}

float MitchellWeight(float x) {
  const float a = std::fabs(x);
  const float a2 = a * a, a3 = a2 * a;
  if (a < 1.0f) return (7.0f * a3 - 12.0f * a2 + 16.0f / 3.0f) / 6.0f;
  if (a < 2.0f) return (-7.0f / 3.0f * a3 + 12.0f * a2 - 20.0f * a + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

const std::array<TFilterTableEntry, kResizeFilterCount> FilterTable = {{{TriangleWeight, 1.0f},
                                                                        {HermiteWeight, 1.0f},
                                                                        {BellWeight, 1.5f},
                                                                        {BSplineWeight, 2.0f},
                                                                        {Lanczos3Weight, 3.0f},
                                                                        {MitchellWeight, 2.0f}}};

std::string ResizeFilterName(TResizeFilter filter) {
  static const char* const names[kResizeFilterCount] = {"Triangle", "Hermite",  "Bell",
                                                        "B-Spline", "Lanczos3", "Mitchell"};
  const auto i = static_cast<size_t>(filter);
  return i < kResizeFilterCount ? names[i] : "";
}

// ---------------------------------------------------------------------------------------------
// Resampling engine

namespace {

using v4f = float __attribute__((vector_size(16)));

struct TContributor {
  int Index;
  float Weight;
};

// One list per destination position, stored flat: list i is Pairs[Start[i] .. Start[i+1]).
struct TContributorLists {
  std::vector<size_t> Start;
  std::vector<TContributor> Pairs;
};

// Progress in a range that may exceed 32 bits: the percentage is computed here.
void Report(TImageTransform* t, int64_t current, int64_t maximum) {
  if (t == nullptr || !t->OnProgress) return;
  const int64_t percent = maximum > 0 ? current * 100 / maximum : 100;
  t->PreviousPercent = ReportProgress(t, static_cast<int>(std::clamp<int64_t>(percent, 0, 100)), 0, 100,
                                      t->PreviousPercent, t->OnProgress);
}

// Contributors of destination positions 0 .. Count-1 for a source of length N at scale S.
// Zero weights, and positions that mirror outside the source (weight 0), are left out: they add
// nothing to a sum.
TContributorLists BuildContributors(float s, int n, int count, TFilterFunction filter, float support,
                                    TImageTransform* t, int64_t progressBase, int64_t progressMax) {
  float width = support, fscale = 1.0f;
  if (s < 1.0f) {
    width = support / s;
    fscale = 1.0f / s;
  }
  // Sized in 64 bits against the memory limit before anything is allocated: a 1-pixel source
  // stretched to a huge width must be refused here, not by running out of memory.
  const uint64_t perPosition = std::min<uint64_t>(static_cast<uint64_t>(2 * std::ceil(static_cast<double>(width))) + 3,
                                                  3 * static_cast<uint64_t>(n) + 1);
  CheckBufferSize(static_cast<uint64_t>(count) + 1, sizeof(size_t));
  CheckBufferSize(static_cast<uint64_t>(count) * perPosition, sizeof(TContributor));
  TContributorLists lists;
  lists.Start.reserve(static_cast<size_t>(count) + 1);
  for (int i = 0; i < count; ++i) {
    Report(t, i + progressBase, progressMax);
    lists.Start.push_back(lists.Pairs.size());
    const float center = static_cast<float>(i) / s;
    // Positions below -N or above 2N - 1 mirror outside the source in any case.
    const double lo = std::max(std::floor(static_cast<double>(center - width)), -static_cast<double>(n));
    const double hi = std::min(std::ceil(static_cast<double>(center + width)), 2.0 * n);
    for (int64_t j = static_cast<int64_t>(lo); j <= static_cast<int64_t>(hi); ++j) {
      const float weight = filter((center - static_cast<float>(j)) / fscale) / fscale;
      if (weight == 0.0f) continue;
      const int64_t k = j < 0 ? -j : j >= n ? 2 * static_cast<int64_t>(n) - 1 - j : j;
      if (k < 0 || k >= n) continue;
      lists.Pairs.push_back({static_cast<int>(k), weight});
    }
  }
  lists.Start.push_back(lists.Pairs.size());
  return lists;
}

float ScaleOf(int d, int s) {
  return s == 1 ? static_cast<float>(d) : static_cast<float>(d - 1) / static_cast<float>(s - 1);
}

// A sum as a byte: clamped to 0..255, then rounded to nearest with ties to even (adding 2^23
// leaves the rounded integer in the low mantissa bits). Branch-free so that loops vectorize.
inline uint8_t SumToByte(float sum) {
  const float clamped = sum > 255.0f ? 255.0f : sum < 0.0f ? 0.0f : sum;
  const float shifted = clamped + 8388608.0f;
  uint32_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  return static_cast<uint8_t>(bits);
}

using v4u = uint32_t __attribute__((vector_size(16)));

// The same for the four lanes of a vector.
inline v4u SumsToBytes(v4f sum) {
  const v4f zero = {0, 0, 0, 0}, top = {255, 255, 255, 255}, shift = {8388608.0f, 8388608.0f, 8388608.0f, 8388608.0f};
  v4f clamped = sum > top ? top : sum;
  clamped = clamped < zero ? zero : clamped;
  const v4f shifted = clamped + shift;
  v4u bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  return bits;
}

// Horizontal pass of up to four source rows at once (independent sums keep the pipeline busy);
// each pixel is a float vector (blue, green, red, 0).
void ResampleRowBlock(const std::vector<v4f>* rows[4], int rowCount, const TContributorLists& lists, int dw,
                      uint8_t* out[4]) {
  const TContributor* pairs = lists.Pairs.data();
  const v4f* r0 = rows[0]->data();
  const v4f* r1 = rows[std::min(1, rowCount - 1)]->data();
  const v4f* r2 = rows[std::min(2, rowCount - 1)]->data();
  const v4f* r3 = rows[std::min(3, rowCount - 1)]->data();
  for (int i = 0; i < dw; ++i) {
    v4f s0 = {0, 0, 0, 0}, s1 = s0, s2 = s0, s3 = s0;
    const size_t end = lists.Start[static_cast<size_t>(i) + 1];
    for (size_t p = lists.Start[static_cast<size_t>(i)]; p < end; ++p) {
      const int k = pairs[p].Index;
      const float w = pairs[p].Weight;
      const v4f wv = {w, w, w, w};
      s0 += r0[k] * wv;
      s1 += r1[k] * wv;
      s2 += r2[k] * wv;
      s3 += r3[k] * wv;
    }
    const v4u bytes[4] = {SumsToBytes(s0), SumsToBytes(s1), SumsToBytes(s2), SumsToBytes(s3)};
    for (int r = 0; r < rowCount; ++r) {
      uint8_t* q = out[r] + 3 * static_cast<size_t>(i);
      q[0] = static_cast<uint8_t>(bytes[r][0]);
      q[1] = static_cast<uint8_t>(bytes[r][1]);
      q[2] = static_cast<uint8_t>(bytes[r][2]);
    }
  }
}

// The horizontally resampled rows ("work" rows, bytes blue, green, red), computed on demand in
// blocks of four and kept in a ring that holds every row one destination row needs. A row is
// the same whenever it is computed, so the result equals that of a whole work image, without
// its memory.
class TWorkRows {
 public:
  TWorkRows(const TDibGraphic& source, const TContributorLists& columns, int dw, int window)
      : FSource(source), FColumns(columns), FDw(dw), FRowBytes(3 * static_cast<size_t>(dw)) {
    const int sh = source.Height();
    FSlots = std::min(sh, window + 8);
    CheckBufferSize(static_cast<uint64_t>(FRowBytes) * static_cast<uint64_t>(FSlots));
    CheckBufferSize(4 * static_cast<uint64_t>(source.Width()), sizeof(v4f));
    FRing.resize(FRowBytes * static_cast<size_t>(FSlots));
    FTags.assign(static_cast<size_t>(FSlots), -1);
    for (auto& b : FBuffers) b.resize(static_cast<size_t>(source.Width()));
  }

  const uint8_t* Row(int k) {
    const auto slot = static_cast<size_t>(k % FSlots);
    if (FTags[slot] != k) ComputeBlock(k & ~3);
    return FRing.data() + slot * FRowBytes;
  }

 private:
  void ComputeBlock(int r0) {
    const int sw = FSource.Width(), sh = FSource.Height();
    const int rowCount = std::min(4, sh - r0);
    const std::vector<v4f>* rows[4];
    uint8_t* out[4];
    for (int r = 0; r < rowCount; ++r) {
      TriplesToFloats(RowAsBgr(FSource, r0 + r, 0, sw, FScratch), reinterpret_cast<float*>(FBuffers[r].data()), sw);
      rows[r] = &FBuffers[r];
      const auto slot = static_cast<size_t>((r0 + r) % FSlots);
      FTags[slot] = r0 + r;
      out[r] = FRing.data() + slot * FRowBytes;
    }
    ResampleRowBlock(rows, rowCount, FColumns, FDw, out);
  }

  const TDibGraphic& FSource;
  const TContributorLists& FColumns;
  int FDw;
  size_t FRowBytes;
  int FSlots = 0;
  std::vector<uint8_t> FRing;
  std::vector<int> FTags;
  std::vector<v4f> FBuffers[4];
  std::vector<uint8_t> FScratch;
};

// The most source rows one destination row reads, from the first to the last.
int WindowOf(const TContributorLists& lists) {
  int window = 1;
  for (size_t y = 0; y + 1 < lists.Start.size(); ++y) {
    int lo = 0x7FFFFFFF, hi = -1;
    for (size_t p = lists.Start[y]; p < lists.Start[y + 1]; ++p) {
      lo = std::min(lo, lists.Pairs[p].Index);
      hi = std::max(hi, lists.Pairs[p].Index);
    }
    if (hi >= lo) window = std::max(window, hi - lo + 1);
  }
  return window;
}

// Vertical pass row by row: every destination row sums whole work rows, so the inner loop runs
// along memory (the same sums as column by column). Each pixel's sum still takes its contributors
// in list order. Destination rows run in bands on the library's threads; each thread computes
// the work rows its rows need in a ring of its own (a row is the same whoever computes it).
void VerticalPass(const TDibGraphic& source, const TContributorLists& columns, TDibGraphic& dest,
                  const TContributorLists& lists, TImageTransform* t) {
  const int dw = dest.Width(), dh = dest.Height();
  const size_t n = 3 * static_cast<size_t>(dw);
  CheckBufferSize(n, sizeof(float) + 1);
  const bool direct = dest.ImageFormat() == TImageFormat::TrueColor;
  const int window = WindowOf(lists);
  struct TScratch {
    std::unique_ptr<TWorkRows> Work;
    std::vector<float> Sums;
    std::vector<uint8_t> Row, Indices;
    std::unique_ptr<TNearestEntryIndex> Nearest;
  };
  // The work rows one destination row reads, at the width of a work row, as its cost.
  const int threads = BandThreads(dh, n * static_cast<size_t>(window + 1));
  std::vector<TScratch> scratch(static_cast<size_t>(threads));
  auto band = [&](int first, int last, int slot) {
    TScratch& s = scratch[static_cast<size_t>(slot)];
    if (!s.Work) {
      s.Work = std::make_unique<TWorkRows>(source, columns, dw, window);
      s.Sums.resize(n);
      s.Row.resize(n);
      if (!direct) {
        s.Nearest = std::make_unique<TNearestEntryIndex>(dest.PaletteRecord());
        s.Indices.resize(static_cast<size_t>(dw));
      }
    }
    for (int y = first; y < last; ++y) {
      std::fill(s.Sums.begin(), s.Sums.end(), 0.0f);
      float* sums = s.Sums.data();
      const size_t end = lists.Start[static_cast<size_t>(y) + 1];
      for (size_t p = lists.Start[static_cast<size_t>(y)]; p < end; ++p) {
        const uint8_t* src = s.Work->Row(lists.Pairs[p].Index);
        const float w = lists.Pairs[p].Weight;
        for (size_t j = 0; j < n; ++j) sums[j] += static_cast<float>(src[j]) * w;
      }
      uint8_t* out = direct ? dest.ScanLine(y) : s.Row.data();
      for (size_t j = 0; j < n; ++j) out[j] = SumToByte(sums[j]);
      if (!direct) {
        for (int x = 0; x < dw; ++x) {
          const uint8_t* q = s.Row.data() + 3 * static_cast<size_t>(x);
          s.Indices[static_cast<size_t>(x)] = static_cast<uint8_t>(s.Nearest->IndexOf(q[0], q[1], q[2]));
        }
        WriteRowIndices(dest, y, 0, dw, s.Indices.data());
      }
    }
  };
  // Progress: destination row Y is position Y + 1.5 DH of 2.5 (DH - 1), passed in order.
  const int64_t base = static_cast<int64_t>(1.5 * dh), maximum = static_cast<int64_t>(2.5 * (dh - 1));
  int next = 0;
  auto done = [&](int rows) {
    for (; next <= std::min(rows, dh - 1); ++next) Report(t, next + base, maximum);
  };
  // Bands long enough that the rows shared with the band before are a small part of their work.
  RunRowBands(dh, threads, band, done, 2 * window);
}

}  // namespace

void ResampleImage(const TDibGraphic& source, TDibGraphic& dest, TFilterFunction filter, TImageTransform* transform,
                   float support) {
  const int sw = source.Empty() ? 0 : source.Width(), sh = source.Empty() ? 0 : source.Height();
  if (sw < 1 || sh < 1) throw EQuorvaneError("Source graphic too small");
  const int dw = dest.Empty() ? 0 : dest.Width(), dh = dest.Empty() ? 0 : dest.Height();
  if (dw <= 1 || dh <= 1) throw EQuorvaneError("Destination graphic too small");

  const TContributorLists columns =
      BuildContributors(ScaleOf(dw, sw), sw, dw, filter, support, transform, 0, 5 * (static_cast<int64_t>(dw) - 1));
  const TContributorLists rows = BuildContributors(ScaleOf(dh, sh), sh, dh, filter, support, transform,
                                                   2 * static_cast<int64_t>(dh), 5 * (static_cast<int64_t>(dh) - 1));
  VerticalPass(source, columns, dest, rows, transform);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The palette of a resized palette-colour image: the source's when the format can hold it, else
// the format's fixed table (a TrueColor source has none; 256 entries do not fit 16 colours).
const TDibPalette* ResultPalette(const TDibGraphic& source, TImageFormat format) {
  if (format != TImageFormat::Color16 && format != TImageFormat::Color256) return nullptr;
  const int capacity = format == TImageFormat::Color16 ? 16 : 256;
  const TDibPalette& own = source.PaletteRecord();
  if (source.ImageFormat() != TImageFormat::TrueColor && own.Count >= 1 && own.Count <= capacity) return &own;
  return &DefaultPalette(format);
}

}  // namespace

void TResizeTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  if (source.Empty() || source.Width() < 1 || source.Height() < 1) throw EQuorvaneError("Source graphic too small");
  const int minimum = Interpolate ? 2 : 1;
  if (NewWidth < minimum || NewHeight < minimum) throw EQuorvaneError("Destination graphic too small");

  const TImageFormat format = ForceFormat ? TargetFormat : source.ImageFormat();
  dest.NewImage(NewWidth, NewHeight, format, ResultPalette(source, format), static_cast<uint16_t>(source.XDpi()),
                static_cast<uint16_t>(source.YDpi()));
  if (Interpolate) {
    const auto index = static_cast<size_t>(Filter) < FilterTable.size() ? static_cast<size_t>(Filter) : 0;
    ResampleImage(source, dest, FilterTable[index].Filter, this, FilterTable[index].Support);
  } else {
    StepProgress(50, 0, 100);
    StretchImage(source, TRect{0, 0, source.Width(), source.Height()}, dest, TRect{0, 0, NewWidth, NewHeight},
                 TStretchMode::smHalftone);
  }
}

void TResizeTransform::ApplyOnDestPart(const TDibGraphic& source, TDibGraphic& dest, const TRect& part) {
  if (source.Empty() || source.Width() < 1 || source.Height() < 1) throw EQuorvaneError("Source graphic too small");
  const int minimum = Interpolate ? 2 : 1;
  if (NewWidth < minimum || NewHeight < minimum) throw EQuorvaneError("Destination graphic too small");
  const TRect clipped{std::max(part.Left, 0), std::max(part.Top, 0), std::min(part.Right, NewWidth),
                      std::min(part.Bottom, NewHeight)};
  if (clipped.Width() < 1 || clipped.Height() < 1) throw EQuorvaneError("Destination graphic too small");

  if (Interpolate) {
    // The resampling engine has no partial form: build the whole result and keep the part.
    TDibGraphic whole;
    ApplyOnDest(source, whole);
    TCropTransform crop;
    crop.CropLeft = clipped.Left;
    crop.CropTop = clipped.Top;
    crop.CropRight = NewWidth - clipped.Right;
    crop.CropBottom = NewHeight - clipped.Bottom;
    crop.ApplyOnDest(whole, dest);
    return;
  }
  StartProgress();
  const TImageFormat format = ForceFormat ? TargetFormat : source.ImageFormat();
  dest.NewImage(clipped.Width(), clipped.Height(), format, ResultPalette(source, format),
                static_cast<uint16_t>(source.XDpi()), static_cast<uint16_t>(source.YDpi()));
  StepProgress(50, 0, 100);
  // The whole result's rectangle, shifted so that the part lands at Dest's origin; the stretch
  // computes only the destination pixels inside Dest, with the whole rectangle's mapping.
  StretchImage(source, TRect{0, 0, source.Width(), source.Height()}, dest,
               TRect{-clipped.Left, -clipped.Top, NewWidth - clipped.Left, NewHeight - clipped.Top},
               TStretchMode::smHalftone);
  dest.CopyIccProfile(source);
  FinishProgress();
}

}  // namespace quorvane
