#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "colour/QvColour.h"
#include "model/QvExcept.h"
#include "model/QvIccProfile.h"
#include "support/PictureCompare.h"
#include "support/TestProfiles.h"

using namespace quorvane;

namespace {

using Bytes = std::vector<uint8_t>;

using qvtest::GrayProfile;
using qvtest::SrgbProfile;
using qvtest::WideGamutProfile;

int Channel(TColorValue c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// A TrueColor row holding Colors (red, green, blue each).
void MakeRow(TDibGraphic& image, const std::vector<std::array<int, 3>>& colors) {
  image.NewImage(static_cast<int>(colors.size()), 1, TImageFormat::TrueColor, nullptr, 0, 0);
  for (size_t x = 0; x < colors.size(); ++x)
    image.SetPixel(static_cast<int>(x), 0,
                   static_cast<TColorValue>(colors[x][0] << 16 | colors[x][1] << 8 | colors[x][2]));
}

}  // namespace

// The neutral axis stays neutral, its ends stay put, and saturated colours of the wide gamut move
// towards sRGB's: strong colours come out more saturated in sRGB numbers (or clipped).
TEST(ColourConversion, WideGamutToSrgbKeepsNeutralsAndMovesColours) {
  TDibGraphic image;
  MakeRow(image, {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {40, 200, 60}, {200, 60, 40}});
  image.SetIccProfile(WideGamutProfile());
  ASSERT_TRUE(ConvertToSrgb(image));
  EXPECT_FALSE(image.HasIccProfile());
  EXPECT_EQ(image.GetPixel(0, 0), 0x000000u);
  EXPECT_EQ(image.GetPixel(1, 0), 0xFFFFFFu);
  const TColorValue gray = image.GetPixel(2, 0);
  EXPECT_NEAR(Channel(gray, 16), Channel(gray, 8), 1);
  EXPECT_NEAR(Channel(gray, 0), Channel(gray, 8), 1);
  EXPECT_NEAR(Channel(gray, 8), 128, 3);
  const TColorValue green = image.GetPixel(3, 0);
  EXPECT_LT(Channel(green, 16), 40 - 10);  // red falls: the wide green lies outside sRGB
  const TColorValue red = image.GetPixel(4, 0);
  EXPECT_GT(Channel(red, 16), 200);
}

TEST(ColourConversion, ImagesWithoutUsableProfileAreLeftAlone) {
  const struct {
    const char* Name;
    TImageFormat Format;
    Bytes Profile;
  } cases[] = {
      {"no profile", TImageFormat::TrueColor, {}},
      {"gray profile on colour", TImageFormat::TrueColor, GrayProfile(2.2)},
      {"colour profile on gray", TImageFormat::Gray256, WideGamutProfile()},
  };
  for (const auto& c : cases) {
    TDibGraphic image, before;
    image.NewImage(7, 3, c.Format, nullptr, 0, 0);
    for (int x = 0; x < 7; ++x) image.SetPixel(x, 1, 0x336699u * static_cast<uint32_t>(x));
    image.SetIccProfile(c.Profile);
    before.Assign(&image);
    EXPECT_FALSE(ConvertToSrgb(image)) << c.Name;
    EXPECT_FALSE(ConvertForDisplay(image, {})) << c.Name;
    EXPECT_TRUE(qvtest::SamePicture(image, before)) << c.Name;
    EXPECT_EQ(image.IccProfile(), c.Profile) << c.Name;
  }
}

TEST(ColourConversion, SrgbProfileIsNearlyIdentity) {
  TDibGraphic image;
  std::vector<std::array<int, 3>> colors;
  for (int i = 0; i < 256; i += 15) colors.push_back({i, 255 - i, (i * 7) % 256});
  MakeRow(image, colors);
  image.SetIccProfile(SrgbProfile());
  ASSERT_TRUE(ConvertToSrgb(image));
  for (size_t x = 0; x < colors.size(); ++x) {
    const TColorValue c = image.GetPixel(static_cast<int>(x), 0);
    EXPECT_NEAR(Channel(c, 16), colors[x][0], 1) << x;
    EXPECT_NEAR(Channel(c, 8), colors[x][1], 1) << x;
    EXPECT_NEAR(Channel(c, 0), colors[x][2], 1) << x;
  }
}

// Palette images change their palette, not their indices; gray images change their levels (what
// files store), in order and with black and white in place.
TEST(ColourConversion, PaletteAndGrayFormats) {
  TDibPalette palette{};
  palette.Count = 2;
  palette.Entries[0] = {60, 200, 40, 0};  // blue, green, red
  palette.Entries[1] = {128, 128, 128, 0};
  TDibGraphic indexed;
  indexed.NewImage(4, 2, TImageFormat::Color256, &palette, 0, 0);
  indexed.SetPixelIndex(1, 1, 1);
  indexed.SetIccProfile(WideGamutProfile());
  ASSERT_TRUE(ConvertToSrgb(indexed));
  EXPECT_EQ(indexed.GetPixelIndex(1, 1), 1);
  EXPECT_EQ(indexed.GetPixelIndex(0, 0), 0);
  EXPECT_LT(indexed.PaletteRecord().Entries[0].Red, 30);
  EXPECT_EQ(indexed.PaletteRecord().Count, 2);

  for (TImageFormat format : {TImageFormat::Gray256, TImageFormat::Gray16}) {
    const int levels = format == TImageFormat::Gray256 ? 256 : 16;
    TDibGraphic gray;
    gray.NewImage(levels, 1, format, nullptr, 0, 0);
    for (int x = 0; x < levels; ++x) gray.SetPixelIndex(x, 0, x);
    gray.SetIccProfile(GrayProfile(1.0));  // linear levels: brighter numbers in sRGB's curve
    ASSERT_TRUE(ConvertToSrgb(gray));
    EXPECT_FALSE(gray.HasIccProfile());
    EXPECT_EQ(gray.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(gray.GetPixelIndex(levels - 1, 0), levels - 1);
    for (int x = 1; x < levels; ++x) EXPECT_GE(gray.GetPixelIndex(x, 0), gray.GetPixelIndex(x - 1, 0));
    // Linear light at a quarter is about 137 in sRGB's curve.
    if (levels == 256) {
      EXPECT_NEAR(gray.GetPixelIndex(64, 0), 137, 3);
    }
  }
}

// The display copy converts the palette of gray images too (the screen draws through it) and
// keeps the profile; a target profile is kept by ConvertToProfile.
TEST(ColourConversion, DisplayAndTargetProfiles) {
  TDibGraphic gray;
  gray.NewImage(4, 1, TImageFormat::Gray256, nullptr, 0, 0);
  gray.SetPixelIndex(1, 0, 64);
  gray.SetIccProfile(GrayProfile(1.0));
  ASSERT_TRUE(ConvertForDisplay(gray, {}));
  EXPECT_EQ(gray.GetPixelIndex(1, 0), 64);
  EXPECT_NEAR(gray.PaletteRecord().Entries[64].Green, 137, 3);
  EXPECT_TRUE(gray.HasIccProfile());

  TDibGraphic image;
  MakeRow(image, {{40, 200, 60}});
  const Bytes wide = WideGamutProfile();
  image.SetIccProfile(SrgbProfile());
  ASSERT_TRUE(ConvertToProfile(image, wide));
  EXPECT_EQ(image.IccProfile(), wide);
  EXPECT_GT(Channel(image.GetPixel(0, 0), 16), 40);  // sRGB green is inside the wide gamut
}

TEST(ColourConversion, RefusedProfilesRaiseAndChangeNothing) {
  // Passes the byte checks, but has no tags Little CMS can use.
  Bytes fake(200, 0);
  fake[3] = 200;
  std::memcpy(fake.data() + 16, "RGB ", 4);
  std::memcpy(fake.data() + 36, "acsp", 4);
  TDibGraphic image, before;
  MakeRow(image, {{1, 2, 3}, {4, 5, 6}});
  image.SetIccProfile(fake);
  before.Assign(&image);
  EXPECT_THROW(ConvertToSrgb(image), EQuorvaneError);
  EXPECT_TRUE(qvtest::SamePicture(image, before));
  EXPECT_EQ(image.IccProfile(), fake);
  EXPECT_THROW(TColourTransform(WideGamutProfile(), GrayProfile(2.2)), EQuorvaneError);
}

TEST(ColourConversion, TransformsAreCachedByProfileBytes) {
  const Bytes wide = WideGamutProfile();
  const auto first = CachedColourTransform(wide);
  EXPECT_EQ(CachedColourTransform(Bytes(wide)), first);
  EXPECT_NE(CachedColourTransform(wide, wide), first);
  EXPECT_NE(CachedColourTransform(GrayProfile(2.2)), first);
}

// Profiles made of chromaticities: sRGB's own primaries and gamma convert almost as sRGB does;
// primaries that span no triangle, or values no file can mean, make none.
TEST(ColourConversion, ProfilesOfChromaticities) {
  const TChromaticities srgb{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
  const Bytes made = RgbProfileFor(srgb, 2.2);
  ASSERT_FALSE(made.empty());
  EXPECT_EQ(IccColourSpace(made), "RGB ");
  TDibGraphic image;
  MakeRow(image, {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {40, 200, 60}, {200, 60, 40}});
  TDibGraphic original;
  original.Assign(&image);
  image.SetIccProfile(made);
  ASSERT_TRUE(ConvertToSrgb(image));
  // A pure 2.2 curve against sRGB's: a few levels apart in the darks at most.
  for (int x = 0; x < 5; ++x)
    for (int shift : {0, 8, 16})
      EXPECT_NEAR(Channel(image.GetPixel(x, 0), shift), Channel(original.GetPixel(x, 0), shift), 6) << x;

  const struct {
    const char* Name;
    TChromaticities Chromaticities;
    double Gamma;
  } refused[] = {
      {"primaries on a line", {0.3127, 0.3290, 0.2, 0.2, 0.3, 0.3, 0.4, 0.4}, 2.2},
      {"no white", {0, 0, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}, 2.2},
      {"no gamma", srgb, 0},
      {"negative", {0.3127, 0.3290, -0.64, 0.33, 0.30, 0.60, 0.15, 0.06}, 2.2},
  };
  for (const auto& r : refused) EXPECT_TRUE(RgbProfileFor(r.Chromaticities, r.Gamma).empty()) << r.Name;
}
