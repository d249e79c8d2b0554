// The photograph-like picture the benchmarks of the view, the clipboard and the window share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "model/QvDiGrph.h"

namespace qvbench {

// Smooth gradients with mild noise, like a photograph: 6000 x 4000 TrueColor at 300 dpi. Seed
// picks the noise and GreenShift lifts the green gradient, so that pictures of other seeds differ
// also where a codec smooths the noise away.
inline void FillPhoto(quorvane::TDibGraphic& p, unsigned seed = 1, int greenShift = 0) {
  p.NewImage(6000, 4000, quorvane::TImageFormat::TrueColor, nullptr, 300, 300);
  std::minstd_rand rng(seed);
  for (int y = 0; y < p.Height(); ++y) {
    uint8_t* row = p.ScanLine(y);
    for (int x = 0; x < p.Width(); ++x) {
      const int noise = static_cast<int>(rng() % 13) - 6;
      auto ch = [&](int v) { return static_cast<uint8_t>(std::clamp(v + noise, 0, 255)); };
      row[3 * x] = ch(x * 255 / p.Width());
      row[3 * x + 1] = ch(y * 255 / p.Height() + greenShift);
      row[3 * x + 2] = ch(128 + ((x / 7 + y / 5) % 120));
    }
  }
}

inline std::unique_ptr<quorvane::TDibGraphic> MakePhoto() {
  auto p = std::make_unique<quorvane::TDibGraphic>();
  FillPhoto(*p);
  return p;
}

}  // namespace qvbench
