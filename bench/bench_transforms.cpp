// Transforms on 6000 x 4000 TrueColor and Color256 images, next to a memcpy of the same pixel
// block in the same run. Run: bench_transforms --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "model/QvDiGrph.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photograph-like picture: smooth gradients with some noise, so that neighbouring pixels are
// similar but rarely equal.
const TDibGraphic& Picture(TImageFormat format) {
  static std::unique_ptr<TDibGraphic> images[kImageFormatCount];
  auto& image = images[static_cast<int>(format)];
  if (!image) {
    image = std::make_unique<TDibGraphic>();
    image->NewImage(kWidth, kHeight, format, nullptr, 300, 300);
    std::mt19937 rng(1);
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = image->ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        const int noise = static_cast<int>(rng() % 9) - 4;
        const int r = (x * 255 / kWidth + noise) & 255, g = (y * 255 / kHeight + noise) & 255,
                  b = ((x + y) * 255 / (kWidth + kHeight) - noise) & 255;
        if (format == TImageFormat::TrueColor) {
          row[3 * x] = static_cast<uint8_t>(b);
          row[3 * x + 1] = static_cast<uint8_t>(g);
          row[3 * x + 2] = static_cast<uint8_t>(r);
        } else {
          row[x] = static_cast<uint8_t>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
        }
      }
    }
  }
  return *image;
}

TImageFormat FormatOf(const benchmark::State& state) {
  return state.range(0) == 24 ? TImageFormat::TrueColor : TImageFormat::Color256;
}

void SetRates(benchmark::State& state, const TDibGraphic& source) {
  const double pixels = static_cast<double>(kWidth) * kHeight;
  state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.ImageSize()));
}

// memcpy of the source's pixel block into a buffer that already exists.
void BM_Memcpy(benchmark::State& state) {
  const TDibGraphic& source = Picture(FormatOf(state));
  std::vector<uint8_t> target(source.ImageSize(), 1);
  for (auto _ : state) {
    std::memcpy(target.data(), source.Bits(), source.ImageSize());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  SetRates(state, source);
}

// Assign: a fresh pixel block (the cost every transform pays for its result) plus the memcpy.
void BM_Assign(benchmark::State& state) {
  const TDibGraphic& source = Picture(FormatOf(state));
  TDibGraphic target;
  target.Assign(&source);  // the first touch of a fresh block is not what is measured
  for (auto _ : state) target.Assign(&source);
  SetRates(state, source);
}

template <typename TTransform>
void RunTransform(benchmark::State& state, TTransform& transform) {
  const TDibGraphic& source = Picture(FormatOf(state));
  TDibGraphic target;
  transform.ApplyOnDest(source, target);  // warm-up: the destination block exists from here on
  for (auto _ : state) transform.ApplyOnDest(source, target);
  SetRates(state, source);
}

template <typename TTransform>
void BM_Transform(benchmark::State& state) {
  TTransform transform;
  RunTransform(state, transform);
}

void BM_Rotate(benchmark::State& state) {
  TRotateTransform transform;
  transform.Angle = static_cast<double>(state.range(1)) / 10;
  RunTransform(state, transform);
}

void BM_Crop(benchmark::State& state) {
  TCropTransform transform;
  transform.CropLeft = 10;
  transform.CropTop = 10;
  transform.CropRight = 10;
  transform.CropBottom = 10;
  RunTransform(state, transform);
}

void Formats(benchmark::internal::Benchmark* b) { b->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime(); }

}  // namespace

BENCHMARK(BM_Memcpy)->Apply(Formats);
BENCHMARK(BM_Assign)->Apply(Formats);
BENCHMARK(BM_Transform<TFlipHorizontalTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TFlipVerticalTransform>)->Apply(Formats);
BENCHMARK(BM_Rotate)->ArgsProduct({{24, 8}, {900, 1800, 2700, 150}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Crop)->Apply(Formats);
BENCHMARK(BM_Transform<TNegativeTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TGammaTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TConvertToGrayTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TBrightnessTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TContrastTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TSharpenTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TSmoothTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TEdgeTransform>)->Apply(Formats);
BENCHMARK(BM_Transform<TEmbossTransform>)->Apply(Formats);
