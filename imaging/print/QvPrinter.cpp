#include "print/QvPrinter.h"

#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include "model/QvExcept.h"

namespace quorvane {

namespace {

[[noreturn]] void ThrowNotPrinting() { throw EQuorvaneError("Printer is not currently printing"); }
[[noreturn]] void ThrowInProgress() { throw EQuorvaneError("Printing in progress"); }

}  // namespace

TPrinter::TPrinter(QPrinter& device) : FDevice(device) {}

TPrinter::~TPrinter() { Abort(); }

TPrinterMetrics TPrinter::Metrics() const {
  const int resolution = FDevice.resolution();
  const QRect printable = FDevice.pageLayout().paintRectPixels(resolution);
  TPrinterMetrics metrics;
  metrics.PageWidth = printable.width();
  metrics.PageHeight = printable.height();
  metrics.PixelsPerInchX = FDevice.logicalDpiX();
  metrics.PixelsPerInchY = FDevice.logicalDpiY();
  metrics.OffsetX = printable.left();
  metrics.OffsetY = printable.top();
  return metrics;
}

std::string TPrinter::Title() const { return FDevice.docName().toStdString(); }

void TPrinter::SetTitle(const std::string& title) { FDevice.setDocName(QString::fromStdString(title)); }

TPrinterOrientation TPrinter::Orientation() const {
  return FDevice.pageLayout().orientation() == QPageLayout::Landscape ? TPrinterOrientation::poLandscape
                                                                      : TPrinterOrientation::poPortrait;
}

void TPrinter::SetOrientation(TPrinterOrientation value) {
  if (Printing()) ThrowInProgress();
  FDevice.setPageOrientation(value == TPrinterOrientation::poLandscape ? QPageLayout::Landscape
                                                                       : QPageLayout::Portrait);
}

void TPrinter::BeginDoc() {
  if (Printing()) ThrowInProgress();
  auto canvas = std::make_unique<QPainter>();
  if (!canvas->begin(&FDevice)) throw EQuorvaneError("The printer could not start the print job");
  FCanvas = std::move(canvas);
}

void TPrinter::EndDoc() {
  if (!Printing()) ThrowNotPrinting();
  const bool finished = FCanvas->end();
  FCanvas.reset();
  if (!finished) throw EQuorvaneError("The printer could not finish the print job");
}

void TPrinter::Abort() noexcept {
  if (!Printing()) return;
  FDevice.abort();
  FCanvas->end();
  FCanvas.reset();
  // A PDF file cannot be cancelled half-way: ending it writes what was drawn so far. Remove it,
  // so an aborted job never looks like a printed one.
  if (FDevice.outputFormat() == QPrinter::PdfFormat && !FDevice.outputFileName().isEmpty())
    QFile::remove(FDevice.outputFileName());
}

QPainter& TPrinter::Canvas() {
  if (!Printing()) ThrowNotPrinting();
  return *FCanvas;
}

}  // namespace quorvane
