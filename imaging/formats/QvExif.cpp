#include "formats/QvExif.h"

#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>

#include <algorithm>
#include <cstring>
#include <iterator>
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
  return block.size() >= 8 && block.size() <= kMaxKeptExifBytes;
}

// Fields of the first directory that describe the stored data of the file the block came from,
// not the picture: a writer's own data replaces them.
bool DescribesStoredData(uint16_t tag) {
  static constexpr uint16_t kTags[] = {
      254, 255,                         // NewSubfileType, SubfileType
      258, 259,   262,   266,           // BitsPerSample, Compression, Photometric, FillOrder
      273, 277,   278,   279,           // StripOffsets, SamplesPerPixel, RowsPerStrip, StripByteCounts
      280, 281,   284,   317,           // Min/MaxSampleValue, PlanarConfiguration, Predictor
      320, 322,   323,   324,   325,    // ColorMap, tiles
      330, 338,   339,                  // SubIFDs, ExtraSamples, SampleFormat
      513, 514,                         // JPEGInterchangeFormat(Length)
      700, 33723, 34377, 34675, 37724,  // XMP, IPTC, Photoshop resources, ICC profile, layers
  };
  return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

// Sets a size field the block has to Value, keeping its type where Value fits it (LONG with
// Long: libtiff reads the EXIF sizes of a TIFF page only as LONG).
void SetDimension(Exiv2::ExifData& exif, const char* key, int value, bool asLong = false) {
  const auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end()) return;
  if (it->typeId() == Exiv2::unsignedShort && value <= 0xFFFF && !asLong)
    *it = static_cast<uint16_t>(value);
  else
    *it = static_cast<uint32_t>(value);
}

// The block decoded and corrected for a picture of Width x Height written anew; false when it
// cannot be read.
bool DecodeForSaving(std::span<const uint8_t> block, int width, int height, bool dropThumbnail, Exiv2::ExifData& exif,
                     Exiv2::ByteOrder& order) {
  if (!Readable(block)) return false;
  MuteExiv2();
  order = Exiv2::ExifParser::decode(exif, block.data(), static_cast<uint32_t>(block.size()));
  if (order == Exiv2::invalidByteOrder) return false;
  for (auto it = exif.begin(); it != exif.end();) {
    if (it->groupName() == "Image" && DescribesStoredData(it->tag()))
      it = exif.erase(it);
    else
      ++it;
  }
  if (dropThumbnail) Exiv2::ExifThumb(exif).erase();
  SetDimension(exif, "Exif.Photo.PixelXDimension", width);
  SetDimension(exif, "Exif.Photo.PixelYDimension", height);
  SetDimension(exif, "Exif.Image.ImageWidth", width);
  SetDimension(exif, "Exif.Image.ImageLength", height);
  return true;
}

std::vector<uint8_t> Encode(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
  if (exif.empty()) return {};
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, order, exif);
  if (blob.size() < 8 || blob.size() > kMaxKeptExifBytes) return {};
  return {blob.begin(), blob.end()};
}

// Field access on a block Exiv2 wrote (still checked: nothing is read outside it).
struct TBlockView {
  std::span<uint8_t> Data;
  bool BigEndian = false;
  bool Has(uint64_t offset, uint64_t bytes) const { return offset <= Data.size() && bytes <= Data.size() - offset; }
  uint32_t Get(size_t offset, int bytes) const {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const uint32_t b = Data[offset + static_cast<size_t>(i)];
      value |= BigEndian ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
    }
    return value;
  }
  void Put32(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
      Data[offset + static_cast<size_t>(i)] =
          static_cast<uint8_t>(BigEndian ? value >> (8 * (3 - i)) : value >> (8 * i));
  }
};

constexpr uint16_t kExifPointer = 34665, kGpsPointer = 34853, kInteropPointer = 40965;

// Moves the directory at Offset of the block (and the interoperability directory it points to) to
// offset At of a file: every offset inside is increased by At and the next-directory link is
// cut. False when the directory does not lie within the block or an offset would pass 4 GiB.
bool RelocateDirectory(TBlockView& view, uint32_t offset, uint32_t at, int depth = 0) {
  if (depth > 1 || !view.Has(offset, 2)) return false;
  const uint32_t count = view.Get(offset, 2);
  const uint64_t end = uint64_t{offset} + 2 + uint64_t{count} * 12;
  if (!view.Has(offset, end - offset + 4)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = offset + 2 + size_t{i} * 12;
    const uint16_t tag = static_cast<uint16_t>(view.Get(entry, 2));
    const uint64_t bytes =
        uint64_t{TiffTypeSize(static_cast<uint16_t>(view.Get(entry + 2, 2)))} * view.Get(entry + 4, 4);
    const uint32_t value = view.Get(entry + 8, 4);
    if (tag == kInteropPointer && depth == 0) {
      if (!RelocateDirectory(view, value, at, depth + 1)) return false;
    } else if (bytes <= 4) {
      continue;
    } else if (!view.Has(value, bytes)) {
      return false;
    }
    if (uint64_t{value} + at > UINT32_MAX) return false;
    view.Put32(entry + 8, value + at);
  }
  view.Put32(static_cast<size_t>(end), 0);
  return true;
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

std::vector<uint8_t> ExifForSaving(std::span<const uint8_t> block, int width, int height, bool dropThumbnail) {
  try {
    Exiv2::ExifData exif;
    Exiv2::ByteOrder order = Exiv2::littleEndian;
    if (!DecodeForSaving(block, width, height, dropThumbnail, exif, order)) return {};
    std::vector<uint8_t> saved = Encode(exif, order);
    if (!saved.empty() && ReadExifBlock(saved).Valid) return saved;
  } catch (...) {
    // Not writable: nothing is stored.
  }
  return {};
}

size_t TiffTypeSize(uint16_t type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
    case 3:
    case 8: return 2;  // SHORT, SSHORT
    case 4:
    case 9:
    case 11: return 4;  // LONG, SLONG, FLOAT
    case 5:
    case 10:
    case 12: return 8;  // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
  }
}

std::vector<uint8_t> ExifBlockOfFields(const std::vector<TExifField>& fields, bool bigEndian, uint16_t orientation) {
  MuteExiv2();
  try {
    const Exiv2::ByteOrder order = bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian;
    Exiv2::ExifData exif;
    for (const TExifField& field : fields) {
      if (field.Tag == kExifPointer || field.Tag == kGpsPointer || field.Tag == kInteropPointer) continue;
      const size_t size = TiffTypeSize(field.Type);
      if (size == 0 || field.Value.empty() || field.Value.size() % size != 0) continue;
      static constexpr const char* kGroups[] = {"Image", "Photo", "GPSInfo", "Iop"};
      const Exiv2::ExifKey key(field.Tag, kGroups[static_cast<size_t>(field.Directory)]);
      auto value = Exiv2::Value::create(static_cast<Exiv2::TypeId>(field.Type));
      if (value->read(field.Value.data(), static_cast<long>(field.Value.size()), order) != 0) continue;
      exif.add(key, value.get());
    }
    if (exif.empty()) return {};
    if (orientation != kOrientationTopLeft) exif["Exif.Image.Orientation"] = orientation;
    std::vector<uint8_t> block = Encode(exif, order);
    if (!block.empty() && ReadExifBlock(block).Valid) return block;
  } catch (...) {
    // Fields Exiv2 refuses make no block.
  }
  return {};
}

TTiffExifDirectories ExifForTiff(std::span<const uint8_t> block, int width, int height, uint32_t at, bool bigEndian) {
  TTiffExifDirectories result;
  if (at % 2 != 0) return result;
  try {
    Exiv2::ExifData exif;
    Exiv2::ByteOrder order = Exiv2::littleEndian;
    if (!DecodeForSaving(block, width, height, true, exif, order)) return result;
    static constexpr struct {
      uint16_t Tag;
      const char* Key;
    } kTexts[] = {
        {270, "Exif.Image.ImageDescription"}, {271, "Exif.Image.Make"},         {272, "Exif.Image.Model"},
        {315, "Exif.Image.Artist"},           {316, "Exif.Image.HostComputer"}, {33432, "Exif.Image.Copyright"}};
    for (const auto& text : kTexts) {
      const Exiv2::Exifdatum* datum = Find(exif, text.Key);
      if (!datum || datum->typeId() != Exiv2::asciiString) continue;
      std::string value = datum->toString();
      value = value.substr(0, value.find('\0'));
      if (!value.empty()) result.Texts.emplace_back(text.Tag, std::move(value));
    }
    SetDimension(exif, "Exif.Photo.PixelXDimension", width, true);
    SetDimension(exif, "Exif.Photo.PixelYDimension", height, true);
    // The page holds its own first directory; maker notes keep offsets that cannot move.
    for (auto it = exif.begin(); it != exif.end();) {
      const std::string group = it->groupName();
      if (group == "Photo" || group == "GPSInfo" || group == "Iop")
        ++it;
      else
        it = exif.erase(it);
    }
    const auto makerNote = exif.findKey(Exiv2::ExifKey("Exif.Photo.MakerNote"));
    if (makerNote != exif.end()) exif.erase(makerNote);
    const Exiv2::ByteOrder fileOrder = bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian;
    std::vector<uint8_t> bytes = Encode(exif, fileOrder);
    if (bytes.empty()) return result;
    TBlockView view{bytes, bigEndian};
    const uint32_t first = view.Get(4, 4);
    if (!view.Has(first, 2)) return result;
    const uint32_t count = view.Get(first, 2);
    if (!view.Has(first, 2 + uint64_t{count} * 12)) return result;
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = first + 2 + size_t{i} * 12;
      const uint16_t tag = static_cast<uint16_t>(view.Get(entry, 2));
      if (tag != kExifPointer && tag != kGpsPointer) continue;
      const uint32_t offset = view.Get(entry + 8, 4);
      if (!RelocateDirectory(view, offset, at)) return TTiffExifDirectories{result.Texts, {}, 0, 0};
      (tag == kExifPointer ? result.ExifOffset : result.GpsOffset) = offset + at;
    }
    if (result.ExifOffset != 0 || result.GpsOffset != 0) result.Bytes = std::move(bytes);
  } catch (...) {
    result.Bytes.clear();
    result.ExifOffset = result.GpsOffset = 0;
  }
  return result;
}

}  // namespace quorvane
