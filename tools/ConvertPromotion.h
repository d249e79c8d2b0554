// Automatic promotion: an image whose pixel format the output format cannot hold is converted,
// without changing a single colour, to the nearest format the writer takes (black and white and
// 16 grays -> 256 grays -> true colour; palette colours -> true colour).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/QvDiGrph.h"

namespace brindlex {
using namespace quorvane;

// The format Image is to be written in by a writer with Capabilities: none when the writer takes
// the image's own format or no format that holds its colours exactly.
std::optional<TImageFormat> PromotionTarget(const TDibGraphic& image, const TGraphicCapabilities& capabilities);

// The image converted to Target (the same colours at every pixel), as a new plain image.
std::unique_ptr<TDibGraphic> Promote(const TDibGraphic& image, TImageFormat target);

// "Black and white written as 256 shades of gray (the TTgaGraphic format does not hold black and
// white)".
std::string PromotionNote(TImageFormat from, TImageFormat to, const std::string& writerClass);

}  // namespace brindlex
