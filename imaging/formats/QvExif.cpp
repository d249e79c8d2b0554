#include "formats/QvExif.h"

#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace quorvane {

namespace {

// Texts from a file are cut to a length any camera's make or date fits in.
constexpr size_t kMaxTextBytes = 128;

// Exiv2 reports what it finds wrong with a block on standard error; a damaged photo is not worth
// a line on the terminal of every program that opens it.
void MuteExiv2() {
  static std::once_flag once;
  std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

const Exiv2::Exifdatum* Find(const Exiv2::ExifData& exif, const char* key) {
  const auto it = exif.findKey(Exiv2::ExifKey(key));
  return it == exif.end() || it->count() < 1 ? nullptr : &*it;
}

std::string Text(const Exiv2::ExifData& exif, const char* key) {
  const Exiv2::Exifdatum* datum = Find(exif, key);
  if (!datum || datum->typeId() != Exiv2::asciiString) return {};
  return CleanExifText(datum->toString());
}

// A positive rational field as a number; 0 when absent, zero, negative or of another type.
double Number(const Exiv2::ExifData& exif, const char* key) {
  const Exiv2::Exifdatum* datum = Find(exif, key);
  if (!datum || (datum->typeId() != Exiv2::unsignedRational && datum->typeId() != Exiv2::signedRational)) return 0;
  const Exiv2::Rational r = datum->toRational(0);
  return r.first > 0 && r.second > 0 ? static_cast<double>(r.first) / r.second : 0;
}

uint16_t OrientationOf(const Exiv2::ExifData& exif) {
  const Exiv2::Exifdatum* datum = Find(exif, "Exif.Image.Orientation");
  if (!datum || (datum->typeId() != Exiv2::unsignedShort && datum->typeId() != Exiv2::unsignedLong))
    return kOrientationTopLeft;
  const long value = datum->toLong(0);
  if (value < kOrientationTopLeft || value > kOrientationLeftBottom) return kOrientationTopLeft;
  return static_cast<uint16_t>(value);
}

bool Readable(std::span<const uint8_t> block) {
  // A TIFF header alone takes 8 bytes.
  return block.size() >= 8 && block.size() <= kMaxExifBlockBytes;
}

}  // namespace

std::string CleanExifText(std::string_view text) {
  std::string clean(text.substr(0, std::min({text.find('\0'), text.size(), kMaxTextBytes})));
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  const size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return clean.substr(first, clean.find_last_not_of(' ') - first + 1);
}

std::span<const uint8_t> ExifBlockOfApp1(std::span<const uint8_t> payload) {
  static constexpr uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (payload.size() < sizeof kHeader || std::memcmp(payload.data(), kHeader, sizeof kHeader) != 0) return {};
  return payload.subspan(sizeof kHeader);
}

TExifInfo ReadExifBlock(std::span<const uint8_t> block) {
  TExifInfo info;
  if (!Readable(block)) return info;
  MuteExiv2();
  try {
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, block.data(), static_cast<uint32_t>(block.size()));
    info.Orientation = OrientationOf(exif);
    TCameraData& camera = info.Camera;
    camera.Make = Text(exif, "Exif.Image.Make");
    camera.Model = Text(exif, "Exif.Image.Model");
    for (const char* key :
         {"Exif.Photo.DateTimeOriginal", "Exif.Image.DateTimeOriginal", "Exif.Photo.DateTimeDigitized"})
      if (camera.DateTaken.empty()) camera.DateTaken = Text(exif, key);
    camera.ExposureTime = Number(exif, "Exif.Photo.ExposureTime");
    camera.FNumber = Number(exif, "Exif.Photo.FNumber");
    camera.FocalLength = Number(exif, "Exif.Photo.FocalLength");
    info.Valid = true;
  } catch (...) {
    // Exiv2 raises on blocks it cannot follow; what was read before stays.
  }
  return info;
}

std::vector<uint8_t> ExifWithOrientation(std::span<const uint8_t> block, uint16_t orientation) {
  if (!Readable(block)) return {};
  const TExifInfo before = ReadExifBlock(block);
  if (!before.Valid) return {};
  if (before.Orientation == orientation) return {block.begin(), block.end()};
  try {
    std::vector<uint8_t> data(block.begin(), block.end());
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(exif, data.data(), static_cast<uint32_t>(data.size()));
    exif["Exif.Image.Orientation"] = orientation;
    Exiv2::Blob blob;
    // Changing one value in place keeps everything else byte for byte (Exiv2 writes into Data);
    // where that is impossible it builds a new block.
    if (Exiv2::ExifParser::encode(blob, data.data(), static_cast<uint32_t>(data.size()), order, exif) ==
        Exiv2::wmIntrusive)
      data.assign(blob.begin(), blob.end());
    // Writing in place puts each value back at its offset; in a damaged block whose values
    // overlap, that can change another one. Such a block is not kept.
    const TExifInfo after = ReadExifBlock(data);
    if (after.Valid && after.Orientation == orientation && after.Camera == before.Camera) return data;
  } catch (...) {
    // Not rewritable: dropped below.
  }
  return {};
}

namespace {

constexpr const char* kPixelXDimension = "Exif.Photo.PixelXDimension";
constexpr const char* kPixelYDimension = "Exif.Photo.PixelYDimension";

// The value of a dimension field; -1 when absent or not a whole number.
int64_t Dimension(const Exiv2::ExifData& exif, const char* key) {
  const Exiv2::Exifdatum* datum = Find(exif, key);
  if (!datum || (datum->typeId() != Exiv2::unsignedShort && datum->typeId() != Exiv2::unsignedLong)) return -1;
  return datum->toLong(0);
}

// Sets a dimension field the block has, in its own type where the value fits (so that it is
// rewritten in place).
bool SetDimension(Exiv2::ExifData& exif, const char* key, uint32_t value) {
  const auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end()) return false;
  if (it->typeId() == Exiv2::unsignedShort && value <= 0xFFFF)
    *it = static_cast<uint16_t>(value);
  else
    *it = value;
  return true;
}

}  // namespace

std::vector<uint8_t> ExifWithPixelDimensions(std::span<const uint8_t> block, uint32_t width, uint32_t height) {
  if (!Readable(block)) return {};
  const TExifInfo before = ReadExifBlock(block);
  if (!before.Valid) return {};
  try {
    std::vector<uint8_t> data(block.begin(), block.end());
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(exif, data.data(), static_cast<uint32_t>(data.size()));
    const bool hasX = Find(exif, kPixelXDimension) != nullptr, hasY = Find(exif, kPixelYDimension) != nullptr;
    if ((!hasX || Dimension(exif, kPixelXDimension) == width) && (!hasY || Dimension(exif, kPixelYDimension) == height))
      return data;
    if (hasX) SetDimension(exif, kPixelXDimension, width);
    if (hasY) SetDimension(exif, kPixelYDimension, height);
    Exiv2::Blob blob;
    if (Exiv2::ExifParser::encode(blob, data.data(), static_cast<uint32_t>(data.size()), order, exif) ==
        Exiv2::wmIntrusive)
      data.assign(blob.begin(), blob.end());
    // As for the orientation: a rewrite in place must not have changed anything else.
    const TExifInfo after = ReadExifBlock(data);
    if (!after.Valid || after.Orientation != before.Orientation || after.Camera != before.Camera) return {};
    Exiv2::ExifData check;
    Exiv2::ExifParser::decode(check, data.data(), static_cast<uint32_t>(data.size()));
    if ((hasX && Dimension(check, kPixelXDimension) != width) || (hasY && Dimension(check, kPixelYDimension) != height))
      return {};
    return data;
  } catch (...) {
    // Not rewritable.
  }
  return {};
}

}  // namespace quorvane
