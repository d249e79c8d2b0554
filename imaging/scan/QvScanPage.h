// A scanned page as the scanner hands it over, and as it is stored: the packed bitmap of a
// transfer read into an image with the page's resolution, and the TIFF compression a stored page
// (and any saved image) gets by its pixel format.
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"
#include "scan/QvTwainProtocol.h"

namespace quorvane {

// Reads a transferred page into Image with the page's resolution.
void LoadScannedPage(TDibGraphic& image, TW_HANDLE page, uint16_t xDpi, uint16_t yDpi);

// The TIFF compression for a page or a saved image: Group 4 for black and white, JPEG for true
// colour, PackBits for every other format. Images of other classes are left alone.
void ApplyScanCompression(TDibGraphic& image);

}  // namespace quorvane
