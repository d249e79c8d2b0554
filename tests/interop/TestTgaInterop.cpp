// Targa against ImageMagick, both directions, every type, depth and row order.
#include <gtest/gtest.h>

#include <cstdlib>

#include <cmath>

#include "formats/QvGbm.h"
#include "formats/QvTgaGr.h"
#include "gbm/gbm.h"
#include "interop/InteropSupport.h"

using namespace quorvane;

using namespace qvtest;

namespace {

constexpr int kWidth = 150, kHeight = 21;  // rows longer than a run packet (128 pixels)

// ImageMagick delivers a Targa file's rows in file order and keeps the row order the header
// declares only as an orientation attribute; -auto-orient applies it and gives the picture the
// format defines (the first row of a file without descriptor bit 0x20 is the bottom row). Its own
// writer stores the top row first in such files, so its files from a picture are upside down by
// the format's definition; both readers then agree on that upside-down picture.
const char* const kPictureOrder = "-auto-orient";

// A 5-bit component that the format expands as c * 8, shown by ImageMagick scaled to 0..255.
::testing::AssertionResult SameFiveBitPixels(const TRgbPicture& ours, const TRgbPicture& theirs) {
  if (ours.Rgb.size() != theirs.Rgb.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (size_t i = 0; i < ours.Rgb.size(); ++i) {
    const int five = static_cast<int>(std::lround(theirs.Rgb[i] * 31.0 / 255.0));
    if (ours.Rgb[i] != five * 8)
      return ::testing::AssertionFailure() << "byte " << i << ": ours " << int(ours.Rgb[i]) << ", ImageMagick's "
                                           << int(theirs.Rgb[i]) << " (5-bit " << five << ")";
  }
  return ::testing::AssertionSuccess();
}

struct TMagickTarga {
  const char* Name;
  std::string Options;
  uint8_t Type;
  uint8_t Depth;
};

TEST(TgaInterop, ReadsImageMagickFilesOfEveryTypeDepthAndRowOrder) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 9));
  // Alpha that varies, so a reader that mixed it into the colour would show.
  const std::string alpha = "-alpha set -channel A -fx 'i/w' +channel";
  const TMagickTarga cases[] = {
      {"map.tga", "-type Palette", 1, 8},
      {"maprle.tga", "-type Palette -compress RLE", 9, 8},
      {"gray.tga", "-type Grayscale", 3, 8},
      {"grayrle.tga", "-type Grayscale -compress RLE", 11, 8},
      {"rgb.tga", "", 2, 24},
      {"rgbrle.tga", "-compress RLE", 10, 24},
      {"rgba.tga", alpha, 2, 32},
      {"rgbarle.tga", alpha + " -compress RLE", 10, 32},
      {"rgb16.tga", "-depth 5", 2, 16},
      {"rgb16rle.tga", "-depth 5 -compress RLE", 10, 16},
      {"top.tga", "-orient TopLeft", 2, 24},
      {"toprle.tga", "-orient TopLeft -compress RLE", 10, 24},
      {"topmaprle.tga", "-orient TopLeft -type Palette -compress RLE", 9, 8},
      {"topgray.tga", "-orient TopLeft -type Grayscale", 3, 8},
  };
  for (const TMagickTarga& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(Convert(dir / "in.ppm " + c.Options + " " + dir / c.Name));
    const std::vector<uint8_t> file = FileBytes(dir / c.Name);
    ASSERT_EQ(file[2], c.Type);
    ASSERT_EQ(file[16], c.Depth);
    auto ours = ReadThroughRegistry(dir / c.Name);
    EXPECT_EQ(ours->ImageFormat(), c.Depth == 8 ? TImageFormat::Color256 : TImageFormat::TrueColor);
    const TRgbPicture theirs = MagickPixels(dir / c.Name, kWidth, kHeight, kPictureOrder);
    if (c.Depth == 16)
      // The format expands a 5-bit component c to c * 8; ImageMagick scales it to c * 255 / 31.
      EXPECT_TRUE(SameFiveBitPixels(OurPixels(*ours), theirs));
    else
      EXPECT_TRUE(SamePixels(OurPixels(*ours), theirs));
  }
}

TEST(TgaInterop, ImageMagickReadsOurFilesUnderEveryExtension) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color256, TImageFormat::Gray256}) {
    for (const char* name : {"ours.tga", "ours.vst", "ours.afi"}) {
      SCOPED_TRACE(std::string(ImageFormatName(format)) + " " + name);
      auto image = MakeImage(format, kWidth, kHeight, 4);
      WriteThroughRegistry(*image, dir / name);
      const std::vector<uint8_t> file = FileBytes(dir / name);
      EXPECT_EQ(file[2], format == TImageFormat::TrueColor ? 2 : 1);
      EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels("tga:" + dir / name, kWidth, kHeight, kPictureOrder)));
    }
  }
}

// The codec's writer options that the image class does not pass: depths 16 and 32, top-down rows.
void WriteWithOptions(const TDibGraphic& image, const std::string& fileName, const char* options) {
  TMemoryStream stream;
  GbmWriteImage(stream, image, "File.tga", options);
  stream.SaveToFile(fileName);
}

TEST(TgaInterop, ImageMagickReadsEveryDepthAndRowOrderOfTheCodec) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  auto rgb = MakeImage(TImageFormat::TrueColor, kWidth, kHeight, 6);
  auto mapped = MakeImage(TImageFormat::Color256, kWidth, kHeight, 6);
  struct TCase {
    const TDibGraphic* Image;
    const char* Options;
    uint8_t Depth;
    uint8_t Descriptor;
  };
  for (const TCase& c : {TCase{rgb.get(), "16", 16, 0}, TCase{rgb.get(), "32", 32, 0},
                         TCase{rgb.get(), "24 ydown", 24, 0x20}, TCase{rgb.get(), "16,ydown", 16, 0x20},
                         TCase{rgb.get(), "32 yup", 32, 0}, TCase{mapped.get(), "ydown", 8, 0x20}}) {
    SCOPED_TRACE(c.Options);
    WriteWithOptions(*c.Image, dir / "opt.tga", c.Options);
    const std::vector<uint8_t> file = FileBytes(dir / "opt.tga");
    ASSERT_EQ(file[16], c.Depth);
    ASSERT_EQ(file[17], c.Descriptor);
    const TRgbPicture theirs = MagickPixels(dir / "opt.tga", kWidth, kHeight, kPictureOrder);
    const TRgbPicture ours = OurPixels(*ReadThroughRegistry(dir / "opt.tga"));
    EXPECT_TRUE(c.Depth == 16 ? SameFiveBitPixels(ours, theirs) : SamePixels(ours, theirs));
    if (c.Depth == 16) {
      // The 5-bit reduction keeps the top bits of every component.
      TRgbPicture reduced = OurPixels(*c.Image);
      for (uint8_t& v : reduced.Rgb) v &= 0xF8;
      EXPECT_TRUE(SamePixels(ours, reduced));
    } else {
      EXPECT_TRUE(SamePixels(ours, OurPixels(*c.Image)));
    }
  }
}

}  // namespace

TEST(TgaInterop, ReadsNetpbmFilesLikeNetpbm) {
  QV_REQUIRE_IMAGEMAGICK();
  QV_REQUIRE_NETPBM();
  TScratchFolder dir;
  WritePpm(dir / "full.ppm", TestPicture(kWidth, kHeight, 12));
  ASSERT_TRUE(Shell("pnmquant 100 " + dir / "full.ppm" + " >" + dir / "100.ppm" + " 2>/dev/null"));
  ASSERT_TRUE(Shell("ppmtopgm " + dir / "full.ppm" + " >" + dir / "gray.pgm" + " 2>/dev/null"));
  // Picture, ppmtotga options, and the type netpbm writes.
  const struct {
    const char* Picture;
    const char* Options;
    int Type;
  } cases[] = {{"full.ppm", "-rgb", 10},       {"full.ppm", "-rgb -norle", 2}, {"100.ppm", "-cmap", 9},
               {"100.ppm", "-cmap -norle", 1}, {"gray.pgm", "-mono", 11},      {"gray.pgm", "-mono -norle", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Picture) + " " + c.Options);
    ASSERT_TRUE(
        Shell(std::string("ppmtotga ") + c.Options + " " + dir / c.Picture + " >" + dir / "n.tga" + " 2>/dev/null"));
    ASSERT_EQ(FileBytes(dir / "n.tga")[2], c.Type);
    ASSERT_TRUE(Shell("tgatoppm " + dir / "n.tga" + " >" + dir / "theirs.ppm" + " 2>/dev/null"));
    auto ours = ReadThroughRegistry(dir / "n.tga");
    EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / "theirs.ppm", kWidth, kHeight)));
  }
}
