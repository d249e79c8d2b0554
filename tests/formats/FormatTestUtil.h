// Shared helpers of the file-format tests: images with known pixels, byte builders and
// comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "model/QvStream.h"
#include "support/ErrorMessage.h"
#include "support/PictureCompare.h"
#include "support/ScratchFolder.h"
#include "support/TestBytes.h"

using namespace quorvane;

namespace qvtest {

// A palette of Count entries whose entry i is (i * 7, 255 - i, i * 3) in red, green, blue.
inline TDibPalette TestPalette(int count) {
  TDibPalette p{};
  p.Count = static_cast<uint16_t>(count);
  for (int i = 0; i < count; ++i)
    p.Entries[i] = {static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7), 0};
  return p;
}

// An image whose pixels follow a pseudo-random pattern that uses every palette index.
inline void FillPattern(TDibGraphic& image, unsigned seed = 1) {
  const int bits = image.BitCount();
  const int maxIndex = bits == 24 ? 0 : (1 << bits) - 1;
  uint32_t state = seed * 2654435761u + 12345;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      state = state * 1664525u + 1013904223u;
      if (bits == 24)
        image.SetPixel(x, y, state >> 8);
      else
        image.SetPixelIndex(x, y, static_cast<int>((state >> 16) % static_cast<uint32_t>(maxIndex + 1)));
    }
}

inline void MakeImage(TDibGraphic& image, TImageFormat format, int w, int h, unsigned seed = 1) {
  const int bits = ImageFormatBits(format);
  TDibPalette pal = TestPalette(bits == 24 ? 0 : 1 << bits);
  image.NewImage(w, h, format, format == TImageFormat::TrueColor ? nullptr : &pal, 0, 0);
  FillPattern(image, seed);
}

// An image read from bytes in memory, and an image's file as bytes.
inline void ReadFromBytes(const Bytes& bytes, TDibGraphic& image) {
  TMemoryStream s(bytes);
  image.LoadFromStream(s);
}
inline Bytes SavedBytes(TDibGraphic& image) {
  TMemoryStream s;
  image.SaveToStream(s);
  return s.Data();
}

inline std::string RegressionFile(const std::string& name) {
  const char* root = std::getenv("QV_TEST_DATA");
  return std::string(root ? root : "tests/data") + "/regression/" + name;
}

}  // namespace qvtest
