// A step through a folder of 24-megapixel JPEG photographs (6000 x 4000) in the window, under the
// offscreen platform: Right and Left alternately, each to a picture the preloader has read ahead,
// until the view has been redrawn and painted. The wait for the read ahead is outside the timing;
// it stands for the time a user looks at a picture. A step without reading ahead (the file read
// in the step) is beside it for comparison. The window is 1600 x 1000, fitted and at 100 %.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "BenchPhoto.h"
#include "TBrindlexApplication.h"
#include "TPreloader.h"
#include "TfrmImageConverter.h"
#include "formats/QvFormats.h"
#include "model/QvDiGrph.h"
#include "model/QvDiGrphRegistry.h"
#include "platform/QvQtPlatform.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

// The benchmarks' photograph, a different one for each Seed, written as File.
void WritePhoto(const std::string& fileName, int seed) {
  std::unique_ptr<TDibGraphic> p = CreateGraphicForFile(fileName);
  qvbench::FillPhoto(*p, static_cast<unsigned>(seed), seed * 20);
  p->SaveToFile(fileName);
}

struct TFixture {
  QTemporaryDir Folder;
  std::unique_ptr<brindlex::TfrmImageConverter> Window;

  TFixture() {
    for (int i = 1; i <= 2; ++i)
      WritePhoto(QDir(Folder.path()).filePath(QStringLiteral("photo%1.jpg").arg(i)).toStdString(), i);
    Window = std::make_unique<brindlex::TfrmImageConverter>();
    Window->resize(1600, 1000);
    Window->show();
    QApplication::processEvents();
    Window->OpenFile(QDir(Folder.path()).filePath(QStringLiteral("photo1.jpg")));
  }
};

// Made by the first benchmark, freed before the application object.
std::unique_ptr<TFixture> gFixture;

TFixture& Fixture() {
  if (!gFixture) gFixture = std::make_unique<TFixture>();
  return *gFixture;
}

// Steps to the other photograph and paints it.
void Step(brindlex::TfrmImageConverter& window, bool& forward) {
  window.Action(forward ? QStringLiteral("acNextFile") : QStringLiteral("acPreviousFile"))->trigger();
  window.ImageScrollBox().viewport()->repaint();
  forward = !forward;
}

void BM_Step(benchmark::State& state, bool fit, bool preloaded) {
  brindlex::TfrmImageConverter& window = *Fixture().Window;
  window.Action(fit ? QStringLiteral("acFullPage") : QStringLiteral("acActualSize"))->trigger();
  bool forward = window.CurrentFileName().endsWith(QStringLiteral("photo1.jpg"));
  for (auto _ : state) {
    state.PauseTiming();
    window.Preloader().WaitIdle();
    // Without reading ahead: what was read is dropped, so the step reads the file itself.
    if (!preloaded) window.Preloader().SetWanted({});
    state.ResumeTiming();
    Step(window, forward);
  }
  if (window.ImageScrollBox().Graphic().Width() != 6000) state.SkipWithError("the photograph was not shown");
  state.counters["display"] = window.ImageScrollBox().DisplayWidth();
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The window reads and writes its settings: a private folder keeps the user's untouched.
  const QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
  brindlex::TBrindlexApplication app(argc, argv);
  RegisterStandardGraphicFormats();
  InstallQtPlatform();
  for (const bool fit : {true, false}) {
    const std::string zoom = fit ? "fit" : "100";
    benchmark::RegisterBenchmark(("StepPreloaded/Jpeg24MP/" + zoom).c_str(), BM_Step, fit, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("StepReading/Jpeg24MP/" + zoom).c_str(), BM_Step, fit, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(6);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  gFixture.reset();
  return 0;
}
