// XMP packets and IPTC data as files carry them: found in a JPEG segment, a Photoshop resource
// block or a PNG text chunk, corrected for a picture written anew, and wrapped again for writing.
// EXIF blocks have their own unit (formats/QvExif.h).
//
// Everything here comes from files and is treated as hostile: each block has a size limit, every
// length is checked against the bytes there are, and nothing Exiv2 raises or logs leaves the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/QvMetadata.h"

namespace quorvane {

// The most an XMP packet or IPTC data may take to be kept (a PNG text chunk or a TIFF field is
// not bound by a segment's length; real ones stay far below).
constexpr size_t kMaxXmpBytes = size_t{4} << 20;
constexpr size_t kMaxIptcBytes = size_t{1} << 20;

// What starts a JPEG APP1 segment that holds an XMP packet, its closing NUL included, and an
// APP13 segment that holds Photoshop resources.
inline constexpr char kJpegXmpHeader[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr size_t kJpegXmpHeaderBytes = sizeof kJpegXmpHeader;
inline constexpr char kPhotoshopHeader[] = "Photoshop 3.0";
inline constexpr size_t kPhotoshopHeaderBytes = sizeof kPhotoshopHeader;
// The most a JPEG marker segment carries after its length field.
constexpr size_t kMaxJpegSegmentBytes = 65533;

// What starts a JPEG APP1 segment that holds a part of an XMP packet's extension, its closing NUL
// included. The extension's GUID follows (32 hexadecimal digits, as the packet's
// xmpNote:HasExtendedXMP names it), then the extension's whole length and the part's offset in
// it (4 bytes each, most significant first), then the part.
inline constexpr char kJpegXmpExtensionHeader[] = "http://ns.adobe.com/xmp/extension/";
inline constexpr size_t kJpegXmpExtensionHeaderBytes = sizeof kJpegXmpExtensionHeader;
inline constexpr size_t kXmpExtensionPartOffset = kJpegXmpExtensionHeaderBytes + 32 + 8;
// The most segments of an extension that are kept (4 MiB; a depth map takes a few hundred KB).
constexpr size_t kMaxXmpExtensionSegments = 64;

// The XMP packet of a JPEG APP1 segment's payload, or an empty span when it holds none.
std::span<const uint8_t> XmpOfApp1(std::span<const uint8_t> payload);
// True when a JPEG APP1 segment's payload holds a part of an XMP extension.
bool IsXmpExtensionSegment(std::span<const uint8_t> payload);
// The extension segments (whole APP1 payloads, in file order) that belong to Packet: those of the
// GUID the packet names, when together they hold the whole extension once, each part where its
// offset says. Empty when the packet names no extension or its parts are missing or disagree.
std::vector<std::vector<uint8_t>> XmpExtensionOf(std::span<const uint8_t> packet,
                                                 std::vector<std::vector<uint8_t>> segments);
// The IPTC data of the first IPTC resource (8BIM 0x0404) among Photoshop resources (an APP13
// payload after its header, a PNG raw profile); empty when there is none or it is damaged.
std::vector<uint8_t> IptcOfPhotoshopResources(std::span<const uint8_t> resources);
// IPTC data as Photoshop resources: one 8BIM 0x0404 resource.
std::vector<uint8_t> PhotoshopResourcesOfIptc(std::span<const uint8_t> iptc);
// IPTC data kept from a file: it starts with a record marker (0x1C) and fits kMaxIptcBytes.
bool IsIptcData(std::span<const uint8_t> data);
// Data up to the end of its last whole IPTC record (a TIFF field stores whole 4-byte words, so
// padding may follow); empty when it does not start with a record.
std::vector<uint8_t> WholeIptcRecords(std::span<const uint8_t> data);

// The packet to store with a picture of Width x Height written anew: its orientation
// (tiff:Orientation) set to Orientation and its width and height fields (exif:PixelXDimension,
// exif:PixelYDimension, tiff:ImageWidth, tiff:ImageLength) to the picture's where the packet has
// them, and with DropThumbnail its thumbnails (xmp:Thumbnails) removed. A packet that needs none
// of this is kept byte for byte; one that needs it but cannot be rewritten is dropped (empty), so
// that it says nothing untrue.
std::vector<uint8_t> XmpForSaving(std::span<const uint8_t> packet, uint16_t orientation, int width, int height,
                                  bool dropThumbnail);

// The packet with its extension's properties (segments as XmpExtensionOf takes them) merged in and
// its note of the extension removed, for formats whose packet has no size bound. The packet
// unchanged when there is no extension of its own, or the two cannot be merged within
// kMaxXmpBytes.
std::vector<uint8_t> XmpWithExtension(std::span<const uint8_t> packet,
                                      const std::vector<std::vector<uint8_t>>& segments);
// What a PNG or TIFF writer stores of Metadata's XMP for a picture of Width x Height: the packet
// with its extension merged in, corrected as XmpForSaving does (thumbnails dropped).
std::vector<uint8_t> WholeXmpForSaving(const TImageMetadata& metadata, int width, int height);

// The bytes of a PNG "Raw profile type ..." text (a line with the profile's name, its length in
// decimal, then its bytes as hexadecimal digits, white space anywhere between them); empty when
// the text is not such a profile or declares more than Limit bytes.
std::vector<uint8_t> DecodeRawProfile(std::string_view text, size_t limit);
// Data as a raw profile text of that Name.
std::string EncodeRawProfile(std::string_view name, std::span<const uint8_t> data);

}  // namespace quorvane
