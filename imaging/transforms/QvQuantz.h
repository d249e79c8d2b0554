// The colour quantizer: chooses a palette of at most 256 colours for an image from a histogram
// of its 15-bit colour keys (5 bits per channel).
//
// Colours that occur no more often than a threshold (2 to 20, growing with the number of
// distinct keys) are dropped; the rest are candidates, each channel a multiple of 8. When there
// are more candidates than wanted colours, a greedy spread picks them: first the candidate
// nearest to white, then each time the one least crowded by the chosen colours (sum of
// 2^30 / squared distance). Otherwise the candidates stay in key order.
//
// The palette always declares Count entries (at most 256); entries beyond the candidates
// found are black.
#pragma once

#include <cstdint>

#include "transforms/QvTransf.h"

namespace quorvane {

// Reads Image through its pixel colours (any format, not empty); fills Palette completely.
// Progress is reported during the selection against PercentByte, which receives each result.
// An exception of Event passes through; nothing is kept between calls.
void QuantizePalette(const TDibGraphic& image, TDibPalette& palette, uint16_t count, uint8_t& percentByte,
                     const TTransformProgressEvent& event);

}  // namespace quorvane
