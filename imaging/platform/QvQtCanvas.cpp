#include "platform/QvQtCanvas.h"

#include <algorithm>
#include <vector>

#include "model/QvDiGrphRows.h"
#include "model/QvExcept.h"

namespace quorvane {

QImage ImageToQImage(const TDibGraphic& image) {
  QImage result(image.Width(), image.Height(), QImage::Format_RGB32);
  if (result.isNull()) throw EOutOfResources("Out of system resources");
  std::vector<uint8_t> scratch;
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* bgr = RowAsBgr(image, y, 0, image.Width(), scratch);
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < image.Width(); ++x, bgr += 3) out[x] = qRgb(bgr[2], bgr[1], bgr[0]);
  }
  return result;
}

void CopyQImageIntoImage(const QImage& source, TDibGraphic& image) {
  const QImage surface =
      source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
  const int width = std::min(surface.width(), image.Width());
  const int height = std::min(surface.height(), image.Height());
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(std::max(width, 0)));
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(surface.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      bgr[3 * x] = static_cast<uint8_t>(qBlue(in[x]));
      bgr[3 * x + 1] = static_cast<uint8_t>(qGreen(in[x]));
      bgr[3 * x + 2] = static_cast<uint8_t>(qRed(in[x]));
    }
    WriteBgrToRow(image, y, 0, width, bgr.data());
  }
}

TQtCanvas::TQtCanvas(TDibGraphic& image) : FImage(image), FSurface(ImageToQImage(image)) { FPainter.begin(&FSurface); }

TQtCanvas::~TQtCanvas() {
  try {
    Commit();
  } catch (...) {
    // Only a failed allocation of a row buffer gets here; the image keeps its earlier pixels.
  }
}

void TQtCanvas::Commit() {
  if (FCommitted) return;
  FCommitted = true;
  FPainter.end();
  CopyQImageIntoImage(FSurface, FImage);
}

}  // namespace quorvane
