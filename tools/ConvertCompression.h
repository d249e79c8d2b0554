// TIFF compression in the converter: the --compression names, the choice made before a TIFF page
// is written, and the compression shown by --info.
#pragma once

#include <optional>
#include <string>

#include "formats/QvTifGr.h"

namespace brindlex {
using namespace quorvane;

// none, packbits, g3, g3-2d, g4, zlib, jpeg; nothing for other names.
std::optional<TTiffCompression> CompressionByName(const std::string& name);
// "none|packbits|g3|g3-2d|g4|zlib|jpeg".
std::string CompressionNames();

// Before a TIFF page is written: the asked-for compression, or the window's rule (CCITT Group 4
// for black and white, JPEG for true colour, PackBits otherwise). A pair TIFF does not allow
// raises the library's message. Images of other classes are left alone.
void ChooseTiffCompression(TDibGraphic& image, const std::optional<TTiffCompression>& asked);

// ", CCITT Group 4" for a TIFF page, "" for other images: the tail of a page line of --info.
std::string CompressionInfo(const TDibGraphic& image);

}  // namespace brindlex
