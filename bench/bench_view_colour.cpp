// The cost of colour management in the view, under the offscreen platform: the redraw (display
// window built, converted and painted) of a 6000 x 4000 TrueColor photograph with an embedded
// wide-gamut profile against the same photograph without one, at fit-to-window in a 1600 x 1000
// view and at 100 % and 400 %, a scroll step at 400 %, and the redraw after the picture changed
// (which converts the whole picture again).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "../tests/support/TestProfiles.h"
#include "BenchPhoto.h"
#include "BenchView.h"
#include "model/QvDiGrph.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

// One shown view per case (0: no profile, 1: profile), kept between benchmarks.
TImageScrollBox& View(int profiled) {
  static std::unique_ptr<TDibGraphic> pictures[2];
  static TImageScrollBox* views[2] = {};
  if (!views[profiled]) {
    pictures[profiled] = qvbench::MakePhoto();
    if (profiled) pictures[profiled]->SetIccProfile(qvtest::WideGamutProfile());
    views[profiled] = qvbench::KeptViews().emplace_back(qvbench::ShownView()).get();
    views[profiled]->SetPicture(pictures[profiled].get());
  }
  return *views[profiled];
}

void BM_Redraw(benchmark::State& state, int profiled, float zoom) { qvbench::RunRedraw(state, View(profiled), zoom); }

// A redraw after the picture changed (an operation applied): the converted copy of the whole
// picture is made again.
void BM_RedrawChanged(benchmark::State& state, int profiled) {
  TImageScrollBox& view = View(profiled);
  view.SetZoomMode(TZoomMode::zmFullPage);
  for (auto _ : state) qvbench::RedrawAndPaint(view, true);
}

void BM_ScrollStep(benchmark::State& state, int profiled) { qvbench::RunScrollStep(state, View(profiled)); }

void Register() {
  const struct {
    const char* Name;
    int Profiled;
  } cases[] = {{"NoProfile", 0}, {"WideGamutProfile", 1}};
  const struct {
    const char* Name;
    float Zoom;
  } zooms[] = {{"fit", 0.0f}, {"100", 100.0f}, {"400", 400.0f}};
  for (const auto& z : zooms)
    for (const auto& c : cases)
      benchmark::RegisterBenchmark((std::string("Redraw/") + c.Name + "/" + z.Name).c_str(), BM_Redraw, c.Profiled,
                                   z.Zoom)
          ->Unit(benchmark::kMillisecond);
  for (const auto& c : cases)
    benchmark::RegisterBenchmark((std::string("ScrollStep/") + c.Name + "/400").c_str(), BM_ScrollStep, c.Profiled)
        ->Unit(benchmark::kMillisecond);
  for (const auto& c : cases)
    benchmark::RegisterBenchmark((std::string("RedrawChanged/") + c.Name + "/fit").c_str(), BM_RedrawChanged,
                                 c.Profiled)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) { return qvbench::RunViewBenchmarks(argc, argv, Register); }
