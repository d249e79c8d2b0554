#include "print/QvPrint.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "colour/QvColour.h"
#include "model/QvExcept.h"
#include "model/QvMisc.h"

namespace quorvane {

namespace {

// Quotients of the placement rules are taken in floating point; a divisor of 0 is refused
// rather than turned into an infinite coordinate.
double Quotient(double dividend, double divisor) {
  if (divisor == 0.0) throw EQuorvaneError("Floating point division by zero");
  return dividend / divisor;
}

// Cuts toward zero into a device coordinate; values the 32-bit range cannot hold are refused.
int Trunc(double value) {
  const double truncated = std::trunc(value);
  if (!(truncated >= std::numeric_limits<int>::min() && truncated <= std::numeric_limits<int>::max()))
    throw EQuorvaneError("Floating point overflow");
  return static_cast<int>(truncated);
}

// How far a margin moves the image right or down: the margin in device pixels less the part of
// it that the printing offset already covers, never negative.
int MarginShift(int pixelsPerInch, double margin, int offset) {
  return std::max(0, Trunc(static_cast<double>(pixelsPerInch) * margin) - offset);
}

QVector<QRgb> ColorTable(const TDibGraphic& image, int entries) {
  QVector<QRgb> table(entries);
  const auto& palette = image.PaletteRecord().Entries;
  for (int i = 0; i < entries; ++i) table[i] = qRgb(palette[i].Red, palette[i].Green, palette[i].Blue);
  return table;
}

// The printer takes sRGB: the colours of a picture with a profile are converted on their way to
// the device (true colour pixels, or the colour table of the others); the picture stays as it is.
void ConvertDeviceColours(QImage& device, const std::vector<uint8_t>& profile) {
  const std::shared_ptr<const TColourTransform> transform = CachedColourTransform(profile);
  if (device.format() == QImage::Format_BGR888) {
    for (int y = 0; y < device.height(); ++y)
      transform->Convert(device.scanLine(y), device.scanLine(y), static_cast<size_t>(device.width()));
    return;
  }
  QList<QRgb> table = device.colorTable();
  std::vector<uint8_t> in, out(static_cast<size_t>(table.size()) * 3);
  for (const QRgb entry : table) {
    if (transform->GrayInput()) {
      in.push_back(static_cast<uint8_t>(qGreen(entry)));
    } else {
      in.push_back(static_cast<uint8_t>(qBlue(entry)));
      in.push_back(static_cast<uint8_t>(qGreen(entry)));
      in.push_back(static_cast<uint8_t>(qRed(entry)));
    }
  }
  transform->Convert(in.data(), out.data(), static_cast<size_t>(table.size()));
  for (qsizetype i = 0; i < table.size(); ++i)
    table[i] =
        qRgb(out[static_cast<size_t>(3 * i + 2)], out[static_cast<size_t>(3 * i + 1)], out[static_cast<size_t>(3 * i)]);
  device.setColorTable(table);
}

// The image as the device takes it: the same pixels, 1-bit images as 1-bit, 4 and 8-bit images
// as 8-bit with their colour table (every possible index has an entry), true colour as 24-bit.
QImage DeviceImage(const TDibGraphic& image) {
  const int width = image.Width();
  const int height = image.Height();
  QImage result;
  switch (image.BitCount()) {
    case 1: result = QImage(width, height, QImage::Format_Mono); break;
    case 4:
    case 8: result = QImage(width, height, QImage::Format_Indexed8); break;
    default: result = QImage(width, height, QImage::Format_BGR888); break;
  }
  if (result.isNull()) throw EOutOfResources("Out of system resources");
  const int bits = image.BitCount();
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = image.ScanLine(y);
    uint8_t* dest = result.scanLine(y);
    if (bits == 4) {
      for (int x = 0; x < width; ++x) dest[x] = (x & 1) ? (source[x >> 1] & 0x0F) : (source[x >> 1] >> 4);
    } else {
      std::memcpy(dest, source, static_cast<size_t>(std::min<qsizetype>(result.bytesPerLine(), image.BytesPerLine())));
    }
  }
  if (bits <= 8) result.setColorTable(ColorTable(image, 1 << bits));
  if (HasUsableProfile(image)) ConvertDeviceColours(result, image.IccProfile());
  return result;
}

}  // namespace

TDibGraphicPrinter::TDibGraphicPrinter(TPrinter& printer) : FPrinter(printer) {
  SetPlacement(TPrintPlacement::ppFullPage);
}

void TDibGraphicPrinter::SetPlacement(TPrintPlacement value) {
  FMetrics = FPrinter.Metrics();
  FPlacement = value;
}

TRect TDibGraphicPrinter::PrintRect(const TDibGraphic& image) const {
  const double w = image.Width();
  const double h = image.Height();
  const TPrinterMetrics& m = FMetrics;
  TRect rect;
  bool usesMargins = true;
  switch (FPlacement) {
    case TPrintPlacement::ppOriginalSize: {
      rect.Right = Trunc(Quotient(w * m.PixelsPerInchX, image.XDpi()));
      rect.Bottom = Trunc(Quotient(h * m.PixelsPerInchY, image.YDpi()));
      // The fit factor is held in single precision; an image that fits keeps its natural size.
      const float fit =
          static_cast<float>(std::min(Quotient(m.PageWidth, rect.Right), Quotient(m.PageHeight, rect.Bottom)));
      if (fit < 1.0f) {
        rect.Right = Trunc(rect.Right * static_cast<double>(fit));
        rect.Bottom = Trunc(rect.Bottom * static_cast<double>(fit));
      }
      break;
    }
    case TPrintPlacement::ppSpecificWidth:
      rect.Right = Trunc(m.PixelsPerInchX * PrintWidth);
      rect.Bottom = Trunc(Quotient(h * rect.Right, w));
      break;
    case TPrintPlacement::ppSpecificHeight:
      rect.Bottom = Trunc(m.PixelsPerInchY * PrintHeight);
      rect.Right = Trunc(Quotient(w * rect.Bottom, h));
      break;
    case TPrintPlacement::ppSpecificWidthAndHeight:
      rect.Right = Trunc(m.PixelsPerInchX * PrintWidth);
      rect.Bottom = Trunc(m.PixelsPerInchY * PrintHeight);
      break;
    case TPrintPlacement::ppStretchToPage:
      rect.Right = m.PageWidth - 1;
      rect.Bottom = m.PageHeight - 1;
      usesMargins = false;
      break;
    case TPrintPlacement::ppFullPage:
    default:
      rect.Right = m.PageWidth;
      rect.Bottom = Trunc(Quotient(h * m.PageWidth, w));
      if (rect.Bottom >= m.PageHeight) {
        rect.Bottom = m.PageHeight;
        rect.Right = Trunc(Quotient(w * m.PageHeight, h));
      }
      usesMargins = false;
      break;
  }
  if (usesMargins) {
    const int dx = MarginShift(m.PixelsPerInchX, LeftMargin, m.OffsetX);
    const int dy = MarginShift(m.PixelsPerInchY, TopMargin, m.OffsetY);
    rect = {rect.Left + dx, rect.Top + dy, Trunc(double(rect.Right) + dx), Trunc(double(rect.Bottom) + dy)};
  }
  return rect;
}

void TDibGraphicPrinter::Print(const TDibGraphic& image) {
  if (AutoJob) {
    FPrinter.SetOrientation(image.Width() > image.Height() ? TPrinterOrientation::poLandscape
                                                           : TPrinterOrientation::poPortrait);
  }
  const TRect rect = PrintRect(image);
  TBusyCursor busy;
  if (!AutoJob) {
    Draw(image, rect);
    return;
  }
  FPrinter.SetTitle(Title);
  FPrinter.BeginDoc();
  try {
    Draw(image, rect);
  } catch (...) {
    FPrinter.Abort();
    throw;
  }
  FPrinter.EndDoc();
}

void TDibGraphicPrinter::Draw(const TDibGraphic& image, const TRect& rect) {
  QPainter& canvas = FPrinter.Canvas();
  if (image.Empty()) return;
  // Pixels go to the device as they are: no lossy compression on the way (PDF devices would
  // otherwise choose JPEG for photographs), no smoothing of ours.
  canvas.save();
  canvas.setRenderHint(QPainter::LosslessImageRendering);
  canvas.drawImage(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), DeviceImage(image));
  canvas.restore();
}

}  // namespace quorvane
