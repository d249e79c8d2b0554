// The image view under the offscreen platform: a redraw (display window built and painted) of a
// 6000 x 4000 TrueColor photograph and of a BlackWhite A4 page at 300 dpi, at fit-to-window in a
// 1600 x 1000 view and at 100 %, 400 % and 1000 %, and a scroll step at 400 %. Each image has a
// memcpy of its source pixel block beside it (the whole block, and the block a zoomed view shows).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "BenchPhoto.h"
#include "BenchView.h"
#include "model/QvDiGrph.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

using qvbench::kViewHeight;
using qvbench::kViewWidth;

enum TSample { kPhoto = 0, kPage = 1 };

// A scanned text page: lines of black word blocks on white.
std::unique_ptr<TDibGraphic> MakePage() {
  auto p = std::make_unique<TDibGraphic>();
  p->NewImage(2480, 3508, TImageFormat::BlackWhite, nullptr, 300, 300);
  std::minstd_rand rng(2);
  for (int y = 0; y < p->Height(); ++y) {
    uint8_t* row = p->ScanLine(y);
    const bool textLine = (y % 50) < 30 && y > 200 && y < 3300;
    for (int b = 0; b < p->BytesPerLine(); ++b)
      row[b] = textLine && b > 25 && b < 290 && (b / 6) % 4 != 0 ? static_cast<uint8_t>(rng()) : 0xFF;
  }
  return p;
}

const TDibGraphic& Sample(int which) {
  static const std::unique_ptr<TDibGraphic> photo = qvbench::MakePhoto();
  static const std::unique_ptr<TDibGraphic> page = MakePage();
  return which == kPhoto ? *photo : *page;
}

// One shown view per sample, kept between benchmarks; its client area is 1600 x 1000.
TImageScrollBox& View(int which) {
  static TImageScrollBox* views[2] = {};
  if (!views[which]) {
    views[which] = qvbench::KeptViews().emplace_back(qvbench::ShownView()).get();
    views[which]->SetGraphic(Sample(which));
  }
  return *views[which];
}

void BM_Redraw(benchmark::State& state, int which, float zoom) { qvbench::RunRedraw(state, View(which), zoom); }

void BM_ScrollStep(benchmark::State& state, int which) { qvbench::RunScrollStep(state, View(which)); }

// memcpy of Rows x RowBytes of the source: the whole block, or the part a zoomed view shows.
void BM_Memcpy(benchmark::State& state, int which, float zoom) {
  const TDibGraphic& image = Sample(which);
  size_t rows = static_cast<size_t>(image.Height());
  size_t rowBytes = static_cast<size_t>(image.BytesPerLine());
  if (zoom > 0) {
    rows = std::min(rows, static_cast<size_t>(kViewHeight * 100 / zoom));
    rowBytes = std::min(rowBytes, static_cast<size_t>(kViewWidth * 100 / zoom) * image.BitCount() / 8);
  }
  std::vector<uint8_t> target(rows * rowBytes);
  for (auto _ : state) {
    for (size_t y = 0; y < rows; ++y)
      std::memcpy(target.data() + y * rowBytes, image.ScanLine(static_cast<int>(y)), rowBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rows * rowBytes));
}

void Register() {
  const struct {
    const char* Name;
    int Which;
  } samples[] = {{"TrueColor6000x4000", kPhoto}, {"BlackWhiteA4", kPage}};
  const struct {
    const char* Name;
    float Zoom;
  } zooms[] = {{"fit", 0.0f}, {"100", 100.0f}, {"400", 400.0f}, {"1000", 1000.0f}};
  for (const auto& s : samples) {
    for (const auto& z : zooms) {
      const std::string suffix = std::string(s.Name) + "/" + z.Name;
      benchmark::RegisterBenchmark(("Redraw/" + suffix).c_str(), BM_Redraw, s.Which, z.Zoom)
          ->Unit(benchmark::kMillisecond);
      // The same with the processor time of every thread of the process (the library's bands
      // and Qt's own painting threads), not only of the thread that redraws.
      benchmark::RegisterBenchmark(("Redraw/" + suffix).c_str(), BM_Redraw, s.Which, z.Zoom)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime();
      benchmark::RegisterBenchmark(("Memcpy/" + suffix).c_str(), BM_Memcpy, s.Which, z.Zoom)
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark((std::string("ScrollStep/") + s.Name + "/400").c_str(), BM_ScrollStep, s.Which)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) { return qvbench::RunViewBenchmarks(argc, argv, Register); }
