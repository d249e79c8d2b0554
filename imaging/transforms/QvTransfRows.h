// Row helpers shared by the transform units: allocating a result like its source, complementing bytes.
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphRows.h"

// Dest = NewImage(Width, Height, Format, Palette) with Source's resolution (a resolution of 0
// stays 0, as Assign keeps it).
void NewImageLike(TDibGraphic& dest, const TDibGraphic& source, int width, int height, TImageFormat format,
                  const TDibPalette* palette);

// Bytes[i] = ~Bytes[i] for Count bytes.
void ComplementBytes(uint8_t* bytes, size_t count);
