#include "model/QvDiGrphStretch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/QvDiGrphRows.h"

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

// Gathers one destination row of sampled pixels from a source row of triples.
void SampleRow(const uint8_t* src, const std::vector<int>& xFirst, int sx0, uint8_t* out) {
  const size_t n = xFirst.size();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = src + 3 * static_cast<ptrdiff_t>(xFirst[i] - sx0);
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
    out += 3;
  }
}

// Adds the source row into per-destination-column sums: a span per column, or one sample.
template <typename TSum>
void AccumulateRow(const uint8_t* src, const TAxisMap& xmap, int sx0, TSum* sums) {
  const size_t n = xmap.First.size();
  if (!xmap.Averages) {
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = src + 3 * static_cast<ptrdiff_t>(xmap.First[i] - sx0);
      sums[3 * i] += p[0];
      sums[3 * i + 1] += p[1];
      sums[3 * i + 2] += p[2];
    }
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    TSum b = 0, g = 0, r = 0;
    const uint8_t* p = src + 3 * static_cast<ptrdiff_t>(xmap.First[i] - sx0);
    const uint8_t* end = src + 3 * static_cast<ptrdiff_t>(xmap.Last[i] - sx0);
    for (; p < end; p += 3) {
      b += p[0];
      g += p[1];
      r += p[2];
    }
    sums[3 * i] += b;
    sums[3 * i + 1] += g;
    sums[3 * i + 2] += r;
  }
}

struct TStretchJob {
  const TDibGraphic& Source;
  TDibGraphic& Dest;
  TAxisMap XMap, YMap;
  int DestX0 = 0, DestY0 = 0;        // first clipped destination pixel
  int SourceX0 = 0, SourceSpan = 0;  // source columns that the clipped row reads
};

void RunSampling(TStretchJob& job) {
  const int width = static_cast<int>(job.XMap.First.size());
  std::vector<uint8_t> scratch, row(3 * static_cast<size_t>(width));
  const bool copyPacked = job.Dest.BitCount() >= 8;
  const int bytesPerPixel = job.Dest.BitCount() / 8;
  int previousSy = -1;
  for (size_t j = 0; j < job.YMap.First.size(); ++j) {
    const int sy = job.YMap.First[j];
    const int dy = job.DestY0 + static_cast<int>(j);
    if (sy == previousSy && copyPacked) {
      // Same source row as the row above: copy the finished destination bytes.
      const size_t offset = static_cast<size_t>(job.DestX0) * static_cast<size_t>(bytesPerPixel);
      std::memcpy(job.Dest.ScanLine(dy) + offset, job.Dest.ScanLine(dy - 1) + offset,
                  static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel));
      continue;
    }
    if (sy != previousSy) {
      const uint8_t* src = RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, scratch);
      SampleRow(src, job.XMap.First, job.SourceX0, row.data());
      previousSy = sy;
    }
    WriteBgrToRow(job.Dest, dy, job.DestX0, width, row.data());
  }
}

template <typename TSum>
void RunAveraging(TStretchJob& job) {
  const size_t width = job.XMap.First.size();
  std::vector<uint8_t> scratch, row(3 * width);
  std::vector<TSum> sums(3 * width);
  std::vector<double> columnWeight(width);
  for (size_t i = 0; i < width; ++i) columnWeight[i] = job.XMap.Last[i] - job.XMap.First[i];
  std::vector<double> scale(width);
  for (size_t j = 0; j < job.YMap.First.size(); ++j) {
    const int sy0 = job.YMap.First[j], sy1 = job.YMap.Last[j];
    std::fill(sums.begin(), sums.end(), TSum{0});
    for (int sy = sy0; sy < sy1; ++sy)
      AccumulateRow(RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, scratch), job.XMap, job.SourceX0,
                    sums.data());
    const double rows = sy1 - sy0;
    for (size_t i = 0; i < width; ++i) scale[i] = 1.0 / (rows * columnWeight[i]);
    for (size_t i = 0; i < width; ++i) {
      row[3 * i] = static_cast<uint8_t>(static_cast<double>(sums[3 * i]) * scale[i] + 0.5);
      row[3 * i + 1] = static_cast<uint8_t>(static_cast<double>(sums[3 * i + 1]) * scale[i] + 0.5);
      row[3 * i + 2] = static_cast<uint8_t>(static_cast<double>(sums[3 * i + 2]) * scale[i] + 0.5);
    }
    WriteBgrToRow(job.Dest, job.DestY0 + static_cast<int>(j), job.DestX0, static_cast<int>(width), row.data());
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
  TStretchJob job{source, dest, MapAxis(s.Left, sw, dw, ux0, ux1, halftone),
                  MapAxis(s.Top, sh, dh, uy0, uy1, halftone)};
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
