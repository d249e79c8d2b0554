// Images to and from Qt's bitmaps, icons, metafiles and the clipboard.
#include <QBuffer>
#include <QClipboard>
#include <QColorSpace>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPicture>
#include <QPixmap>

#include "formats/FormatTestUtil.h"
#include "model/QvExcept.h"
#include "platform/QvDiGrphQt.h"
#include "platform/QvQtCanvas.h"

using namespace qvtest;

namespace {

TColorValue ColorOf(QRgb rgb) {
  return PackColor(static_cast<uint8_t>(qBlue(rgb)), static_cast<uint8_t>(qGreen(rgb)),
                   static_cast<uint8_t>(qRed(rgb)));
}

// Every pixel of Picture has the colour of the image's pixel.
::testing::AssertionResult SameColors(const TDibGraphic& image, const QImage& picture) {
  if (picture.width() != image.Width() || picture.height() != image.Height())
    return ::testing::AssertionFailure() << "size " << picture.width() << "x" << picture.height();
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      if (ColorOf(picture.pixel(x, y)) != image.GetPixel(x, y))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y;
  return ::testing::AssertionSuccess();
}

TEST(ClipboardExchange, EveryFormatSurvivesCopyAndPaste) {
  QClipboard& clipboard = *QGuiApplication::clipboard();
  for (int f = 0; f < kImageFormatCount; ++f) {
    const auto format = static_cast<TImageFormat>(f);
    SCOPED_TRACE(ImageFormatName(format));
    TDibGraphic source, pasted;
    MakeImage(source, format, 37, 11, 7);
    if (format == TImageFormat::BlackWhite) {
      TDibPalette bw = DefaultPalette(format);
      source.NewImage(37, 11, format, &bw, 0, 0);
      FillPattern(source, 7);
    }
    CopyToClipboard(source, clipboard);
    // A black and white image travels as a monochrome bitmap, any other as screen colours.
    EXPECT_EQ(clipboard.image().format(),
              format == TImageFormat::BlackWhite ? QImage::Format_Mono : QImage::Format_RGB32);
    Assign(pasted, clipboard);
    EXPECT_EQ(pasted.ImageFormat(), format == TImageFormat::BlackWhite ? format : TImageFormat::TrueColor);
    EXPECT_TRUE(SamePicture(source, pasted));
  }
}

// A black-and-white image keeps its two colours on the clipboard, whatever they are: in the
// bitmap this program pastes back, and in the PNG and BMP files that Qt's clipboard hands to other
// programs asking for "image/png" or "image/bmp".
TEST(ClipboardExchange, BlackWhiteKeepsItsTwoColours) {
  QClipboard& clipboard = *QGuiApplication::clipboard();
  for (const auto& [entry0, entry1] :
       {std::pair{0x000000u, 0xFFFFFFu}, std::pair{0xFFFFFFu, 0x000000u}, std::pair{0x0000FFu, 0xFFFF00u},
        std::pair{0x00FF00u, 0xFFFFFFu}, std::pair{0x112233u, 0x445566u}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << entry0 << " " << entry1);
    TDibPalette palette{};
    palette.Count = 2;
    palette.Entries[0] = EntryOf(entry0);
    palette.Entries[1] = EntryOf(entry1);
    TDibGraphic image;
    image.NewImage(37, 3, TImageFormat::BlackWhite, &palette, 0, 0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 37; ++x) image.SetPixelIndex(x, y, (x + y) % 3 == 0);
    int format = 0;
    QImage data;
    QVariant paletteHandle;
    SaveToClipboardFormat(image, format, data, paletteHandle);
    EXPECT_EQ(format, kClipboardBitmap);
    EXPECT_FALSE(paletteHandle.isValid());
    EXPECT_EQ(data.format(), QImage::Format_Mono);
    EXPECT_EQ(data.colorCount(), 2);
    EXPECT_TRUE(SameColors(image, data));

    CopyToClipboard(image, clipboard);
    EXPECT_TRUE(SameColors(image, clipboard.image()));
    TDibGraphic pasted;
    Assign(pasted, clipboard);
    EXPECT_EQ(pasted.ImageFormat(), TImageFormat::BlackWhite);
    EXPECT_TRUE(SameIndices(pasted, image));
    for (const char* fileFormat : {"PNG", "BMP"}) {
      SCOPED_TRACE(fileFormat);
      QByteArray file;
      QBuffer buffer(&file);
      buffer.open(QIODevice::WriteOnly);
      ASSERT_TRUE(clipboard.image().save(&buffer, fileFormat));
      EXPECT_TRUE(SameColors(image, QImage::fromData(file, fileFormat)));
    }
  }
}

TEST(ClipboardExchange, OnlyBitmapsAreAccepted) {
  TDibGraphic image;
  const QImage bitmap(4, 4, QImage::Format_RGB32);
  const struct {
    int Format;
    QImage Data;
    const char* Message;
  } cases[] = {{8, bitmap, "Unknown clipboard format, 8"},
               {kClipboardPalette, bitmap, "Unknown clipboard format, 9"},
               {kClipboardBitmap, QImage(), "Unknown clipboard format, 2"}};
  for (const auto& c : cases)
    EXPECT_EQ(MessageOf<EInvalidGraphic>([&]() { LoadFromClipboardFormat(image, c.Format, c.Data); }), c.Message);
}

QImage Filled(QImage::Format format, int w, int h) {
  QImage image(w, h, format);
  if (format == QImage::Format_Indexed8) {
    image.setColorTable({qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 8, 7), qRgb(0, 255, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, static_cast<uint>((x + 2 * y) % 5));
  } else if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
    image.setColorTable({qRgb(10, 20, 30), qRgb(250, 240, 230)});
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, static_cast<uint>((x * y) & 1));
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixelColor(x, y, QColor(x * 9 % 256, y * 31 % 256, (x + y) * 5 % 256, 255));
  }
  image.setDotsPerMeterX(11811);
  image.setDotsPerMeterY(3937);
  return image;
}

TEST(BitmapExchange, BitmapsKeepPaletteDepthsAndBecomeTrueColorOtherwise) {
  const struct {
    QImage::Format Format;
    TImageFormat Expected;
    int PaletteCount;
  } cases[] = {
      {QImage::Format_Mono, TImageFormat::BlackWhite, 2},   {QImage::Format_MonoLSB, TImageFormat::BlackWhite, 2},
      {QImage::Format_Indexed8, TImageFormat::Color256, 5}, {QImage::Format_Grayscale8, TImageFormat::Color256, 256},
      {QImage::Format_RGB32, TImageFormat::TrueColor, 0},   {QImage::Format_ARGB32, TImageFormat::TrueColor, 0},
      {QImage::Format_RGB16, TImageFormat::TrueColor, 0},   {QImage::Format_RGB888, TImageFormat::TrueColor, 0},
      {QImage::Format_RGBA64, TImageFormat::TrueColor, 0},  {QImage::Format_Grayscale16, TImageFormat::TrueColor, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Format);
    const QImage bitmap = Filled(c.Format, 13, 6);
    TDibGraphic image;
    LoadFromBitmapHandle(image, bitmap);
    EXPECT_EQ(image.ImageFormat(), c.Expected);
    if (c.Expected != TImageFormat::TrueColor) {
      EXPECT_EQ(image.PaletteRecord().Count, c.PaletteCount);
    }
    EXPECT_TRUE(SameColors(image, bitmap.convertToFormat(QImage::Format_RGB32)));
    EXPECT_EQ(image.XDpi(), 300);
    EXPECT_EQ(image.YDpi(), 100);
  }
  TDibGraphic image;
  EXPECT_EQ(MessageOf<EInvalidGraphic>([&]() { LoadFromBitmapHandle(image, QImage()); }), "Invalid bitmap");
}

TEST(BitmapExchange, TranslucentBitmapsKeepTheirStoredColours) {
  QImage bitmap(2, 1, QImage::Format_ARGB32);
  bitmap.setPixel(0, 0, qRgba(200, 100, 50, 0));
  bitmap.setPixel(1, 0, qRgba(10, 20, 30, 128));
  TDibGraphic image;
  LoadFromBitmapHandle(image, bitmap);
  EXPECT_EQ(image.GetPixel(0, 0), PackColor(50, 100, 200));
  EXPECT_EQ(image.GetPixel(1, 0), PackColor(30, 20, 10));
}

TEST(BitmapExchange, AssignToBitmapAndPixmapGivesTheColours) {
  for (int f = 0; f < kImageFormatCount; ++f) {
    SCOPED_TRACE(f);
    TDibGraphic image;
    MakeImage(image, static_cast<TImageFormat>(f), 21, 5, 3);
    QImage bitmap;
    AssignTo(image, bitmap);
    EXPECT_EQ(bitmap.depth(), 24);
    EXPECT_TRUE(SameColors(image, bitmap));
    QVariant pixmap = QPixmap();
    AssignTo(image, pixmap);
    EXPECT_TRUE(SameColors(image, pixmap.value<QPixmap>().toImage()));
    TDibGraphic back;
    Assign(back, pixmap);
    EXPECT_TRUE(SamePicture(image, back));
  }
}

TEST(BitmapExchange, UnsupportedClassesAreNamedInTheError) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 4, 4);
  QPicture picture;
  EXPECT_EQ(MessageOf<EQuorvaneError>([&]() { AssignTo(image, picture); }),
            "Cannot assign a TDibGraphic to a QPicture");
  QVariant text = QString("x");
  EXPECT_EQ(MessageOf<EQuorvaneError>([&]() { AssignTo(image, text); }), "Cannot assign a TDibGraphic to a QString");
  EXPECT_EQ(MessageOf<EConvertError>([&]() { Assign(image, QVariant(QString("x"))); }),
            "Cannot assign a QString to a TDibGraphic");
}

TEST(BitmapExchange, IconsAndMetafilesAreDrawnOntoBlack) {
  QImage translucent(8, 8, QImage::Format_ARGB32);
  translucent.fill(Qt::transparent);
  for (int y = 0; y < 8; ++y) translucent.setPixel(6, y, qRgba(255, 0, 0, 255));
  TDibGraphic image;
  Assign(image, QVariant(QIcon(QPixmap::fromImage(translucent))));
  EXPECT_EQ(image.ImageFormat(), TImageFormat::TrueColor);
  ASSERT_GE(image.Width(), 8);
  EXPECT_EQ(image.GetPixel(0, 0), 0u);
  EXPECT_EQ(image.GetPixel(6, 3), PackColor(0, 0, 255));

  QPicture picture;
  QPainter painter(&picture);
  painter.fillRect(QRect(0, 0, 5, 3), QColor(0, 0, 255));
  painter.end();
  Assign(image, picture);
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.GetPixel(4, 2), PackColor(255, 0, 0));
}

TEST(BitmapExchange, AssignToIconGivesTheStandardPictureOfTheTopLeft) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::Color16, 100, 80, 9);
  TDibPalette standard = DefaultPalette(TImageFormat::Color16);
  image.NewImage(100, 80, TImageFormat::Color16, &standard, 0, 0);
  FillPattern(image, 9);
  QIcon icon;
  AssignTo(image, icon);
  const QImage picture = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(32, 32));
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(ColorOf(picture.pixel(x, y)), image.GetPixel(x, y)) << x << "," << y;
}

TEST(Canvas, DrawingReachesTheRowsInTheImagesFormat) {
  for (const TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color16, TImageFormat::BlackWhite}) {
    SCOPED_TRACE(ImageFormatName(format));
    TDibGraphic image;
    image.NewImage(10, 6, format, nullptr, 0, 0);
    {
      TQtCanvas canvas(image);
      canvas.Painter().fillRect(QRect(2, 1, 3, 2), QColor(255, 255, 255));
    }
    EXPECT_EQ(image.GetPixel(2, 1), 0xFFFFFFu);
    EXPECT_EQ(image.GetPixel(4, 2), 0xFFFFFFu);
    EXPECT_EQ(image.GetPixel(5, 2), 0u);
    EXPECT_EQ(image.GetPixel(2, 3), 0u);
  }
}

}  // namespace

// A bitmap's colour space becomes the image's profile; sRGB and none leave the image without one,
// also when it had one before.
TEST(BitmapExchange, ColourSpaceBecomesTheProfile) {
  QImage bitmap(4, 3, QImage::Format_RGB32);
  bitmap.fill(qRgb(10, 200, 30));
  TDibGraphic image;
  bitmap.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
  LoadFromBitmapHandle(image, bitmap);
  ASSERT_TRUE(image.HasIccProfile());
  EXPECT_EQ(QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(image.IccProfile().data()),
                                                   static_cast<qsizetype>(image.IccProfile().size()))),
            QColorSpace(QColorSpace::AdobeRgb));
  for (const QColorSpace& space : {QColorSpace(QColorSpace::SRgb), QColorSpace()}) {
    bitmap.setColorSpace(space);
    LoadFromBitmapHandle(image, bitmap);
    EXPECT_FALSE(image.HasIccProfile());
  }
}
