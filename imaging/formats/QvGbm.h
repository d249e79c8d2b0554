// Bridge between the bitmap-format library (gbm) and TDibGraphic: reads a file's picture into an
// image and writes an image, turning the library's result codes into EGbmError.
#pragma once

#include <string>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EGbmError);

// Replaces Image with the picture in Stream. The stream is positioned at the image's first byte,
// which must be the stream's beginning: the header is read from the current position and the rest
// from absolute positions. Hint selects the format by its extension only ("File.pcx"). Raises
// EGbmError; after a failed pixel read the image keeps its new size and the pixels read so far.
void GbmReadImage(TStream& stream, TDibGraphic& image, const std::string& hint, const std::string& options = "");

// Writes Image in the format of Hint's extension from the stream's position on, with the codec's
// option words. Raises EGbmError.
void GbmWriteImage(TStream& stream, const TDibGraphic& image, const std::string& hint, const std::string& options = "");

}  // namespace quorvane
