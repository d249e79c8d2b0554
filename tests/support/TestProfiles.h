// ICC profiles for tests, made with Little CMS (link lcms2): a wide-gamut RGB profile, a gray
// profile of a given gamma and sRGB, as the bytes a file would embed.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace qvtest {

inline std::vector<uint8_t> SavedProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// The primaries of the common wide-gamut working space, D65, gamma 2.2.
inline std::vector<uint8_t> WideGamutProfile() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return SavedProfile(profile);
}

inline std::vector<uint8_t> GrayProfile(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return SavedProfile(profile);
}

inline std::vector<uint8_t> SrgbProfile() { return SavedProfile(cmsCreate_sRGBProfile()); }

}  // namespace qvtest
