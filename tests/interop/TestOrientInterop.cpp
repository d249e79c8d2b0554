// Photos upright against ImageMagick's -auto-orient and Pillow: for each of the eight orientations,
// a JPEG whose orientation exiftool sets and TIFF pages (strips and tiles) whose Orientation
// ImageMagick writes read here, turned upright, with the peers' pixels; and for TIFF, where
// nothing is lost, with the upright picture itself.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "formats/QvOrient.h"
#include "interop/InteropSupport.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kWidth = 37, kHeight = 21;  // the upright picture; odd sizes, partial tiles

// Debian's Python with Pillow; a python3 earlier on the path may lack it.
constexpr const char* kPython = "/usr/bin/python3";

bool HavePillow() {
  return std::system((std::string(kPython) + " -c 'import PIL.ImageOps' >/dev/null 2>&1").c_str()) == 0;
}
bool HaveExiftool() { return std::system("exiftool -ver >/dev/null 2>&1") == 0; }

constexpr std::array<const char*, 9> kMagickName{"",        "TopLeft",  "TopRight",    "BottomRight", "BottomLeft",
                                                 "LeftTop", "RightTop", "RightBottom", "LeftBottom"};

// Where stored pixel (sx, sy) lies in the upright picture, for an orientation.
std::array<int, 2> UprightPosition(int orientation, int sx, int sy) {
  switch (orientation) {
    case 2: return {kWidth - 1 - sx, sy};
    case 3: return {kWidth - 1 - sx, kHeight - 1 - sy};
    case 4: return {sx, kHeight - 1 - sy};
    case 5: return {sy, sx};
    case 6: return {kWidth - 1 - sy, sx};
    case 7: return {kWidth - 1 - sy, kHeight - 1 - sx};
    case 8: return {sy, kHeight - 1 - sx};
    default: return {sx, sy};
  }
}

// The pixels a camera stores for Upright with the orientation.
TRgbPicture Stored(const TRgbPicture& upright, int orientation) {
  const bool transposed = orientation >= 5;
  TRgbPicture stored{transposed ? kHeight : kWidth, transposed ? kWidth : kHeight, {}};
  stored.Rgb.resize(upright.Rgb.size());
  for (int y = 0; y < stored.Height; ++y)
    for (int x = 0; x < stored.Width; ++x) {
      const auto [ux, uy] = UprightPosition(orientation, x, y);
      std::copy_n(upright.At(ux, uy), 3, stored.At(x, y));
    }
  return stored;
}

// Pillow's upright picture of File as RGB. Pillow turns TIFF pages upright as it loads them (its
// exif_transpose would turn them a second time); JPEG files go through exif_transpose.
TRgbPicture PillowUpright(const std::string& file) {
  const std::string dump = file + ".pillow.rgb";
  const std::string script =
      "import sys\nfrom PIL import Image, ImageOps\nim = Image.open(sys.argv[1])\nim.load()\n"
      "if im.format != 'TIFF': im = ImageOps.exif_transpose(im)\n"
      "open(sys.argv[2], 'wb').write(im.convert('RGB').tobytes())\n";
  const std::string command =
      "timeout 60 " + std::string(kPython) + " -c \"" + script + "\" " + file + " " + dump + " >/dev/null 2>&1";
  TRgbPicture picture{kWidth, kHeight, {}};
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "Pillow could not read " << file;
    return {};
  }
  picture.Rgb = FileBytes(dump);
  return picture;
}

struct TCase {
  const char* Kind;  // "jpeg", "tiff strips", "tiff tiles"
  int Orientation;
};

std::string CaseName(const testing::TestParamInfo<TCase>& info) {
  std::string name = info.param.Kind;
  for (char& c : name)
    if (c == ' ') c = '_';
  return name + "_" + std::to_string(info.param.Orientation);
}

class OrientInterop : public testing::TestWithParam<TCase> {};

TEST_P(OrientInterop, UprightAsThePeersShowIt) {
  QV_REQUIRE_IMAGEMAGICK();
  if (!HavePillow() || !HaveExiftool()) GTEST_SKIP() << "Pillow (python3-pil) or exiftool is not installed";
  const TCase c = GetParam();
  const bool jpeg = std::string(c.Kind) == "jpeg";
  TScratchFolder dir;
  const TRgbPicture upright = TestPicture(kWidth, kHeight, 23);
  WritePpm(dir / "stored.ppm", Stored(upright, c.Orientation));
  const std::string file = dir / (jpeg ? "photo.jpg" : "photo.tif");
  if (jpeg) {
    ASSERT_TRUE(Convert(dir / "stored.ppm" + " -quality 95 " + file));
    const std::string tag =
        "timeout 60 exiftool -q -overwrite_original -n -Orientation=" + std::to_string(c.Orientation) + " " + file +
        " >/dev/null 2>&1";
    ASSERT_EQ(std::system(tag.c_str()), 0);
  } else {
    const std::string tiles = std::string(c.Kind) == "tiff tiles" ? " -define tiff:tile-geometry=16x16" : "";
    ASSERT_TRUE(
        Convert(dir / "stored.ppm" + " -orient " + kMagickName[c.Orientation] + tiles + " -compress none " + file));
  }

  std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(file);
  // TIFF pages come with the flips of libtiff's RGBA conversion: 2 to 4 are upright already.
  EXPECT_EQ(AutoOrient(*image), jpeg ? c.Orientation != 1 : c.Orientation >= 5);
  const TRgbPicture ours = OurPixels(*image);
  ASSERT_EQ(ours.Width, kWidth);
  ASSERT_EQ(ours.Height, kHeight);
  EXPECT_TRUE(SamePixels(ours, MagickPixels(file, kWidth, kHeight, "-auto-orient"))) << "ImageMagick";
  EXPECT_TRUE(SamePixels(ours, PillowUpright(file))) << "Pillow";
  if (!jpeg) {
    EXPECT_TRUE(SamePixels(ours, upright)) << "the upright picture";
  }
}

std::vector<TCase> AllCases() {
  std::vector<TCase> cases;
  for (const char* kind : {"jpeg", "tiff strips", "tiff tiles"})
    for (int orientation = 1; orientation <= 8; ++orientation) cases.push_back({kind, orientation});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Orientations, OrientInterop, testing::ValuesIn(AllCases()), CaseName);

}  // namespace
