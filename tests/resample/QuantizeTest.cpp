#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ResampleTestImages.h"
#include "transforms/QvQuantz.h"

using namespace quorvane;

namespace {

TDibPalette Quantize(const TDibGraphic& image, uint16_t count) {
  TDibPalette palette{};
  uint8_t percent = 255;
  QuantizePalette(image, palette, count, percent, nullptr);
  return palette;
}

// The selection as defined: every score recomputed from all chosen colours, 32-bit sums.
std::vector<TPaletteEntry> ReferenceSelection(std::vector<TPaletteEntry> c, int n) {
  auto dist = [](const TPaletteEntry& a, const TPaletteEntry& b) {
    const int dr = a.Red - b.Red, dg = a.Green - b.Green, db = a.Blue - b.Blue;
    return dr * dr + dg * dg + db * db;
  };
  const TPaletteEntry white{255, 255, 255, 0};
  size_t chosen = 0;
  for (size_t i = 1; i < c.size(); ++i)
    if (dist(c[i], white) < dist(c[chosen], white)) chosen = i;
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    std::swap(c[i], c[chosen]);
    int32_t best = 1073741824;
    chosen = i + 1;
    for (size_t k = i + 1; k < c.size(); ++k) {
      int32_t score = 0;
      for (size_t m = 0; m <= i; ++m) {
        const int32_t d = dist(c[k], c[m]);
        if (d == 0) {
          score = 1073741824;
          break;
        }
        score += 1073741824 / d;
      }
      if (score < best) {
        best = score;
        chosen = k;
      }
    }
  }
  c.resize(static_cast<size_t>(n));
  return c;
}

// An image in which each listed colour occurs Repeat times.
std::unique_ptr<TDibGraphic> ImageOfColors(const std::vector<TColorValue>& colors, int repeat, int width = 64) {
  const int total = static_cast<int>(colors.size()) * repeat;
  auto image = MakeImage(width, (total + width - 1) / width, TImageFormat::TrueColor);
  for (int i = 0; i < total; ++i) image->SetPixel(i % width, i / width, colors[static_cast<size_t>(i / repeat)]);
  // Padding pixels take the first colour.
  for (int i = total; i < width * image->Height(); ++i) image->SetPixel(i % width, i / width, colors[0]);
  return image;
}

}  // namespace

TEST(QuantizePalette, FourFlatColoursStayInKeyOrderRestBlack) {
  auto image = MakeImage(100, 100, TImageFormat::TrueColor);
  const TColorValue colors[4] = {PackColor(250, 10, 10), PackColor(3, 200, 100), PackColor(77, 77, 77),
                                 PackColor(0, 0, 255)};
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) image->SetPixel(x, y, colors[(y / 50) * 2 + x / 50]);
  const TDibPalette p = Quantize(*image, 16);
  EXPECT_EQ(p.Version, 0x300);
  EXPECT_EQ(p.Count, 16);
  // Key order: ascending red, then green, then blue; channels rounded down to multiples of 8.
  EXPECT_EQ(p.Entries[0], (TPaletteEntry{248, 8, 8, 0}));
  EXPECT_EQ(p.Entries[1], (TPaletteEntry{72, 72, 72, 0}));
  EXPECT_EQ(p.Entries[2], (TPaletteEntry{0, 200, 96, 0}));
  EXPECT_EQ(p.Entries[3], (TPaletteEntry{0, 0, 248, 0}));
  for (int k = 4; k < 256; ++k) EXPECT_EQ(p.Entries[static_cast<size_t>(k)], TPaletteEntry{}) << k;
}

TEST(QuantizePalette, RareColoursNeverReachThePalette) {
  std::vector<TColorValue> colors;
  for (int i = 0; i < 300; ++i)
    colors.push_back(PackColor(static_cast<uint8_t>(8 * (i % 32)), static_cast<uint8_t>(8 * (i / 32)), 16));
  // Each colour twice: threshold 2, nothing above it.
  const TDibPalette none = Quantize(*ImageOfColors(colors, 2, 60), 16);
  EXPECT_EQ(none.Count, 16);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(none.Entries[static_cast<size_t>(k)], TPaletteEntry{});
}

TEST(QuantizePalette, SelectionMatchesTheDefinitionAndStartsNearWhite) {
  // About 1500 distinct keys, each used 6 times: threshold 5, all of them candidates.
  std::vector<TColorValue> colors;
  std::mt19937 rng(11);
  std::vector<bool> used(32768);
  used[32767] = true;
  colors.push_back(PackColor(255, 250, 249));
  while (colors.size() < 1500) {
    const int key = static_cast<int>(rng() % 32768);
    if (used[static_cast<size_t>(key)]) continue;
    used[static_cast<size_t>(key)] = true;
    colors.push_back(PackColor(static_cast<uint8_t>((key & 31) << 3), static_cast<uint8_t>(((key >> 5) & 31) << 3),
                               static_cast<uint8_t>((key >> 10) << 3)));
  }
  auto image = ImageOfColors(colors, 6);
  std::vector<TPaletteEntry> candidates;
  for (int key = 0; key < 32768; ++key)
    if (used[static_cast<size_t>(key)])
      candidates.push_back({static_cast<uint8_t>((key & 31) << 3), static_cast<uint8_t>(((key >> 5) & 31) << 3),
                            static_cast<uint8_t>((key >> 10) << 3), 0});

  for (int n : {16, 256}) {
    std::vector<int> reports;
    TDibPalette p{};
    uint8_t percent = 255;
    QuantizePalette(*image, p, static_cast<uint16_t>(n), percent, [&](TImageTransform* sender, int value) {
      EXPECT_EQ(sender, nullptr);
      reports.push_back(value);
    });
    const auto expected = ReferenceSelection(candidates, n);
    ASSERT_EQ(p.Count, n);
    for (int k = 0; k < n; ++k) ASSERT_EQ(p.Entries[static_cast<size_t>(k)], expected[static_cast<size_t>(k)]) << k;
    // The first colour is the candidate nearest to white.
    EXPECT_EQ(p.Entries[0], (TPaletteEntry{248, 248, 248, 0}));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), 0);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(percent, reports.back());
  }
  const TDibPalette p300 = Quantize(*image, 300);
  EXPECT_EQ(p300.Count, 256);
  EXPECT_EQ(p300.Entries, Quantize(*image, 256).Entries);
}

TEST(QuantizePalette, PaletteImagesAreReadThroughTheirColours) {
  // The default 256-colour table repeats black: fewer keys than entries, so no selection, and
  // the palette is the table's distinct colours in key order.
  auto image = RandomImage(64, 64, TImageFormat::Color256, 12);
  const TDibPalette p = Quantize(*image, 256);
  std::vector<int> keys;
  for (const TPaletteEntry& e : DefaultPalette(TImageFormat::Color256).Entries)
    keys.push_back(((e.Red >> 3) << 10) | ((e.Green >> 3) << 5) | (e.Blue >> 3));
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  for (size_t k = 0; k < keys.size(); ++k) {
    const TPaletteEntry& e = p.Entries[k];
    EXPECT_EQ(((e.Red >> 3) << 10) | ((e.Green >> 3) << 5) | (e.Blue >> 3), keys[k]);
  }
}
