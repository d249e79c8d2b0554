// The clipboard under the offscreen platform, with a copied 6000 x 4000 TrueColor photograph:
// the Copy command itself, and the time from a paste request for one of the offered formats to
// its data. A request is served as the window system's clipboard serves another program: the data
// the clipboard's mime data hands out for the type, or, where it hands out none, the picture
// encoded then and there on the asking thread. "Fresh" requests come at once after the Copy (the
// worst case: nothing is ready yet), "Ready" ones a while after it.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QThread>
#include <atomic>
#include <memory>

#include "BenchPhoto.h"
#include "model/QvDiGrph.h"
#include "platform/QvDiGrphQt.h"
#include "platform/QvDiGrphQtClipboard.h"
#include "platform/QvQtPlatform.h"

using namespace quorvane;

namespace {

const TDibGraphic& Photo() {
  static const std::unique_ptr<TDibGraphic> photo = qvbench::MakePhoto();
  return *photo;
}

// What the clipboard hands a program that asks for MimeType.
QByteArray ServeRequest(const QString& mimeType) {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  QByteArray bytes = data->data(mimeType);
  if (bytes.isEmpty() && data->hasImage()) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    qvariant_cast<QImage>(data->imageData()).save(&buffer, mimeType.mid(6).toUpper().toLatin1().constData());
  }
  return bytes;
}

void BM_Copy(benchmark::State& state) {
  for (auto _ : state) CopyToClipboard(Photo(), *QGuiApplication::clipboard());
}

void BM_PasteRequest(benchmark::State& state, const char* mimeType, bool fresh) {
  const QString type = QString::fromLatin1(mimeType);
  qsizetype size = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CopyToClipboard(Photo(), *QGuiApplication::clipboard());
    if (!fresh) QThread::msleep(3000);
    state.ResumeTiming();
    size = ServeRequest(type).size();
  }
  state.counters["MB"] = static_cast<double>(size) / 1e6;
}

// The encodings alone, on the calling thread.
void BM_Encode(benchmark::State& state, bool png) {
  QImage bitmap;
  AssignTo(Photo(), bitmap);
  bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
  const std::atomic<bool> cancelled{false};
  qsizetype size = 0;
  for (auto _ : state) size = (png ? EncodeClipboardPng(bitmap, cancelled) : EncodeClipboardBmp(bitmap)).size();
  state.counters["MB"] = static_cast<double>(size) / 1e6;
}

// A paste inside the program: the clipboard's image read back into an image.
void BM_PasteInside(benchmark::State& state) {
  CopyToClipboard(Photo(), *QGuiApplication::clipboard());
  TDibGraphic pasted;
  for (auto _ : state) Assign(pasted, *QGuiApplication::clipboard());
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  InstallQtPlatform();
  benchmark::RegisterBenchmark("Copy/TrueColor6000x4000", BM_Copy)->Unit(benchmark::kMillisecond);
  for (const char* type : {"image/png", "image/bmp"}) {
    benchmark::RegisterBenchmark((std::string("PasteRequest/Fresh/") + type).c_str(), BM_PasteRequest, type, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    benchmark::RegisterBenchmark((std::string("PasteRequest/Ready/") + type).c_str(), BM_PasteRequest, type, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
  }
  benchmark::RegisterBenchmark("Encode/png", BM_Encode, true)->Unit(benchmark::kMillisecond)->Iterations(3);
  // The same with the processor time of every thread (the PNG's bands run on the library's).
  benchmark::RegisterBenchmark("Encode/png", BM_Encode, true)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3)
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("Encode/bmp", BM_Encode, false)->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("PasteInside/TrueColor6000x4000", BM_PasteInside)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
