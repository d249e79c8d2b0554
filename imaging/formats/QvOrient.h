// Photos upright: the pixels turned by the orientation their file gave (TImageMetadata), once.
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"

namespace quorvane {

// Turns Image upright by Metadata().Orientation with flips and quarter turns (orientations 5 to 8
// exchange width and height, and the horizontal and vertical resolution with them), then sets the
// orientation to 1 and makes the kept EXIF block say 1 (or drops it when it cannot). Subclass
// settings (a TIFF page's compression) and the frame delay stay. Returns whether it turned
// anything; an image that is upright, or empty, is left as it is.
bool AutoOrient(TDibGraphic& image);

// AutoOrient on every frame (each page by its own orientation) and on the image itself; an image
// that shows a frame that was turned takes that frame again.
void AutoOrientPages(TDibGraphic& image);

// The orientation left to apply to a TIFF page read through libtiff's RGBA conversion, or read
// otherwise with the conversion's flips (formats/QvTifGr.h): the conversion mirrors 2 to 8 into
// the order of 1 to 4 and never transposes, so 2 to 4 are upright, 5 and 7 are left transposed
// (5), and 6 and 8 transposed about the other diagonal (7).
uint16_t OrientationAfterTiffFlips(uint16_t fileOrientation);

}  // namespace quorvane
