// HEIC and AVIF pictures (the HEIF container with HEVC or AV1 coded images), read through
// libheif. Read only: the picture loader uses it for the extensions the registry does not know,
// so nothing registers it and nothing writes these files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvPlatform.h"
#include "model/QvStream.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EHeifError);

// The extensions this build decodes, lower case, with their descriptions: "avif" when libheif has
// an AV1 decoder, "heic" and "heif" when it has an HEVC decoder.
std::vector<TPlatformPictureFormat> HeifFormats();
// True when Extension (with or without its dot, any case) is one of HeifFormats().
bool IsHeifExtension(const std::string& extension);

// The primary picture of the HEIF file held by Stream from its position to its end, as a new plain
// TrueColor image (resolution 0: the screen's). libheif applies the file's rotation,
// mirroring and cropping (irot, imir, clap), so the picture comes out as it is meant to be shown;
// an Exif orientation in the file is not applied on top of that. Samples deeper than 8 bits are
// scaled to 8 bits with rounding; an alpha channel is dropped and the stored colours are kept, as
// for the other pictures of the loader. Declared sizes (the coded size and the shown size) are
// checked against the library's limits before anything is decoded, and libheif's own size limit
// follows them. Raises EQuorvaneError "CreateDibSection failed" for pictures beyond the limits and
// EHeifError with libheif's reason for files it cannot read.
std::unique_ptr<TDibGraphic> LoadHeifImage(TStream& stream);

}  // namespace quorvane
