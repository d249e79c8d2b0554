#include "transforms/QvQuantz.h"

#include <algorithm>
#include <vector>

#include "model/QvDiGrphRows.h"

namespace quorvane {

namespace {

constexpr int32_t kCrowdUnit = 1073741824;  // 2^30: the weight of one chosen colour at distance 1

struct TCandidate {
  uint8_t Red, Green, Blue;
};

int32_t Distance(const TCandidate& a, const TCandidate& b) {
  const int dr = a.Red - b.Red, dg = a.Green - b.Green, db = a.Blue - b.Blue;
  return dr * dr + dg * dg + db * db;
}

// Histogram of 15-bit keys with counters saturating at 65535; returns the number of distinct keys.
int BuildHistogram(const TDibGraphic& image, std::vector<uint16_t>& histogram) {
  int distinct = 0;
  std::vector<uint8_t> scratch;
  const int width = image.Width();
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* p = RowAsBgr(image, y, 0, width, scratch);
    for (int x = 0; x < width; ++x, p += 3) {
      const int key = ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
      uint16_t& counter = histogram[static_cast<size_t>(key)];
      if (counter < 65535 && ++counter == 1) ++distinct;
    }
  }
  return distinct;
}

int ThresholdOf(int distinct) {
  if (distinct < 1250) return 2;
  if (distinct < 2500) return 5;
  if (distinct < 5000) return 10;
  if (distinct < 10000) return 15;
  return 20;
}

std::vector<TCandidate> CandidatesOf(const std::vector<uint16_t>& histogram, int threshold) {
  std::vector<TCandidate> candidates;
  for (int key = 0; key < 32768; ++key)
    if (histogram[static_cast<size_t>(key)] > threshold)
      candidates.push_back({static_cast<uint8_t>(((key >> 10) & 31) << 3), static_cast<uint8_t>(((key >> 5) & 31) << 3),
                            static_cast<uint8_t>((key & 31) << 3)});
  return candidates;
}

// Greedy spread: moves the N chosen candidates to positions 0 .. N-1 in the order chosen.
// Each remaining candidate keeps its crowding score, the sum over the chosen colours of
// 2^30 div distance, and gains one term per chosen colour, so a step costs one pass over the
// candidates. Candidates lie on a grid of step 8, so 255 chosen colours add at most about
// 6.8e8 and a 32-bit sum could not wrap; the sum is kept in 64 bits all the same.
// A distance of 0 makes the score 2^30 outright (distinct keys never meet it).
void SelectColors(std::vector<TCandidate>& candidates, int n, uint8_t& percentByte,
                  const TTransformProgressEvent& event) {
  const int count = static_cast<int>(candidates.size());
  const TCandidate white{255, 255, 255};
  int chosen = 0;
  for (int c = 1; c < count; ++c)
    if (Distance(candidates[static_cast<size_t>(c)], white) < Distance(candidates[static_cast<size_t>(chosen)], white))
      chosen = c;

  std::vector<int64_t> score(static_cast<size_t>(count), 0);
  std::vector<uint8_t> coincides(static_cast<size_t>(count), 0);
  for (int i = 0; i < n; ++i) {
    percentByte = ReportProgress(nullptr, i, 0, n, percentByte, event);
    std::swap(candidates[static_cast<size_t>(i)], candidates[static_cast<size_t>(chosen)]);
    std::swap(score[static_cast<size_t>(i)], score[static_cast<size_t>(chosen)]);
    std::swap(coincides[static_cast<size_t>(i)], coincides[static_cast<size_t>(chosen)]);
    if (i + 1 >= n) break;  // the next choice would not be used

    const TCandidate last = candidates[static_cast<size_t>(i)];
    int64_t best = kCrowdUnit;
    chosen = i + 1;
    for (int c = i + 1; c < count; ++c) {
      const int32_t d = Distance(candidates[static_cast<size_t>(c)], last);
      if (d == 0)
        coincides[static_cast<size_t>(c)] = 1;
      else
        score[static_cast<size_t>(c)] += kCrowdUnit / d;
      const int64_t s = coincides[static_cast<size_t>(c)] ? kCrowdUnit : score[static_cast<size_t>(c)];
      if (s < best) {
        best = s;
        chosen = c;
      }
    }
  }
}

}  // namespace

void QuantizePalette(const TDibGraphic& image, TDibPalette& palette, uint16_t count, uint8_t& percentByte,
                     const TTransformProgressEvent& event) {
  const int n = std::min<int>(count, 256);
  std::vector<uint16_t> histogram(32768, 0);
  const int distinct = image.Empty() ? 0 : BuildHistogram(image, histogram);
  std::vector<TCandidate> candidates = CandidatesOf(histogram, ThresholdOf(distinct));
  if (static_cast<int>(candidates.size()) > n) SelectColors(candidates, n, percentByte, event);

  palette = TDibPalette{};
  palette.Version = 0x300;
  palette.Count = static_cast<uint16_t>(n);
  const int defined = std::min<int>(n, static_cast<int>(candidates.size()));
  for (int k = 0; k < defined; ++k) {
    const TCandidate& c = candidates[static_cast<size_t>(k)];
    palette.Entries[static_cast<size_t>(k)] = {c.Blue, c.Green, c.Red, 0};
  }
}

}  // namespace quorvane
