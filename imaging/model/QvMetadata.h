// What a file says about its picture besides the pixels: how the pixels are to be turned to stand
// upright, the camera's data, and the file's EXIF, XMP and IPTC blocks as read. Readers fill it;
// the stream load starts it afresh. Copying an image (Assign), the transforms and the writers leave
// it alone: whoever turns the pixels on its account (AutoOrient, formats/QvOrient.h) keeps it
// true, and whoever saves an image into a new instance hands it over (the window's save, the
// converter, the page writer's copies). The JPEG, PNG and TIFF writers store the blocks, corrected
// to the picture they write (formats/QvExif.h, formats/QvMetadataBlocks.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The camera's record of a photo, as far as the file gives it.
struct TCameraData {
  std::string Make;
  std::string Model;
  std::string DateTaken;    // "YYYY:MM:DD HH:MM:SS" as the file writes it; empty: unknown
  double ExposureTime = 0;  // seconds; 0: unknown
  double FNumber = 0;       // 0: unknown
  double FocalLength = 0;   // millimetres; 0: unknown

  bool operator==(const TCameraData&) const = default;
  bool Empty() const {
    return Make.empty() && Model.empty() && DateTaken.empty() && ExposureTime == 0 && FNumber == 0 && FocalLength == 0;
  }
};

// EXIF numbering of orientations: where row 0 and column 0 of the pixels lie in the picture as it
// is meant to be seen.
enum : uint16_t {
  kOrientationTopLeft = 1,      // upright
  kOrientationTopRight = 2,     // mirrored left to right
  kOrientationBottomRight = 3,  // a half turn
  kOrientationBottomLeft = 4,   // mirrored top to bottom
  kOrientationLeftTop = 5,      // transposed (mirrored about the main diagonal)
  kOrientationRightTop = 6,     // a quarter turn clockwise makes it upright
  kOrientationRightBottom = 7,  // transposed about the other diagonal
  kOrientationLeftBottom = 8,   // a quarter turn anticlockwise makes it upright
};

struct TImageMetadata {
  // How the pixels as held are to be turned to stand upright (EXIF numbering above). Readers give
  // the file's value less whatever they already applied: 1 for pixels that are upright.
  uint16_t Orientation = kOrientationTopLeft;
  // The file held EXIF data (a JPEG APP1 Exif segment, a TIFF EXIF directory).
  bool HasExif = false;
  TCameraData Camera;
  // The file's EXIF block from its TIFF header on (as a JPEG APP1 segment or a PNG eXIf chunk
  // holds it; for a TIFF page, built from the page's own fields and its EXIF and GPS directories),
  // kept for writers; its orientation says Orientation. Empty when the file had none or the block
  // could not be kept true.
  std::vector<uint8_t> Exif;
  // The file's XMP packet (XML, as stored) and IPTC data (the IIM records, without a Photoshop
  // resource around them); empty when the file had none.
  std::vector<uint8_t> Xmp;
  std::vector<uint8_t> Iptc;
  // The extension of a JPEG file's XMP packet (properties too large for its segment, such as a
  // depth map), as the file's further APP1 segments: each segment's whole payload, header included,
  // in file order. Kept only beside an XMP packet that names the extension; JPEG writers store the
  // segments unchanged after the packet, other writers leave them out.
  std::vector<std::vector<uint8_t>> XmpExtension;

  bool HasBlocks() const { return !Exif.empty() || !Xmp.empty() || !Iptc.empty(); }
  // Drops the blocks (what --strip does); orientation and camera data stay.
  void ClearBlocks() {
    Exif.clear();
    Xmp.clear();
    Iptc.clear();
    XmpExtension.clear();
  }
};

}  // namespace quorvane
