// The software stretch: draws a rectangle of one image into a rectangle of another.
//
// smColorOnColor samples the nearest source pixel. smHalftone averages the source pixels that a
// destination pixel covers along each axis that shrinks, and samples along each axis that grows.
// Colours are then stored in the destination's format (palette images take the nearest entry).
// Destination pixels outside the destination image are skipped; empty rectangles draw nothing.
// Destination rows run in bands on the library's threads (model/QvThreads.h); the pixels are
// those of one thread.
#pragma once

#include "model/QvDiGrph.h"

namespace quorvane {

enum class TStretchMode { smColorOnColor = 3, smHalftone = 4 };

void StretchImage(const TDibGraphic& source, const TRect& sourceRect, TDibGraphic& dest, const TRect& destRect,
                  TStretchMode mode);

}  // namespace quorvane
