// The platform's picture loader and the icon image against ImageMagick: bitmaps of every depth
// and layout, animated GIF and multi-size icons with transparency written by ImageMagick read
// with ImageMagick's pixels; our icons read in ImageMagick with ours.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "formats/QvIcoGr.h"
#include "interop/InteropSupport.h"
#include "platform/QvQtPictureLoader.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kWidth = 61, kHeight = 29;

std::unique_ptr<TDibGraphic> Load(const std::string& file, bool allImages = false) {
  return TQtPictureLoader().LoadFromFile(file, allImages);
}

// The bitmap turned into its top-down form: negative height, rows in picture order.
void MakeTopDown(const std::string& file) {
  std::vector<uint8_t> bytes = FileBytes(file);
  const uint32_t offset = bytes[10] | bytes[11] << 8 | bytes[12] << 16 | static_cast<uint32_t>(bytes[13]) << 24;
  const int32_t height = static_cast<int32_t>(bytes[22] | bytes[23] << 8 | bytes[24] << 16 | bytes[25] << 24);
  const size_t rowBytes = (bytes.size() - offset) / static_cast<size_t>(height);
  for (int y = 0; y < height / 2; ++y)
    std::swap_ranges(bytes.begin() + offset + y * rowBytes, bytes.begin() + offset + (y + 1) * rowBytes,
                     bytes.begin() + offset + (height - 1 - y) * rowBytes);
  const uint32_t negative = static_cast<uint32_t>(-height);
  for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<uint8_t>(negative >> (8 * i));
  PutFileBytes(file, bytes);
}

TEST(PlatformInterop, ImageMagickBitmapsOfEveryDepthAndLayout) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  const std::string source = dir / "source.ppm";
  WritePpm(source, TestPicture(kWidth, kHeight, 11));
  const struct {
    const char* Name;
    const char* Options;
    TImageFormat Expected;
    bool TopDown;
  } cases[] = {
      {"bw", "-monochrome", TImageFormat::BlackWhite, false},
      {"c16", "-colors 16 -type Palette", TImageFormat::Color16, false},
      {"c256", "-colors 200 -type Palette", TImageFormat::Color256, false},
      {"rle8", "-colors 200 -type Palette -compress RLE", TImageFormat::Color256, false},
      {"rgb24", "-type TrueColor", TImageFormat::TrueColor, false},
      {"rgb24-topdown", "-type TrueColor", TImageFormat::TrueColor, true},
      {"rgb16", "-define bmp:subtype=RGB565", TImageFormat::TrueColor, false},
      {"argb32", "-alpha set -define bmp:format=bmp4", TImageFormat::TrueColor, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / (std::string(c.Name) + ".bmp");
    const std::string prefix =
        std::string(c.Name).rfind("rgb16", 0) == 0 || std::string(c.Name) == "argb32" ? "BMP:" : "BMP3:";
    ASSERT_TRUE(Convert(source + " " + c.Options + " " + prefix + file));
    if (c.TopDown) MakeTopDown(file);
    const std::unique_ptr<TDibGraphic> image = Load(file);
    EXPECT_EQ(image->ImageFormat(), c.Expected);
    EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels(file, kWidth, kHeight)));
  }
}

TEST(PlatformInterop, AnimatedGifGivesItsFirstFrameOrAllFrames) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  std::string frames;
  for (int i = 0; i < 3; ++i) {
    const std::string frame = dir / ("frame" + std::to_string(i) + ".ppm");
    WritePpm(frame, TestPicture(31, 17, 20 + i));
    frames += " " + frame;
  }
  const std::string gif = dir / "anim.gif";
  ASSERT_TRUE(Convert("-delay 7" + frames + " " + gif));
  const std::unique_ptr<TDibGraphic> first = Load(gif);
  EXPECT_EQ(first->FrameCount(), 0);
  EXPECT_EQ(first->ImageFormat(), TImageFormat::Color256);
  EXPECT_TRUE(SamePixels(OurPixels(*first), MagickPixels(gif + "[0]", 31, 17)));

  const std::unique_ptr<TDibGraphic> all = Load(gif, true);
  ASSERT_EQ(all->FrameCount(), 3);
  EXPECT_EQ(all->CurrentFrame(), 1);
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SamePixels(OurPixels(all->GetFrame(i)), MagickPixels(gif + "[" + std::to_string(i - 1) + "]", 31, 17)));
    EXPECT_EQ(all->GetFrame(i).FrameDelay(), 70);
  }
}

// A picture with a transparent left third, a half-transparent middle third and an opaque rest.
void WriteTranslucentPam(const std::string& file, int size) {
  const TRgbPicture picture = TestPicture(size, size, 3);
  std::string header = "P7\nWIDTH " + std::to_string(size) + "\nHEIGHT " + std::to_string(size) +
                       "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const uint8_t* rgb = picture.At(x, y);
      bytes.insert(bytes.end(), {rgb[0], rgb[1], rgb[2],
                                 static_cast<uint8_t>(x < size / 3       ? 0
                                                      : x < 2 * size / 3 ? 128
                                                                         : 255)});
    }
  PutFileBytes(file, bytes);
}

TEST(PlatformInterop, ImageMagickIconsGiveTheirStandardSizeOnBlack) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  const std::string pam = dir / "source.pam";
  WriteTranslucentPam(pam, 48);
  const std::string ico = dir / "sizes.ico";
  ASSERT_TRUE(Convert(pam + " -define icon:auto-resize=48,32,16 " + ico));
  // ImageMagick's own reading of the 32 x 32 picture, flattened onto black.
  const TRgbPicture theirs = MagickPixels(ico + "[1]", 32, 32, "-background black -alpha remove");

  const std::unique_ptr<TDibGraphic> loaded = Load(ico);
  EXPECT_EQ(loaded->ImageFormat(), TImageFormat::TrueColor);
  EXPECT_TRUE(SamePixels(OurPixels(*loaded), theirs, 1));

  TIconGraphic icon;
  TMemoryStream stream(FileBytes(ico));
  icon.LoadFromStream(stream);
  EXPECT_TRUE(SamePixels(OurPixels(icon), theirs, 1));
  EXPECT_EQ(OurPixels(icon).At(0, 0)[0], 0);  // transparent: black
}

TEST(PlatformInterop, OurIconsReadInImageMagickWithOurPixels) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (const TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color256, TImageFormat::BlackWhite}) {
    SCOPED_TRACE(ImageFormatName(format));
    const std::unique_ptr<TDibGraphic> source = MakeImage(format, 45, 20, 8);
    TIconGraphic icon;
    icon.Assign(source.get());
    TMemoryStream stream;
    icon.SaveToStream(stream);
    const std::string file = dir / "ours.ico";
    stream.SaveToFile(file);
    TIconGraphic back;
    stream.SetPosition(0);
    back.LoadFromStream(stream);
    EXPECT_TRUE(SamePixels(OurPixels(back), MagickPixels(file, 32, 32, "-alpha off")));
  }
}

}  // namespace

namespace {

// Formats that Qt's image format plugins bring: WebP (lossless exactly, lossy as ImageMagick's
// libwebp decodes it), its alpha dropped with the stored colours kept; one-bit WBMP.
TEST(PlatformInterop, QtPluginFormatsReadWithImageMagicksPixels) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  const std::string source = dir / "source.ppm", pam = dir / "translucent.pam";
  WritePpm(source, TestPicture(kWidth, kHeight, 17));
  WriteTranslucentPam(pam, 40);
  const struct {
    const char* File;
    const std::string* Source;
    const char* Options;
    int Size;  // 0: kWidth x kHeight
    int Tolerance;
  } cases[] = {
      {"lossless.webp", &source, "-define webp:lossless=true", 0, 0},
      {"lossy.webp", &source, "-quality 75", 0, 0},
      {"alpha-lossless.webp", &pam, "-define webp:lossless=true -define webp:exact=true", 40, 0},
      {"alpha-lossy.webp", &pam, "-quality 80", 40, 0},
      {"bw.wbmp", &source, "-monochrome", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const std::string file = dir / c.File;
    ASSERT_TRUE(Convert(*c.Source + " " + c.Options + " " + file));
    const int width = c.Size ? c.Size : kWidth, height = c.Size ? c.Size : kHeight;
    const std::unique_ptr<TDibGraphic> image = Load(file);
    EXPECT_EQ(image->ImageFormat(),
              std::string(c.File) == "bw.wbmp" ? TImageFormat::BlackWhite : TImageFormat::TrueColor);
    EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels(file, width, height, "-alpha off"), c.Tolerance));
  }
}

TEST(PlatformInterop, AnimatedWebPGivesItsFirstFrameOrAllFrames) {
  QV_REQUIRE_IMAGEMAGICK();
  if (access("/usr/bin/img2webp", X_OK) != 0) GTEST_SKIP() << "img2webp is not installed";
  TScratchFolder dir;
  std::string frames;
  std::vector<TRgbPicture> pictures;
  for (int i = 0; i < 3; ++i) {
    const std::string ppm = dir / ("frame" + std::to_string(i) + ".ppm"),
                      png = dir / ("frame" + std::to_string(i) + ".png");
    pictures.push_back(TestPicture(33, 21, 40 + i));
    WritePpm(ppm, pictures.back());
    ASSERT_TRUE(Convert(ppm + " PNG24:" + png));
    frames += " " + png;
  }
  const std::string webp = dir / "anim.webp";
  ASSERT_EQ(
      std::system(("/usr/bin/img2webp -loop 0 -lossless -d 70" + frames + " -o " + webp + " >/dev/null 2>&1").c_str()),
      0);
  const std::unique_ptr<TDibGraphic> first = Load(webp);
  EXPECT_EQ(first->FrameCount(), 0);
  EXPECT_TRUE(SamePixels(OurPixels(*first), pictures[0]));

  const std::unique_ptr<TDibGraphic> all = Load(webp, true);
  ASSERT_EQ(all->FrameCount(), 3);
  EXPECT_EQ(all->CurrentFrame(), 1);
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SamePixels(OurPixels(all->GetFrame(i)), pictures[static_cast<size_t>(i) - 1]));
    EXPECT_EQ(all->GetFrame(i).FrameDelay(), 70);
  }
}

}  // namespace
