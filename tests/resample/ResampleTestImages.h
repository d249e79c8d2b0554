// Images generated for the resize, quantizer and format conversion tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "model/QvDiGrph.h"

using namespace quorvane;

inline std::unique_ptr<TDibGraphic> MakeImage(int width, int height, TImageFormat format,
                                              const TDibPalette* palette = nullptr) {
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, format, palette, 72, 72);
  return image;
}

// Random colours (TrueColor) or random indices within the palette (palette formats).
inline std::unique_ptr<TDibGraphic> RandomImage(int width, int height, TImageFormat format, uint32_t seed,
                                                const TDibPalette* palette = nullptr) {
  auto image = MakeImage(width, height, format, palette);
  std::mt19937 rng(seed);
  const int entries = image->PaletteRecord().Count;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (format == TImageFormat::TrueColor)
        image->SetPixel(x, y, rng() & 0xFFFFFF);
      else
        image->SetPixelIndex(x, y, static_cast<int>(rng() % static_cast<uint32_t>(entries)));
    }
  return image;
}

// Smooth gradients with mild noise: many distinct but clustered colours, like a photograph.
inline std::unique_ptr<TDibGraphic> PhotoLikeImage(int width, int height, uint32_t seed) {
  auto image = MakeImage(width, height, TImageFormat::TrueColor);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(rng() % 9) - 4;
      auto ch = [&](int v) { return static_cast<uint8_t>(std::clamp(v + noise, 0, 255)); };
      image->SetPixel(x, y,
                      PackColor(ch(x * 255 / width), ch(y * 255 / height), ch((x + y) * 127 / (width + height) + 64)));
    }
  return image;
}
