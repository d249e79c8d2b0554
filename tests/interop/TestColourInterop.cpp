// Embedded colour profiles against Little CMS's own tools and ImageMagick: a wide-gamut picture
// (the picture with the free Adobe-RGB-compatible profile embedded by ImageMagick's -profile) in
// JPEG, PNG and TIFF. Our sRGB result agrees with tificc and with ImageMagick's -profile sRGB.icc
// within one level, and the profile survives our reading and writing byte for byte. A PNG without
// a profile whose cHRM and gAMA chunks say what its values mean is converted as by such a profile.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "colour/QvColour.h"
#include "interop/InteropSupport.h"
#include "support/TestProfiles.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kWidth = 61, kHeight = 37;
const std::string kIccFolder = "/usr/share/color/icc/";
const std::string kWideProfile = kIccFolder + "compatibleWithAdobeRGB1998.icc";
const std::string kSrgbProfile = kIccFolder + "sRGB.icc";

bool RunTool(const std::string& command) {
  return std::system(("timeout 60 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HavePeers() {
  return std::filesystem::exists(kWideProfile) && std::filesystem::exists(kSrgbProfile) &&
         RunTool("sh -c 'command -v tificc'");
}

#define QV_REQUIRE_COLOUR_PEERS() \
  QV_REQUIRE_IMAGEMAGICK();       \
  if (!HavePeers()) GTEST_SKIP() << "icc-profiles-free and liblcms2-utils (tificc) are not installed"

// The test picture with the wide-gamut profile embedded by ImageMagick, as File (8 bits per
// sample, uncompressed TIFF, high-quality JPEG).
std::string WideGamutFile(const TScratchFolder& dir, const std::string& extension) {
  const std::string ppm = dir / "picture.ppm";
  if (!std::filesystem::exists(ppm)) WritePpm(ppm, TestPicture(kWidth, kHeight, 11));
  const std::string file = dir / ("wide." + extension);
  EXPECT_TRUE(Convert(ppm + " -depth 8 -compress none -quality 95 -profile " + kWideProfile + " " + file));
  return file;
}

int LargestDifference(const TRgbPicture& a, const TRgbPicture& b) {
  int largest = 0;
  for (size_t i = 0; i < std::min(a.Rgb.size(), b.Rgb.size()); ++i)
    largest = std::max(largest, std::abs(a.Rgb[i] - b.Rgb[i]));
  return largest;
}

}  // namespace

TEST(ColourInterop, SrgbResultAgreesWithLittleCmsToolsAndImageMagick) {
  QV_REQUIRE_COLOUR_PEERS();
  TScratchFolder dir;
  const std::string ourSrgb = dir / "lcms-srgb.icc";
  PutFileBytes(ourSrgb, qvtest::SrgbProfile());
  for (const std::string extension : {"tif", "png", "jpg"}) {
    SCOPED_TRACE(extension);
    const std::string file = WideGamutFile(dir, extension);
    std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(file);
    ASSERT_EQ(image->IccProfile(), FileBytes(kWideProfile));
    const TRgbPicture original = OurPixels(*image);
    ASSERT_TRUE(ConvertToSrgb(*image));
    const TRgbPicture ours = OurPixels(*image);
    EXPECT_GT(LargestDifference(ours, original), 20) << "the wide gamut must matter in this picture";

    // ImageMagick towards the sRGB profile we convert to (Little CMS's own), and towards the
    // packaged sRGB.icc, whose curves differ slightly near black: colours clipped out of the wide
    // gamut may land a level further there.
    const TRgbPicture magick = MagickPixels(file, kWidth, kHeight, "-profile " + ourSrgb);
    EXPECT_TRUE(SamePixels(ours, magick, 1));
    RecordProperty("imagemagick_" + extension, LargestDifference(ours, magick));
    const TRgbPicture packaged = MagickPixels(file, kWidth, kHeight, "-profile " + kSrgbProfile);
    EXPECT_TRUE(SamePixels(ours, packaged, 2));
    RecordProperty("imagemagick_srgb_icc_" + extension, LargestDifference(ours, packaged));
    if (extension == "tif") {
      const std::string peer = dir / "tificc.tif";
      ASSERT_TRUE(RunTool("tificc -t0 " + file + " " + peer));
      const TRgbPicture tificc = MagickPixels(peer, kWidth, kHeight);
      EXPECT_TRUE(SamePixels(ours, tificc, 1));
      RecordProperty("tificc_tif", LargestDifference(ours, tificc));
    }
  }
}

// Our files carry the profile where the peers look for it: ImageMagick extracts the same bytes,
// and tificc converts our TIFF exactly as it converts the original.
TEST(ColourInterop, ProfileSurvivesOurRoundTrip) {
  QV_REQUIRE_COLOUR_PEERS();
  TScratchFolder dir;
  const std::vector<uint8_t> profile = FileBytes(kWideProfile);
  for (const std::string extension : {"tif", "png", "jpg"}) {
    SCOPED_TRACE(extension);
    const std::string file = WideGamutFile(dir, extension);
    std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(file);
    const std::string ours = dir / ("ours." + extension);
    WriteThroughRegistry(*image, ours);
    const std::string extracted = dir / ("ours-" + extension + ".icc");
    ASSERT_TRUE(Convert(ours + " " + extracted));
    EXPECT_EQ(FileBytes(extracted), profile);
    if (extension == "tif") {
      ASSERT_TRUE(RunTool("tificc -t0 " + file + " " + dir / "from-original.tif"));
      ASSERT_TRUE(RunTool("tificc -t0 " + ours + " " + dir / "from-ours.tif"));
      EXPECT_TRUE(SamePixels(MagickPixels(dir / "from-ours.tif", kWidth, kHeight),
                             MagickPixels(dir / "from-original.tif", kWidth, kHeight)));
    }
  }
}

// A PNG without a profile whose cHRM chunk gives wide primaries (those of the wide-gamut working
// space) and whose gAMA gives 1/2.2: its stored values are kept, and its sRGB colours (what the
// screen and the printer get) agree with tificc's conversion of the same values tagged with a
// profile of those primaries and that gamma.
TEST(ColourInterop, PngChromaticitiesAreFollowedLikeAProfile) {
  QV_REQUIRE_COLOUR_PEERS();
  TScratchFolder dir;
  std::unique_ptr<TDibGraphic> picture = MakeImage(TImageFormat::TrueColor, kWidth, kHeight, 3);
  const std::string plain = dir / "plain.png";
  WriteThroughRegistry(*picture, plain);
  std::vector<uint8_t> png = FileBytes(plain);
  // cHRM after IHDR (signature 8 bytes, IHDR 25): white D65, then red, green and blue, x and y
  // times 100000, big-endian.
  std::vector<uint8_t> chunk{0, 0, 0, 32, 'c', 'H', 'R', 'M'};
  for (uint32_t v : {31270u, 32900u, 64000u, 33000u, 21000u, 71000u, 15000u, 6000u})
    chunk.insert(chunk.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  const uint32_t crc = static_cast<uint32_t>(::crc32(0, chunk.data() + 4, 36));
  chunk.insert(chunk.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
  const std::string wide = dir / "chrm.png";
  PutFileBytes(wide, png);
  ASSERT_TRUE(RunTool("pngcheck " + wide));

  std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(wide);
  EXPECT_TRUE(SamePixels(OurPixels(*image), OurPixels(*picture))) << "the stored values stay";
  ASSERT_FALSE(image->IccProfile().empty());
  TDibGraphic shown;
  shown.Assign(image.get());
  ASSERT_TRUE(ConvertForDisplay(shown, {}));
  ASSERT_TRUE(ConvertToSrgb(*image));
  const TRgbPicture ours = OurPixels(*image);
  EXPECT_TRUE(SamePixels(OurPixels(shown), ours));
  EXPECT_GT(LargestDifference(ours, OurPixels(*picture)), 20) << "the wide gamut must matter in this picture";

  // The same values in a TIFF with a profile of the file's primaries and gamma, made here.
  cmsCIExyY white{0.3127, 0.3290, 1};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1 / 0.45455);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  TDibGraphic tagged;
  tagged.Assign(picture.get());
  tagged.SetIccProfile(qvtest::SavedProfile(cmsCreateRGBProfile(&white, &primaries, curves)));
  cmsFreeToneCurve(curve);
  const std::string tiff = dir / "tagged.tif";
  WriteThroughRegistry(tagged, tiff);
  ASSERT_TRUE(RunTool("tificc -t0 " + tiff + " " + dir / "tificc.tif"));
  const TRgbPicture tificc = MagickPixels(dir / "tificc.tif", kWidth, kHeight);
  EXPECT_TRUE(SamePixels(ours, tificc, 1));
  RecordProperty("tificc_png_chrm", LargestDifference(ours, tificc));

  // Saved again, the file carries what it means as a profile.
  const std::string saved = dir / "saved.png";
  WriteThroughRegistry(*ReadThroughRegistry(wide), saved);
  std::unique_ptr<TDibGraphic> again = ReadThroughRegistry(saved);
  EXPECT_TRUE(SamePixels(OurPixels(*again), OurPixels(*picture)));
  ASSERT_TRUE(ConvertToSrgb(*again));
  EXPECT_TRUE(SamePixels(OurPixels(*again), ours));
}
