// brindlex-convert over the platform's picture loader, with no display: files ImageMagick writes
// in the formats the registry does not know convert into ours with ImageMagick's own pixels; the
// loader's formats are listed as read only.
#include <cstdlib>
#include <filesystem>

#include "ToolTestSupport.h"

using namespace qvtest;

namespace {

constexpr const char* kMagick = "/usr/bin/convert";

bool HaveMagick() { return std::filesystem::exists(kMagick); }

bool Magick(const std::string& arguments) {
  return std::system((std::string(kMagick) + " " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// What ImageMagick reads from File as 8-bit red, green, blue bytes.
// Selector picks a picture of a multi-picture file ("[1]") and may add options after it.
std::vector<uint8_t> MagickRgb(const std::string& file, const std::string& selector = "") {
  const std::string dump = file + ".rgb";
  if (!Magick(file + selector + " -depth 8 rgb:" + dump)) return {};
  return FileBytes(dump);
}

// The program runs without any display: the loader must not need one.
void ForgetDisplay() {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("QT_QPA_PLATFORM");
}

TEST(ConvertPlatformFormats, ReadOnlyFormatsAreListed) {
  ForgetDisplay();
  const TRun run = RunConvert({"--formats"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  for (const char* line : {"Bitmaps (*.bmp), read only\n", "Icons (*.ico), read only\n",
                           "GIF Images (*.gif), read only\n", "Portable Pixmaps (*.ppm), read only\n"})
    EXPECT_NE(run.Out.find(line), std::string::npos) << line;
  EXPECT_EQ(run.Out.find("(*.pcx), read only"), std::string::npos);
}

TEST(ConvertPlatformFormats, ImageMagickFilesConvertWithTheirPixels) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  ForgetDisplay();
  TScratchFolder dir;
  const std::string source = dir / "source.ppm";
  ASSERT_TRUE(Magick("-size 53x21 plasma:fractal -seed 4 -depth 8 " + source));
  const struct {
    const char* File;
    const char* Options;
    const char* Read;  // how ImageMagick reads the input for comparison
  } cases[] = {
      {"bw.bmp", "-monochrome BMP3:", ""},
      {"c16.bmp", "-colors 16 -type Palette BMP3:", ""},
      {"c256.bmp", "-colors 200 -type Palette BMP3:", ""},
      {"rle8.bmp", "-colors 200 -type Palette -compress RLE BMP3:", ""},
      {"rgb16.bmp", "-define bmp:subtype=RGB565 BMP:", ""},
      {"rgb24.bmp", "-type TrueColor BMP3:", ""},
      {"argb32.bmp", "-alpha set -define bmp:format=bmp4 BMP:", ""},
      {"anim.gif", "-colors 64 ", ""},
      {"gray.pgm", "-colorspace gray ", ""},
      {"bw.pbm", "-monochrome ", ""},
      {"plain.ppm", "-compress none ", ""},
      {"icon.ico", "-alpha set -channel A -fx 'i<20?0:1' +channel -define icon:auto-resize=48,32,16 ",
       "[1] -background black -alpha remove"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const std::string input = dir / c.File, output = dir / (std::string(c.File) + ".pcx");
    ASSERT_TRUE(Magick(source + " " + c.Options + input));
    // True colour output keeps every colour of every input exactly.
    const TRun run = RunConvert({input, "-o", output, "--convert", "truecolor", "--quiet"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::vector<uint8_t> theirs = MagickRgb(input, c.Read), ours = MagickRgb(output);
    ASSERT_EQ(ours.size(), theirs.size());
    size_t worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max<size_t>(worst, std::abs(ours[i] - theirs[i]));
    // Icons are blended onto black, where the two round differently by at most one.
    EXPECT_LE(worst, std::string(c.File) == "icon.ico" ? 1u : 0u);
  }
}

TEST(ConvertPlatformFormats, AnimationFramesArePages) {
  if (!HaveMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  ForgetDisplay();
  TScratchFolder dir;
  const std::string gif = dir / "anim.gif";
  ASSERT_TRUE(Magick("-size 17x9 xc:red xc:lime xc:blue -set delay 5 " + gif));
  const TRun all = RunConvert({gif, "-o", dir / "pages.dcx", "--all-pages", "--quiet"});
  ASSERT_EQ(all.Status, 0) << all.Err;
  EXPECT_EQ(PageCount(dir / "pages.dcx"), 3);
  EXPECT_EQ(ReadImage(dir / "pages.dcx", 3)->GetPixel(0, 0), 0x0000FFu);  // blue is byte 0

  const TRun second = RunConvert({gif, "-o", dir / "second.pcx", "--page", "2", "--quiet"});
  ASSERT_EQ(second.Status, 0) << second.Err;
  EXPECT_EQ(ReadImage(dir / "second.pcx")->GetPixel(5, 5), 0x00FF00u);

  const TRun info = RunConvert({"--info", gif});
  ASSERT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("3 pages"), std::string::npos) << info.Out;
}

TEST(ConvertPlatformFormats, LoaderFormatsAreNotWritten) {
  ForgetDisplay();
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 8, 8, 1), dir / "a.tga");
  const TRun run = RunConvert({dir / "a.tga", "-o", dir / "a.bmp"});
  EXPECT_NE(run.Status, 0);
  EXPECT_NE(run.Err.find("Graphic files of .bmp format are not supported or not registered"), std::string::npos)
      << run.Err;
  EXPECT_FALSE(std::filesystem::exists(dir / "a.bmp"));
}

}  // namespace
