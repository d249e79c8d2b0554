// Resizing, quantizing and format conversion of a 6000 x 4000 photograph-like TrueColor image.
// Rates are megapixels of source per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "model/QvDiGrph.h"
#include "transforms/QvQuantz.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfResize.h"

using namespace quorvane;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// Smooth gradients in all three channels plus mild noise, like a photograph.
const TDibGraphic& Photo() {
  static const std::unique_ptr<TDibGraphic> image = [] {
    auto p = std::make_unique<TDibGraphic>();
    p->NewImage(kWidth, kHeight, TImageFormat::TrueColor, nullptr, 300, 300);
    std::minstd_rand rng(1);
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = p->ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        const int noise = static_cast<int>(rng() % 13) - 6;
        auto ch = [&](int v) { return static_cast<uint8_t>(std::clamp(v + noise, 0, 255)); };
        row[3 * x] = ch(x * 255 / kWidth);
        row[3 * x + 1] = ch(y * 255 / kHeight);
        row[3 * x + 2] = ch(128 + ((x / 7 + y / 5) % 120) - ((x * y) >> 18) % 64);
      }
    }
    return p;
  }();
  return *image;
}

void SetRate(benchmark::State& state, double pixels) {
  state.counters["MP/s"] =
      benchmark::Counter(pixels / 1e6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The transform applied to the photo again and again, into a destination it reuses.
void Run(benchmark::State& state, TImageTransform& t) {
  const TDibGraphic& source = Photo();
  TDibGraphic dest;
  for (auto _ : state) t.ApplyOnDest(source, dest);
  SetRate(state, double(kWidth) * kHeight);
}

void Resize(benchmark::State& state, TResizeFilter filter, bool interpolate, int width, int height) {
  TResizeTransform t;
  t.NewWidth = width;
  t.NewHeight = height;
  t.Interpolate = interpolate;
  t.Filter = filter;
  Run(state, t);
}

void Convert(benchmark::State& state, TImageFormat format, bool quantize, bool dither) {
  TImageFormatTransform t;
  t.TargetFormat = format;
  t.UseQuantizer = quantize;
  t.UseDither = dither;
  Run(state, t);
}

void BM_Lanczos3To1500x1000(benchmark::State& s) { Resize(s, TResizeFilter::rfLanczos3, true, 1500, 1000); }
void BM_Lanczos3To9000x6000(benchmark::State& s) { Resize(s, TResizeFilter::rfLanczos3, true, 9000, 6000); }
void BM_TriangleTo3000x2000(benchmark::State& s) { Resize(s, TResizeFilter::rfTriangle, true, 3000, 2000); }
void BM_TriangleTo1500x1000(benchmark::State& s) { Resize(s, TResizeFilter::rfTriangle, true, 1500, 1000); }
void BM_StretchTo1500x1000(benchmark::State& s) { Resize(s, TResizeFilter::rfTriangle, false, 1500, 1000); }
void BM_Color256QuantizedDithered(benchmark::State& s) { Convert(s, TImageFormat::Color256, true, true); }
void BM_Color16QuantizedUndithered(benchmark::State& s) { Convert(s, TImageFormat::Color16, true, false); }
void BM_Color16FixedUndithered(benchmark::State& s) { Convert(s, TImageFormat::Color16, false, false); }
void BM_BlackWhiteDithered(benchmark::State& s) { Convert(s, TImageFormat::BlackWhite, false, true); }

// 256 colours chosen from 30000 candidates (each key used 21 times, above every threshold).
void BM_QuantizeSelect256Of30000(benchmark::State& state) {
  TDibGraphic image;
  image.NewImage(1000, 630, TImageFormat::TrueColor, nullptr, 0, 0);
  std::vector<int> keys(32768);
  for (int k = 0; k < 32768; ++k) keys[static_cast<size_t>(k)] = k;
  std::shuffle(keys.begin(), keys.end(), std::minstd_rand(2));
  for (int i = 0; i < 1000 * 630; ++i) {
    const int key = keys[static_cast<size_t>(i / 21)];
    image.SetPixel(i % 1000, i / 1000,
                   PackColor(static_cast<uint8_t>((key & 31) << 3), static_cast<uint8_t>(((key >> 5) & 31) << 3),
                             static_cast<uint8_t>((key >> 10) << 3)));
  }
  TDibPalette palette{};
  for (auto _ : state) {
    uint8_t percent = 255;
    QuantizePalette(image, palette, 256, percent, nullptr);
    benchmark::DoNotOptimize(palette);
  }
}

}  // namespace

BENCHMARK(BM_Lanczos3To1500x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3To9000x6000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TriangleTo3000x2000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TriangleTo1500x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StretchTo1500x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Color256QuantizedDithered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Color16QuantizedUndithered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Color16FixedUndithered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlackWhiteDithered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QuantizeSelect256Of30000)->Unit(benchmark::kMillisecond)->UseRealTime();
