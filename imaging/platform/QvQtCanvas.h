// A drawing surface over an image, for the few places that draw text, icons or platform
// pictures onto one: a QPainter on a temporary 32-bit copy whose pixels go back into the image's
// rows when the canvas ends (palette images take the nearest entry of each colour).
#pragma once

#include <QImage>
#include <QPainter>

#include "model/QvDiGrph.h"

namespace quorvane {

class TQtCanvas {
 public:
  // The image must not be empty; it must outlive the canvas and not change size meanwhile.
  explicit TQtCanvas(TDibGraphic& image);
  // Ends painting and writes the pixels back, unless Commit already did.
  ~TQtCanvas();
  TQtCanvas(const TQtCanvas&) = delete;
  TQtCanvas& operator=(const TQtCanvas&) = delete;

  QPainter& Painter() { return FPainter; }
  // Ends painting and writes the pixels back into the image now.
  void Commit();

 private:
  TDibGraphic& FImage;
  QImage FSurface;
  QPainter FPainter;
  bool FCommitted = false;
};

// The image's pixels as a 32-bit Qt image (0xffRRGGBB), and the way back.
QImage ImageToQImage(const TDibGraphic& image);
void CopyQImageIntoImage(const QImage& source, TDibGraphic& image);

}  // namespace quorvane
