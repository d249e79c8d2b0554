// The metadata path: EXIF blocks, XMP packets, Photoshop resources with IPTC data and PNG raw
// profile texts are untrusted bytes. The first input byte chooses what the rest is taken as:
//   0: an EXIF block, corrected for saving, laid out for a TIFF page and read back;
//   1: an XMP packet, corrected for saving;
//   2: Photoshop resources, whose IPTC data must survive being wrapped again;
//   3: a raw profile text, whose bytes must survive being encoded again;
//   4: three blocks (EXIF, XMP, IPTC; each after a 2-byte big-endian length) on a small picture
//      written as JPEG, PNG and TIFF and read back.
// Nothing may crash or raise anything but the library's own exceptions (a writer's refusal).
#include <cstdlib>
#include <span>

#include "FuzzSupport.h"
#include "formats/QvExif.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMetadataBlocks.h"
#include "formats/QvPngGr.h"
#include "formats/QvTifGr.h"

using namespace quorvane;

namespace {

// Small limits inside: a block may not make the target slow.
constexpr size_t kMaxInput = 256 << 10;

void ExifPath(std::span<const uint8_t> block) {
  const std::vector<uint8_t> saved = ExifForSaving(block, 300, 70000, true);
  if (!saved.empty() && !ReadExifBlock(saved).Valid) std::abort();
  const TTiffExifDirectories tiff = ExifForTiff(block, 300, 200, 1000, block.size() % 2 == 0);
  if (tiff.Bytes.empty() != (tiff.ExifOffset == 0 && tiff.GpsOffset == 0)) std::abort();
  if (tiff.ExifOffset != 0 && (tiff.ExifOffset < 1000 || tiff.ExifOffset >= 1000 + tiff.Bytes.size())) std::abort();
}

void XmpPath(std::span<const uint8_t> packet) {
  const std::vector<uint8_t> saved = XmpForSaving(packet, 1, 300, 200, true);
  if (saved.size() > kMaxXmpBytes) std::abort();
}

void PhotoshopPath(std::span<const uint8_t> resources) {
  const std::vector<uint8_t> iptc = IptcOfPhotoshopResources(resources);
  if (iptc.empty()) return;
  if (!IsIptcData(iptc) || IptcOfPhotoshopResources(PhotoshopResourcesOfIptc(iptc)) != iptc) std::abort();
}

void RawProfilePath(std::span<const uint8_t> text) {
  const std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
  const std::vector<uint8_t> data = DecodeRawProfile(view, 64 << 10);
  if (data.empty()) return;
  if (DecodeRawProfile(EncodeRawProfile("iptc", data), data.size()) != data) std::abort();
}

std::span<const uint8_t> TakeBlock(std::span<const uint8_t>& rest) {
  if (rest.size() < 2) return {};
  const size_t size = std::min<size_t>(size_t{rest[0]} << 8 | rest[1], rest.size() - 2);
  const std::span<const uint8_t> block = rest.subspan(2, size);
  rest = rest.subspan(2 + size);
  return block;
}

template <class T>
void WriteAndRead(const TImageMetadata& metadata, TImageFormat format) {
  T image;
  image.NewImage(5, 3, format, nullptr, 72, 72);
  image.Metadata() = metadata;
  TMemoryStream stream;
  try {
    image.SaveToStream(stream);
  } catch (const Exception&) {
    return;
  }
  stream.SetPosition(0);
  T back;
  if (!fuzz::Reads(back, stream)) std::abort();  // what we wrote must read
  if (back.Width() != 5 || back.Height() != 3) std::abort();
}

void FilePath(std::span<const uint8_t> rest) {
  TImageMetadata metadata;
  const std::span<const uint8_t> exif = TakeBlock(rest), xmp = TakeBlock(rest), iptc = TakeBlock(rest);
  metadata.Exif.assign(exif.begin(), exif.end());
  metadata.Xmp.assign(xmp.begin(), xmp.end());
  metadata.Iptc.assign(iptc.begin(), iptc.end());
  WriteAndRead<TJpegGraphic>(metadata, TImageFormat::TrueColor);
  WriteAndRead<TPngGraphic>(metadata, TImageFormat::Color256);
  WriteAndRead<TTiffGraphic>(metadata, TImageFormat::TrueColor);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  fuzz::LimitImageSize();
  const std::span<const uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 5) {
    case 0: ExifPath(rest); break;
    case 1: XmpPath(rest); break;
    case 2: PhotoshopPath(rest); break;
    case 3: RawProfilePath(rest); break;
    default: FilePath(rest); break;
  }
  return 0;
}
