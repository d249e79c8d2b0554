// What the benchmarks of the view share: a shown view of 1600 x 1000, the redraw and scroll-step
// loops, and the main that runs the benchmarks in an application object on the offscreen platform.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <functional>
#include <memory>
#include <vector>

#include "platform/QvQtPlatform.h"
#include "view/QvImageScrollBox.h"

namespace qvbench {

inline constexpr int kViewWidth = 1600, kViewHeight = 1000;

// A view whose client area is kViewWidth x kViewHeight, shown, without a picture yet.
// Views a benchmark program keeps between benchmarks: closed before its application object goes,
// since a widget must not outlive it.
inline std::vector<std::unique_ptr<quorvane::TImageScrollBox>>& KeptViews() {
  static std::vector<std::unique_ptr<quorvane::TImageScrollBox>> views;
  return views;
}

inline std::unique_ptr<quorvane::TImageScrollBox> ShownView() {
  auto view = std::make_unique<quorvane::TImageScrollBox>();
  view->resize(kViewWidth, kViewHeight);
  view->show();
  QApplication::processEvents();
  return view;
}

// Fit-to-window for a zoom of 0, else the zoom in percent.
inline void SetZoom(quorvane::TImageScrollBox& view, float zoom) {
  if (zoom == 0)
    view.SetZoomMode(quorvane::TZoomMode::zmFullPage);
  else
    view.SetZoomPercent(zoom);
}

// Redraw and paint the viewport, as a zoom change on screen does (Changed: as after an operation
// changed the picture).
inline void RedrawAndPaint(quorvane::TImageScrollBox& view, bool changed = false) {
  view.Redraw(changed);
  view.viewport()->repaint();
}

// Redraws at Zoom; the counter "display" is the width of the display copy.
inline void RunRedraw(benchmark::State& state, quorvane::TImageScrollBox& view, float zoom) {
  SetZoom(view, zoom);
  for (auto _ : state) RedrawAndPaint(view);
  state.counters["display"] = view.DisplayWidth();
}

// A wheel step (three lines) down at 400 %, painted; at the bottom it starts again at the top,
// so the window is rebuilt whenever the view leaves its margin, as on screen.
inline void RunScrollStep(benchmark::State& state, quorvane::TImageScrollBox& view) {
  view.SetZoomPercent(400.0f);
  QScrollBar* bar = view.verticalScrollBar();
  for (auto _ : state) {
    const int next = bar->value() + 3 * bar->singleStep();
    bar->setValue(next > bar->maximum() ? 0 : next);
    view.viewport()->repaint();
  }
}

// Registers the benchmarks with RegisterBenchmarks and runs them in a QApplication (offscreen unless
// QT_QPA_PLATFORM says otherwise) with the Qt platform installed.
inline int RunViewBenchmarks(int argc, char** argv, const std::function<void()>& registerBenchmarks) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvane::InstallQtPlatform();
  registerBenchmarks();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  KeptViews().clear();
  return 0;
}

}  // namespace qvbench
