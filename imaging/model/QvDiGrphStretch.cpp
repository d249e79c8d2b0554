#include "model/QvDiGrphStretch.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "model/QvDiGrphRows.h"

namespace quorvane {

namespace {

// How one axis maps destination positions to source positions.
struct TAxisMap {
  bool Averages = false;   // shrinking axis with halftone: each position covers a span
  std::vector<int> First;  // per clipped destination position: first source position
  std::vector<int> Last;   // one past the last (== First + 1 when sampling)
};

// Destination positions [From, To) of a destination extent DLen mapped onto a source extent
// SLen starting at SOrigin.
TAxisMap MapAxis(int sOrigin, int sLen, int dLen, int from, int to, bool halftone) {
  TAxisMap map;
  map.Averages = halftone && dLen < sLen;
  const int n = to - from;
  map.First.resize(static_cast<size_t>(n));
  map.Last.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int64_t u = from + i;
    int first, last;
    if (map.Averages) {
      first = static_cast<int>(u * sLen / dLen);
      last = static_cast<int>((u + 1) * sLen / dLen);
    } else {
      // The source pixel under the destination pixel's centre.
      first = static_cast<int>(((2 * u + 1) * sLen) / (2 * static_cast<int64_t>(dLen)));
      if (first >= sLen) first = sLen - 1;
      last = first + 1;
    }
    map.First[static_cast<size_t>(i)] = sOrigin + first;
    map.Last[static_cast<size_t>(i)] = sOrigin + last;
  }
  return map;
}

// Gathers one destination row of sampled pixels from a source row of Span triples. Pixels are
// moved as 4-byte words where the fourth byte still lies inside the source row; the overlapping
// store is overwritten by the next pixel, and the last pixel is written as three bytes.
void SampleRow(const uint8_t* src, int span, const std::vector<int>& xFirst, int sx0, uint8_t* out) {
  const size_t n = xFirst.size();
  if (n == 0) return;
  const ptrdiff_t lastWordOffset = 3 * static_cast<ptrdiff_t>(span) - 4;
  for (size_t i = 0; i + 1 < n; ++i) {
    const ptrdiff_t offset = 3 * static_cast<ptrdiff_t>(xFirst[i] - sx0);
    if (offset <= lastWordOffset) {
      uint32_t word;
      std::memcpy(&word, src + offset, 4);
      std::memcpy(out, &word, 4);
    } else {
      std::memcpy(out, src + offset, 3);
    }
    out += 3;
  }
  std::memcpy(out, src + 3 * static_cast<ptrdiff_t>(xFirst[n - 1] - sx0), 3);
}

// Enlargement by a whole factor K: each source pixel of the row is repeated K times, with no
// index lookups. The words overlap as in SampleRow; the last pixel is written as three bytes.
template <int K>
void RepeatRow(const uint8_t* src, size_t sourcePixels, uint8_t* out) {
  if (sourcePixels == 0) return;
  for (size_t i = 0; i + 1 < sourcePixels; ++i, src += 3) {
    uint32_t word;
    std::memcpy(&word, src, 4);
    for (int k = 0; k < K; ++k, out += 3) std::memcpy(out, &word, 4);
  }
  for (int k = 0; k + 1 < K; ++k, out += 3) std::memcpy(out, src, 3);
  std::memcpy(out, src, 3);
}

// K when destination position I samples source position First[0] + I / K throughout (an
// enlargement by a whole factor, in 2..4); 0 otherwise.
int WholeEnlargement(const TAxisMap& xmap, int sourceSpan) {
  const size_t n = xmap.First.size();
  for (int k = 2; k <= 4; ++k) {
    if (n != static_cast<size_t>(k) * static_cast<size_t>(sourceSpan)) continue;
    bool matches = true;
    for (size_t i = 0; i < n && matches; ++i) matches = xmap.First[i] == xmap.First[0] + static_cast<int>(i) / k;
    if (matches) return k;
  }
  return 0;
}

// Sums each destination column's span of one row of channel values (bytes or column sums) and
// writes the averages, given the number of source rows summed into that row.
template <typename TValue>
void AverageColumns(const TValue* values, const TAxisMap& xmap, int sx0, const std::vector<double>& scales,
                    uint8_t* out) {
  const size_t n = xmap.First.size();
  for (size_t i = 0; i < n; ++i) {
    int64_t b = 0, g = 0, r = 0;  // signed: converts to double in one instruction
    const TValue* p = values + 3 * static_cast<ptrdiff_t>(xmap.First[i] - sx0);
    const TValue* end = values + 3 * static_cast<ptrdiff_t>(xmap.Last[i] - sx0);
    for (; p < end; p += 3) {
      b += p[0];
      g += p[1];
      r += p[2];
    }
    const double scale = scales[i];
    out[3 * i] = static_cast<uint8_t>(static_cast<double>(b) * scale + 0.5);
    out[3 * i + 1] = static_cast<uint8_t>(static_cast<double>(g) * scale + 0.5);
    out[3 * i + 2] = static_cast<uint8_t>(static_cast<double>(r) * scale + 0.5);
  }
}

struct TStretchJob {
  const TDibGraphic& Source;
  TDibGraphic& Dest;
  std::unique_ptr<TNearestEntryIndex> Nearest;  // for palette destinations
  TAxisMap XMap, YMap;
  int DestX0 = 0, DestY0 = 0;        // first clipped destination pixel
  int SourceX0 = 0, SourceSpan = 0;  // source columns that the clipped row reads
};

// The same for columns that all cover K source pixels (an integer reduction), with the span
// loop unrolled by the compiler; the sums and the results are those of AverageColumns.
template <int K, typename TValue>
void AverageFixedColumns(const TValue* values, size_t n, const std::vector<double>& scales, uint8_t* out) {
  for (size_t i = 0; i < n; ++i, values += 3 * K, out += 3) {
    int64_t b = 0, g = 0, r = 0;
    for (int k = 0; k < K; ++k) {
      b += values[3 * k];
      g += values[3 * k + 1];
      r += values[3 * k + 2];
    }
    const double scale = scales[i];
    out[0] = static_cast<uint8_t>(static_cast<double>(b) * scale + 0.5);
    out[1] = static_cast<uint8_t>(static_cast<double>(g) * scale + 0.5);
    out[2] = static_cast<uint8_t>(static_cast<double>(r) * scale + 0.5);
  }
}

// Chooses the unrolled form when every column covers the same small number of pixels.
template <typename TValue>
void AverageRow(const TValue* values, const TAxisMap& xmap, int uniformSpan, int sx0, const std::vector<double>& scales,
                uint8_t* out) {
  const TValue* first = values + 3 * static_cast<ptrdiff_t>(xmap.First.front() - sx0);
  const size_t n = xmap.First.size();
  switch (uniformSpan) {
    case 2: AverageFixedColumns<2>(first, n, scales, out); break;
    case 3: AverageFixedColumns<3>(first, n, scales, out); break;
    case 4: AverageFixedColumns<4>(first, n, scales, out); break;
    case 8: AverageFixedColumns<8>(first, n, scales, out); break;
    default: AverageColumns(values, xmap, sx0, scales, out); break;
  }
}

// K when every column's span holds K pixels and the spans follow each other; 0 otherwise.
int UniformSpan(const TAxisMap& xmap) {
  if (!xmap.Averages || xmap.First.empty()) return 0;
  const int k = xmap.Last[0] - xmap.First[0];
  for (size_t i = 0; i < xmap.First.size(); ++i)
    if (xmap.Last[i] - xmap.First[i] != k || (i > 0 && xmap.First[i] != xmap.Last[i - 1])) return 0;
  return k;
}

// The destination row segment to fill: the image's own bytes for TrueColor, else a buffer that
// is then stored through the destination's palette.
uint8_t* RowTarget(TStretchJob& job, int dy, std::vector<uint8_t>& buffer) {
  if (job.Dest.ImageFormat() == TImageFormat::TrueColor)
    return job.Dest.ScanLine(dy) + 3 * static_cast<ptrdiff_t>(job.DestX0);
  return buffer.data();
}

void StoreRow(TStretchJob& job, int dy, int width, const uint8_t* target) {
  if (job.Nearest) WriteBgrToRow(job.Dest, dy, job.DestX0, width, target, *job.Nearest);
}

void RunSampling(TStretchJob& job) {
  const int width = static_cast<int>(job.XMap.First.size());
  std::vector<uint8_t> scratch, buffer(3 * static_cast<size_t>(width));
  const bool copyPacked = job.Dest.BitCount() >= 8;
  const size_t packedOffset = static_cast<size_t>(job.DestX0) * static_cast<size_t>(job.Dest.BitCount() / 8);
  const size_t packedBytes = static_cast<size_t>(width) * static_cast<size_t>(job.Dest.BitCount() / 8);
  const int repeat = WholeEnlargement(job.XMap, job.SourceSpan);
  const auto sourcePixels = static_cast<size_t>(job.SourceSpan);
  int previousSy = -1;
  for (size_t j = 0; j < job.YMap.First.size(); ++j) {
    const int sy = job.YMap.First[j];
    const int dy = job.DestY0 + static_cast<int>(j);
    if (sy == previousSy && copyPacked) {
      // Same source row as the row above: copy the finished destination bytes.
      std::memcpy(job.Dest.ScanLine(dy) + packedOffset, job.Dest.ScanLine(dy - 1) + packedOffset, packedBytes);
      continue;
    }
    uint8_t* target = RowTarget(job, dy, buffer);
    if (sy != previousSy) {
      const uint8_t* src = RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, scratch);
      switch (repeat) {
        case 2: RepeatRow<2>(src, sourcePixels, target); break;
        case 3: RepeatRow<3>(src, sourcePixels, target); break;
        case 4: RepeatRow<4>(src, sourcePixels, target); break;
        default: SampleRow(src, job.SourceSpan, job.XMap.First, job.SourceX0, target); break;
      }
      previousSy = sy;
    }
    StoreRow(job, dy, width, target);
  }
}

// Averaging runs in two passes per destination row: the covered source rows are added into
// per-column sums (a plain vectorisable loop over bytes), then each destination column sums its
// span of those. TColumnSum must hold 255 times the largest number of rows a destination row covers.
template <typename TColumnSum>
void RunAveraging(TStretchJob& job) {
  const size_t width = job.XMap.First.size();
  const size_t values = 3 * static_cast<size_t>(job.SourceSpan);
  std::vector<uint8_t> scratch, buffer(3 * width);
  std::vector<TColumnSum> columns(values);
  std::vector<double> scales(width);
  const int uniformSpan = UniformSpan(job.XMap);
  int scaledRows = 0;
  for (size_t j = 0; j < job.YMap.First.size(); ++j) {
    const int sy0 = job.YMap.First[j], sy1 = job.YMap.Last[j];
    const int dy = job.DestY0 + static_cast<int>(j);
    if (sy1 - sy0 != scaledRows) {
      scaledRows = sy1 - sy0;
      for (size_t i = 0; i < width; ++i)
        scales[i] = 1.0 / (static_cast<double>(scaledRows) * (job.XMap.Last[i] - job.XMap.First[i]));
    }
    uint8_t* target = RowTarget(job, dy, buffer);
    if (scaledRows == 1) {
      AverageRow(RowAsBgr(job.Source, sy0, job.SourceX0, job.SourceSpan, scratch), job.XMap, uniformSpan, job.SourceX0,
                 scales, target);
    } else {
      std::fill(columns.begin(), columns.end(), TColumnSum{0});
      TColumnSum* sums = columns.data();
      for (int sy = sy0; sy < sy1; ++sy) {
        const uint8_t* src = RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, scratch);
        for (size_t k = 0; k < values; ++k) sums[k] = static_cast<TColumnSum>(sums[k] + src[k]);
      }
      AverageRow(sums, job.XMap, uniformSpan, job.SourceX0, scales, target);
    }
    StoreRow(job, dy, static_cast<int>(width), target);
  }
}

}  // namespace

void StretchImage(const TDibGraphic& source, const TRect& sourceRect, TDibGraphic& dest, const TRect& destRect,
                  TStretchMode mode) {
  if (source.Empty() || dest.Empty()) return;
  // Source rectangle clipped to the source image.
  const TRect s{std::max(sourceRect.Left, 0), std::max(sourceRect.Top, 0), std::min(sourceRect.Right, source.Width()),
                std::min(sourceRect.Bottom, source.Height())};
  const int sw = s.Width(), sh = s.Height();
  const int dw = destRect.Width(), dh = destRect.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;

  // Destination pixels that lie inside the destination image, relative to the rectangle.
  const int ux0 = std::max(0, -destRect.Left), ux1 = std::min(dw, dest.Width() - destRect.Left);
  const int uy0 = std::max(0, -destRect.Top), uy1 = std::min(dh, dest.Height() - destRect.Top);
  if (ux0 >= ux1 || uy0 >= uy1) return;

  const bool halftone = mode == TStretchMode::smHalftone;
  TStretchJob job{source, dest, nullptr, MapAxis(s.Left, sw, dw, ux0, ux1, halftone),
                  MapAxis(s.Top, sh, dh, uy0, uy1, halftone)};
  if (dest.ImageFormat() != TImageFormat::TrueColor)
    job.Nearest = std::make_unique<TNearestEntryIndex>(dest.PaletteRecord());
  job.DestX0 = destRect.Left + ux0;
  job.DestY0 = destRect.Top + uy0;
  job.SourceX0 = job.XMap.First.front();
  job.SourceSpan = job.XMap.Last.back() - job.SourceX0;

  if (!job.XMap.Averages && !job.YMap.Averages) {
    RunSampling(job);
    return;
  }
  // 32-bit sums hold 255 x (rows x columns) while that product stays below 2^24.
  int64_t maxColumns = 1;
  for (size_t i = 0; i < job.XMap.First.size(); ++i)
    maxColumns = std::max<int64_t>(maxColumns, job.XMap.Last[i] - job.XMap.First[i]);
  int64_t maxRows = 1;
  for (size_t j = 0; j < job.YMap.First.size(); ++j)
    maxRows = std::max<int64_t>(maxRows, job.YMap.Last[j] - job.YMap.First[j]);
  if (maxColumns * maxRows < (int64_t{1} << 24))
    RunAveraging<uint32_t>(job);
  else
    RunAveraging<uint64_t>(job);
}

}  // namespace quorvane
