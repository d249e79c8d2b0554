#include "model/QvDiGrphStretch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvThreads.h"

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

struct TStretchJob {
  const TDibGraphic& Source;
  TDibGraphic& Dest;
  TAxisMap XMap, YMap;
  int DestX0 = 0, DestY0 = 0;        // first clipped destination pixel
  int SourceX0 = 0, SourceSpan = 0;  // source columns that the clipped row reads
};

// Working memory of one thread.
struct TStretchScratch {
  std::vector<uint8_t> Source, Row;  // a source row as triples; a destination row segment
  std::vector<uint32_t> Sums32;      // column sums over the source rows of a destination row
  std::vector<uint64_t> Sums64;
  std::vector<double> Scales;
  int ScaledRows = 0;                           // the rows Scales were made for
  std::unique_ptr<TNearestEntryIndex> Nearest;  // for palette destinations
  // 1-bit sources: per source column a byte of count; per destination column its first count,
  // the mask of its counts in a word, and its table.
  std::vector<uint64_t> Counts;
  std::vector<int32_t> Start;
  std::vector<uint64_t> Mask;
  std::vector<int> TableRows;
  std::vector<std::vector<const uint32_t*>> Tables;  // by TableRows
};

// The destination row segment to fill: the image's own bytes for TrueColor, else a buffer that
// is then stored through the destination's palette.
uint8_t* RowTarget(TStretchJob& job, int dy, TStretchScratch& s) {
  if (job.Dest.ImageFormat() == TImageFormat::TrueColor)
    return job.Dest.ScanLine(dy) + 3 * static_cast<ptrdiff_t>(job.DestX0);
  s.Row.resize(3 * job.XMap.First.size());
  return s.Row.data();
}

void StoreRow(TStretchJob& job, int dy, int width, const uint8_t* target, TStretchScratch& s) {
  if (job.Dest.ImageFormat() == TImageFormat::TrueColor) return;
  if (!s.Nearest) s.Nearest = std::make_unique<TNearestEntryIndex>(job.Dest.PaletteRecord());
  WriteBgrToRow(job.Dest, dy, job.DestX0, width, target, *s.Nearest);
}

// Destination rows [First, Last) of the clipped rectangle, by sampling.
void SampleRows(TStretchJob& job, int first, int last, TStretchScratch& s) {
  const int width = static_cast<int>(job.XMap.First.size());
  const bool copyPacked = job.Dest.BitCount() >= 8;
  const size_t packedOffset = static_cast<size_t>(job.DestX0) * static_cast<size_t>(job.Dest.BitCount() / 8);
  const size_t packedBytes = static_cast<size_t>(width) * static_cast<size_t>(job.Dest.BitCount() / 8);
  const int repeat = WholeEnlargement(job.XMap, job.SourceSpan);
  const auto sourcePixels = static_cast<size_t>(job.SourceSpan);
  int previousSy = -1;
  uint8_t* target = nullptr;
  for (int j = first; j < last; ++j) {
    const int sy = job.YMap.First[static_cast<size_t>(j)];
    const int dy = job.DestY0 + j;
    if (sy == previousSy && copyPacked) {
      // Same source row as the row above (done by this thread): copy the finished bytes.
      std::memcpy(job.Dest.ScanLine(dy) + packedOffset, job.Dest.ScanLine(dy - 1) + packedOffset, packedBytes);
      continue;
    }
    if (sy != previousSy) {
      target = RowTarget(job, dy, s);
      const uint8_t* src = RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, s.Source);
      switch (repeat) {
        case 2: RepeatRow<2>(src, sourcePixels, target); break;
        case 3: RepeatRow<3>(src, sourcePixels, target); break;
        case 4: RepeatRow<4>(src, sourcePixels, target); break;
        default: SampleRow(src, job.SourceSpan, job.XMap.First, job.SourceX0, target); break;
      }
      previousSy = sy;
    }
    StoreRow(job, dy, width, target, s);
  }
}

// Averaging runs in two passes per destination row: the covered source rows are added into
// per-column sums (a plain vectorisable loop over bytes), then each destination column sums its
// span of those. TColumnSum must hold 255 times the largest number of rows a destination row covers.
template <typename TColumnSum>
void AverageRows(TStretchJob& job, int first, int last, TStretchScratch& s, std::vector<TColumnSum>& columns) {
  const size_t width = job.XMap.First.size();
  const size_t values = 3 * static_cast<size_t>(job.SourceSpan);
  columns.resize(values);
  s.Scales.resize(width);
  const int uniformSpan = UniformSpan(job.XMap);
  for (int j = first; j < last; ++j) {
    const int sy0 = job.YMap.First[static_cast<size_t>(j)], sy1 = job.YMap.Last[static_cast<size_t>(j)];
    const int dy = job.DestY0 + j;
    if (sy1 - sy0 != s.ScaledRows) {
      s.ScaledRows = sy1 - sy0;
      for (size_t i = 0; i < width; ++i)
        s.Scales[i] = 1.0 / (static_cast<double>(s.ScaledRows) * (job.XMap.Last[i] - job.XMap.First[i]));
    }
    uint8_t* target = RowTarget(job, dy, s);
    if (s.ScaledRows == 1) {
      AverageRow(RowAsBgr(job.Source, sy0, job.SourceX0, job.SourceSpan, s.Source), job.XMap, uniformSpan, job.SourceX0,
                 s.Scales, target);
    } else {
      std::fill(columns.begin(), columns.end(), TColumnSum{0});
      TColumnSum* sums = columns.data();
      for (int sy = sy0; sy < sy1; ++sy) {
        const uint8_t* src = RowAsBgr(job.Source, sy, job.SourceX0, job.SourceSpan, s.Source);
        for (size_t k = 0; k < values; ++k) sums[k] = static_cast<TColumnSum>(sums[k] + src[k]);
      }
      AverageRow(sums, job.XMap, uniformSpan, job.SourceX0, s.Scales, target);
    }
    StoreRow(job, dy, static_cast<int>(width), target, s);
  }
}

// ---- black-and-white sources ----
//
// A destination pixel that averages N pixels of a two-colour source of which K are colour 1 has
// the channel sums K x colour 1 + (N - K) x colour 0: exactly the sums of the pixels' triples. So
// the pixels of colour 1 under each destination pixel are counted, and (N, K) looks up the
// finished pixel in a table made once per stretch with the arithmetic of the averaging path.
// Counting: the source rows of a destination row are added into one count per source column
// (eight columns per 64-bit word, a byte each), then each destination column adds its span.

// For each byte of a row, its eight pixels as the bytes of a word, the first pixel lowest.
constexpr std::array<uint64_t, 256> MakeBitSpread() {
  std::array<uint64_t, 256> table{};
  for (int v = 0; v < 256; ++v)
    for (int i = 0; i < 8; ++i) table[static_cast<size_t>(v)] |= static_cast<uint64_t>((v >> (7 - i)) & 1) << (8 * i);
  return table;
}
constexpr auto kBitSpread = MakeBitSpread();

// How a destination column adds the counts of its span.
enum class TSpanSum {
  SmallWord,  // one masked word whose bytes add up to at most 255
  Word,       // one masked word
  Loop,       // spans of more than 8 columns
};

// Sum of the bytes of the word at P that Mask keeps (at most 8, each at most 255). When the sum
// cannot pass 255 (Small), no partial sum carries out of its byte, and one multiplication adds
// them all into the top byte.
template <bool Small>
inline uint32_t SumOfBytes(const uint8_t* p, uint64_t mask) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  v &= mask;
  if constexpr (Small) return static_cast<uint32_t>((v * 0x0101010101010101u) >> 56);
  v = (v & 0x00FF00FF00FF00FFu) + ((v >> 8) & 0x00FF00FF00FF00FFu);
  return static_cast<uint32_t>((v * 0x0001000100010001u) >> 48);
}

// The finished pixels for every (N, K): a palette index, or the colour of a TrueColor pixel.
class TCountedPixels {
 public:
  // Largest table worth making; beyond it, and for more rows than a byte counts, the averaging
  // path is used.
  static constexpr size_t kMostEntries = size_t{1} << 16;
  static constexpr int kMostRows = 255;

  explicit TCountedPixels(const TStretchJob& job) {
    std::vector<int> rowCounts, columnCounts;
    auto note = [](std::vector<int>& counts, int n) {
      if (std::find(counts.begin(), counts.end(), n) == counts.end()) counts.push_back(n);
    };
    for (size_t j = 0; j < job.YMap.First.size(); ++j) note(rowCounts, job.YMap.Last[j] - job.YMap.First[j]);
    for (size_t i = 0; i < job.XMap.First.size(); ++i) note(columnCounts, job.XMap.Last[i] - job.XMap.First[i]);
    std::vector<int> counts;
    size_t entries = 0;
    for (int r : rowCounts) {
      if (r > kMostRows) return;
      for (int c : columnCounts) {
        const int64_t n = static_cast<int64_t>(r) * c;
        if (n >= static_cast<int64_t>(kMostEntries)) return;
        if (std::find(counts.begin(), counts.end(), static_cast<int>(n)) != counts.end()) continue;
        counts.push_back(static_cast<int>(n));
        entries += static_cast<size_t>(n) + 1;
        if (entries > kMostEntries) return;
      }
    }
    FOffset.assign(static_cast<size_t>(*std::max_element(counts.begin(), counts.end())) + 1, 0);
    FPixels.resize(entries);
    const TPaletteEntry zero = job.Source.PaletteRecord().Entries[0], one = job.Source.PaletteRecord().Entries[1];
    const bool trueColor = job.Dest.ImageFormat() == TImageFormat::TrueColor;
    TRgbToPaletteConverter nearest(&job.Dest.PaletteRecord());
    size_t offset = 0;
    for (int n : counts) {
      FOffset[static_cast<size_t>(n)] = static_cast<uint32_t>(offset);
      const double scale = 1.0 / static_cast<double>(n);
      for (int k = 0; k <= n; ++k) {
        auto channel = [&](uint8_t c0, uint8_t c1) {
          const int64_t sum = static_cast<int64_t>(k) * c1 + static_cast<int64_t>(n - k) * c0;
          return static_cast<uint8_t>(static_cast<double>(sum) * scale + 0.5);
        };
        const TColorValue color =
            PackColor(channel(zero.Blue, one.Blue), channel(zero.Green, one.Green), channel(zero.Red, one.Red));
        FPixels[offset + static_cast<size_t>(k)] =
            trueColor ? color : static_cast<uint32_t>(nearest.PaletteIndexOf(color));
      }
      offset += static_cast<size_t>(n) + 1;
    }
  }

  bool Usable() const { return !FPixels.empty(); }
  // The table of N.
  const uint32_t* Of(int n) const { return FPixels.data() + FOffset[static_cast<size_t>(n)]; }

 private:
  std::vector<uint32_t> FOffset;  // by N
  std::vector<uint32_t> FPixels;
};

// Adds the pixels of Bytes bytes of a 1-bit row to the counts of their columns. Eight bytes a
// step through one word: a vectorised form (emulating gathers) is slower.
inline void AddBitCounts(const uint8_t* row, size_t bytes, uint64_t* counts) {
  size_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    uint64_t v;
    std::memcpy(&v, row + k, 8);
    for (int b = 0; b < 8; ++b, v >>= 8) counts[k + static_cast<size_t>(b)] += kBitSpread[v & 0xFF];
  }
  for (; k < bytes; ++k) counts[k] += kBitSpread[row[k]];
}

// One destination row from the counts of its source columns: palette indices, or TrueColor
// triples.
template <TSpanSum Sum>
void CountedRow(const uint8_t* counts, const TStretchScratch& s, const uint32_t* const* tables, size_t width,
                const TAxisMap& xmap, int firstBit, bool trueColor, uint8_t* out) {
  const int32_t* start = s.Start.data();
  const uint64_t* mask = s.Mask.data();
  auto ones = [&](size_t i) -> uint32_t {
    if constexpr (Sum != TSpanSum::Loop) {
      return SumOfBytes<Sum == TSpanSum::SmallWord>(counts + start[i], mask[i]);
    } else {
      uint32_t sum = 0;
      for (int x = xmap.First[i]; x < xmap.Last[i]; ++x) sum += counts[x - firstBit];
      return sum;
    }
  };
  if (trueColor) {
    for (size_t i = 0; i < width; ++i, out += 3) {
      const uint32_t pixel = tables[i][ones(i)];
      out[0] = ColorByte0(pixel), out[1] = ColorByte1(pixel), out[2] = ColorByte2(pixel);
    }
  } else {
    for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(tables[i][ones(i)]);
  }
}

void CountRows(TStretchJob& job, const TCountedPixels& pixels, int first, int last, TStretchScratch& s) {
  const size_t width = job.XMap.First.size();
  // The source bytes the clipped rows read, from a whole byte on; the counts have 8 bytes more
  // so that a span can be read as one word.
  const int firstBit = job.SourceX0 & ~7;
  const size_t bytes = static_cast<size_t>((job.SourceX0 + job.SourceSpan - firstBit + 7) / 8);
  s.Counts.resize(bytes + 1);
  s.Row.resize(3 * width);
  // Per destination column: where its span starts among the counts, and which bytes it takes.
  s.Start.resize(width);
  s.Mask.resize(width);
  int widestSpan = 0;
  for (size_t i = 0; i < width; ++i) {
    const int span = job.XMap.Last[i] - job.XMap.First[i];
    s.Start[i] = job.XMap.First[i] - firstBit;
    s.Mask[i] = span < 8 ? (uint64_t{1} << (8 * span)) - 1 : ~uint64_t{0};
    widestSpan = std::max(widestSpan, span);
  }
  int tallestSpan = 0;
  for (int j = first; j < last; ++j)
    tallestSpan = std::max(tallestSpan, job.YMap.Last[static_cast<size_t>(j)] - job.YMap.First[static_cast<size_t>(j)]);
  const TSpanSum sum = widestSpan > 8                    ? TSpanSum::Loop
                       : widestSpan * tallestSpan <= 255 ? TSpanSum::SmallWord
                                                         : TSpanSum::Word;
  const bool trueColor = job.Dest.ImageFormat() == TImageFormat::TrueColor;
  // Each column's table for each number of rows a destination row covers (one or two numbers).
  s.TableRows.clear();
  s.Tables.clear();
  auto tablesFor = [&](int rows) -> const std::vector<const uint32_t*>& {
    for (size_t t = 0; t < s.TableRows.size(); ++t)
      if (s.TableRows[t] == rows) return s.Tables[t];
    s.TableRows.push_back(rows);
    std::vector<const uint32_t*>& tables = s.Tables.emplace_back(width);
    for (size_t i = 0; i < width; ++i) tables[i] = pixels.Of(rows * (job.XMap.Last[i] - job.XMap.First[i]));
    return tables;
  };
  for (int j = first; j < last; ++j) {
    const int sy0 = job.YMap.First[static_cast<size_t>(j)], sy1 = job.YMap.Last[static_cast<size_t>(j)];
    const std::vector<const uint32_t*>& tables = tablesFor(sy1 - sy0);
    uint64_t* counts = s.Counts.data();
    std::fill(s.Counts.begin(), s.Counts.end(), uint64_t{0});
    for (int sy = sy0; sy < sy1; ++sy) AddBitCounts(job.Source.ScanLine(sy) + firstBit / 8, bytes, counts);
    const auto* columnCounts = reinterpret_cast<const uint8_t*>(counts);
    uint8_t* out =
        trueColor ? job.Dest.ScanLine(job.DestY0 + j) + 3 * static_cast<ptrdiff_t>(job.DestX0) : s.Row.data();
    switch (sum) {
      case TSpanSum::SmallWord:
        CountedRow<TSpanSum::SmallWord>(columnCounts, s, tables.data(), width, job.XMap, firstBit, trueColor, out);
        break;
      case TSpanSum::Word:
        CountedRow<TSpanSum::Word>(columnCounts, s, tables.data(), width, job.XMap, firstBit, trueColor, out);
        break;
      case TSpanSum::Loop:
        CountedRow<TSpanSum::Loop>(columnCounts, s, tables.data(), width, job.XMap, firstBit, trueColor, out);
        break;
    }
    if (!trueColor) WriteRowIndices(job.Dest, job.DestY0 + j, job.DestX0, static_cast<int>(width), out);
  }
}

// Destination rows in bands on the library's threads; Rows(first, last, scratch).
template <typename TRows>
void RunBands(TStretchJob& job, size_t rowWork, TRows rows) {
  const int count = static_cast<int>(job.YMap.First.size());
  const int threads = BandThreads(count, rowWork);
  std::vector<TStretchScratch> scratch(static_cast<size_t>(threads));
  RunRowBands(count, threads,
              [&](int first, int last, int slot) { rows(first, last, scratch[static_cast<size_t>(slot)]); });
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
  // The work of a destination row: its pixels, and the source rows it reads.
  const size_t rowWork = 3 * (job.XMap.First.size() + static_cast<size_t>(job.SourceSpan) *
                                                          static_cast<size_t>(job.YMap.Last[0] - job.YMap.First[0]));

  if (!job.XMap.Averages && !job.YMap.Averages) {
    RunBands(job, rowWork, [&](int first, int last, TStretchScratch& s) { SampleRows(job, first, last, s); });
    return;
  }
  if (source.BitCount() == 1) {
    const TCountedPixels pixels(job);
    if (pixels.Usable()) {
      RunBands(job, rowWork / 8,
               [&](int first, int last, TStretchScratch& s) { CountRows(job, pixels, first, last, s); });
      return;
    }
  }
  // 32-bit sums hold 255 x (rows x columns) while that product stays below 2^24.
  int64_t maxColumns = 1;
  for (size_t i = 0; i < job.XMap.First.size(); ++i)
    maxColumns = std::max<int64_t>(maxColumns, job.XMap.Last[i] - job.XMap.First[i]);
  int64_t maxRows = 1;
  for (size_t j = 0; j < job.YMap.First.size(); ++j)
    maxRows = std::max<int64_t>(maxRows, job.YMap.Last[j] - job.YMap.First[j]);
  if (maxColumns * maxRows < (int64_t{1} << 24))
    RunBands(job, rowWork,
             [&](int first, int last, TStretchScratch& s) { AverageRows(job, first, last, s, s.Sums32); });
  else
    RunBands(job, rowWork,
             [&](int first, int last, TStretchScratch& s) { AverageRows(job, first, last, s, s.Sums64); });
}

}  // namespace quorvane
