// Writes the seed corpus of the fuzz targets with our own writers: small pictures of every depth
// each format stores, plus the variants the writers never produce (run-length Targa, RLE bitmaps,
// four-plane PCX, bitmap arrays), coded here by hand.
//
// Usage: make-seeds <corpus folder>; seeds go to <folder>/<target>/.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "formats/QvDcxGr.h"
#include "formats/QvDiGrphDib.h"
#include "formats/QvGbm.h"
#include "formats/QvIcoGr.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMetadataBlocks.h"
#include "formats/QvPcxGr.h"
#include "formats/QvPngGr.h"
#include "formats/QvTgaGr.h"
#include "formats/QvTifGr.h"
#include "gbm/gbm.h"
#include "model/QvBytes.h"
#include "support/BitmapBytes.h"
#include "support/PngBytes.h"

using namespace quorvane;

namespace {

using TBytes = std::vector<uint8_t>;

std::filesystem::path gRoot;

void Save(const std::string& target, const std::string& name, const TBytes& bytes) {
  const std::filesystem::path folder = gRoot / target;
  std::filesystem::create_directories(folder);
  TMemoryStream(bytes).SaveToFile((folder / name).string());
}

// A small picture of the format with a varied palette and pixels.
std::unique_ptr<TDibGraphic> Picture(TImageFormat format, int width, int height) {
  auto picture = std::make_unique<TDibGraphic>();
  TDibGraphic& image = *picture;
  TDibPalette palette = DefaultPalette(format);
  for (int i = 0; i < palette.Count; ++i)
    palette.Entries[i] = {static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11), static_cast<uint8_t>(i * 5),
                          0};
  image.NewImage(width, height, format, format == TImageFormat::TrueColor ? nullptr : &palette, 72, 72);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (format == TImageFormat::TrueColor)
        image.SetPixel(x, y, PackColor(static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 30), x < 4 ? 0 : 200));
      else
        image.SetPixelIndex(x, y, (x < 5 ? 1 : x * 3 + y) % palette.Count);
    }
  }
  return picture;
}

TBytes Written(TDibGraphic& writer, const TDibGraphic& picture) {
  writer.Assign(&picture);
  TMemoryStream stream;
  writer.SaveToStream(stream);
  return stream.Data();
}

TBytes GbmWritten(const TDibGraphic& image, const char* hint, const char* options) {
  TMemoryStream stream;
  try {
    GbmWriteImage(stream, image, hint, options);
  } catch (const EGbmError&) {
    std::fprintf(stderr, "gbm_write %s %s failed\n", hint, options);
  }
  return stream.Data();
}

const TImageFormat kFormats[] = {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::Color256,
                                 TImageFormat::TrueColor};

void PcxSeeds() {
  for (TImageFormat format : kFormats) {
    TPcxGraphic writer;
    Save("fuzz_pcx", "pcx" + std::to_string(ImageFormatBits(format)) + ".pcx",
         Written(writer, *Picture(format, 13, 7)));
  }
  // Four 1-bit planes, one byte per plane line padded to two, runs that cross line ends.
  TBytes file(128, 0);
  file[0] = 10, file[1] = 5, file[2] = 1, file[3] = 1, file[8] = 9, file[10] = 2, file[65] = 4, file[66] = 2;
  for (int i = 0; i < 48; ++i) file[16 + i] = static_cast<uint8_t>(i * 5);
  const TBytes lines = {0xC8, 0xAA, 0x55, 0x00, 0xC3, 0xF0, 0x81, 0xC1, 0xFF, 0x0F, 0xC9, 0x33, 0x01, 0x02};
  file.insert(file.end(), lines.begin(), lines.end());
  Save("fuzz_pcx", "pcx4planes.pcx", file);
}

void DcxSeeds() {
  TMemoryStream stream;
  for (TImageFormat format : kFormats) {
    TDcxGraphic writer;
    writer.Assign(Picture(format, 6 + static_cast<int>(format), 5).get());
    stream.SetPosition(0);
    writer.AppendToStream(stream);
  }
  // The reserved table is mostly zeros; the seed keeps it whole so offsets stay meaningful.
  Save("fuzz_dcx", "four-pages.dcx", stream.Data());
  TDcxGraphic single;
  Save("fuzz_dcx", "one-page.dcx", Written(single, *Picture(TImageFormat::Color256, 9, 4)));
}

// Run-length Targa of a written uncompressed file: one run packet then raw packets, across rows.
TBytes TargaRle(const TBytes& plain, int pixelBytes) {
  const size_t header = 18 + plain[0] + (plain[1] ? (plain[5] | plain[6] << 8) * ((plain[7] + 7) / 8) : 0);
  TBytes out(plain.begin(), plain.begin() + static_cast<ptrdiff_t>(header));
  out[2] = static_cast<uint8_t>(out[2] + 8);
  const size_t pixels = (plain.size() - header) / static_cast<size_t>(pixelBytes);
  size_t i = 0;
  out.push_back(0x82);  // a run of 3 pixels of the first value
  out.insert(out.end(), plain.begin() + header, plain.begin() + header + pixelBytes);
  i = 3;
  while (i < pixels) {
    const size_t n = std::min<size_t>(pixels - i, 100);
    out.push_back(static_cast<uint8_t>(n - 1));
    const auto from = plain.begin() + static_cast<ptrdiff_t>(header + i * pixelBytes);
    out.insert(out.end(), from, from + static_cast<ptrdiff_t>(n * pixelBytes));
    i += n;
  }
  return out;
}

void TgaSeeds() {
  const auto rgbImage = Picture(TImageFormat::TrueColor, 11, 6);
  const auto mappedImage = Picture(TImageFormat::Color256, 11, 6);
  const TDibGraphic& rgb = *rgbImage;
  const TDibGraphic& mapped = *mappedImage;
  TTgaGraphic writer;
  Save("fuzz_tga", "map8.tga", Written(writer, mapped));
  Save("fuzz_tga", "rgb24.tga", Written(writer, rgb));
  Save("fuzz_tga", "rgb16-ydown.tga", GbmWritten(rgb, "File.tga", "16 ydown"));
  Save("fuzz_tga", "rgb32.tga", GbmWritten(rgb, "File.tga", "32"));
  Save("fuzz_tga", "map8-rle.tga", TargaRle(Written(writer, mapped), 1));
  Save("fuzz_tga", "rgb24-rle.tga", TargaRle(Written(writer, rgb), 3));
  Save("fuzz_tga", "rgb16-rle.tga", TargaRle(GbmWritten(rgb, "File.tga", "16"), 2));
  Save("fuzz_tga", "rgb32-rle-ydown.tga", TargaRle(GbmWritten(rgb, "File.tga", "32 ydown"), 4));
  TBytes gray = TargaRle(Written(writer, mapped), 1);
  // Gray: no colour map, type 11.
  TBytes grayFile(gray.begin(), gray.begin() + 18);
  grayFile[1] = 0, grayFile[2] = 11, grayFile[5] = grayFile[6] = grayFile[7] = 0;
  grayFile.insert(grayFile.end(), gray.begin() + 18 + 768, gray.end());
  Save("fuzz_tga", "gray8-rle.tga", grayFile);
}

TBytes BitmapWithData(int width, int height, int bits, uint32_t compression, const TBytes& data) {
  TBytes info, palette;
  qvtest::PutBitmapInfoHeader(info, 40, width, height, bits, compression, static_cast<uint32_t>(data.size()));
  for (int i = 0; i < (1 << bits); ++i) AppendLe32(palette, static_cast<uint32_t>(i * 0x010305));
  return qvtest::BitmapFile(info, palette, data);
}

void BmpSeeds() {
  for (TImageFormat format : kFormats) {
    const auto image = Picture(format, 13, 5);
    const TDibGraphic& picture = *image;
    const std::string bits = std::to_string(ImageFormatBits(format));
    Save("fuzz_bmp", "win" + bits + ".bmp", GbmWritten(picture, "File.bmp", ""));
    Save("fuzz_bmp", "os2-" + bits + ".bmp", GbmWritten(picture, "File.bmp", "1.1"));
  }
  // RLE8: run, odd absolute run, end of line, delta, end of bitmap.
  Save("fuzz_bmp", "rle8.bmp",
       BitmapWithData(8, 4, 8, 1, {5, 7, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 2, 3, 1, 2, 4, 0, 0, 0, 1}));
  // RLE4: run, absolute run starting at an odd column, delta, end of bitmap.
  Save("fuzz_bmp", "rle4.bmp",
       BitmapWithData(9, 3, 4, 2, {3, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 1, 1, 4, 0xAB, 0, 1}));
  // A bitmap array whose first bitmap is the 8-bit OS/2 one; its offsets move by 14 bytes.
  TBytes inner = GbmWritten(*Picture(TImageFormat::Color256, 13, 5), "File.bmp", "1.1");
  const uint32_t offset = (inner[10] | inner[11] << 8) + 14u;
  inner[10] = static_cast<uint8_t>(offset), inner[11] = static_cast<uint8_t>(offset >> 8);
  TBytes array = {'B', 'A'};
  AppendLe32(array, 40);
  AppendLe32(array, 0);
  AppendLe16(array, 13);
  AppendLe16(array, 5);
  array.insert(array.end(), inner.begin(), inner.end());
  Save("fuzz_bmp", "array.bmp", array);
}

// An icon picture in BMP style: header with doubled height, table, colour rows, mask rows.
TBytes IconBitmap(const TDibGraphic& image, int bits) {
  TBytes dib = SaveToDibHandle(image);
  const int h = image.Height();
  dib[8] = static_cast<uint8_t>(2 * h), dib[9] = static_cast<uint8_t>(2 * h >> 8);
  if (bits == 32) {
    // Rewrite the 24-bit rows as 32-bit ones with a ramp of alpha values.
    TBytes out(dib.begin(), dib.begin() + 40);
    out[14] = 32;
    for (int y = h - 1; y >= 0; --y) {
      const uint8_t* row = image.ScanLine(y);
      for (int x = 0; x < image.Width(); ++x) {
        out.insert(out.end(), row + 3 * x, row + 3 * x + 3);
        out.push_back(static_cast<uint8_t>(x * 40));
      }
    }
    dib = out;
  }
  dib.insert(dib.end(), static_cast<size_t>(RowBytes(image.Width(), 1)) * h, 0x0F);
  return dib;
}

TBytes IconPng(int width, int height) {
  TBytes rgba;
  for (int i = 0; i < width * height; ++i)
    rgba.insert(rgba.end(),
                {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i * 3), 90, static_cast<uint8_t>(i * 11)});
  return qvtest::RgbaPng(width, height, rgba);
}

TBytes IconFile(const std::vector<std::pair<int, TBytes>>& pictures) {
  TBytes file;
  AppendLe16(file, 0);
  AppendLe16(file, 1);
  AppendLe16(file, static_cast<unsigned>(pictures.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * pictures.size());
  for (const auto& [size, data] : pictures) {
    file.insert(file.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size), 0, 0});
    AppendLe16(file, 1);
    AppendLe16(file, 32);
    AppendLe32(file, static_cast<uint32_t>(data.size()));
    AppendLe32(file, offset);
    offset += static_cast<uint32_t>(data.size());
  }
  for (const auto& picture : pictures) file.insert(file.end(), picture.second.begin(), picture.second.end());
  return file;
}

void IcoSeeds() {
  TIconGraphic writer;
  Save("fuzz_ico", "written.ico", Written(writer, *Picture(TImageFormat::TrueColor, 40, 20)));
  std::vector<std::pair<int, TBytes>> pictures;
  for (TImageFormat format : kFormats)
    pictures.emplace_back(6, IconBitmap(*Picture(format, 6, 6), ImageFormatBits(format)));
  Save("fuzz_ico", "depths.ico", IconFile(pictures));
  Save("fuzz_ico", "alpha32.ico", IconFile({{8, IconBitmap(*Picture(TImageFormat::TrueColor, 8, 8), 32)}}));
  Save("fuzz_ico", "png.ico",
       IconFile({{4, IconBitmap(*Picture(TImageFormat::Color16, 4, 4), 4)}, {6, IconPng(6, 6)}}));
}

void DibSeeds() {
  for (TImageFormat format : kFormats)
    Save("fuzz_dib", "dib" + std::to_string(ImageFormatBits(format)) + ".dib", SaveToDibHandle(*Picture(format, 7, 3)));
  // 16 bits 5-5-5 and 32 bits with colour masks after the header.
  TBytes dib16 = SaveToDibHandle(*Picture(TImageFormat::Color256, 4, 3));
  dib16.resize(40);
  dib16[14] = 16, dib16[32] = dib16[33] = 0;
  for (int i = 0; i < 24; ++i) dib16.push_back(static_cast<uint8_t>(i * 29));
  Save("fuzz_dib", "dib16.dib", dib16);
  TBytes dib32(dib16.begin(), dib16.begin() + 40);
  dib32[14] = 32, dib32[16] = 3, dib32[20] = 48;
  for (uint32_t mask : {0xFF000000u, 0x00FF0000u, 0x0000FF00u}) AppendLe32(dib32, mask);
  for (int i = 0; i < 48; ++i) dib32.push_back(static_cast<uint8_t>(i * 13));
  Save("fuzz_dib", "dib32-masks.dib", dib32);
  // The RLE bitmaps without their 14-byte file header.
  const TBytes rle8 = BitmapWithData(8, 4, 8, 1, {5, 7, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 2, 3, 1, 2, 4, 0, 0, 0, 1});
  Save("fuzz_dib", "rle8.dib", TBytes(rle8.begin() + 14, rle8.end()));
  const TBytes rle4 = BitmapWithData(9, 3, 4, 2, {3, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 1, 1, 4, 0xAB, 0, 1});
  Save("fuzz_dib", "rle4.dib", TBytes(rle4.begin() + 14, rle4.end()));
}

extern "C" void AppendPngBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
extern "C" void NoPngFlush(png_structp) {}

// A PNG written by libpng directly, for the colour types and chunks our writer never produces.
// Samples follow a pattern; 16-bit samples take two bytes each.
TBytes LibpngFile(int width, int height, int depth, int colorType, bool interlaced, bool chunks) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fprintf(stderr, "libpng seed %d/%d failed\n", depth, colorType);
    return {};
  }
  png_set_write_fn(png, &out, AppendPngBytes, NoPngFlush);
  png_set_IHDR(png, info, width, height, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  png_color palette[16];
  png_byte alpha[3] = {0, 128, 255};
  for (int i = 0; i < 16; ++i) palette[i] = {png_byte(i * 16), png_byte(255 - i * 9), png_byte(i * 5)};
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, palette, std::min(16, 1 << depth));
    if (chunks) png_set_tRNS(png, info, alpha, 3, nullptr);
  }
  if (chunks) {
    png_color_16 back{1, 100, 150, 200, 90};
    png_set_bKGD(png, info, &back);
    png_set_gAMA(png, info, 1.0);
    png_set_pHYs(png, info, 11811, 3780, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  const int channels = colorType == PNG_COLOR_TYPE_RGB          ? 3
                       : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                       : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                                : 1;
  TBytes row((width * channels * depth + 7) / 8);
  const int passes = interlaced ? png_set_interlace_handling(png) : 1;
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 41 + y * 13);
      if (colorType == PNG_COLOR_TYPE_PALETTE && depth == 8)
        for (auto& b : row) b &= 15;
      png_write_row(png, row.data());
    }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void PngSeeds() {
  const TImageFormat all[] = {TImageFormat::BlackWhite, TImageFormat::Gray16,   TImageFormat::Gray256,
                              TImageFormat::Color16,    TImageFormat::Color256, TImageFormat::TrueColor};
  for (TImageFormat format : all)
    for (bool interlaced : {false, true}) {
      TPngGraphic writer;
      writer.SetInterlaced(interlaced);
      Save("fuzz_png", "ours" + std::to_string(static_cast<int>(format)) + (interlaced ? "-adam7" : "") + ".png",
           Written(writer, *Picture(format, 11, 6)));
    }
  struct TKind {
    const char* Name;
    int Depth, ColorType;
  };
  const TKind kinds[] = {{"gray2", 2, PNG_COLOR_TYPE_GRAY},        {"palette2", 2, PNG_COLOR_TYPE_PALETTE},
                         {"gray16", 16, PNG_COLOR_TYPE_GRAY},      {"rgb16", 16, PNG_COLOR_TYPE_RGB},
                         {"graya8", 8, PNG_COLOR_TYPE_GRAY_ALPHA}, {"rgba16", 16, PNG_COLOR_TYPE_RGB_ALPHA},
                         {"palette8", 8, PNG_COLOR_TYPE_PALETTE},  {"rgba8", 8, PNG_COLOR_TYPE_RGB_ALPHA}};
  for (const TKind& kind : kinds) {
    Save("fuzz_png", std::string(kind.Name) + ".png", LibpngFile(9, 5, kind.Depth, kind.ColorType, false, false));
    Save("fuzz_png", std::string(kind.Name) + "-chunks-adam7.png",
         LibpngFile(9, 5, kind.Depth, kind.ColorType, true, true));
  }
}

// An XMP packet that names an extension, and the extension in two APP1 segments, the second part
// first (readers go by the offsets).
std::vector<uint8_t> XmpExtensionJpeg() {
  const std::string guid = "0123456789ABCDEF0123456789ABCDEF";
  const std::string packet =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmpNote:HasExtendedXMP='" +
      guid + "'/></rdf:RDF></x:xmpmeta>";
  const std::string extension =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:ex='http://example.invalid/e/' ex:D='dddddddddddddddd'/>"
      "</rdf:RDF></x:xmpmeta>";
  const auto part = [&](size_t offset, size_t bytes) {
    std::vector<uint8_t> segment(kJpegXmpExtensionHeader, kJpegXmpExtensionHeader + kJpegXmpExtensionHeaderBytes);
    segment.insert(segment.end(), guid.begin(), guid.end());
    for (size_t value : {extension.size(), offset})
      for (int shift = 24; shift >= 0; shift -= 8) segment.push_back(static_cast<uint8_t>(value >> shift));
    segment.insert(segment.end(), extension.begin() + static_cast<ptrdiff_t>(offset),
                   extension.begin() + static_cast<ptrdiff_t>(offset + bytes));
    return segment;
  };
  TJpegGraphic writer;
  const size_t half = extension.size() / 2;
  writer.Metadata().Xmp.assign(packet.begin(), packet.end());
  writer.Metadata().XmpExtension = {part(half, extension.size() - half), part(0, half)};
  return Written(writer, *Picture(TImageFormat::TrueColor, 19, 11));
}

void JpegSeeds() {
  TJpegGraphic writer;
  Save("fuzz_jpeg", "gray.jpg", Written(writer, *Picture(TImageFormat::Gray256, 19, 11)));
  Save("fuzz_jpeg", "colour.jpg", Written(writer, *Picture(TImageFormat::TrueColor, 19, 11)));
  writer.SetProgressive(true);
  Save("fuzz_jpeg", "progressive.jpg", Written(writer, *Picture(TImageFormat::TrueColor, 19, 11)));
  writer.SetProgressive(false);
  writer.SetOptimizeCoding(true);
  writer.SetQuality(30);
  Save("fuzz_jpeg", "optimized.jpg", Written(writer, *Picture(TImageFormat::TrueColor, 19, 11)));
  Save("fuzz_jpeg", "xmp-extension.jpg", XmpExtensionJpeg());
}

}  // namespace

// Every format in every compression the writer allows, and a three-page file.
void TiffSeeds() {
  TMemoryStream book;
  for (int f = 0; f < kImageFormatCount; ++f)
    for (int c = 0; c < kTiffCompressionCount; ++c) {
      const auto format = static_cast<TImageFormat>(f);
      const auto compression = static_cast<TTiffCompression>(c);
      if (!TiffCompressionAllowed(compression, format)) continue;
      TTiffGraphic writer;
      writer.Assign(Picture(format, 13, 9).get());
      writer.SetCompression(compression);
      TMemoryStream stream;
      writer.SaveToStream(stream);
      Save("fuzz_tiff", "f" + std::to_string(f) + "-c" + std::to_string(c) + ".tif", stream.Data());
      if (c == 0 && (f == 0 || f == 4 || f == 5)) writer.AppendToStream(book);
    }
  Save("fuzz_tiff", "three-pages.tif", book.Data());
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  gRoot = argv[1];
  PcxSeeds();
  DcxSeeds();
  TgaSeeds();
  BmpSeeds();
  IcoSeeds();
  DibSeeds();
  TiffSeeds();
  PngSeeds();
  JpegSeeds();
  return 0;
}
