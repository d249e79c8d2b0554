// Colour management: converts the colours of an image from its embedded ICC profile (model's
// TDibGraphic::IccProfile) to sRGB or to another RGB profile, such as a screen's, with Little CMS
// and the perceptual intent. An image without a profile is taken as sRGB and is never changed; a
// profile whose colour space does not fit the image's pixels (a gray profile on colour pixels, a
// CMYK profile) is ignored the same way.
//
// Transforms are expensive to build and cheap to run, so they are kept: CachedColourTransform
// hands out the few most recently used, keyed by the profiles' bytes. A transform may be run from
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/QvDiGrph.h"

namespace quorvane {

// One conversion from a source profile (RGB or gray) to a target RGB profile (empty: sRGB).
// Raises EQuorvaneError "The colour profile cannot be used" when Little CMS refuses either
// profile or the pair.
class TColourTransform {
 public:
  TColourTransform(const std::vector<uint8_t>& source, const std::vector<uint8_t>& target);
  ~TColourTransform();
  TColourTransform(const TColourTransform&) = delete;
  TColourTransform& operator=(const TColourTransform&) = delete;

  // True when the source profile is gray: Convert then reads one byte per pixel.
  bool GrayInput() const { return FGrayInput; }
  // Converts Count pixels from In (blue, green, red, or one gray byte each) to Out (blue, green,
  // red). In and Out may be the same buffer for colour input.
  void Convert(const uint8_t* in, uint8_t* out, size_t count) const;

 private:
  void* FTransform = nullptr;  // cmsHTRANSFORM
  bool FGrayInput = false;
};

// The transform from Source to Target (empty: sRGB), built once and kept with the few most
// recently used ones.
std::shared_ptr<const TColourTransform> CachedColourTransform(const std::vector<uint8_t>& source,
                                                              const std::vector<uint8_t>& target = {});

// True when Image has a profile that fits its pixels, so that its colours can be converted.
bool HasUsableProfile(const TDibGraphic& image);

// Converts the colours of Image from its profile to Target's (empty: sRGB) and gives it Target as
// its profile: TrueColor pixels, the palette of the colour palette formats, and the levels of
// the gray formats (their indices, which is what files store; black and white stay). Returns
// false, changing nothing, for an image without a usable profile. Raises as TColourTransform.
bool ConvertToProfile(TDibGraphic& image, const std::vector<uint8_t>& target = {});
inline bool ConvertToSrgb(TDibGraphic& image) { return ConvertToProfile(image, {}); }

// Where a picture's red, green and blue primaries and its white point lie (CIE 1931 x, y), as a
// PNG cHRM chunk gives them.
struct TChromaticities {
  double WhiteX = 0, WhiteY = 0;
  double RedX = 0, RedY = 0;
  double GreenX = 0, GreenY = 0;
  double BlueX = 0, BlueY = 0;
};

// An RGB profile for pixels of those primaries whose values are light to the power Gamma (2.2
// for most files; a PNG gAMA of 0.45455 is 1 / 2.2). Empty when Little CMS cannot make one
// (primaries on a line, a white point outside them).
std::vector<uint8_t> RgbProfileFor(const TChromaticities& chromaticities, double gamma);

// For a copy that is only shown: converts TrueColor pixels, or the palette of every palette
// format (what a screen draws them through), from Image's profile to Screen's (empty: sRGB). The
// pixels of palette formats stay as they are, and so does the profile. Returns false for an image
// without a usable profile.
bool ConvertForDisplay(TDibGraphic& image, const std::vector<uint8_t>& screen);

}  // namespace quorvane
