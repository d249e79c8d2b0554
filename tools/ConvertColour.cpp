#include "ConvertColour.h"

#include "colour/QvColour.h"
#include "model/QvExcept.h"
#include "model/QvIccProfile.h"

namespace brindlex {
using namespace quorvane;

namespace {

std::string SpaceName(const TDibGraphic& image) {
  std::string space = IccColourSpace(image.IccProfile());
  while (!space.empty() && space.back() == ' ') space.pop_back();
  return space.empty() ? "unknown" : space;
}

}  // namespace

std::string PrepareColours(TDibGraphic& image, TProfileMode mode, const TGraphicCapabilities& capabilities,
                           const std::string& writerClass) {
  if (!image.HasIccProfile()) return {};
  if (mode == TProfileMode::Strip) {
    image.SetIccProfile({});
    return "colour profile dropped";
  }
  if (!HasUsableProfile(image)) {
    const std::string note = "colour profile dropped: its colour space (" + SpaceName(image) + ") does not fit the " +
                             ImageFormatName(image.ImageFormat()) + " pixels";
    image.SetIccProfile({});
    return note;
  }
  if (mode == TProfileMode::ToSrgb) {
    ConvertToSrgb(image);
    return "colours converted from the embedded colour profile to sRGB";
  }
  if (capabilities.IccProfiles) return {};
  ConvertToSrgb(image);
  return FormatMessage(
      "colours converted from the embedded colour profile to sRGB (the %s format holds no colour "
      "profile)",
      writerClass.c_str());
}

std::string DropUnfittingProfile(TDibGraphic& image) {
  if (!image.HasIccProfile() || IccProfileFits(image.IccProfile(), image.ImageFormat())) return {};
  const std::string note = "colour profile dropped: its colour space (" + SpaceName(image) + ") does not fit the " +
                           ImageFormatName(image.ImageFormat()) + " pixels the operations made";
  image.SetIccProfile({});
  return note;
}

namespace {

std::string BlockNames(const TImageMetadata& metadata) {
  std::string names;
  for (const auto& [present, name] :
       {std::pair{!metadata.Exif.empty(), "EXIF"}, std::pair{!metadata.Xmp.empty(), "XMP"},
        std::pair{!metadata.Iptc.empty(), "IPTC"}})
    if (present) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
}

}  // namespace

TImageMetadata OutputMetadata(const TDibGraphic& image, TProfileMode mode, const TGraphicCapabilities& capabilities,
                              const std::string& writerClass, std::string& note) {
  TImageMetadata metadata = image.Metadata();
  note.clear();
  if (!metadata.HasBlocks()) return metadata;
  if (mode == TProfileMode::Strip) {
    note = "metadata dropped (" + BlockNames(metadata) + ")";
    metadata.ClearBlocks();
  } else if (capabilities.MetadataBlocks) {
    note = "metadata kept (" + BlockNames(metadata) + ")";
  } else {
    note = FormatMessage("metadata dropped (%s): the %s format holds none", BlockNames(metadata).c_str(),
                         writerClass.c_str());
    metadata.ClearBlocks();
  }
  return metadata;
}

}  // namespace brindlex
