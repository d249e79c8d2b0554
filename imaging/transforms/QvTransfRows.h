// Row helpers shared by the transform units: allocating a result like its source, and moving
// palette indices between packed rows and one-byte-per-pixel buffers.
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"

// Dest = NewImage(Width, Height, Format, Palette) with Source's resolution (a resolution of 0
// stays 0, as Assign keeps it).
void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette);

// Indices of pixels [X0, X0 + Count) of a packed row of Bits (1, 4 or 8) per pixel, one byte each.
void UnpackIndices(const uint8_t* row, int bits, int x0, int count, uint8_t* indices);

// Stores Count indices as pixels 0 .. Count-1 of a packed row, as SetPixelIndex would on a
// zeroed row: the unused bits of the last partial byte are 0; bytes after it are not touched.
void PackIndices(const uint8_t* indices, int count, int bits, uint8_t* row);

// Bytes[i] = ~Bytes[i] for Count bytes.
void ComplementBytes(uint8_t* bytes, size_t count);
