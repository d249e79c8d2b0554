// Image model benchmarks: per-pixel access, Assign and the stretch, each next to a plain memory
// copy of the same block measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvMisc.h"

using namespace quorvane;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

const TDibGraphic& Photo() {
  static TDibGraphic image;
  if (image.Empty()) {
    TuneAllocatorForLargeImages();
    image.NewImage(kWidth, kHeight, TImageFormat::TrueColor, nullptr, 0, 0);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = image.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        row[3 * x] = static_cast<uint8_t>(x / 24 + (seed >> 29));
        row[3 * x + 1] = static_cast<uint8_t>(y / 16 + (seed >> 28));
        row[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
      }
    }
  }
  return image;
}

void SetBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_MemcpySourceBlock(benchmark::State& state) {
  const TDibGraphic& source = Photo();
  std::vector<uint8_t> copy(source.ImageSize());
  for (auto _ : state) {
    std::memcpy(copy.data(), source.Bits(), source.ImageSize());
    benchmark::ClobberMemory();
  }
  SetBytes(state, source.ImageSize());
}
BENCHMARK(BM_MemcpySourceBlock)->Unit(benchmark::kMillisecond);

void BM_MemsetEnlargedBlock(benchmark::State& state) {
  TDibGraphic dest;
  dest.NewImage(2 * kWidth, 2 * kHeight, TImageFormat::TrueColor, nullptr, 0, 0);
  std::memset(dest.Bits(), 1, dest.ImageSize());  // first touch outside the measurement
  for (auto _ : state) {
    std::memset(dest.Bits(), static_cast<int>(state.iterations() & 0xFF), dest.ImageSize());
    benchmark::ClobberMemory();
  }
  SetBytes(state, dest.ImageSize());
}
BENCHMARK(BM_MemsetEnlargedBlock)->Unit(benchmark::kMillisecond);

void BM_Assign(benchmark::State& state) {
  TDibGraphic copy;
  for (auto _ : state) copy.Assign(&Photo());
  SetBytes(state, Photo().ImageSize());
}
BENCHMARK(BM_Assign)->Unit(benchmark::kMillisecond);

void BM_StretchHalftoneQuarter(benchmark::State& state) {
  TDibGraphic dest;
  dest.NewImage(1500, 1000, TImageFormat::TrueColor, nullptr, 0, 0);
  for (auto _ : state)
    StretchImage(Photo(), {0, 0, kWidth, kHeight}, dest, {0, 0, 1500, 1000}, TStretchMode::smHalftone);
  SetBytes(state, Photo().ImageSize());
}
BENCHMARK(BM_StretchHalftoneQuarter)->Unit(benchmark::kMillisecond);

void BM_StretchColorOnColorDouble(benchmark::State& state) {
  TDibGraphic dest;
  dest.NewImage(2 * kWidth, 2 * kHeight, TImageFormat::TrueColor, nullptr, 0, 0);
  std::memset(dest.Bits(), 1, dest.ImageSize());  // first touch outside the measurement
  for (auto _ : state)
    StretchImage(Photo(), {0, 0, kWidth, kHeight}, dest, {0, 0, 2 * kWidth, 2 * kHeight}, TStretchMode::smColorOnColor);
  SetBytes(state, dest.ImageSize());
}
BENCHMARK(BM_StretchColorOnColorDouble)->Unit(benchmark::kMillisecond);

void BM_StretchHalftoneIntoColor256(benchmark::State& state) {
  TDibGraphic dest;
  dest.NewImage(1500, 1000, TImageFormat::Color256, nullptr, 0, 0);
  for (auto _ : state)
    StretchImage(Photo(), {0, 0, kWidth, kHeight}, dest, {0, 0, 1500, 1000}, TStretchMode::smHalftone);
  SetBytes(state, Photo().ImageSize());
}
BENCHMARK(BM_StretchHalftoneIntoColor256)->Unit(benchmark::kMillisecond);

// A black-and-white A4 page at 300 dpi (lines of word-like blocks) stretched to the 706 x 1000
// pixels a 1600 x 1000 view shows it in at fit, with halftone averaging: what the view redraws.
const TDibGraphic& Page() {
  static TDibGraphic page;
  if (page.Empty()) {
    page.NewImage(2480, 3508, TImageFormat::BlackWhite, nullptr, 300, 300);
    uint32_t seed = 2;
    for (int y = 0; y < page.Height(); ++y) {
      uint8_t* row = page.ScanLine(y);
      const bool textLine = (y % 50) < 30 && y > 200 && y < 3300;
      for (int b = 0; b < page.BytesPerLine(); ++b) {
        seed = seed * 1664525u + 1013904223u;
        row[b] = textLine && b > 25 && b < 290 && (b / 6) % 4 != 0 ? static_cast<uint8_t>(seed >> 24) : 0xFF;
      }
    }
  }
  return page;
}

void BM_StretchBlackWhitePageToFit(benchmark::State& state) {
  TDibGraphic dest;
  dest.NewImage(706, 1000, TImageFormat::BlackWhite, nullptr, 0, 0);
  for (auto _ : state)
    StretchImage(Page(), {0, 0, Page().Width(), Page().Height()}, dest, {0, 0, 706, 1000}, TStretchMode::smHalftone);
  SetBytes(state, Page().ImageSize());
}
BENCHMARK(BM_StretchBlackWhitePageToFit)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Per-pixel access through GetPixel/SetPixel on a 1000 x 1000 image of each format.
void BM_PixelAccess(benchmark::State& state) {
  const auto format = static_cast<TImageFormat>(state.range(0));
  TDibGraphic image;
  image.NewImage(1000, 1000, format, nullptr, 0, 0);
  for (auto _ : state) {
    for (int y = 0; y < 1000; ++y)
      for (int x = 0; x < 1000; ++x) image.SetPixel(x, y, image.GetPixel(999 - x, y) + 0x010101);
    benchmark::ClobberMemory();
  }
  state.SetLabel(ImageFormatName(format));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000000);
}
BENCHMARK(BM_PixelAccess)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

}  // namespace
