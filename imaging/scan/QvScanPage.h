// A scanned page as the scanner hands it over, and as it is stored: the packed bitmap of a
// transfer read into an image with the page's resolution, the TIFF compression a stored page
// (and any saved image) gets by its pixel format, and whether a page is blank.
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

// Readies a scanned page for storing in its class: the TIFF compression above, and for a PDF a
// gray page (256 palette entries of the gray levels, as pages of gray scans arrive) becomes a
// 256-gray image with the same samples, which the PDF stores as JPEG like every gray picture
// rather than as deflated palette indices.
void PrepareScannedPage(TDibGraphic& image);

// The share of dark pixels of Image in percent (0 to 100): pixels whose colour has a luminance
// (0.299 red + 0.587 green + 0.114 blue) below half of the scale. 0 for an empty image.
double DarkPixelPercent(const TDibGraphic& image);

// Readies a scanned page for storing in its class: the TIFF compression above, and for a PDF a
// gray page (256 palette entries of the gray levels, as pages of gray scans arrive) becomes a
// 256-gray image with the same samples, which the PDF stores as JPEG like every gray picture
// rather than as deflated palette indices.
void PrepareScannedPage(TDibGraphic& image);

// The share of dark pixels below which a page counts as blank unless the user chose another. A
// line of text on an A4 page is about 0.15 %, a signature more; two punched holes on a blank
// sheet are below 0.1 %. Keeping a blank page costs less than dropping a written one.
inline constexpr double kDefaultBlankPercent = 0.1;

// Whether Image counts as blank: its dark pixels are fewer than Percent of all.
inline bool IsBlankPage(const TDibGraphic& image, double percent) { return DarkPixelPercent(image) < percent; }

}  // namespace quorvane
