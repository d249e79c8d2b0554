// TIFF sample layouts: pages written with libtiff over the cross product of photometric
// interpretation, bits and samples per pixel, planar configuration, strips or tiles, compression,
// width, extra samples, orientation and fill order, each read through our reader (which picks its
// own path) and held against libtiff's RGBA conversion of the same file.
//
// The rule: a page we read without a warning has the conversion's size and exactly its colours
// (JPEG included: both decode with the same libjpeg), except for one level of difference in
// palette pages with 16-bit colour maps and in samples of more than 8 bits. (One layout is checked
// for its size only: libtiff's own conversion misplaces its pixels; see below.) Extra samples never change the picture,
// so a page with extra samples is held against the conversion of its colour samples alone (the conversion refuses some
// such pages, e.g. contiguous sub-byte gray with alpha, that we read). A page we do not read is either refused with an
// exception that carries a message, or left blank with the warning that its sample layout is not supported, which is
// allowed only where the conversion refuses the file too.
//
// QV_TIFF_LAYOUT_DUMP=<folder> also writes every generated file there (seeds for the fuzzer).
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "FormatTestUtil.h"
#include "formats/QvTifGr.h"
#include "model/QvExcept.h"

using namespace qvtest;

namespace {

struct TLayout {
  uint16_t Photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t Bits = 8, Samples = 1;
  uint16_t Planar = PLANARCONFIG_CONTIG;
  uint16_t Compression = COMPRESSION_NONE;
  bool Tiled = false;
  uint32_t Width = 19, Height = 11;
  uint16_t Orientation = ORIENTATION_TOPLEFT;
  uint16_t FillOrder = FILLORDER_MSB2LSB;
  uint16_t Alpha = EXTRASAMPLE_UNSPECIFIED;  // kind of the first extra sample

  std::string Name() const {
    std::string name = "tif-p" + std::to_string(Photometric) + "-" + std::to_string(Bits) + "bit-" +
                       std::to_string(Samples) + "spp-" + (Planar == PLANARCONFIG_CONTIG ? "contig" : "planar") +
                       (Tiled ? "-tiles" : "-strips") + "-c" + std::to_string(Compression) + "-w" +
                       std::to_string(Width);
    if (Orientation != ORIENTATION_TOPLEFT) name += "-o" + std::to_string(Orientation);
    if (FillOrder != FILLORDER_MSB2LSB) name += "-lsb";
    if (Alpha != EXTRASAMPLE_UNSPECIFIED) name += "-alpha" + std::to_string(Alpha);
    return name;
  }
};

int ColourSamples(uint16_t photometric) {
  if (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR) return 3;
  if (photometric == PHOTOMETRIC_SEPARATED) return 4;
  return 1;
}

// Sample S of pixel (X, Y): a hash, so that neighbouring samples differ in every bit.
uint32_t SampleValue(uint32_t x, uint32_t y, uint32_t s, int bits) {
  uint32_t v = (x * 73856093u) ^ (y * 19349663u) ^ (s * 83492791u) ^ 0x5bd1e995u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  v ^= v >> 15;
  return bits >= 32 ? v : v & ((1u << bits) - 1);
}

// Count pixels from X0 of row Y as the file stores them: all samples of a pixel together, or one
// plane's sample.
Bytes PackRow(const TLayout& l, uint32_t y, uint32_t x0, uint32_t count, int plane) {
  const int perPixel = l.Planar == PLANARCONFIG_CONTIG ? l.Samples : 1;
  Bytes out((static_cast<size_t>(count) * perPixel * l.Bits + 7) / 8, 0);
  size_t bit = 0;
  for (uint32_t x = x0; x < x0 + count; ++x)
    for (int i = 0; i < perPixel; ++i) {
      const uint32_t v = x < l.Width ? SampleValue(x, y, plane < 0 ? i : plane, l.Bits) : 0;
      if (l.Bits == 16) {
        const uint16_t word = static_cast<uint16_t>(v);
        std::memcpy(&out[bit / 8], &word, 2);  // libtiff takes 16-bit samples in native order
        bit += 16;
        continue;
      }
      for (int b = l.Bits - 1; b >= 0; --b, ++bit)
        if ((v >> b) & 1) out[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
    }
  return out;
}

// The file for Layout, or nothing where libtiff refuses to write it.
std::optional<Bytes> WritePage(const TLayout& l) {
  TMemoryStream stream;
  try {
    TTiffHandle h(stream, "w");
    TIFF* tif = h.Get();
    bool ok =
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.Width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.Height) &&
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.Bits) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.Samples) &&
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.Photometric) && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.Planar) &&
        TIFFSetField(tif, TIFFTAG_COMPRESSION, l.Compression) &&
        TIFFSetField(tif, TIFFTAG_ORIENTATION, l.Orientation) && TIFFSetField(tif, TIFFTAG_FILLORDER, l.FillOrder);
    if (!ok) return std::nullopt;
    const int extra = l.Samples - ColourSamples(l.Photometric);
    if (extra > 0) {
      std::vector<uint16_t> kinds(static_cast<size_t>(extra), EXTRASAMPLE_UNSPECIFIED);
      kinds[0] = l.Alpha;
      if (!TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extra, kinds.data())) return std::nullopt;
    }
    if (l.Photometric == PHOTOMETRIC_PALETTE && l.Bits <= 16) {
      const size_t n = size_t{1} << l.Bits;
      std::vector<uint16_t> r(n), g(n), b(n);
      for (size_t i = 0; i < n; ++i) {
        r[i] = static_cast<uint16_t>(SampleValue(static_cast<uint32_t>(i), 1, 0, 16));
        g[i] = static_cast<uint16_t>(SampleValue(static_cast<uint32_t>(i), 2, 0, 16));
        b[i] = static_cast<uint16_t>(SampleValue(static_cast<uint32_t>(i), 3, 0, 16));
      }
      TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if (l.Photometric == PHOTOMETRIC_YCBCR && l.Compression == COMPRESSION_JPEG)
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    else if (l.Photometric == PHOTOMETRIC_YCBCR)
      TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    const int planes = l.Planar == PLANARCONFIG_CONTIG ? 1 : l.Samples;
    if (l.Tiled) {
      constexpr uint32_t kTile = 16;
      if (!TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile) || !TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile))
        return std::nullopt;
      const tmsize_t tileSize = TIFFTileSize(tif);
      if (tileSize <= 0) return std::nullopt;
      for (int plane = 0; plane < planes; ++plane)
        for (uint32_t ty = 0; ty < l.Height; ty += kTile)
          for (uint32_t tx = 0; tx < l.Width; tx += kTile) {
            Bytes tile;
            for (uint32_t y = ty; y < ty + kTile; ++y) {
              const Bytes row = PackRow(l, std::min(y, l.Height - 1), tx, kTile, planes == 1 ? -1 : plane);
              tile.insert(tile.end(), row.begin(), row.end());
            }
            tile.resize(static_cast<size_t>(tileSize));
            if (TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(plane)) < 0) return std::nullopt;
          }
    } else {
      const bool subsampled = l.Photometric == PHOTOMETRIC_YCBCR && l.Compression == COMPRESSION_JPEG;
      if (!TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, subsampled ? 16 : 8)) return std::nullopt;
      for (int plane = 0; plane < planes; ++plane)
        for (uint32_t y = 0; y < l.Height; ++y) {
          Bytes row = PackRow(l, y, 0, l.Width, planes == 1 ? -1 : plane);
          if (TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(plane)) < 0) return std::nullopt;
        }
    }
    h.Close();
  } catch (const Exception&) {
    return std::nullopt;
  }
  return stream.Data();
}

// libtiff's RGBA conversion of a file, rows from the top; nothing where it refuses.
std::optional<std::vector<uint32_t>> RgbaConversion(const Bytes& file) {
  TMemoryStream stream(file);
  TTiffHandle h(stream, "r", 0, true);
  uint32_t w = 0, ht = 0;
  TIFFGetField(h.Get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(h.Get(), TIFFTAG_IMAGELENGTH, &ht);
  std::vector<uint32_t> raster(static_cast<size_t>(w) * ht);
  if (!TIFFReadRGBAImageOriented(h.Get(), w, ht, raster.data(), ORIENTATION_TOPLEFT, 1)) return std::nullopt;
  return raster;
}

// The conversion of the page's colour samples alone (the page itself when it has no others).
std::optional<std::vector<uint32_t>> Reference(const TLayout& l, const Bytes& file) {
  if (l.Samples <= ColourSamples(l.Photometric)) return RgbaConversion(file);
  TLayout colours = l;
  colours.Samples = static_cast<uint16_t>(ColourSamples(l.Photometric));
  if (colours.Samples == 1) colours.Planar = PLANARCONFIG_CONTIG;
  colours.Compression = COMPRESSION_NONE;
  colours.Tiled = false;
  const std::optional<Bytes> plain = WritePage(colours);
  return plain ? RgbaConversion(*plain) : std::nullopt;
}

std::vector<TLayout> Layouts() {
  std::vector<TLayout> all;
  const uint16_t photometrics[] = {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_RGB, PHOTOMETRIC_PALETTE,
                                   PHOTOMETRIC_SEPARATED};
  const uint16_t general[] = {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_DEFLATE};
  for (uint16_t photometric : photometrics)
    for (uint16_t bits : {1, 2, 4, 8, 12, 16})
      for (uint16_t samples : {1, 2, 3, 4, 5, 7})
        for (uint16_t planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE})
          for (bool tiled : {false, true})
            for (uint16_t compression : general) {
              if (planar == PLANARCONFIG_SEPARATE && samples == 1) continue;
              // A 16-bit colour map holds 65536 entries: once is enough.
              if (photometric == PHOTOMETRIC_PALETTE && bits == 16 && (samples > 1 || tiled || compression)) continue;
              TLayout l;
              l.Photometric = photometric, l.Bits = bits, l.Samples = samples, l.Planar = planar;
              l.Tiled = tiled, l.Compression = compression;
              all.push_back(l);
            }
  // Many sub-byte samples: pixels of 3.5 bytes and other counts that are no whole number of bytes.
  for (auto [photometric, bits, samples] : {std::tuple{PHOTOMETRIC_RGB, 2, 14},
                                            {PHOTOMETRIC_RGB, 1, 28},
                                            {PHOTOMETRIC_RGB, 4, 7},
                                            {PHOTOMETRIC_RGB, 1, 20},
                                            {PHOTOMETRIC_RGB, 4, 11},
                                            {PHOTOMETRIC_RGB, 2, 10},
                                            {PHOTOMETRIC_MINISBLACK, 1, 9},
                                            {PHOTOMETRIC_MINISBLACK, 2, 8},
                                            {PHOTOMETRIC_MINISBLACK, 4, 12},
                                            {PHOTOMETRIC_PALETTE, 4, 6},
                                            {PHOTOMETRIC_PALETTE, 1, 28},
                                            {PHOTOMETRIC_RGB, 8, 14}})
    for (uint32_t width : {1u, 3u, 7u, 19u, 33u}) {
      TLayout l;
      l.Photometric = static_cast<uint16_t>(photometric), l.Bits = static_cast<uint16_t>(bits);
      l.Samples = static_cast<uint16_t>(samples), l.Width = width;
      all.push_back(l);
    }
  // Fax codings of one-bit pages.
  for (uint16_t compression :
       {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4, COMPRESSION_CCITTRLEW})
    for (uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_PALETTE})
      for (bool tiled : {false, true}) {
        TLayout l;
        l.Photometric = photometric, l.Bits = 1, l.Tiled = tiled, l.Compression = compression;
        all.push_back(l);
      }
  // JPEG: 8-bit gray, RGB, YCbCr and inks, in strips and tiles, contiguous and planar.
  for (uint16_t photometric :
       {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_RGB, PHOTOMETRIC_YCBCR, PHOTOMETRIC_SEPARATED})
    for (uint16_t planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE})
      for (bool tiled : {false, true})
        for (uint32_t width : {19u, 40u}) {
          TLayout l;
          l.Photometric = photometric, l.Samples = static_cast<uint16_t>(ColourSamples(photometric));
          l.Planar = l.Samples == 1 ? PLANARCONFIG_CONTIG : planar;
          if (l.Planar != planar) continue;
          l.Tiled = tiled, l.Compression = COMPRESSION_JPEG, l.Width = width, l.Height = 21;
          all.push_back(l);
        }
  // Uncompressed YCbCr without subsampling.
  for (bool tiled : {false, true}) {
    TLayout l;
    l.Photometric = PHOTOMETRIC_YCBCR, l.Samples = 3, l.Tiled = tiled;
    all.push_back(l);
  }
  // Every orientation of each reading path, and the other fill order.
  const TLayout oriented[] = {
      {PHOTOMETRIC_MINISWHITE, 1, 1},
      {PHOTOMETRIC_MINISBLACK, 1, 1, PLANARCONFIG_CONTIG, COMPRESSION_CCITTFAX4},
      {PHOTOMETRIC_PALETTE, 1, 1},
      {PHOTOMETRIC_PALETTE, 4, 1},
      {PHOTOMETRIC_MINISBLACK, 8, 2},
      {PHOTOMETRIC_RGB, 8, 4},
      {PHOTOMETRIC_RGB, 8, 3, PLANARCONFIG_CONTIG, COMPRESSION_NONE, true},
      {PHOTOMETRIC_RGB, 16, 3},
      {PHOTOMETRIC_RGB, 8, 3, PLANARCONFIG_CONTIG, COMPRESSION_JPEG, false, 40, 21},
      {PHOTOMETRIC_YCBCR, 8, 3, PLANARCONFIG_CONTIG, COMPRESSION_JPEG, false, 40, 21},
      {PHOTOMETRIC_MINISBLACK, 8, 1, PLANARCONFIG_CONTIG, COMPRESSION_JPEG, true, 40, 21},
  };
  for (const TLayout& base : oriented)
    for (uint16_t orientation = ORIENTATION_TOPRIGHT; orientation <= ORIENTATION_LEFTBOT; ++orientation) {
      TLayout l = base;
      l.Orientation = orientation;
      all.push_back(l);
    }
  for (uint16_t bits : {1, 4}) {
    TLayout l;
    l.Photometric = PHOTOMETRIC_MINISBLACK, l.Bits = bits, l.FillOrder = FILLORDER_LSB2MSB;
    all.push_back(l);
  }
  // Alpha, unassociated and associated, opaque and not.
  for (uint16_t alpha : {EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA})
    for (uint16_t bits : {8, 16})
      for (bool tiled : {false, true}) {
        TLayout l;
        l.Photometric = PHOTOMETRIC_RGB, l.Bits = bits, l.Samples = 4, l.Tiled = tiled, l.Alpha = alpha;
        all.push_back(l);
      }
  return all;
}

enum class TOutcome { Read, Refused, Blank };

struct TResult {
  TOutcome Outcome;
  std::string Failure;  // empty when the rule holds
};

TResult Check(const TLayout& l, const Bytes& file) {
  const std::optional<std::vector<uint32_t>> reference = Reference(l, file);
  TTiffGraphic image;
  try {
    TMemoryStream stream(file);
    image.LoadImageFromStream(stream, 1);
  } catch (const Exception& e) {
    if (e.Message().empty()) return {TOutcome::Refused, "refused without a message"};
    return {TOutcome::Refused, ""};
  }
  if (image.Width() != static_cast<int>(l.Width) || image.Height() != static_cast<int>(l.Height))
    return {TOutcome::Read, "size " + std::to_string(image.Width()) + " x " + std::to_string(image.Height())};
  if (!image.Warnings().empty()) {
    const std::string& warning = image.Warnings().front();
    if (warning.find("sample layout is not supported") == std::string::npos)
      return {TOutcome::Blank, "warning: " + warning};
    if (RgbaConversion(file)) return {TOutcome::Blank, "left blank though the conversion reads it: " + warning};
    return {TOutcome::Blank, ""};
  }
  if (!reference) return {TOutcome::Read, "read without a reference (the conversion refuses it)"};
  // libtiff's conversion misplaces the pixels of partial tiles of 16-bit gray with further samples
  // (it skips the rest of a tile row by pixels, not samples); those pages go through it all the same.
  const bool misplacedByLibtiff =
      l.Tiled && l.Bits == 16 && ColourSamples(l.Photometric) == 1 && l.Samples > 1 && l.Planar == PLANARCONFIG_CONTIG;
  if (misplacedByLibtiff) return {TOutcome::Read, ""};
  // Colour maps of 16-bit components are scaled by 255 / 65535 where the conversion takes the high
  // byte; 16-bit samples the conversion itself takes by the high byte in some layouts and rounds
  // in others: one level either way.
  const int tolerance = l.Photometric == PHOTOMETRIC_PALETTE || l.Bits > 8 ? 1 : 0;
  const auto close = [tolerance](TColorValue a, TColorValue b) {
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
        return false;
    return true;
  };
  for (uint32_t y = 0; y < l.Height; ++y)
    for (uint32_t x = 0; x < l.Width; ++x) {
      const uint32_t theirs = (*reference)[static_cast<size_t>(y) * l.Width + x];
      const TColorValue ours = image.GetPixel(static_cast<int>(x), static_cast<int>(y));
      const TColorValue expected =
          PackColor(static_cast<uint8_t>(TIFFGetB(theirs)), static_cast<uint8_t>(TIFFGetG(theirs)),
                    static_cast<uint8_t>(TIFFGetR(theirs)));
      if (!close(ours, expected)) {
        std::ostringstream text;
        text << "pixel (" << x << "," << y << ") is " << std::hex << ours << ", the conversion gives " << expected;
        return {TOutcome::Read, text.str()};
      }
    }
  return {TOutcome::Read, ""};
}

}  // namespace

TEST(TiffLayoutMatrix, EveryLayoutReadsAsTheRgbaConversionOrIsRefusedCleanly) {
  const char* dump = std::getenv("QV_TIFF_LAYOUT_DUMP");
  if (dump) std::filesystem::create_directories(dump);
  std::map<TOutcome, int> counts;
  int unwritable = 0;
  for (const TLayout& l : Layouts()) {
    const std::optional<Bytes> file = WritePage(l);
    if (!file) {
      ++unwritable;
      continue;
    }
    if (dump) TMemoryStream(*file).SaveToFile(std::string(dump) + "/" + l.Name() + ".tif");
    const TResult result = Check(l, *file);
    ++counts[result.Outcome];
    EXPECT_EQ(result.Failure, "") << l.Name();
  }
  std::cout << "layouts read " << counts[TOutcome::Read] << ", refused " << counts[TOutcome::Refused] << ", left blank "
            << counts[TOutcome::Blank] << ", not written by libtiff " << unwritable << "\n";
  // The table must exercise every outcome.
  EXPECT_GT(counts[TOutcome::Read], 500);
  EXPECT_GT(counts[TOutcome::Refused], 0);
  EXPECT_GT(counts[TOutcome::Blank], 0);
}
