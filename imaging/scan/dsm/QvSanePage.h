// A scanned page as a packed device-independent bitmap: the 40-byte information header, the
// colour table and bottom-up rows padded to 32 bits. Line art becomes 1 bit per pixel (entry 0
// black, 1 white), gray 8 bits with a gray table, colour 24 bits in blue, green, red order;
// 16-bit samples keep their high byte.
#pragma once

#include <cstdint>
#include <vector>

#include "QvSaneDevice.h"

namespace quorvane::dsm {

struct TPackedPage {
  std::vector<uint8_t> Block;  // empty when the frames cannot be packed
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
};

// Packs the frames of one page (one gray or colour frame, or a red, a green and a blue frame).
TPackedPage PackPage(const std::vector<TSaneFrame>& frames, int xDpi, int yDpi);

}  // namespace quorvane::dsm
