#include "formats/QvMetadataBlocks.h"

#include <exiv2/error.hpp>
#include <exiv2/properties.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>
#include <utility>

namespace quorvane {

namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Photoshop resource blocks start with one of these; only "8BIM" ones hold IPTC data.
bool IsResourceSignature(const uint8_t* p) {
  static constexpr std::array<const char*, 5> kSignatures{"8BIM", "PHUT", "AgHg", "DCSR", "MeSa"};
  return std::any_of(kSignatures.begin(), kSignatures.end(), [p](const char* s) { return std::memcmp(p, s, 4) == 0; });
}

constexpr uint16_t kIptcResource = 0x0404;

// The XMP toolkit behind Exiv2 is set up once and used by one thread at a time: it registers the
// namespaces a packet declares in tables of its own.
std::mutex& XmpLock() {
  static std::mutex lock;
  return lock;
}

// Forgets, when it goes, the namespaces the packets read while it lived made Exiv2 register. Kept,
// they would make a later packet's prefixes those of an earlier one (a save would depend on the
// files saved before), and every later reading slower as the table grows.
struct TForgetXmpNamespaces {
  TForgetXmpNamespaces() = default;
  TForgetXmpNamespaces(const TForgetXmpNamespaces&) = delete;
  TForgetXmpNamespaces& operator=(const TForgetXmpNamespaces&) = delete;
  ~TForgetXmpNamespaces() {
    try {
      Exiv2::XmpProperties::unregisterNs();
    } catch (...) {
      // Nothing registered stays wrong: only a later packet's prefixes could follow it.
    }
  }
};

void StartXmp() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
  });
}

// Fields a writer corrects; a packet without any of these names is kept unread.
constexpr std::array<std::string_view, 6> kCorrectedNames{"Orientation", "PixelXDimension", "PixelYDimension",
                                                          "ImageWidth",  "ImageLength",     "Thumbnails"};

bool MayNeedCorrection(std::string_view packet) {
  return std::any_of(kCorrectedNames.begin(), kCorrectedNames.end(),
                     [packet](std::string_view name) { return packet.find(name) != std::string_view::npos; });
}

// Elements nested deeper than this are not handed to the toolkit, whose parser recurses per level;
// real packets nest a dozen deep.
constexpr int kMaxXmpNesting = 100;

bool NestsTooDeep(std::string_view packet) {
  int depth = 0;
  for (size_t i = 0; i + 1 < packet.size(); ++i) {
    if (packet[i] == '<') {
      const char next = packet[i + 1];
      if (next == '/')
        depth = std::max(depth - 1, 0);
      else if (next != '?' && next != '!' && ++depth > kMaxXmpNesting)
        return true;
    } else if (packet[i] == '/' && packet[i + 1] == '>') {
      depth = std::max(depth - 1, 0);
    }
  }
  return false;
}

// Sets Key to Value where the packet has it; true when that changed it.
bool Correct(Exiv2::XmpData& xmp, const char* key, long value) {
  const auto it = xmp.findKey(Exiv2::XmpKey(key));
  if (it == xmp.end()) return false;
  const std::string text = std::to_string(value);
  if (it->toString() == text) return false;
  it->setValue(text);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::span<const uint8_t> XmpOfApp1(std::span<const uint8_t> payload) {
  if (payload.size() <= kJpegXmpHeaderBytes || std::memcmp(payload.data(), kJpegXmpHeader, kJpegXmpHeaderBytes) != 0)
    return {};
  return payload.subspan(kJpegXmpHeaderBytes);
}

bool IsXmpExtensionSegment(std::span<const uint8_t> payload) {
  return payload.size() > kXmpExtensionPartOffset &&
         std::memcmp(payload.data(), kJpegXmpExtensionHeader, kJpegXmpExtensionHeaderBytes) == 0;
}

namespace {

// The fields of an extension segment (IsXmpExtensionSegment holds): the GUID, the extension's
// whole length and the offset of the segment's part in it.
std::string_view ExtensionGuid(std::span<const uint8_t> segment) {
  return {reinterpret_cast<const char*>(segment.data()) + kJpegXmpExtensionHeaderBytes, 32};
}
uint32_t ExtensionLength(std::span<const uint8_t> segment) {
  return Be32(segment.data() + kJpegXmpExtensionHeaderBytes + 32);
}
uint32_t PartOffset(std::span<const uint8_t> segment) {
  return Be32(segment.data() + kJpegXmpExtensionHeaderBytes + 36);
}

// The GUID a packet names as its extension's (xmpNote:HasExtendedXMP, as an attribute or an
// element); empty when it names none.
std::string_view NamedExtensionGuid(std::string_view packet) {
  constexpr std::string_view kName = "HasExtendedXMP";
  const size_t name = packet.find(kName);
  if (name == std::string_view::npos) return {};
  // The first run of 32 hexadecimal digits after the name, past its quote or its '>'.
  size_t start = name + kName.size();
  while (start < packet.size() && start < name + kName.size() + 8 &&
         !std::isxdigit(static_cast<uint8_t>(packet[start])))
    ++start;
  if (start + 32 > packet.size()) return {};
  const std::string_view guid = packet.substr(start, 32);
  const bool hex = std::all_of(guid.begin(), guid.end(), [](char c) { return std::isxdigit(static_cast<uint8_t>(c)); });
  return hex ? guid : std::string_view{};
}

}  // namespace

std::vector<std::vector<uint8_t>> XmpExtensionOf(std::span<const uint8_t> packet,
                                                 std::vector<std::vector<uint8_t>> segments) {
  const std::string_view guid = NamedExtensionGuid({reinterpret_cast<const char*>(packet.data()), packet.size()});
  if (guid.empty()) return {};
  std::vector<std::vector<uint8_t>> own;
  uint32_t whole = 0;
  uint64_t covered = 0;
  std::vector<std::pair<uint32_t, uint32_t>> parts;  // offset, length
  for (std::vector<uint8_t>& segment : segments) {
    if (!IsXmpExtensionSegment(segment) || ExtensionGuid(segment) != guid) continue;
    const uint32_t length = ExtensionLength(segment), offset = PartOffset(segment);
    const auto part = static_cast<uint32_t>(segment.size() - kXmpExtensionPartOffset);
    if ((!own.empty() && length != whole) || offset > length || part > length - offset) return {};
    whole = length;
    covered += part;
    parts.emplace_back(offset, part);
    own.push_back(std::move(segment));
  }
  // Every byte of the extension once: the parts, in offset order, follow each other from 0.
  std::sort(parts.begin(), parts.end());
  uint64_t next = 0;
  for (const auto& [offset, part] : parts) {
    if (offset != next) return {};
    next += part;
  }
  if (own.empty() || covered != whole || next != whole) return {};
  return own;
}

bool IsIptcData(std::span<const uint8_t> data) {
  return !data.empty() && data.size() <= kMaxIptcBytes && data[0] == 0x1C;
}

std::vector<uint8_t> WholeIptcRecords(std::span<const uint8_t> data) {
  if (!IsIptcData(data)) return {};
  size_t end = 0;
  // Each record: the marker, record and dataset numbers, a 2-byte length; a length with its top
  // bit set gives the count of the length bytes that follow instead.
  while (data.size() - end >= 5 && data[end] == 0x1C) {
    size_t at = end + 3;
    uint64_t length = uint64_t{data[at]} << 8 | data[at + 1];
    at += 2;
    if (length & 0x8000) {
      const size_t bytes = length & 0x7FFF;
      if (bytes > 4 || data.size() - at < bytes) break;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = length << 8 | data[at + i];
      at += bytes;
    }
    if (length > data.size() - at) break;
    end = at + static_cast<size_t>(length);
  }
  return {data.begin(), data.begin() + static_cast<ptrdiff_t>(end)};
}

std::vector<uint8_t> IptcOfPhotoshopResources(std::span<const uint8_t> resources) {
  size_t pos = 0;
  // Signature, resource number, an empty name and the size take 12 bytes.
  while (resources.size() - pos >= 12 && IsResourceSignature(resources.data() + pos)) {
    const uint8_t* block = resources.data() + pos;
    const uint16_t id = static_cast<uint16_t>(block[4] << 8 | block[5]);
    // The name: a length byte and its characters, padded to an even count.
    const size_t nameBytes = (size_t{1} + block[6] + 1) & ~size_t{1};
    size_t at = pos + 6;
    if (resources.size() - at < nameBytes + 4) return {};
    at += nameBytes;
    const uint32_t size = Be32(resources.data() + at);
    at += 4;
    if (size > resources.size() - at) return {};
    if (id == kIptcResource) {
      const std::span<const uint8_t> data = resources.subspan(at, size);
      return WholeIptcRecords(data);
    }
    // The data is padded to an even count too; the last block may lack its padding byte.
    const size_t next = at + size + (size & 1);
    if (next >= resources.size()) return {};
    pos = next;
  }
  return {};
}

std::vector<uint8_t> PhotoshopResourcesOfIptc(std::span<const uint8_t> iptc) {
  std::vector<uint8_t> resources{'8', 'B', 'I', 'M', kIptcResource >> 8, kIptcResource & 0xFF, 0, 0};
  const auto size = static_cast<uint32_t>(iptc.size());
  for (int shift = 24; shift >= 0; shift -= 8) resources.push_back(static_cast<uint8_t>(size >> shift));
  resources.insert(resources.end(), iptc.begin(), iptc.end());
  if (iptc.size() % 2 != 0) resources.push_back(0);
  return resources;
}

std::vector<uint8_t> XmpForSaving(std::span<const uint8_t> packet, uint16_t orientation, int width, int height,
                                  bool dropThumbnail) {
  if (packet.empty() || packet.size() > kMaxXmpBytes) return {};
  const std::string_view text(reinterpret_cast<const char*>(packet.data()), packet.size());
  if (!MayNeedCorrection(text)) return {packet.begin(), packet.end()};
  if (NestsTooDeep(text)) return {};
  StartXmp();
  const std::lock_guard<std::mutex> hold(XmpLock());
  const TForgetXmpNamespaces forget;
  try {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, std::string(text)) != 0) return {};
    bool changed = Correct(xmp, "Xmp.tiff.Orientation", orientation);
    changed |= Correct(xmp, "Xmp.exif.PixelXDimension", width);
    changed |= Correct(xmp, "Xmp.exif.PixelYDimension", height);
    changed |= Correct(xmp, "Xmp.tiff.ImageWidth", width);
    changed |= Correct(xmp, "Xmp.tiff.ImageLength", height);
    if (dropThumbnail) {
      for (auto it = xmp.begin(); it != xmp.end();) {
        if (it->key().rfind("Xmp.xmp.Thumbnails", 0) == 0) {
          it = xmp.erase(it);
          changed = true;
        } else {
          ++it;
        }
      }
    }
    if (!changed) return {packet.begin(), packet.end()};
    std::string rewritten;
    if (Exiv2::XmpParser::encode(rewritten, xmp, Exiv2::XmpParser::useCompactFormat) != 0 || rewritten.empty() ||
        rewritten.size() > kMaxXmpBytes)
      return {};
    return {rewritten.begin(), rewritten.end()};
  } catch (...) {
    // A packet the toolkit cannot read or write is not kept.
  }
  return {};
}

namespace {

// The extension's bytes from its segments (each part at its offset), which XmpExtensionOf has
// found whole.
std::string JoinedExtension(const std::vector<std::vector<uint8_t>>& own) {
  std::vector<std::pair<uint32_t, const std::vector<uint8_t>*>> parts;
  for (const std::vector<uint8_t>& segment : own) parts.emplace_back(PartOffset(segment), &segment);
  std::sort(parts.begin(), parts.end());
  std::string text;
  for (const auto& [offset, segment] : parts) text.append(segment->begin() + kXmpExtensionPartOffset, segment->end());
  return text;
}

}  // namespace

std::vector<uint8_t> XmpWithExtension(std::span<const uint8_t> packet,
                                      const std::vector<std::vector<uint8_t>>& segments) {
  const std::vector<uint8_t> unchanged(packet.begin(), packet.end());
  const std::vector<std::vector<uint8_t>> own = XmpExtensionOf(packet, segments);
  if (own.empty()) return unchanged;
  const std::string extension = JoinedExtension(own);
  const std::string_view text(reinterpret_cast<const char*>(packet.data()), packet.size());
  if (packet.size() + extension.size() > kMaxXmpBytes || NestsTooDeep(text) || NestsTooDeep(extension))
    return unchanged;
  StartXmp();
  const std::lock_guard<std::mutex> hold(XmpLock());
  const TForgetXmpNamespaces forget;
  try {
    Exiv2::XmpData whole, more;
    if (Exiv2::XmpParser::decode(whole, std::string(text)) != 0 || Exiv2::XmpParser::decode(more, extension) != 0)
      return unchanged;
    for (const Exiv2::Xmpdatum& datum : more) {
      const auto it = whole.findKey(Exiv2::XmpKey(datum.key()));
      if (it != whole.end()) whole.erase(it);
      whole.add(datum);
    }
    const auto note = whole.findKey(Exiv2::XmpKey("Xmp.xmpNote.HasExtendedXMP"));
    if (note != whole.end()) whole.erase(note);
    std::string merged;
    if (Exiv2::XmpParser::encode(merged, whole, Exiv2::XmpParser::useCompactFormat) != 0 || merged.empty() ||
        merged.size() > kMaxXmpBytes)
      return unchanged;
    return {merged.begin(), merged.end()};
  } catch (...) {
    // An extension the toolkit cannot read is left out, as a packet without one would be.
  }
  return unchanged;
}

std::vector<uint8_t> WholeXmpForSaving(const TImageMetadata& metadata, int width, int height) {
  if (metadata.Xmp.empty()) return {};
  if (metadata.XmpExtension.empty()) return XmpForSaving(metadata.Xmp, metadata.Orientation, width, height, true);
  return XmpForSaving(XmpWithExtension(metadata.Xmp, metadata.XmpExtension), metadata.Orientation, width, height, true);
}

std::vector<uint8_t> DecodeRawProfile(std::string_view text, size_t limit) {
  size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < text.size() && text[pos] != '\n') ++pos;  // the profile's name, blanks and all
  skipBlanks();
  uint64_t length = 0;
  size_t digits = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
    length = length * 10 + static_cast<uint64_t>(text[pos] - '0');
    if (length > limit) return {};
  }
  if (digits == 0 || length == 0) return {};
  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(length));
  int high = -1;
  for (; pos < text.size() && data.size() < length; ++pos) {
    if (IsBlank(text[pos])) continue;
    const int nibble = HexValue(text[pos]);
    if (nibble < 0) return {};
    if (high < 0) {
      high = nibble;
    } else {
      data.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  if (data.size() != length) return {};
  return data;
}

std::string EncodeRawProfile(std::string_view name, std::span<const uint8_t> data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  // ImageMagick's layout, which every reader of these texts follows: the length right-aligned in
  // eight places, then 36 bytes to a line.
  std::string length = std::to_string(data.size());
  if (length.size() < 8) length.insert(0, 8 - length.size(), ' ');
  std::string text;
  text.reserve(name.size() + length.size() + 3 + data.size() * 2 + data.size() / 36 + 1);
  text.append(1, '\n').append(name).append(1, '\n').append(length).append(1, '\n');
  for (size_t i = 0; i < data.size(); ++i) {
    text.push_back(kDigits[data[i] >> 4]);
    text.push_back(kDigits[data[i] & 15]);
    if (i % 36 == 35 || i + 1 == data.size()) text.push_back('\n');
  }
  return text;
}

}  // namespace quorvane
