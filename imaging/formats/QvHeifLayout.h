// The picture sizes a HEIF file declares, read from its boxes without decoding anything: libheif
// sizes its buffers from a grid's or an overlay's own output size and its decoders size theirs
// from the coded stream's headers, none of which libheif checks against the size the file
// announces. Every such size is gathered here so the reader can check each against the library's
// limits before libheif allocates for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane {

struct THeifSize {
  int64_t Width = 0;
  int64_t Height = 0;
};

struct THeifLayout {
  // Every size found: each item's 'ispe', each grid's and overlay's output size, each HEVC
  // sequence parameter set's and AV1 sequence header's frame size (from the item's configuration
  // and from its data).
  std::vector<THeifSize> Sizes;
  // A coded item (HEVC or AV1) whose frame size could not be found: its decoder would size its
  // buffers from headers nobody checked.
  bool UnknownCodedSize = false;
};

// Reads the boxes of a HEIF file in Data. Malformed or missing boxes end the part of the walk
// they belong to; they are not errors here (libheif reports them).
THeifLayout ReadHeifLayout(const uint8_t* data, size_t size);

}  // namespace quorvane
