// Packed device-independent bitmaps: one block holding a bitmap information header, its colour
// table and the pixel rows, the form in which scanners and clipboards hand over pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/QvDiGrph.h"

namespace quorvane {

// Replaces Image with the packed bitmap in Block[0, Size). 1, 4, 8 and 24-bit pictures keep
// their depth and colour table; 16 and 32-bit ones (plain or with colour masks) become TrueColor;
// RLE8 and RLE4 blocks are expanded. Rows may be stored bottom-up or, uncompressed, top-down.
// Raises "Invalid HDIB" for a block too short for its header, colour table or pixels and for a
// compressed block without image size, "Unsupported bit count" and "Unsupported compression"
// (EQuorvaneError) for pictures outside those kinds, and "CreateDibSection failed" beyond the
// image limits. The image is left empty after a failure.
void LoadFromDibHandle(TDibGraphic& image, const void* block, size_t size);

// Replaces Image with the picture of a BMP file of 16 or 32 bits per pixel (plain, or with colour
// masks after a 40-byte header or inside a longer one): its header, masks and the pixels found at
// the file's pixel offset, read as a packed bitmap by LoadFromDibHandle (narrow channels widen to
// the full range). Returns false, leaving Image untouched, for any other file; raises as
// LoadFromDibHandle does.
bool LoadDeepBitmapFile(TDibGraphic& image, const std::vector<uint8_t>& file);

// The image as a packed bitmap: a 40-byte header, the palette's colours, then the rows as stored.
std::vector<uint8_t> SaveToDibHandle(const TDibGraphic& image);

}  // namespace quorvane
