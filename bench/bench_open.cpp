// Opening a 24-megapixel JPEG in the window (offscreen platform): the decode alone, then the
// window's Open until the picture is painted, with the peak resident memory of the open and of
// every zoom shown after it. The file is QV_OPEN_JPEG (bench/compare's photograph written as a
// JPEG does). Run one benchmark per process for memory figures that start from a fresh window:
//   bench_open --benchmark_filter=Open/fit
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <fstream>
#include <memory>
#include <string>

#include "TBrindlexApplication.h"
#include "TfrmImageConverter.h"
#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "platform/QvQtPlatform.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

std::string FileName() { return qEnvironmentVariable("QV_OPEN_JPEG").toStdString(); }

// A field of /proc/self/status in MB.
double StatusMB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == field + ":") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

// Resets the peak resident size to the current one.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_Decode(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(FileName());
    image->LoadFromFile(FileName());
    benchmark::DoNotOptimize(image->Bits());
  }
}

// Again: a second file opened over the first, whose picture is freed only once the new one is
// shown.
void BM_Open(benchmark::State& state, float zoom, bool again) {
  double openPeak = 0, zoomPeak = 0, before = 0;
  int redraws = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto window = std::make_unique<brindlex::TfrmImageConverter>();
    window->resize(1600, 1000);
    window->show();
    QApplication::processEvents();
    TImageScrollBox& view = window->ImageScrollBox();
    if (zoom == 0) view.SetZoomMode(TZoomMode::zmFullPage);
    if (again) {
      window->OpenFile(QString::fromStdString(FileName()));
      view.ImageControl()->repaint();
    }
    // The redraws the open makes (each builds the display part once).
    int opened = 0;
    view.OnRedraw = [&opened, shown = view.OnRedraw](TDibGraphic& graphic) {
      ++opened;
      if (shown) shown(graphic);
    };
    before = StatusMB("VmRSS");
    ResetPeak();
    state.ResumeTiming();
    window->OpenFile(QString::fromStdString(FileName()));
    view.ImageControl()->repaint();
    state.PauseTiming();
    openPeak = StatusMB("VmHWM");
    redraws = opened;
    for (float z : {25.0f, 100.0f, 400.0f, 1000.0f}) {
      view.SetZoomPercent(z);
      view.ImageControl()->repaint();
    }
    zoomPeak = StatusMB("VmHWM");
    window.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["rssBeforeMB"] = before;
  state.counters["peakOpenMB"] = openPeak;
  state.counters["peakZoomsMB"] = zoomPeak;
  state.counters["redraws"] = redraws;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  brindlex::TBrindlexApplication app(argc, argv);
  RegisterStandardGraphicFormats();
  InstallQtPlatform();
  if (!QFile::exists(QString::fromStdString(FileName()))) {
    fprintf(stderr, "Set QV_OPEN_JPEG to a large JPEG file.\n");
    return 1;
  }
  benchmark::RegisterBenchmark("Decode/jpeg", BM_Decode)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3)
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("Open/fit", BM_Open, 0.0f, false)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3)
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("Open/100", BM_Open, 100.0f, false)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3)
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("Open/fit/again", BM_Open, 0.0f, true)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3)
      ->MeasureProcessCPUTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
