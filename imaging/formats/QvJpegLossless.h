// Lossless turns of JPEG files: the compressed blocks of a file rearranged for a quarter turn or a
// flip (TurboJPEG's transform), so that a photo that was only turned or mirrored is stored again
// without decoding and re-encoding its pixels, which would lose detail at every save.
//
// The result keeps every marker segment of the file (EXIF, XMP, ICC profile, comments). Its first
// EXIF block is made true for the new pixels: orientation 1 and the new pixel dimensions (a block
// that cannot be made to say orientation 1 is dropped, so no reader turns the picture again); the
// JFIF density follows a turn that exchanges the sides.
//
// Edge blocks: a JPEG is coded in blocks of 8 or 16 pixels, and a turn that would move a partial
// block from the right or bottom edge to the top or left is refused (PartialBlocks) rather than
// leaving the block in place or trimming it: the caller then encodes the pixels as usual, so no
// pixel is lost.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvane {

class TImageTransform;

// The eight ways to turn and mirror a picture onto itself. Each maps the old picture onto the new
// one as it is seen (rows from the top).
enum class TDihedral : uint8_t {
  Identity,
  FlipHorizontal,  // left and right exchanged
  FlipVertical,    // top and bottom exchanged
  Rotate90,        // a quarter turn clockwise
  Rotate180,
  Rotate270,   // a quarter turn anticlockwise
  Transpose,   // mirrored about the diagonal from the top left corner
  Transverse,  // mirrored about the diagonal from the top right corner
};

// The eight, in the order above.
inline constexpr std::array<TDihedral, 8> kEveryTurn{
    TDihedral::Identity,  TDihedral::FlipHorizontal, TDihedral::FlipVertical, TDihedral::Rotate90,
    TDihedral::Rotate180, TDihedral::Rotate270,      TDihedral::Transpose,    TDihedral::Transverse};

// First, then Then, as one.
TDihedral Compose(TDihedral first, TDihedral then);
// What undoes Turn.
TDihedral Inverse(TDihedral turn);
// Width and height exchange.
bool SwapsSides(TDihedral turn);
// What turns pixels stored with an EXIF orientation (1 to 8) upright: the turn AutoOrient makes
// (formats/QvOrient.h). Identity for any other value.
TDihedral UprightTurn(uint16_t orientation);
// "rotated 90°", "flipped horizontally", ...; "unchanged" for Identity.
const char* TurnText(TDihedral turn);

// The turn an image operation makes when it only turns or mirrors the picture: the flips, and a
// rotation by a whole number of quarter turns. None for any other operation (subclasses included:
// they may do something else).
std::optional<TDihedral> TurnOfTransform(const TImageTransform& transform);

enum class TLosslessJpegResult : uint8_t {
  Done,
  PartialBlocks,     // the size is not a whole number of blocks where the turn needs it
  NotTransformable,  // not a JPEG TurboJPEG transforms cleanly (damaged, arithmetic-coded, too large)
};

struct TLosslessJpeg {
  TLosslessJpegResult Result = TLosslessJpegResult::NotTransformable;
  std::vector<uint8_t> Bytes;  // the new file (Done only)
  int Width = 0;               // its size (Done and PartialBlocks)
  int Height = 0;
  std::string Problem;  // what TurboJPEG said when NotTransformable
};

// The JPEG file Jpeg turned by Turn without decoding its pixels (see above). Never raises for what
// the file holds: a file that cannot be turned losslessly gives PartialBlocks or NotTransformable.
TLosslessJpeg TransformJpegLossless(std::span<const uint8_t> jpeg, TDihedral turn);

// The orientation a JPEG file's EXIF data gives its pixels, found as the JPEG reader finds it: the
// first APP1 segment before the first scan that holds an EXIF block, read through Exiv2 (1 when
// there is none or it cannot be read). That is the orientation AutoOrient turned a picture read
// from the file by (UprightTurn), and so the turn its data needs. None when the markers before
// the first scan cannot be followed (the reader may have found another segment).
std::optional<uint16_t> JpegFileOrientation(std::span<const uint8_t> jpeg);

// The whole content of a file, to be turned; empty when it cannot be read or is larger than the
// memory limit allows.
std::vector<uint8_t> FileContent(const std::string& fileName);

}  // namespace quorvane
