#include "platform/QvDiGrphQt.h"

#include <QBitmap>
#include <QClipboard>
#include <QColorSpace>
#include <QIcon>
#include <QPainter>
#include <QPicture>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/QvIcoGr.h"
#include "model/QvDiGrphRows.h"
#include "model/QvExcept.h"
#include "model/QvIccProfile.h"
#include "model/QvStream.h"
#include "platform/QvDiGrphQtClipboard.h"
#include "platform/QvQtCanvas.h"

namespace quorvane {

namespace {

constexpr long double kInchesPerMetre = 39.370078740157480317L;

// Dots per inch from Qt's dots per metre; 0 (the screen's) outside 1..65535.
uint16_t DpiOf(int dotsPerMeter) {
  if (dotsPerMeter <= 0) return 0;
  const long double dpi = std::nearbyint(static_cast<long double>(dotsPerMeter) / kInchesPerMetre);
  return dpi >= 1 && dpi <= 65535 ? static_cast<uint16_t>(dpi) : 0;
}

// The colour table of an indexed image when it has 1 to 256 entries.
bool PaletteOf(const QImage& bitmap, TDibPalette& palette) {
  const QList<QRgb> table = bitmap.colorTable();
  if (table.isEmpty() || table.size() > 256) return false;
  palette = TDibPalette{};
  palette.Count = static_cast<uint16_t>(table.size());
  for (int i = 0; i < table.size(); ++i)
    palette.Entries[i] = {static_cast<uint8_t>(qBlue(table[i])), static_cast<uint8_t>(qGreen(table[i])),
                          static_cast<uint8_t>(qRed(table[i])), 0};
  return true;
}

void LoadIndexed(TDibGraphic& image, const QImage& bitmap, TImageFormat format, uint16_t xDpi, uint16_t yDpi) {
  TDibPalette palette{};
  const bool ownPalette = PaletteOf(bitmap, palette);
  image.NewImageForOverwrite(bitmap.width(), bitmap.height(), format, ownPalette ? &palette : nullptr, xDpi, yDpi);
  const size_t rowBytes = static_cast<size_t>(image.BytesPerLine());
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    const size_t stored = std::min(rowBytes, static_cast<size_t>(bitmap.bytesPerLine()));
    std::memcpy(row, bitmap.constScanLine(y), stored);
    std::memset(row + stored, 0, rowBytes - stored);
  }
}

void LoadTrueColor(TDibGraphic& image, const QImage& bitmap, uint16_t xDpi, uint16_t yDpi) {
  // Straight (not premultiplied) colours: a 32-bit bitmap gives its stored colours, alpha dropped.
  const QImage argb = bitmap.format() == QImage::Format_ARGB32 || bitmap.format() == QImage::Format_RGB32
                          ? bitmap
                          : bitmap.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) throw EQuorvaneError("GetDIB failed");
  image.NewImageForOverwrite(argb.width(), argb.height(), TImageFormat::TrueColor, nullptr, xDpi, yDpi);
  const int width = image.Width();
  const size_t padding = static_cast<size_t>(image.BytesPerLine() - 3 * width);
  for (int y = 0; y < image.Height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    uint8_t* out = image.ScanLine(y);
    for (int x = 0; x < width; ++x, out += 3) {
      out[0] = static_cast<uint8_t>(qBlue(in[x]));
      out[1] = static_cast<uint8_t>(qGreen(in[x]));
      out[2] = static_cast<uint8_t>(qRed(in[x]));
    }
    std::memset(out, 0, padding);
  }
}

QImage GrayTable(const QImage& gray) {
  QImage indexed(gray.constBits(), gray.width(), gray.height(), gray.bytesPerLine(), QImage::Format_Indexed8);
  QList<QRgb> table(256);
  for (int i = 0; i < 256; ++i) table[i] = qRgb(i, i, i);
  indexed.setColorTable(table);
  indexed.setDotsPerMeterX(gray.dotsPerMeterX());
  indexed.setDotsPerMeterY(gray.dotsPerMeterY());
  return indexed;
}

QImage IconImage(const QIcon& icon) {
  const QSize standard(TIconGraphic::kStandardIconSize, TIconGraphic::kStandardIconSize);
  const QSize size = icon.actualSize(standard);
  if (size.isEmpty()) return {};
  QImage result(size, QImage::Format_ARGB32_Premultiplied);
  result.fill(Qt::transparent);
  QPainter painter(&result);
  icon.paint(&painter, QRect(QPoint(0, 0), size));
  return result;
}

QImage PictureImage(const QPicture& picture) {
  const QRect bounds = picture.boundingRect();
  if (bounds.isEmpty()) return {};
  QImage result(bounds.size(), QImage::Format_ARGB32_Premultiplied);
  result.fill(Qt::transparent);
  QPainter painter(&result);
  painter.drawPicture(-bounds.topLeft(), picture);
  return result;
}

[[noreturn]] void CannotAssign(const char* source, const char* dest, bool toPlatform) {
  const std::string message = FormatMessage("Cannot assign a %s to a %s", source, dest);
  if (toPlatform) throw EQuorvaneError(message);
  throw EConvertError(message);
}

// A one-bit bitmap with the image's rows and its two colours as colour table, so that the picture
// keeps its colours on the clipboard (a blue and yellow picture stays blue and yellow). Pasted back,
// it is the same black-and-white image.
QImage MonochromeBitmap(const TDibGraphic& image) {
  QImage mono(image.Width(), image.Height(), QImage::Format_Mono);
  if (mono.isNull()) throw EQuorvaneError("CopyBitmap: CreateBitmap failed");
  const TDibPalette& palette = image.PaletteRecord();
  QList<QRgb> table;
  for (const TPaletteEntry& entry : {palette.Entries[0], palette.Entries[1]})
    table.append(qRgb(entry.Red, entry.Green, entry.Blue));
  mono.setColorTable(table);
  const size_t rowBytes = std::min(static_cast<size_t>(image.BytesPerLine()), static_cast<size_t>(mono.bytesPerLine()));
  for (int y = 0; y < image.Height(); ++y) std::memcpy(mono.scanLine(y), image.ScanLine(y), rowBytes);
  return mono;
}

}  // namespace

void LoadFromBitmapHandle(TDibGraphic& image, const QImage& bitmap) {
  if (bitmap.isNull()) throw EInvalidGraphic("Invalid bitmap");
  const uint16_t xDpi = DpiOf(bitmap.dotsPerMeterX()), yDpi = DpiOf(bitmap.dotsPerMeterY());
  try {
    switch (bitmap.format()) {
      case QImage::Format_Mono: LoadIndexed(image, bitmap, TImageFormat::BlackWhite, xDpi, yDpi); break;
      case QImage::Format_MonoLSB:
        LoadIndexed(image, bitmap.convertToFormat(QImage::Format_Mono), TImageFormat::BlackWhite, xDpi, yDpi);
        break;
      case QImage::Format_Indexed8: LoadIndexed(image, bitmap, TImageFormat::Color256, xDpi, yDpi); break;
      case QImage::Format_Grayscale8: LoadIndexed(image, GrayTable(bitmap), TImageFormat::Color256, xDpi, yDpi); break;
      default: LoadTrueColor(image, bitmap, xDpi, yDpi); break;
    }
  } catch (...) {
    image.FreeImage();
    throw;
  }
  // The bitmap's colour space travels with its pixels; none, or sRGB, needs no profile.
  std::vector<uint8_t> profile;
  const QColorSpace space = bitmap.colorSpace();
  if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
    const QByteArray icc = space.iccProfile();
    profile.assign(icc.begin(), icc.end());
    if (!IccProfileProblem(profile).empty()) profile.clear();
  }
  image.SetIccProfile(std::move(profile));
}

void DrawOntoBlack(TDibGraphic& image, const QImage& source) {
  image.NewImage(source.width(), source.height(), TImageFormat::TrueColor, nullptr, 0, 0);
  TQtCanvas canvas(image);
  canvas.Painter().setCompositionMode(QPainter::CompositionMode_SourceOver);
  canvas.Painter().drawImage(0, 0, source);
  canvas.Commit();
}

void Assign(TDibGraphic& image, const QVariant& source) {
  switch (source.typeId()) {
    case QMetaType::QImage: LoadFromBitmapHandle(image, source.value<QImage>()); return;
    case QMetaType::QPixmap: LoadFromBitmapHandle(image, source.value<QPixmap>().toImage()); return;
    case QMetaType::QBitmap: LoadFromBitmapHandle(image, source.value<QBitmap>().toImage()); return;
    case QMetaType::QIcon: {
      const QImage drawn = IconImage(source.value<QIcon>());
      if (drawn.isNull()) throw EInvalidGraphic("Invalid icon");
      DrawOntoBlack(image, drawn);
      return;
    }
    default: CannotAssign(source.isValid() ? source.typeName() : "nil", "TDibGraphic", false);
  }
}

void Assign(TDibGraphic& image, const QPicture& source) {
  const QImage drawn = PictureImage(source);
  if (drawn.isNull()) throw EInvalidGraphic("Invalid metafile");
  DrawOntoBlack(image, drawn);
}

void Assign(TDibGraphic& image, const QClipboard& clipboard) {
  LoadFromClipboardFormat(image, kClipboardBitmap, clipboard.image());
}

void AssignTo(const TDibGraphic& image, QImage& dest) {
  if (image.Empty()) {
    dest = QImage();
    return;
  }
  QImage result(image.Width(), image.Height(), QImage::Format_RGB888);
  if (result.isNull()) throw EQuorvaneError("CopyBitmap: CreateBitmap failed");
  std::vector<uint8_t> scratch;
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* bgr = RowAsBgr(image, y, 0, image.Width(), scratch);
    uint8_t* rgb = result.scanLine(y);
    for (int x = 0; x < image.Width(); ++x, bgr += 3, rgb += 3) {
      rgb[0] = bgr[2];
      rgb[1] = bgr[1];
      rgb[2] = bgr[0];
    }
  }
  const int xPpm = image.BitmapInfo().Header.biXPelsPerMeter, yPpm = image.BitmapInfo().Header.biYPelsPerMeter;
  if (xPpm > 0) result.setDotsPerMeterX(xPpm);
  if (yPpm > 0) result.setDotsPerMeterY(yPpm);
  dest = std::move(result);
}

void AssignTo(const TDibGraphic& image, QPixmap& dest) {
  QImage bitmap;
  AssignTo(image, bitmap);
  dest = QPixmap::fromImage(bitmap);
}

void AssignTo(const TDibGraphic& image, QIcon& dest) {
  TMemoryStream stream;
  TIconGraphic icon;
  icon.Assign(&image);
  icon.SaveToStream(stream);
  const QByteArray data(reinterpret_cast<const char*>(stream.Data().data()), static_cast<qsizetype>(stream.Size()));
  QImage picture;
  if (!picture.loadFromData(data, "ICO")) {
    // Without Qt's icon reader the picture is read back by the library's own.
    TIconGraphic readBack;
    stream.SetPosition(0);
    readBack.LoadFromStream(stream);
    AssignTo(readBack, picture);
  }
  dest = QIcon(QPixmap::fromImage(picture));
}

void AssignTo(const TDibGraphic& image, QVariant& dest) {
  switch (dest.typeId()) {
    case QMetaType::QImage: {
      QImage bitmap;
      AssignTo(image, bitmap);
      dest = bitmap;
      return;
    }
    case QMetaType::QPixmap: {
      QPixmap pixmap;
      AssignTo(image, pixmap);
      dest = pixmap;
      return;
    }
    case QMetaType::QIcon: {
      QIcon icon;
      AssignTo(image, icon);
      dest = icon;
      return;
    }
    default: CannotAssign("TDibGraphic", dest.isValid() ? dest.typeName() : "nil", true);
  }
}

void AssignTo(const TDibGraphic&, QPicture&) { CannotAssign("TDibGraphic", "QPicture", true); }

void LoadFromClipboardFormat(TDibGraphic& image, int format, const QImage& data, const QVariant&) {
  if (format != kClipboardBitmap || data.isNull())
    throw EInvalidGraphic(FormatMessage("Unknown clipboard format, %d", format));
  LoadFromBitmapHandle(image, data);
}

void SaveToClipboardFormat(const TDibGraphic& image, int& format, QImage& data, QVariant& palette) {
  if (image.Empty()) throw EQuorvaneError("CopyBitmap: CreateBitmap failed");
  format = kClipboardBitmap;
  palette = QVariant();
  if (image.ImageFormat() == TImageFormat::BlackWhite) {
    data = MonochromeBitmap(image);
    return;
  }
  try {
    data = ImageToQImage(image);
  } catch (const EOutOfResources&) {
    throw EQuorvaneError("CopyBitmap: CreateBitmap failed");
  }
}

void CopyToClipboard(const TDibGraphic& image, QClipboard& clipboard) {
  int format = 0;
  QImage data;
  QVariant palette;
  SaveToClipboardFormat(image, format, data, palette);
  // The clipboard takes ownership of the mime data.
  clipboard.setMimeData(new TClipboardImageData(std::move(data)));
}

}  // namespace quorvane
