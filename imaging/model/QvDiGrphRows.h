// Whole-row pixel conversion between an image's own format and plain colour rows. Bulk code
// (the stretch, transforms, codecs) uses these instead of per-pixel GetPixel/SetPixel; the
// results are the same, the per-format dispatch happens once per row.
#pragma once

#include <cstdint>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvPaletteNearest.h"

namespace quorvane {

// Pixels [X0, X0 + Count) of row Y as blue, green, red byte triples. For TrueColor the result
// points into the image itself; otherwise the row is unpacked into Scratch.
const uint8_t* RowAsBgr(const TDibGraphic& image, int y, int x0, int count, std::vector<uint8_t>& scratch);

// Writes Count blue, green, red triples at X0 of row Y; palette images store the nearest entry
// of each colour (as SetPixel does).
void WriteBgrToRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr);
// The same with a caller's nearest-entry index over the image's palette, for bulk work.
void WriteBgrToRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr, TNearestEntryIndex& nearest);

// The same with colour values (byte 0 blue, 1 green, 2 red).
void ReadRowColors(const TDibGraphic& image, int y, TColorValue* colors);
void WriteRowColors(TDibGraphic& image, int y, const TColorValue* colors);

// Count three-byte pixels with their first and third bytes exchanged (red, green, blue to blue,
// green, red and back), as codecs that store the other order need. In may equal Out.
void SwapRedBlue(const uint8_t* in, uint8_t* out, size_t count);

// Indices of pixels [X0, X0 + Count) of a packed row of Bits (1, 4 or 8) per pixel, one byte each.
void UnpackIndices(const uint8_t* row, int bits, int x0, int count, uint8_t* indices);

// Stores Count indices as pixels 0 .. Count-1 of a packed row, as SetPixelIndex would on a
// zeroed row: the unused bits of the last partial byte are 0; bytes after it are not touched.
void PackIndices(const uint8_t* indices, int count, int bits, uint8_t* row);

// The palette indices [X0, X0 + Count) of row Y of a palette image, one byte each.
void ReadRowIndices(const TDibGraphic& image, int y, int x0, int count, uint8_t* indices);
void WriteRowIndices(TDibGraphic& image, int y, int x0, int count, const uint8_t* indices);

}  // namespace quorvane
