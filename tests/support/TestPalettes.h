// Palettes the tests build by hand.
#pragma once

#include "model/QvPalette.h"

namespace qvtest {

// A palette of two entries: First, then Second.
inline quorvane::TDibPalette TwoColours(quorvane::TColorValue first, quorvane::TColorValue second) {
  quorvane::TDibPalette palette{};
  palette.Count = 2;
  palette.Entries[0] = quorvane::EntryOf(first);
  palette.Entries[1] = quorvane::EntryOf(second);
  return palette;
}

}  // namespace qvtest
