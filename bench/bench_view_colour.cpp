// The cost of colour management in the view, under the offscreen platform: the redraw (display
// window built, converted and painted) of a 6000 x 4000 TrueColor photograph with an embedded
// wide-gamut profile against the same photograph without one, at fit-to-window in a 1600 x 1000
// view and at 100 % and 400 %, a scroll step at 400 %, and the redraw after the picture changed
// (which converts the whole picture again).
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "model/QvDiGrph.h"
#include "platform/QvQtPlatform.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

constexpr int kViewWidth = 1600, kViewHeight = 1000;

// The primaries of the common wide-gamut working space, D65, gamma 2.2.
std::vector<uint8_t> WideGamutProfile() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// Smooth gradients with mild noise, like a photograph.
std::unique_ptr<TDibGraphic> MakePhoto(bool withProfile) {
  auto p = std::make_unique<TDibGraphic>();
  p->NewImage(6000, 4000, TImageFormat::TrueColor, nullptr, 300, 300);
  std::minstd_rand rng(1);
  for (int y = 0; y < p->Height(); ++y) {
    uint8_t* row = p->ScanLine(y);
    for (int x = 0; x < p->Width(); ++x) {
      const int noise = static_cast<int>(rng() % 13) - 6;
      auto ch = [&](int v) { return static_cast<uint8_t>(std::clamp(v + noise, 0, 255)); };
      row[3 * x] = ch(x * 255 / p->Width());
      row[3 * x + 1] = ch(y * 255 / p->Height());
      row[3 * x + 2] = ch(128 + ((x / 7 + y / 5) % 120));
    }
  }
  if (withProfile) p->SetIccProfile(WideGamutProfile());
  return p;
}

// One shown view per case (0: no profile, 1: profile), kept between benchmarks.
TImageScrollBox& View(int profiled) {
  static std::unique_ptr<TDibGraphic> pictures[2];
  static std::unique_ptr<TImageScrollBox> views[2];
  auto& view = views[profiled];
  if (!view) {
    pictures[profiled] = MakePhoto(profiled != 0);
    view = std::make_unique<TImageScrollBox>();
    view->resize(kViewWidth, kViewHeight);
    view->show();
    QApplication::processEvents();
    view->SetPicture(pictures[profiled].get());
  }
  return *view;
}

void BM_Redraw(benchmark::State& state, int profiled, float zoom) {
  TImageScrollBox& view = View(profiled);
  if (zoom == 0)
    view.SetZoomMode(TZoomMode::zmFullPage);
  else
    view.SetZoomPercent(zoom);
  for (auto _ : state) {
    view.Redraw(false);
    view.viewport()->repaint();
  }
  state.counters["display"] = view.DisplayWidth();
}

// A redraw after the picture changed (an operation applied): the converted copy of the whole
// picture is made again.
void BM_RedrawChanged(benchmark::State& state, int profiled) {
  TImageScrollBox& view = View(profiled);
  view.SetZoomMode(TZoomMode::zmFullPage);
  for (auto _ : state) {
    view.Redraw(true);
    view.viewport()->repaint();
  }
}

void BM_ScrollStep(benchmark::State& state, int profiled) {
  TImageScrollBox& view = View(profiled);
  view.SetZoomPercent(400.0f);
  QScrollBar* bar = view.verticalScrollBar();
  for (auto _ : state) {
    const int next = bar->value() + 3 * bar->singleStep();
    bar->setValue(next > bar->maximum() ? 0 : next);
    view.viewport()->repaint();
  }
}

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

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InstallQtPlatform();
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
