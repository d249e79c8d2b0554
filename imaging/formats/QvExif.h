// EXIF blocks: the TIFF-structured metadata a camera writes into a photo (a JPEG file's APP1
// segment holds it after "Exif\0\0"), read and kept true through Exiv2.
//
// Blocks come from files and are treated as hostile: anything over kMaxExifBlockBytes is not
// looked at, and nothing Exiv2 raises or logs leaves this unit. A damaged block gives what could
// be read of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/QvMetadata.h"

namespace quorvane {

// The most a JPEG APP1 segment can carry after its "Exif\0\0" header (65535 - 2 - 6 bytes).
constexpr size_t kMaxExifBlockBytes = 65527;

struct TExifInfo {
  bool Valid = false;                          // the block could be read
  uint16_t Orientation = kOrientationTopLeft;  // 1 to 8; 1 when absent or out of range
  TCameraData Camera;
};

// A text field of a file as the program shows it: up to its first NUL and at most 128 bytes,
// control characters as blanks, without surrounding blanks.
std::string CleanExifText(std::string_view text);

// The EXIF block of a JPEG APP1 segment's payload: what follows "Exif\0\0", or an empty span when
// the segment is not an Exif one.
std::span<const uint8_t> ExifBlockOfApp1(std::span<const uint8_t> payload);

// Orientation and camera data of a block that starts with its TIFF header.
TExifInfo ReadExifBlock(std::span<const uint8_t> block);

// The block with its orientation set to Orientation, the rest kept as far as Exiv2 keeps it;
// empty when the block cannot be read or rewritten, or when rewriting would change the camera's
// data (a damaged block whose values overlap): it then says nothing that could be untrue.
std::vector<uint8_t> ExifWithOrientation(std::span<const uint8_t> block, uint16_t orientation);

// The block with the pixel dimensions it records (PixelXDimension, PixelYDimension) set to Width
// and Height, each only where the block has it, the rest kept as ExifWithOrientation keeps it;
// the block unchanged when it has neither, empty when it cannot be read or rewritten truthfully.
std::vector<uint8_t> ExifWithPixelDimensions(std::span<const uint8_t> block, uint32_t width, uint32_t height);

}  // namespace quorvane
