// EXIF blocks: the TIFF-structured metadata a camera writes into a photo (a JPEG file's APP1
// segment holds it after "Exif\0\0"), read and kept true through Exiv2.
//
// Blocks come from files and are treated as hostile: anything over kMaxKeptExifBytes is not
// looked at, and nothing Exiv2 raises or logs leaves this unit. A damaged block gives what could
// be read of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/QvMetadata.h"

namespace quorvane {

// The most a JPEG APP1 segment can carry after its "Exif\0\0" header (65535 - 2 - 6 bytes).
constexpr size_t kMaxExifBlockBytes = 65527;
// The most an EXIF block of any file may take to be read and kept (PNG eXIf chunks and TIFF pages
// are not bound by a segment's length; cameras' blocks stay far below this).
constexpr size_t kMaxKeptExifBytes = size_t{1} << 20;

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

// The block to store with a picture of Width x Height that is written anew: the fields that
// describe another file's data (strip offsets, compression, sample layout, an embedded profile or
// packet) dropped, PixelXDimension/PixelYDimension (and ImageWidth/ImageLength where present) set
// to the picture's size, and with DropThumbnail the embedded thumbnail (IFD1) removed. The
// orientation stays as the block says (AutoOrient keeps it true for turned pixels). Empty when the
// block cannot be read or written. Writers call it with DropThumbnail set: their pixels are
// encoded anew, and only a save that keeps the file's own coded data may keep the thumbnail.
std::vector<uint8_t> ExifForSaving(std::span<const uint8_t> block, int width, int height, bool dropThumbnail);

// Bytes per value of a TIFF field type (1 to 12); 0 for any other type.
size_t TiffTypeSize(uint16_t type);

// One field of a TIFF directory as stored: values in the file's byte order.
enum class TExifDirectory : uint8_t { edImage, edPhoto, edGps, edInterop };
struct TExifField {
  TExifDirectory Directory = TExifDirectory::edImage;
  uint16_t Tag = 0;
  uint16_t Type = 0;
  std::vector<uint8_t> Value;  // count x TiffTypeSize(Type) bytes
};

// An EXIF block (little or big endian as the file) made of a TIFF page's fields: its own text
// fields and the fields of its EXIF, GPS and interoperability directories. Directory pointers
// among the fields are ignored (the block has its own); Orientation other than 1 is written into
// it. Empty when no field could be used.
std::vector<uint8_t> ExifBlockOfFields(const std::vector<TExifField>& fields, bool bigEndian, uint16_t orientation);

// What a TIFF page stores of an EXIF block: its own text fields (ImageDescription, Make, Model,
// Artist, HostComputer, Copyright), and the block's EXIF and GPS directories laid out for offset
// At of the file (the bytes are written there, their offsets count from the file's start).
struct TTiffExifDirectories {
  std::vector<std::pair<uint16_t, std::string>> Texts;
  std::vector<uint8_t> Bytes;  // empty: no EXIF or GPS directory
  uint32_t ExifOffset = 0;     // 0: none
  uint32_t GpsOffset = 0;      // 0: none
};
// The block corrected as ExifForSaving does (thumbnail dropped) and split for a TIFF page of
// the byte order; At must be even. Maker notes, whose inner offsets cannot be moved, are left out.
TTiffExifDirectories ExifForTiff(std::span<const uint8_t> block, int width, int height, uint32_t at, bool bigEndian);

}  // namespace quorvane
