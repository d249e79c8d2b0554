#include "colour/QvColour.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <mutex>

#include "model/QvExcept.h"
#include "model/QvIccProfile.h"

namespace quorvane {

namespace {

// Kept transforms: a view, a printer and a converter each use one or two at a time.
constexpr size_t kCachedTransforms = 4;

struct TProfileCloser {
  void operator()(void* profile) const {
    if (profile) cmsCloseProfile(static_cast<cmsHPROFILE>(profile));
  }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;

[[noreturn]] void Refuse(const char* why) {
  throw EQuorvaneError(std::string("The colour profile cannot be used: ") + why);
}

TProfile OpenProfile(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return TProfile(cmsCreate_sRGBProfile());
  if (!IccProfileProblem(bytes).empty()) Refuse("it is damaged");
  TProfile profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
  if (!profile) Refuse("Little CMS cannot read it");
  return profile;
}

struct TCacheEntry {
  std::vector<uint8_t> Source, Target;
  std::shared_ptr<const TColourTransform> Transform;
};

struct TCache {
  std::mutex Lock;
  std::vector<TCacheEntry> Entries;  // most recently used first
};

TCache& Cache() {
  static TCache cache;
  return cache;
}

// The gray levels of a 16- or 256-level image after conversion: the green of the converted gray.
template <size_t N>
std::array<uint8_t, N> ConvertedLevels(const TColourTransform& transform) {
  constexpr int step = 255 / (N - 1);
  std::array<uint8_t, N> in{};
  for (size_t i = 0; i < N; ++i) in[i] = static_cast<uint8_t>(i * step);
  std::array<uint8_t, N * 3> out{};
  transform.Convert(in.data(), out.data(), N);
  std::array<uint8_t, N> levels{};
  for (size_t i = 0; i < N; ++i) levels[i] = static_cast<uint8_t>((out[3 * i + 1] + step / 2) / step);
  return levels;
}

void ConvertPalette(TDibPalette& palette, const TColourTransform& transform) {
  const size_t count = std::min<size_t>(palette.Count, palette.Entries.size());
  std::vector<uint8_t> in(count * 3), out(count * 3);
  for (size_t i = 0; i < count; ++i) {
    const TPaletteEntry& e = palette.Entries[i];
    if (transform.GrayInput()) {
      in[i] = e.Green;
    } else {
      in[3 * i] = e.Blue;
      in[3 * i + 1] = e.Green;
      in[3 * i + 2] = e.Red;
    }
  }
  transform.Convert(in.data(), out.data(), count);
  for (size_t i = 0; i < count; ++i) {
    TPaletteEntry& e = palette.Entries[i];
    e.Blue = out[3 * i];
    e.Green = out[3 * i + 1];
    e.Red = out[3 * i + 2];
  }
}

// Gives Image another palette with the same pixels. Through a new pixel block, so that the image's
// nearest-entry finder is made over the new entries.
void ReplacePalette(TDibGraphic& image, const TDibPalette& palette) {
  const int xDpi = image.XDpi(), yDpi = image.YDpi();
  TDibGraphic copy;
  copy.NewImageForOverwrite(image.Width(), image.Height(), image.ImageFormat(), &palette, 0, 0);
  std::copy_n(static_cast<const TDibGraphic&>(image).Bits(), image.ImageSize(), copy.Bits());
  copy.CopyIccProfile(image);
  copy.SetFrameDelay(image.FrameDelay());
  image.TakeImage(copy);
  image.SetXDpi(static_cast<uint16_t>(xDpi));
  image.SetYDpi(static_cast<uint16_t>(yDpi));
}

void ConvertTrueColorRows(TDibGraphic& image, const TColourTransform& transform) {
  const size_t width = static_cast<size_t>(image.Width());
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    transform.Convert(row, row, width);
  }
}

// Maps every pixel's index through Levels (gray images store levels as indices).
void RemapGrayIndices(TDibGraphic& image, const uint8_t* levels, int bits) {
  const size_t rowBytes = static_cast<size_t>(image.BytesPerLine());
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    if (bits == 8) {
      for (size_t i = 0; i < rowBytes; ++i) row[i] = levels[row[i]];
    } else {
      for (size_t i = 0; i < rowBytes; ++i)
        row[i] = static_cast<uint8_t>(levels[row[i] >> 4] << 4 | levels[row[i] & 0x0F]);
    }
  }
}

}  // namespace

TColourTransform::TColourTransform(const std::vector<uint8_t>& source, const std::vector<uint8_t>& target) {
  TProfile in = OpenProfile(source);
  TProfile out = OpenProfile(target);
  const cmsColorSpaceSignature inSpace = cmsGetColorSpace(in.get());
  if (inSpace != cmsSigRgbData && inSpace != cmsSigGrayData) Refuse("its pixels are neither RGB nor gray");
  if (cmsGetColorSpace(out.get()) != cmsSigRgbData) Refuse("the target is not an RGB profile");
  FGrayInput = inSpace == cmsSigGrayData;
  // No one-pixel cache: a transform is shared by threads.
  FTransform = cmsCreateTransform(in.get(), FGrayInput ? TYPE_GRAY_8 : TYPE_BGR_8, out.get(), TYPE_BGR_8,
                                  INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
  if (FTransform == nullptr) Refuse("Little CMS cannot convert between the profiles");
}

TColourTransform::~TColourTransform() {
  if (FTransform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
}

void TColourTransform::Convert(const uint8_t* in, uint8_t* out, size_t count) const {
  // Little CMS counts pixels in 32 bits.
  constexpr size_t kMaxBatch = size_t{1} << 30;
  while (count > 0) {
    const size_t n = std::min(count, kMaxBatch);
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), in, out, static_cast<cmsUInt32Number>(n));
    in += n * (FGrayInput ? 1 : 3);
    out += n * 3;
    count -= n;
  }
}

std::shared_ptr<const TColourTransform> CachedColourTransform(const std::vector<uint8_t>& source,
                                                              const std::vector<uint8_t>& target) {
  TCache& cache = Cache();
  {
    std::lock_guard<std::mutex> lock(cache.Lock);
    for (size_t i = 0; i < cache.Entries.size(); ++i) {
      if (cache.Entries[i].Source == source && cache.Entries[i].Target == target) {
        std::rotate(cache.Entries.begin(), cache.Entries.begin() + static_cast<ptrdiff_t>(i),
                    cache.Entries.begin() + static_cast<ptrdiff_t>(i) + 1);
        return cache.Entries.front().Transform;
      }
    }
  }
  // Built outside the lock: building takes a while, and a refusal raises.
  auto transform = std::make_shared<const TColourTransform>(source, target);
  std::lock_guard<std::mutex> lock(cache.Lock);
  cache.Entries.insert(cache.Entries.begin(), TCacheEntry{source, target, transform});
  if (cache.Entries.size() > kCachedTransforms) cache.Entries.pop_back();
  return transform;
}

bool HasUsableProfile(const TDibGraphic& image) {
  return !image.Empty() && image.HasIccProfile() && IccProfileFits(image.IccProfile(), image.ImageFormat());
}

bool ConvertToProfile(TDibGraphic& image, const std::vector<uint8_t>& target) {
  if (!HasUsableProfile(image)) return false;
  const std::shared_ptr<const TColourTransform> transform = CachedColourTransform(image.IccProfile(), target);
  switch (image.ImageFormat()) {
    case TImageFormat::TrueColor: ConvertTrueColorRows(image, *transform); break;
    case TImageFormat::Color16:
    case TImageFormat::Color256: {
      TDibPalette palette = static_cast<const TDibGraphic&>(image).PaletteRecord();
      ConvertPalette(palette, *transform);
      ReplacePalette(image, palette);
      break;
    }
    case TImageFormat::Gray256: RemapGrayIndices(image, ConvertedLevels<256>(*transform).data(), 8); break;
    case TImageFormat::Gray16: RemapGrayIndices(image, ConvertedLevels<16>(*transform).data(), 4); break;
    case TImageFormat::BlackWhite: break;
  }
  // A gray image ends with gray levels in sRGB's tone curve: no profile says more than that.
  image.SetIccProfile(IccProfileFits(target, image.ImageFormat()) ? target : std::vector<uint8_t>{});
  return true;
}

std::vector<uint8_t> RgbProfileFor(const TChromaticities& c, double gamma) {
  const double values[] = {c.WhiteX, c.WhiteY, c.RedX, c.RedY, c.GreenX, c.GreenY, c.BlueX, c.BlueY, gamma};
  if (!std::all_of(std::begin(values), std::end(values), [](double v) { return v > 0 && v < 100; })) return {};
  // The primaries must span a triangle, or the matrix from them has no inverse.
  const double area = (c.GreenX - c.RedX) * (c.BlueY - c.RedY) - (c.BlueX - c.RedX) * (c.GreenY - c.RedY);
  if (std::abs(area) < 1e-6) return {};
  const cmsCIExyY white{c.WhiteX, c.WhiteY, 1.0};
  const cmsCIExyYTRIPLE primaries{{c.RedX, c.RedY, 1.0}, {c.GreenX, c.GreenY, 1.0}, {c.BlueX, c.BlueY, 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  if (!curve) return {};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const TProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  if (!profile) return {};
  if (cmsMLU* description = cmsMLUalloc(nullptr, 1)) {
    cmsMLUsetASCII(description, "en", "US", "Chromaticities and gamma of the file");
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
  }
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
  std::vector<uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
  bytes.resize(size);
  // The same checks as a profile read from a file, so that it is used like one.
  if (!IccProfileProblem(bytes).empty()) return {};
  return bytes;
}

bool ConvertForDisplay(TDibGraphic& image, const std::vector<uint8_t>& screen) {
  if (!HasUsableProfile(image)) return false;
  const std::shared_ptr<const TColourTransform> transform = CachedColourTransform(image.IccProfile(), screen);
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    ConvertTrueColorRows(image, *transform);
  } else {
    TDibPalette palette = static_cast<const TDibGraphic&>(image).PaletteRecord();
    ConvertPalette(palette, *transform);
    ReplacePalette(image, palette);
  }
  return true;
}

}  // namespace quorvane
