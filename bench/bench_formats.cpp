// File format benchmarks: reading and writing a 6000 x 4000 picture, 24-bit and 8-bit, as PCX and
// as Targa (uncompressed and run-length), in megapixels per second, next to a plain copy of the
// same pixel block measured in the same run. Streams are in memory so the disk does not count.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "formats/QvPcxGr.h"
#include "formats/QvTgaGr.h"
#include "model/QvDiGrph.h"

using namespace quorvane;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr double kMegapixels = kWidth * static_cast<double>(kHeight) / 1e6;

// A photo-like picture: smooth gradients with a little noise, so run-length coders see short runs
// in some places and none in others, as in real photographs.
void Fill(TDibGraphic& image) {
  uint32_t seed = 12345;
  const bool rgb = image.ImageFormat() == TImageFormat::TrueColor;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint8_t noise = static_cast<uint8_t>((seed >> 30) * ((x / 300 + y / 200) % 2));
      if (rgb) {
        row[3 * x] = static_cast<uint8_t>(x / 24 + noise);
        row[3 * x + 1] = static_cast<uint8_t>(y / 16 + noise);
        row[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
      } else {
        row[x] = static_cast<uint8_t>((x / 40 + y / 30) + noise);
      }
    }
  }
}

const TDibGraphic& Picture(TImageFormat format) {
  static TDibGraphic rgb, mapped;
  TDibGraphic& image = format == TImageFormat::TrueColor ? rgb : mapped;
  if (image.Empty()) {
    TDibPalette palette;
    palette.Count = 256;
    for (int i = 0; i < 256; ++i)
      palette.Entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7), 0};
    image.NewImage(kWidth, kHeight, format, format == TImageFormat::TrueColor ? nullptr : &palette, 0, 0);
    Fill(image);
  }
  return image;
}

template <class TGraphic>
std::vector<uint8_t> Encoded(TImageFormat format) {
  TGraphic writer;
  writer.Assign(&Picture(format));
  TMemoryStream stream;
  writer.SaveToStream(stream);
  return stream.Data();
}

// The run-length Targa of an uncompressed one (the writer stores no run-length files): runs of
// equal pixels become run packets, everything else raw packets, packets crossing rows freely.
std::vector<uint8_t> TargaRunLength(const std::vector<uint8_t>& plain, size_t pixelBytes) {
  size_t header = 18 + plain[0];
  if (plain[1] != 0) header += static_cast<size_t>(plain[5] | plain[6] << 8) * ((plain[7] + 7u) / 8);
  std::vector<uint8_t> out(plain.begin(), plain.begin() + static_cast<ptrdiff_t>(header));
  out[2] = static_cast<uint8_t>(out[2] + 8);
  const uint8_t* pixels = plain.data() + header;
  const size_t count = (plain.size() - header) / pixelBytes;
  auto same = [&](size_t a, size_t b) {
    return std::memcmp(pixels + a * pixelBytes, pixels + b * pixelBytes, pixelBytes) == 0;
  };
  for (size_t i = 0; i < count;) {
    size_t run = 1;
    while (i + run < count && run < 128 && same(i, i + run)) ++run;
    if (run > 1) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), pixels + i * pixelBytes, pixels + (i + 1) * pixelBytes);
      i += run;
      continue;
    }
    size_t raw = 1;
    while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1))) ++raw;
    out.push_back(static_cast<uint8_t>(raw - 1));
    out.insert(out.end(), pixels + i * pixelBytes, pixels + (i + raw) * pixelBytes);
    i += raw;
  }
  return out;
}

void SetRate(benchmark::State& state, size_t fileBytes) {
  state.counters["MP/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
}

void BM_MemcpyPixelBlock(benchmark::State& state) {
  const TDibGraphic& source = Picture(static_cast<TImageFormat>(state.range(0)));
  std::vector<uint8_t> copy(source.ImageSize());
  for (auto _ : state) {
    std::memcpy(copy.data(), source.Bits(), source.ImageSize());
    benchmark::ClobberMemory();
  }
  SetRate(state, source.ImageSize());
}

template <class TGraphic>
void ReadFile(benchmark::State& state, const std::vector<uint8_t>& file) {
  TMemoryStream stream(file);
  TGraphic image;
  for (auto _ : state) {
    stream.SetPosition(0);
    image.LoadFromStream(stream);
    benchmark::DoNotOptimize(image.Bits());
  }
  SetRate(state, file.size());
}

template <class TGraphic>
void BM_Read(benchmark::State& state) {
  ReadFile<TGraphic>(state, Encoded<TGraphic>(static_cast<TImageFormat>(state.range(0))));
}

void BM_ReadTargaRunLength(benchmark::State& state) {
  const auto format = static_cast<TImageFormat>(state.range(0));
  ReadFile<TTgaGraphic>(state, TargaRunLength(Encoded<TTgaGraphic>(format), format == TImageFormat::TrueColor ? 3 : 1));
}

template <class TGraphic>
void BM_Write(benchmark::State& state) {
  TGraphic writer;
  writer.Assign(&Picture(static_cast<TImageFormat>(state.range(0))));
  TMemoryStream stream;
  writer.SaveToStream(stream);  // sizes the stream's buffer outside the measurement
  const size_t bytes = stream.Data().size();
  for (auto _ : state) {
    stream.Clear();
    writer.SaveToStream(stream);
    benchmark::DoNotOptimize(stream.Data().data());
  }
  SetRate(state, bytes);
}

constexpr int kRgb = static_cast<int>(TImageFormat::TrueColor);
constexpr int kMapped = static_cast<int>(TImageFormat::Color256);

BENCHMARK(BM_MemcpyPixelBlock)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Read, TPcxGraphic)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Write, TPcxGraphic)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Read, TTgaGraphic)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Write, TTgaGraphic)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ReadTargaRunLength)
    ->ArgName("format")
    ->Arg(kRgb)
    ->Arg(kMapped)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
