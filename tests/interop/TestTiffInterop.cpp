// TIFF against libtiff's tools and ImageMagick, both directions, every pixel compared: files the
// peers write in every layout and compression they offer are read by us, and every format and
// compression pair we write is accepted by tiffinfo and read by ImageMagick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "formats/QvTifGr.h"
#include "interop/InteropSupport.h"
#include "model/QvStream.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kWidth = 67, kHeight = 41;  // odd sizes: partial bytes, partial strips and tiles

bool HaveTiffTools() { return std::system("tiffinfo --help >/dev/null 2>&1; command -v tiffcp >/dev/null") == 0; }

// Runs Commands in Folder through the shell; true on exit status 0.
bool Shell(const TScratchFolder& dir, const std::string& commands) {
  return std::system(("cd " + dir / "" + " && (" + commands + ") >/dev/null 2>&1").c_str()) == 0;
}

std::unique_ptr<TTiffGraphic> ReadPage(const std::string& file, int page) {
  auto image = std::make_unique<TTiffGraphic>();
  TFileStream stream(file, TFileMode::fmOpenRead);
  image->LoadImageFromStream(stream, page);
  return image;
}

struct TPeerFile {
  const char* Name;      // file made in the folder
  std::string Commands;  // shell commands that make it from in.ppm (picture) and bw.tif (bilevel)
  TImageFormat Format;
  int Tolerance;  // JPEG and colour-space conversions: both decoders within a few levels
  int Pages = 1;
  int Dpi = 72;
};

const std::string kMagick = std::string(kConvert) + " ";

}  // namespace

TEST(TiffInterop, ReadsWhatThePeersWrite) {
  QV_REQUIRE_IMAGEMAGICK();
  if (!HaveTiffTools()) GTEST_SKIP() << "libtiff's tools are not installed";
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 3));
  WritePpm(dir / "in2.ppm", TestPicture(kWidth, kHeight, 4));
  const std::string in = kMagick + "in.ppm -density 72 -units PixelsPerInch -depth 8 ";
  ASSERT_TRUE(Shell(
      dir, in + "-threshold 50% -type bilevel -depth 1 -define tiff:photometric=min-is-white -compress none bw.tif"));
  using F = TImageFormat;
  const TPeerFile cases[] = {
      {"miw.tif", "cp bw.tif miw.tif", F::BlackWhite, 0},
      {"mib.tif", in + "-threshold 50% -type bilevel -depth 1 -define tiff:photometric=min-is-black mib.tif",
       F::BlackWhite, 0},
      {"g31d.tif", "tiffcp -c g3:1d bw.tif g31d.tif", F::BlackWhite, 0},
      {"g32d.tif", "tiffcp -c g3:2d bw.tif g32d.tif", F::BlackWhite, 0},
      {"g4.tif", "tiffcp -c g4 bw.tif g4.tif", F::BlackWhite, 0},
      {"g4mib.tif", "tiffcp -c g4 mib.tif g4mib.tif", F::BlackWhite, 0},
      {"packbits.tif", in + "rgb.tif && tiffcp -c packbits rgb.tif packbits.tif", F::TrueColor, 0},
      {"deflate.tif", "tiffcp -c zip rgb.tif deflate.tif && tiffset -s 259 32946 deflate.tif", F::TrueColor, 0},
      {"zip.tif", in + "-compress Zip zip.tif", F::TrueColor, 0},
      {"jpegrgb.tif", "tiffcp -c jpeg:r rgb.tif jpegrgb.tif", F::TrueColor, 3},
      {"jpegycc.tif", "tiffcp -c jpeg -r 16 rgb.tif jpegycc.tif", F::TrueColor, 3},
      {"pal4.tif", in + "-colors 16 -type Palette -depth 4 pal4.tif", F::Color16, 0},
      {"pal8.tif", in + "-type Palette pal8.tif", F::Color256, 0},
      {"gray4.tif", in + "-type Grayscale -depth 4 gray4.tif", F::Gray16, 0},
      {"gray8.tif", in + "-type Grayscale gray8.tif", F::Gray256, 0},
      {"rgb16.tif", kMagick + "in.ppm -density 72 -units PixelsPerInch -depth 16 rgb16.tif", F::TrueColor, 0},
      {"tiled.tif", in + "-define tiff:tile-geometry=16x16 tiled.tif", F::TrueColor, 0},
      {"tiledbw.tif", "tiffcp -t -w 16 -l 16 bw.tif tiledbw.tif", F::BlackWhite, 0},
      {"planar.tif", in + "-interlace plane planar.tif", F::TrueColor, 0},
      {"cmyk.tif", in + "-colorspace CMYK cmyk.tif", F::TrueColor, 1},
      {"pages.tif", kMagick + "in.ppm in2.ppm bw.tif -density 72 -units PixelsPerInch -depth 8 pages.tif", F::TrueColor,
       0, 3},
      {"inch.tif", in + "-density 300 -units PixelsPerInch inch.tif", F::TrueColor, 0, 1, 300},
      {"cm.tif", in + "-density 118.11 -units PixelsPerCentimeter cm.tif", F::TrueColor, 0, 1, 300},
      {"nores.tif", kMagick + "in.ppm -depth 8 nores.tif", F::TrueColor, 0, 1, 96},
  };
  for (const TPeerFile& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(Shell(dir, c.Commands));
    TTiffGraphic counter;
    TFileStream stream(dir / c.Name, TFileMode::fmOpenRead);
    ASSERT_EQ(counter.GetImageCount(stream), c.Pages);
    for (int page = 1; page <= c.Pages; ++page) {
      std::unique_ptr<TTiffGraphic> ours;
      try {
        ours = ReadPage(dir / c.Name, page);
      } catch (const Exception& e) {
        ADD_FAILURE() << "page " << page << ": " << e.Message();
        continue;
      }
      if (page == 1) {
        EXPECT_EQ(ours->ImageFormat(), c.Format);
      }
      EXPECT_EQ(ours->XDpi(), c.Dpi);
      const TRgbPicture theirs = MagickPixels(dir / c.Name + "[" + std::to_string(page - 1) + "]", kWidth, kHeight);
      EXPECT_TRUE(SamePixels(OurPixels(*ours), theirs, c.Tolerance)) << "page " << page;
    }
  }
}

TEST(TiffInterop, PeersReadEveryPairWeWrite) {
  QV_REQUIRE_IMAGEMAGICK();
  if (!HaveTiffTools()) GTEST_SKIP() << "libtiff's tools are not installed";
  TScratchFolder dir;
  for (int f = 0; f < kImageFormatCount; ++f)
    for (int c = 0; c < kTiffCompressionCount; ++c) {
      const auto format = static_cast<TImageFormat>(f);
      const auto compression = static_cast<TTiffCompression>(c);
      if (!TiffCompressionAllowed(compression, format)) continue;
      SCOPED_TRACE(ImageFormatName(format) + " / " + TiffCompressionName(compression));
      TTiffGraphic image;
      image.Assign(MakeImage(format, kWidth, kHeight, static_cast<uint32_t>(f * 10 + c)).get());
      image.SetCompression(compression);
      const std::string name = "ours-" + std::to_string(f) + "-" + std::to_string(c) + ".tif";
      image.SaveToFile(dir / name);
      // tiffinfo reads every field and decodes every strip without a complaint.
      ASSERT_TRUE(Shell(dir, "tiffinfo -D " + name + " 2>&1 >/dev/null | grep . && exit 1 || exit 0"));
      const TRgbPicture theirs = MagickPixels(dir / name, kWidth, kHeight);
      if (compression == TTiffCompression::tcJpeg)
        // Lossy: both decoders of the same file agree within a level or two.
        EXPECT_TRUE(SamePixels(OurPixels(*ReadPage(dir / name, 1)), theirs, 2));
      else
        EXPECT_TRUE(SamePixels(OurPixels(image), theirs));
    }
}

TEST(TiffInterop, PagesWeAppendArePagesForThePeers) {
  QV_REQUIRE_IMAGEMAGICK();
  if (!HaveTiffTools()) GTEST_SKIP() << "libtiff's tools are not installed";
  TScratchFolder dir;
  const TImageFormat formats[] = {TImageFormat::BlackWhite, TImageFormat::Color256, TImageFormat::Gray16};
  {
    TFileStream file(dir / "book.tif", TFileMode::fmCreate);
    for (TImageFormat format : formats) {
      TTiffGraphic page;
      page.Assign(MakeImage(format, kWidth, kHeight, static_cast<uint32_t>(format)).get());
      page.AppendToStream(file);
    }
  }
  ASSERT_TRUE(Shell(dir, "test $(tiffinfo book.tif 2>/dev/null | grep -c 'TIFF Directory') = 3"));
  for (int page = 1; page <= 3; ++page) {
    const TRgbPicture theirs = MagickPixels(dir / "book.tif[" + std::to_string(page - 1) + "]", kWidth, kHeight);
    EXPECT_TRUE(SamePixels(OurPixels(*ReadPage(dir / "book.tif", page)), theirs)) << page;
  }
}
