// PNG against ImageMagick and pngcheck, JPEG against cjpeg, djpeg and ImageMagick: files of every
// kind the peers write read with the peers' pixels (after our compositing and gamma rules), and
// the files we write pass the peers' checks and decode there to our pixels.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "formats/QvJpgGr.h"
#include "formats/QvPngGr.h"
#include "interop/InteropSupport.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kWidth = 67, kHeight = 23;

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// ImageMagick's reading of File at 16 bits per sample, reduced to the high byte (what libpng's
// 16-bit stripping gives).
TRgbPicture MagickHighBytes(const std::string& file, int width, int height, const std::string& extra) {
  const std::string dump = file + ".magick16.rgb";
  TRgbPicture picture{width, height, {}};
  if (!Convert(file + " " + extra + " -depth 16 -endian MSB rgb:" + dump)) {
    ADD_FAILURE() << "ImageMagick could not read " << file;
    return {};
  }
  const std::vector<uint8_t> wide = FileBytes(dump);
  if (wide.size() != static_cast<size_t>(width) * height * 6) {
    ADD_FAILURE() << "dump of " << file << " has " << wide.size() << " bytes";
    return {};
  }
  for (size_t i = 0; i < wide.size(); i += 2) picture.Rgb.push_back(wide[i]);
  return picture;
}

bool HasChunk(const std::vector<uint8_t>& png, const char* type) {
  for (size_t at = 8; at + 12 <= png.size(); at += 12 + Be32(png, at))
    if (std::equal(type, type + 4, png.begin() + static_cast<long>(at) + 4)) return true;
  return false;
}

// Inserts an sRGB chunk (perceptual intent) right after the header.
void InsertSrgb(std::vector<uint8_t>& png) {
  std::vector<uint8_t> chunk = {0, 0, 0, 1, 's', 'R', 'G', 'B', 0};
  const uint32_t crc = crc32(0, chunk.data() + 4, 5);
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
}

// A PNM (P5 or P6, 8-bit) as RGB.
TRgbPicture ReadPnm(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  in.get();
  TRgbPicture picture{width, height, {}};
  const size_t samples = static_cast<size_t>(width) * height * (magic == "P5" ? 1 : 3);
  std::vector<uint8_t> data(samples);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(samples));
  if (magic == "P6") {
    picture.Rgb = data;
  } else {
    for (uint8_t v : data) picture.Rgb.insert(picture.Rgb.end(), {v, v, v});
  }
  return picture;
}

void WritePgm(const std::string& file, const TRgbPicture& picture) {
  std::ofstream out(file, std::ios::binary);
  out << "P5\n" << picture.Width << " " << picture.Height << "\n255\n";
  for (size_t i = 0; i < picture.Rgb.size(); i += 3) out.put(static_cast<char>(picture.Rgb[i + 1]));
}

enum class TExpect { Exact, FlattenOnto, Gamma22 };

struct TMagickPng {
  const char* Name;
  std::string Options;
  int Depth, ColorType;
  bool Interlaced;
  TExpect Expect;
  std::string Background = "black";  // what transparent pixels become
};

}  // namespace

TEST(PngInterop, ReadsImageMagickFilesOfEveryColourTypeAndDepth) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 4));
  const std::string alpha = "-alpha set -channel A -fx '(i+j)/(w+h)' +channel ";
  const std::string plain = "-define png:exclude-chunks=bKGD,cHRM,tIME,date,tEXt,zTXt,gAMA ";
  const std::string withGamma = "-define png:exclude-chunks=bKGD,cHRM,tIME,date,tEXt,zTXt ";
  auto type = [](int colorType, int depth) {
    return "-define png:color-type=" + std::to_string(colorType) + " -define png:bit-depth=" + std::to_string(depth) +
           " ";
  };
  const TMagickPng cases[] = {
      {"gray1", plain + "-colorspace Gray " + type(0, 1), 1, 0, false, TExpect::Exact},
      {"gray2", plain + "-colorspace Gray " + type(0, 2), 2, 0, false, TExpect::Exact},
      {"gray2-adam7", plain + "-colorspace Gray -interlace PNG " + type(0, 2), 2, 0, true, TExpect::Exact},
      {"gray4", plain + "-colorspace Gray " + type(0, 4), 4, 0, false, TExpect::Exact},
      {"gray8", plain + "-colorspace Gray " + type(0, 8), 8, 0, false, TExpect::Exact},
      {"gray16-adam7", plain + "-colorspace Gray -interlace PNG " + type(0, 16), 16, 0, true, TExpect::Exact},
      {"graya8", plain + "-colorspace Gray " + alpha + type(4, 8), 8, 4, false, TExpect::FlattenOnto},
      {"graya16", plain + "-colorspace Gray " + alpha + type(4, 16), 16, 4, false, TExpect::FlattenOnto},
      {"rgb8", plain + type(2, 8), 8, 2, false, TExpect::Exact},
      {"rgb8-gama-adam7", withGamma + "-interlace PNG " + type(2, 8), 8, 2, true, TExpect::Exact},
      {"rgb16", plain + type(2, 16), 16, 2, false, TExpect::Exact},
      {"rgba8", plain + alpha + type(6, 8), 8, 6, false, TExpect::FlattenOnto},
      {"rgba16-adam7", plain + alpha + "-interlace PNG " + type(6, 16), 16, 6, true, TExpect::FlattenOnto},
      {"rgba8-bkgd",
       "-define png:exclude-chunks=cHRM,tIME,date,tEXt,zTXt,gAMA -background '#3080C0' " + alpha + type(6, 8), 8, 6,
       false, TExpect::FlattenOnto, "'#3080C0'"},
      {"palette4", plain + "-colors 9 " + type(3, 4), 4, 3, false, TExpect::Exact},
      {"palette8", plain + "-colors 200 " + type(3, 8), 8, 3, false, TExpect::Exact},
      {"palette8-trns", plain + "-colors 60 -alpha set -channel A -fx 'i<20?0:1' +channel " + type(3, 8), 8, 3, false,
       TExpect::FlattenOnto},
      {"rgb8-gamma1", "-define png:exclude-chunks=bKGD,cHRM,tIME,date,tEXt,zTXt -set gamma 1.0 " + type(2, 8), 8, 2,
       false, TExpect::Gamma22},
  };
  for (const TMagickPng& c : cases) {
    const std::string file = dir / (std::string(c.Name) + ".png");
    ASSERT_TRUE(Convert(dir / "in.ppm " + c.Options + file)) << c.Name;
    const std::vector<uint8_t> bytes = FileBytes(file);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes[24], c.Depth) << c.Name;
    EXPECT_EQ(bytes[25], c.ColorType) << c.Name;
    EXPECT_EQ(bytes[28], c.Interlaced ? 1 : 0) << c.Name;
    EXPECT_EQ(HasChunk(bytes, "bKGD"), c.Background != "black") << c.Name;
    const std::unique_ptr<TDibGraphic> ours = ReadThroughRegistry(file);
    std::string extra;
    int tolerance = 0;
    if (c.Expect == TExpect::FlattenOnto) extra = "-background " + c.Background + " -alpha remove", tolerance = 1;
    // ImageMagick takes a file with gAMA 1.0 as linear light and would convert it on output.
    if (c.Expect == TExpect::Gamma22) extra = "-set colorspace sRGB -evaluate pow 0.4545454545", tolerance = 1;
    EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickHighBytes(file, kWidth, kHeight, extra), tolerance)) << c.Name;
  }
}

TEST(PngInterop, SrgbWinsOverGammaAndDensityIsRead) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 6));
  ASSERT_TRUE(Convert(dir / "in.ppm -define png:exclude-chunks=bKGD,cHRM,tIME,date,tEXt,zTXt -set gamma 1.0 "
                            "-density 300 -units PixelsPerInch png24:" +
                      dir / "srgb.png"));
  std::vector<uint8_t> bytes = FileBytes(dir / "srgb.png");
  InsertSrgb(bytes);
  PutFileBytes(dir / "srgb.png", bytes);
  ASSERT_TRUE(RunTool("pngcheck -q " + dir / "srgb.png"));
  TPngGraphic ours;
  ours.LoadFromFile(dir / "srgb.png");
  EXPECT_EQ(ours.XDpi(), 300);
  EXPECT_TRUE(SamePixels(OurPixels(ours), MagickHighBytes(dir / "srgb.png", kWidth, kHeight, ""), 0));
}

// Our files of every format, interlaced or not, pass pngcheck and read in ImageMagick with our
// pixels.
TEST(PngInterop, OurFilesPassPngcheckAndReadInImageMagick) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (int f = 0; f < kImageFormatCount; ++f)
    for (bool interlaced : {true, false}) {
      const auto format = static_cast<TImageFormat>(f);
      std::unique_ptr<TDibGraphic> image = MakeImage(format, kWidth, kHeight, 11 + f);
      TPngGraphic writer;
      writer.Assign(image.get());
      writer.SetInterlaced(interlaced);
      writer.SetCompressionLevel(interlaced ? TPngCompressionLevel::clBest : TPngCompressionLevel::clFast);
      const std::string file = dir / ("ours" + std::to_string(f) + (interlaced ? "i" : "") + ".png");
      writer.SaveToFile(file);
      EXPECT_TRUE(RunTool("pngcheck -q " + file)) << file;
      EXPECT_TRUE(SamePixels(OurPixels(writer), MagickPixels(file, kWidth, kHeight))) << file;
    }
}

// Pictures large enough for the writer to choose its deflate strategy from a sample (noise takes
// a Huffman-only or run-length stream, smooth and flat parts string matches): every file passes
// pngcheck and reads in ImageMagick with our pixels.
TEST(PngInterop, LargeFilesOfEveryDeflateStrategyPassPngcheck) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  constexpr int kBigWidth = 700, kBigHeight = 540;
  for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Gray256})
    for (bool noise : {true, false}) {
      const int width = format == TImageFormat::Gray256 ? 3 * kBigWidth : kBigWidth;
      std::unique_ptr<TDibGraphic> image = MakeImage(format, width, kBigHeight, 5);
      TPngGraphic writer;
      writer.Assign(image.get());
      if (format == TImageFormat::Gray256) writer.PaletteRecord() = DefaultPalette(format);
      if (!noise)
        for (int y = 0; y < kBigHeight; ++y) {
          uint8_t* row = writer.ScanLine(y);
          for (int i = 0; i < writer.BytesPerLine(); ++i)
            row[i] = static_cast<uint8_t>(y < kBigHeight / 2 ? (i + y) / 5 : (i / 64 + y / 32) % 2 * 200);
        }
      for (bool interlaced : {true, false}) {
        writer.SetInterlaced(interlaced);
        const std::string file =
            dir / ("big" + std::to_string(int(format)) + (noise ? "n" : "s") + (interlaced ? "i" : "") + ".png");
        writer.SaveToFile(file);
        EXPECT_TRUE(RunTool("pngcheck -q " + file)) << file;
        EXPECT_TRUE(SamePixels(OurPixels(writer), MagickPixels(file, width, kBigHeight))) << file;
      }
    }
}

// ImageMagick's files with a gamma other than the screen's: the first reading corrects the pixels;
// saving that image again and reading the result, over and over, keeps them, and every file
// written passes pngcheck.
TEST(PngInterop, GammaCorrectedImageSavedAgainKeepsItsPixels) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 12));
  const std::string chunks = "-define png:exclude-chunks=bKGD,cHRM,tIME,date,tEXt,zTXt ";
  const std::pair<const char*, std::string> cases[] = {
      {"rgb8-gamma1", chunks + "-set gamma 1.0 png24:"},
      {"gray16-gamma0.7", chunks + "-set gamma 0.7 -colorspace Gray -define png:bit-depth=16 png:"},
      {"palette8-gamma1", chunks + "-set gamma 1.0 -colors 50 png8:"},
  };
  for (const auto& [name, options] : cases) {
    const std::string file = dir / (std::string(name) + ".png");
    ASSERT_TRUE(Convert(dir / "in.ppm " + options + file)) << name;
    ASSERT_TRUE(HasChunk(FileBytes(file), "gAMA")) << name;
    TPngGraphic image;
    image.LoadFromFile(file);
    const TRgbPicture first = OurPixels(image);
    for (int cycle = 1; cycle <= 3; ++cycle) {
      const std::string saved = dir / (std::string(name) + "-" + std::to_string(cycle) + ".png");
      image.SaveToFile(saved);
      EXPECT_TRUE(RunTool("pngcheck -q " + saved)) << saved;
      image.LoadFromFile(saved);
      EXPECT_TRUE(SamePixels(OurPixels(image), first)) << name << " cycle " << cycle;
    }
  }
}

TEST(JpegInterop, ReadsCjpegFilesWithDjpegsPixels) {
  TScratchFolder dir;
  const TRgbPicture picture = TestPicture(kWidth, kHeight, 8);
  WritePpm(dir / "in.ppm", picture);
  WritePgm(dir / "in.pgm", picture);
  const std::pair<const char*, std::string> cases[] = {
      {"default", "in.ppm"},
      {"progressive", "-progressive in.ppm"},
      {"444", "-sample 1x1 in.ppm"},
      {"420", "-sample 2x2 -quality 60 in.ppm"},
      {"gray", "in.pgm"},
      {"grayscale-of-colour", "-grayscale -optimize in.ppm"},
      {"restart", "-restart 1 in.ppm"},
  };
  for (const auto& [name, options] : cases) {
    const std::string file = dir / (std::string(name) + ".jpg");
    const std::string command = "cd " + dir / "" + " && cjpeg -outfile " + file + " " + options;
    ASSERT_TRUE(RunTool(command)) << name;
    ASSERT_TRUE(RunTool("djpeg -pnm -outfile " + file + ".pnm " + file)) << name;
    TJpegGraphic ours;
    ours.LoadFromFile(file);
    EXPECT_TRUE(ours.Warnings().empty()) << name;
    EXPECT_TRUE(SamePixels(OurPixels(ours), ReadPnm(file + ".pnm"))) << name;
  }
}

TEST(JpegInterop, ImageMagickDensitiesAndCmyk) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 9));
  struct Case {
    const char* Name;
    std::string Options;
    int Dpi;
  };
  const Case cases[] = {{"inches", "-density 300 -units PixelsPerInch", 300},
                        {"centimetres", "-density 28 -units PixelsPerCentimeter", 71},
                        {"none", "-strip", 96}};
  for (const Case& c : cases) {
    const std::string file = dir / (std::string(c.Name) + ".jpg");
    ASSERT_TRUE(Convert(dir / "in.ppm " + c.Options + " " + file)) << c.Name;
    ASSERT_TRUE(RunTool("djpeg -pnm -outfile " + file + ".pnm " + file));
    TJpegGraphic ours;
    ours.LoadFromFile(file);
    EXPECT_EQ(ours.XDpi(), c.Dpi) << c.Name;
    EXPECT_TRUE(SamePixels(OurPixels(ours), ReadPnm(file + ".pnm"))) << c.Name;
  }
  ASSERT_TRUE(Convert(dir / "in.ppm -colorspace CMYK " + dir / "cmyk.jpg"));
  TJpegGraphic cmyk;
  try {
    cmyk.LoadFromFile(dir / "cmyk.jpg");
    ADD_FAILURE() << "a CMYK file was read";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unsupported color conversion request");
  }
}

// A photograph cut short (large and noisy, cut to a small prefix that holds fewer bits than the
// picture has blocks) shows the rows its data holds and libjpeg's filler after them, pixel for
// pixel as djpeg decodes it, with a warning.
TEST(JpegInterop, CutPhotographsReadAsDjpegDecodesThem) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  const std::string noise = "-size 2000x1500 xc: +noise Random ";
  const std::pair<const char*, std::string> cases[] = {
      {"baseline", noise + "-quality 92 -sampling-factor 2x2"},
      {"progressive", noise + "-quality 85 -sampling-factor 2x1 -interlace JPEG"},
      {"gray", noise + "-colorspace Gray -quality 90"},
  };
  for (const auto& [name, options] : cases) {
    const std::string whole = dir / (std::string(name) + ".jpg");
    ASSERT_TRUE(Convert(options + " " + whole)) << name;
    const std::vector<uint8_t> bytes = FileBytes(whole);
    for (size_t size : {size_t{6000}, bytes.size() / 3}) {
      const std::string cut = dir / (std::string(name) + "-" + std::to_string(size) + ".jpg");
      PutFileBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(size)));
      // djpeg exits with 2 when it warned, as it must here.
      std::system(("djpeg -pnm -outfile " + cut + ".pnm " + cut + " >/dev/null 2>&1").c_str());
      TJpegGraphic ours;
      ours.LoadFromFile(cut);
      EXPECT_TRUE(SamePixels(OurPixels(ours), ReadPnm(cut + ".pnm"))) << cut;
      ASSERT_FALSE(ours.Warnings().empty()) << cut;
      EXPECT_EQ(ours.Warnings()[0], "Premature end of JPEG file") << cut;
    }
  }
}

TEST(JpegInterop, OurFilesDecodeInDjpegToOurPixels) {
  TScratchFolder dir;
  for (TImageFormat format : {TImageFormat::Gray256, TImageFormat::TrueColor})
    for (int variant = 0; variant < 3; ++variant) {
      std::unique_ptr<TDibGraphic> image = MakeImage(format, kWidth, kHeight, 21);
      TJpegGraphic writer;
      writer.Assign(image.get());
      writer.SetProgressive(variant == 1);
      writer.SetOptimizeCoding(variant == 2);
      if (variant == 2) writer.SetQuality(35);
      const std::string file =
          dir / ("ours" + std::to_string(static_cast<int>(format)) + "-" + std::to_string(variant) + ".jpg");
      writer.SaveToFile(file);
      ASSERT_TRUE(RunTool("djpeg -pnm -outfile " + file + ".pnm " + file)) << file;
      TJpegGraphic back;
      back.LoadFromFile(file);
      EXPECT_TRUE(SamePixels(OurPixels(back), ReadPnm(file + ".pnm"))) << file;
    }
}
