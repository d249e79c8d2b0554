// What the converter does with an image's embedded colour profile: keep it where the output
// format holds one, convert the colours to sRGB where it does not (or when asked), or drop it;
// and with the file's other metadata (EXIF, XMP, IPTC): keep it, or drop it with --strip.
#pragma once

#include <string>

#include "model/QvDiGrph.h"

namespace brindlex {
using namespace quorvane;

enum class TProfileMode {
  Keep,    // --keep-profile (default): kept where the output holds it, else converted to sRGB
  ToSrgb,  // --to-srgb: converted to sRGB always
  Strip    // --strip: dropped, the pixels unchanged, and no other metadata either
};

// Before the operations: applies Mode to Image for an output of Capabilities written by
// WriterClass. Returns what was done, for verbose output ("" when nothing was). Raises the colour
// unit's EQuorvaneError for a profile Little CMS refuses.
std::string PrepareColours(TDibGraphic& image, TProfileMode mode, const TGraphicCapabilities& capabilities,
                           const std::string& writerClass);

// After the operations: a profile that no longer describes the pixels (a colour profile on a
// picture turned gray) is dropped. Returns the note, "" when the profile still fits or is absent.
std::string DropUnfittingProfile(TDibGraphic& image);

// The metadata blocks the output gets, taken from Image after it was turned upright: all of them
// by default (the writer corrects them to the picture it writes), none with --strip. Note says
// what was kept or dropped, "" when the image had none.
TImageMetadata OutputMetadata(const TDibGraphic& image, TProfileMode mode, const TGraphicCapabilities& capabilities,
                              const std::string& writerClass, std::string& note);

}  // namespace brindlex
