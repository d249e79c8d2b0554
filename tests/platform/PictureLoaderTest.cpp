// The Qt picture loader: depths kept or widened as bitmaps are, icons drawn onto black, its
// format list, and the files it must refuse.
#include <QImageWriter>

#include <filesystem>
#include <fstream>

#include "formats/FormatTestUtil.h"
#include "formats/QvFormats.h"
#include "formats/QvGbm.h"
#include "formats/QvHeif.h"
#include "formats/QvIcoGr.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "platform/QvQtPictureLoader.h"

using namespace qvtest;

namespace {

// A file name in a scratch folder of its own, removed with it.
struct TTempFile {
  explicit TTempFile(const std::string& name) : Name(Folder / name) {}
  TScratchFolder Folder;
  std::string Name;
};

void WriteBytes(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(QtPictureLoader, BitmapsKeepTheirDepthAndPalette) {
  for (const TImageFormat format :
       {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::Color256, TImageFormat::TrueColor}) {
    SCOPED_TRACE(ImageFormatName(format));
    TDibGraphic source;
    MakeImage(source, format, 29, 9, 4);
    if (format == TImageFormat::BlackWhite) {
      // The bitmap writer stores one-bit pictures as black and white.
      source.NewImage(29, 9, format, nullptr, 0, 0);
      FillPattern(source, 4);
    }
    TTempFile file("depth.bmp");
    TMemoryStream stream;
    GbmWriteImage(stream, source, "x.bmp");
    stream.SaveToFile(file.Name);
    const std::unique_ptr<TDibGraphic> image = TQtPictureLoader().LoadFromFile(file.Name, false);
    EXPECT_EQ(image->ImageFormat(), format);
    // The bitmap writer may store a one-bit picture with its colours swapped and its bits inverted.
    EXPECT_TRUE(format == TImageFormat::BlackWhite ? SamePicture(source, *image) : SameIndices(source, *image));
  }
}

TEST(QtPictureLoader, PortableAnyMapsByKind) {
  const struct {
    const char* Extension;
    QImage::Format Written;
    TImageFormat Expected;
  } cases[] = {{"pbm", QImage::Format_Mono, TImageFormat::BlackWhite},
               {"pgm", QImage::Format_Grayscale8, TImageFormat::Color256},
               {"ppm", QImage::Format_RGB32, TImageFormat::TrueColor}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Extension);
    QImage picture(17, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 17; ++x) picture.setPixel(x, y, qRgb(x * 15, y * 50, (x ^ y) * 8));
    picture = picture.convertToFormat(c.Written);
    TTempFile file(std::string("map.") + c.Extension);
    ASSERT_TRUE(QImageWriter(QString::fromStdString(file.Name), c.Extension).write(picture));
    const std::unique_ptr<TDibGraphic> image = TQtPictureLoader().LoadFromFile(file.Name, true);
    EXPECT_EQ(image->ImageFormat(), c.Expected);
    EXPECT_EQ(image->FrameCount(), 0);
    const QImage expected = QImage(QString::fromStdString(file.Name)).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 17; ++x) {
        const QRgb rgb = expected.pixel(x, y);
        ASSERT_EQ(image->GetPixel(x, y), PackColor(qBlue(rgb), qGreen(rgb), qRed(rgb))) << x << "," << y;
      }
  }
}

TEST(QtPictureLoader, IconsGiveTheStandardPictureOnBlack) {
  TDibGraphic source;
  MakeImage(source, TImageFormat::TrueColor, 40, 40, 2);
  TIconGraphic written;
  written.Assign(&source);
  TMemoryStream stream;
  written.SaveToStream(stream);
  TTempFile file("icon.ico");
  stream.SaveToFile(file.Name);
  TIconGraphic ours;
  stream.SetPosition(0);
  ours.LoadFromStream(stream);
  const std::unique_ptr<TDibGraphic> image = TQtPictureLoader().LoadFromFile(file.Name, true);
  EXPECT_EQ(image->ImageFormat(), TImageFormat::TrueColor);
  EXPECT_TRUE(SamePicture(ours, *image));
}

TEST(QtPictureLoader, FormatsStartWithBitmapsAndIconsAndLeaveTheRegistrysOut) {
  UnregisterGraphicFormats();
  std::vector<TPlatformPictureFormat> formats = TQtPictureLoader().Formats();
  ASSERT_GE(formats.size(), 3u);
  EXPECT_EQ(formats[0].Extension, "bmp");
  EXPECT_EQ(formats[0].Description, "Bitmaps");
  EXPECT_EQ(formats[1].Extension, "ico");
  EXPECT_EQ(formats[1].Description, "Icons");
  const auto has = [&](const std::string& ext) {
    return std::any_of(formats.begin(), formats.end(), [&](const auto& f) { return f.Extension == ext; });
  };
  EXPECT_TRUE(has("gif"));
  EXPECT_TRUE(has("ppm"));
  RegisterGraphicFormat("GIF", "Registered", TDibGraphic::StaticClass());
  formats = TQtPictureLoader().Formats();
  EXPECT_FALSE(has("gif"));
  UnregisterGraphicFormats();
}

TEST(QtPictureLoader, RefusesUnknownCorruptAndOversizedFiles) {
  TTempFile unknown("picture.qqq"), corrupt("corrupt.bmp"), huge("huge.bmp");
  WriteBytes(unknown.Name, {1, 2, 3});
  WriteBytes(corrupt.Name, {'B', 'M', 0, 0, 0, 0, 0, 0});
  // A two-megapixel bitmap, beyond a one-megapixel limit.
  TDibGraphic large;
  large.NewImage(2000, 1000, TImageFormat::BlackWhite, nullptr, 0, 0);
  TMemoryStream stream;
  GbmWriteImage(stream, large, "x.bmp");
  stream.SaveToFile(huge.Name);
  TQtPictureLoader loader;
  EXPECT_EQ(MessageOf<EQuorvaneError>([&]() { loader.LoadFromFile(unknown.Name, false); }),
            "Graphic files of .qqq format are not supported or not registered");
  EXPECT_NE(MessageOf<EInvalidGraphic>([&]() { loader.LoadFromFile(corrupt.Name, false); }), "");
  const TImageLimits saved = ImageLimits();
  TImageLimits small = saved;
  small.MaxArea = 1000 * 1000;
  SetImageLimits(small);
  EXPECT_EQ(MessageOf<EQuorvaneError>([&]() { loader.LoadFromFile(huge.Name, false); }), "CreateDibSection failed");
  SetImageLimits(saved);
}

// The formats Qt's image format plugins and libheif bring are listed for the open dialog; those
// the registry reads and writes itself (TIFF, Targa) stay with the registry, and none is written.
TEST(QtPictureLoader, ListsWebPAndHeifAndLeavesTiffAndTargaToTheRegistry) {
  UnregisterGraphicFormats();
  RegisterStandardGraphicFormats();
  TQtPictureLoader loader;
  const std::vector<TPlatformPictureFormat> formats = loader.Formats();
  const auto descriptionOf = [&](const std::string& ext) {
    const auto it = std::find_if(formats.begin(), formats.end(), [&](const auto& f) { return f.Extension == ext; });
    return it == formats.end() ? std::string() : it->Description;
  };
  const struct {
    const char* Extension;
    const char* Description;  // "" when not listed
  } cases[] = {{"webp", "WebP Images"},
               {"wbmp", "Wireless Bitmaps"},
               {"heic", "HEIF Images"},
               {"heif", "HEIF Images"},
               {"avif", "AVIF Images"},
               {"tif", ""},
               {"tiff", ""},
               {"tga", ""}};
  for (const auto& c : cases) EXPECT_EQ(descriptionOf(c.Extension), c.Description) << c.Extension;
  EXPECT_TRUE(std::is_sorted(formats.begin() + 2, formats.end(),
                             [](const auto& a, const auto& b) { return a.Extension < b.Extension; }));

  SetPictureLoader(&loader);
  const std::string open = GraphicFilter(true), save = GraphicFilter(false);
  SetPictureLoader(nullptr);
  for (const char* pair :
       {"HEIF Images (*.heic)|*.heic", "AVIF Images (*.avif)|*.avif", "WebP Images (*.webp)|*.webp"}) {
    EXPECT_NE(open.find(pair), std::string::npos) << pair;
    EXPECT_EQ(save.find(pair), std::string::npos) << pair;
  }
  for (const char* name : {"x.heic", "x.avif", "x.webp"})
    EXPECT_NE(
        MessageOf<EQuorvaneError>([&] { CreateGraphicForFile(name); }).find("are not supported or not registered"),
        std::string::npos)
        << name;
  UnregisterGraphicFormats();
}

TEST(QtPictureLoader, RefusesHostileWebPAndHeifFiles) {
  TQtPictureLoader loader;
  for (const char* name :
       {"webp-30000x30000-canvas-over-1x1-image.webp", "heic-64x48-grid-with-20000x20000-output.heic"})
    EXPECT_EQ(MessageOf<EQuorvaneError>([&] { loader.LoadFromFile(RegressionFile(name), true); }),
              "CreateDibSection failed")
        << name;
  TTempFile corrupt("corrupt.heic");
  WriteBytes(corrupt.Name, {0, 0, 0, 12, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'});
  EXPECT_NE(MessageOf<EHeifError>([&] { loader.LoadFromFile(corrupt.Name, false); }), "");
}

}  // namespace
