#include "formats/QvTifGr.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/QvExif.h"
#include "formats/QvMetadataBlocks.h"
#include "formats/QvOrient.h"
#include "formats/QvRowGate.h"
#include "model/QvDiGrphRows.h"
#include "model/QvIccProfile.h"
#include "model/QvLimits.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TTiffGraphic)

namespace {

struct TCompressionInfo {
  const char* Name;
  uint16_t Tag;           // Compression value written
  uint32_t RowsPerStrip;  // rows per strip written
};

constexpr std::array<TCompressionInfo, kTiffCompressionCount> kCompressions{{
    {"None", COMPRESSION_NONE, 16},
    {"Packbits", COMPRESSION_PACKBITS, 16},
    {"CCITT Group 3, 1D", COMPRESSION_CCITTFAX3, 256},
    {"CCITT Group 3, 2D", COMPRESSION_CCITTFAX3, 256},
    {"CCITT Group 4", COMPRESSION_CCITTFAX4, 256},
    {"ZLib", COMPRESSION_DEFLATE, 16},
    {"JPEG", COMPRESSION_JPEG, 8},
}};

const TCompressionInfo& InfoOf(TTiffCompression c) { return kCompressions[static_cast<size_t>(c)]; }

bool IsCcitt(TTiffCompression c) {
  return c == TTiffCompression::tcGroup3_1D || c == TTiffCompression::tcGroup3_2D || c == TTiffCompression::tcGroup4;
}

bool IsFaxTag(uint16_t compression) {
  return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
         compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

// Resolution fields become whole dots per inch, halves rounded to even; centimetres and any other
// unit are taken as centimetres.
uint16_t DotsPerInch(float value, uint16_t unit) {
  const double dpi = unit == RESUNIT_INCH ? value : value * 2.54;
  if (!(dpi > 0)) return 0;
  if (dpi >= 65535) return 65535;
  return static_cast<uint16_t>(std::nearbyint(dpi));
}

// The fields of one directory that decide how it is read.
struct TPageLayout {
  uint32_t Width = 0, Height = 0;
  uint16_t Photometric = 0, Compression = 0, BitsPerSample = 1, SamplesPerPixel = 1, Planar = 1;
  uint16_t ResolutionUnit = 2, Orientation = ORIENTATION_TOPLEFT;
  float XResolution = 0, YResolution = 0;
  bool Fax = false;
  bool Tiled = false;
  bool Rgba = false;     // through libtiff's RGBA conversion
  int64_t RowBytes = 0;  // stored row, as libtiff delivers it
  int BytesPerPixel = 1;
  int BitCount = 0;
};

TPageLayout ReadLayout(TTiffHandle& h) {
  TPageLayout p;
  h.GetField(TIFFTAG_IMAGEWIDTH, p.Width);
  h.GetField(TIFFTAG_IMAGELENGTH, p.Height);
  h.GetOptionalField<uint16_t>(TIFFTAG_PHOTOMETRIC, p.Photometric, PHOTOMETRIC_MINISWHITE);
  h.GetField(TIFFTAG_COMPRESSION, p.Compression);
  p.Fax = IsFaxTag(p.Compression);
  if (!h.GetOptionalField<uint16_t>(TIFFTAG_BITSPERSAMPLE, p.BitsPerSample, 1) && !p.Fax)
    RaiseTiffError("TIFFGetField: Tag = " + std::to_string(TIFFTAG_BITSPERSAMPLE));
  // Absent means contiguous samples, the only layout a single-sample page can have.
  h.GetOptionalField<uint16_t>(TIFFTAG_PLANARCONFIG, p.Planar, PLANARCONFIG_CONTIG);
  h.GetOptionalField<uint16_t>(TIFFTAG_SAMPLESPERPIXEL, p.SamplesPerPixel, 1);
  h.GetOptionalField<uint16_t>(TIFFTAG_ORIENTATION, p.Orientation, ORIENTATION_TOPLEFT);
  h.GetOptionalField<uint16_t>(TIFFTAG_RESOLUTIONUNIT, p.ResolutionUnit, RESUNIT_INCH);
  h.GetOptionalField<float>(TIFFTAG_XRESOLUTION, p.XResolution, 0.0f);
  h.GetOptionalField<float>(TIFFTAG_YRESOLUTION, p.YResolution, 0.0f);
  return p;
}

// JPEG strips of 8-bit RGB, YCbCr or min-is-black gray pages give the same pixels read as strips,
// with libjpeg converting YCbCr to RGB as the RGBA conversion has it do, and need no raster of
// the whole page. Their rows come in stored order and take the conversion's flips afterwards, as
// every page read outside it does.
bool JpegStripsReadDirectly(TTiffHandle& h, const TPageLayout& p) {
  TIFF* tif = h.Get();
  if (p.Compression != COMPRESSION_JPEG || TIFFIsTiled(tif) || p.Planar != PLANARCONFIG_CONTIG || p.BitsPerSample != 8)
    return false;
  if (p.SamplesPerPixel == 1) return p.Photometric == PHOTOMETRIC_MINISBLACK;
  if (p.SamplesPerPixel != 3) return false;
  if (p.Photometric == PHOTOMETRIC_RGB) return true;
  return p.Photometric == PHOTOMETRIC_YCBCR && TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
}

// Whether the rows as stored can become image rows faithfully: gray and palette levels of 1, 4 or
// 8 bits (further samples of a pixel are skipped), or 8-bit red, green and blue (further samples
// skipped). Every other layout goes through the RGBA conversion, which reads it or says why not.
bool RowsReadDirectly(const TPageLayout& p) {
  const bool level = p.Photometric == PHOTOMETRIC_MINISWHITE || p.Photometric == PHOTOMETRIC_MINISBLACK ||
                     p.Photometric == PHOTOMETRIC_PALETTE;
  if (level) return p.BitsPerSample == 1 || p.BitsPerSample == 4 || p.BitsPerSample == 8;
  return p.Photometric == PHOTOMETRIC_RGB && p.BitsPerSample == 8 && p.SamplesPerPixel >= 3;
}

// Tiles are put side by side into whole stored rows, which needs tile rows of whole bytes.
bool TileRowsAreWholeBytes(TTiffHandle& h, const TPageLayout& p) {
  uint32_t tileWidth = 0;
  h.GetOptionalField<uint32_t>(TIFFTAG_TILEWIDTH, tileWidth, 0);
  return tileWidth > 0 && uint64_t{tileWidth} * p.SamplesPerPixel * p.BitsPerSample % 8 == 0;
}

// Row size, bytes and bits per pixel; refuses what no image format can hold.
void MeasurePixels(TTiffHandle& h, TPageLayout& p) {
  if (p.Compression == COMPRESSION_LZW) throw EQuorvaneError("LZW compression not supported");
  // A tiny file may declare a huge page: refuse it before libtiff or we size anything from it.
  CheckImageSize(p.Width, p.Height, 1);
  TIFF* tif = h.Get();
  p.Tiled = TIFFIsTiled(tif);
  p.Rgba = p.Compression == COMPRESSION_JPEG || p.Photometric == PHOTOMETRIC_SEPARATED ||
           p.Photometric == PHOTOMETRIC_YCBCR || p.BitsPerSample > 8 || p.Planar > PLANARCONFIG_CONTIG ||
           !RowsReadDirectly(p) || (p.Tiled && !TileRowsAreWholeBytes(h, p));
  if (p.Rgba && JpegStripsReadDirectly(h, p)) p.Rgba = false;
  p.RowBytes = static_cast<int64_t>(TIFFScanlineSize64(tif));
  h.CheckStream();
  if (p.Rgba && p.Photometric == PHOTOMETRIC_YCBCR) {
    // Subsampled rows pack fewer bytes than pixels times samples; the RGBA conversion gives every
    // pixel its full colour, so the page counts by its samples.
    p.RowBytes = int64_t{p.Width} * p.SamplesPerPixel * ((p.BitsPerSample + 7) / 8);
  }
  const double perPixel = std::nearbyint(static_cast<double>(p.RowBytes) / p.Width);
  p.BytesPerPixel = perPixel < 1 ? 1 : perPixel > 64 ? 64 : static_cast<int>(perPixel);
  p.BitCount = static_cast<int>(std::min<int64_t>(int64_t{p.BitsPerSample} * p.BytesPerPixel, 24));
  if (p.BitCount != 1 && p.BitCount != 4 && p.BitCount != 8 && p.BitCount != 24)
    RaiseTiffError("Unsupported bit count: " + std::to_string(p.BitCount));
}

// The palette of a palette page; the map holds 16-bit components unless every one is below 256.
TDibPalette ReadColormap(TTiffHandle& h, int count) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  h.GetColormap(red, green, blue);
  bool wide = false;
  for (int i = 0; i < count; ++i) wide = wide || red[i] >= 256 || green[i] >= 256 || blue[i] >= 256;
  auto component = [wide](uint16_t v) {
    return static_cast<uint8_t>(wide ? static_cast<uint32_t>(v) * 255 / 65535 : v & 0xFF);
  };
  TDibPalette palette{};
  palette.Count = static_cast<uint16_t>(count);
  for (int i = 0; i < count; ++i) palette.Entries[i] = {component(blue[i]), component(green[i]), component(red[i]), 0};
  return palette;
}

struct TPageFormat {
  TImageFormat Format = TImageFormat::TrueColor;
  TDibPalette Palette{};
  bool Invert = false;
  bool ExpandBits = false;  // one-bit palette rows widened to four-bit indices
};

// Format, palette and inversion of a page. Min-is-white pages are inverted after reading, except
// those of the RGBA conversion, which already delivers their true colours.
TPageFormat ChoosePageFormat(TTiffHandle& h, const TPageLayout& p) {
  TPageFormat f;
  const bool gray = p.Photometric == PHOTOMETRIC_MINISWHITE || p.Photometric == PHOTOMETRIC_MINISBLACK;
  // The conversion reads separate planes of gray as if min-is-black.
  const bool separateGray = p.Planar == PLANARCONFIG_SEPARATE && p.SamplesPerPixel > 1;
  f.Invert = p.Photometric == PHOTOMETRIC_MINISWHITE && (!p.Rgba || separateGray);
  if (gray && (p.BitsPerSample == 1 || p.BitsPerSample == 4 || p.BitsPerSample == 8)) {
    f.Format = p.BitsPerSample == 1   ? TImageFormat::BlackWhite
               : p.BitsPerSample == 4 ? TImageFormat::Gray16
                                      : TImageFormat::Gray256;
    f.Palette = DefaultPalette(f.Format);
  } else if (p.Photometric == PHOTOMETRIC_PALETTE && p.BitsPerSample <= 8) {
    f.Palette = ReadColormap(h, 1 << p.BitsPerSample);
    f.Format = p.BitsPerSample > 4 ? TImageFormat::Color256 : TImageFormat::Color16;
    // Two colours are kept as indices 0 and 1 of a 16-colour image.
    f.ExpandBits = p.BitsPerSample == 1 && !p.Rgba;
  }
  return f;
}

TTiffCompression CompressionOfTag(TTiffHandle& h, uint16_t tag) {
  switch (tag) {
    case COMPRESSION_NONE: return TTiffCompression::tcNone;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW: return TTiffCompression::tcGroup3_1D;
    case COMPRESSION_CCITTFAX3: {
      // Absent means 0 (one-dimensional coding), the field's default.
      uint32_t options = 0;
      h.GetOptionalField<uint32_t>(TIFFTAG_GROUP3OPTIONS, options, 0);
      return (options & GROUP3OPT_2DENCODING) ? TTiffCompression::tcGroup3_2D : TTiffCompression::tcGroup3_1D;
    }
    case COMPRESSION_CCITTFAX4: return TTiffCompression::tcGroup4;
    case COMPRESSION_PACKBITS: return TTiffCompression::tcPackbits;
    // Deflate has two tags: the early one (32946) and the registered one (8) that most writers use.
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE: return TTiffCompression::tcZLib;
    case COMPRESSION_JPEG: return TTiffCompression::tcJpeg;
    default: throw ETiffError(FormatMessage("Unsupported compression tag, %d", tag));
  }
}

constexpr const char* kDataEnded =
    "The TIFF image data is damaged or ends early: the pixels that could not be read are left blank.";

// The warning for a page whose samples the RGBA conversion cannot turn into colours (12-bit or
// floating-point samples, 16-bit inks, ...), with libtiff's reason.
std::string UnsupportedLayoutWarning(const TPageLayout& p, std::string reason) {
  const std::string sorry = "Sorry, ";
  if (reason.compare(0, sorry.size(), sorry) == 0) reason.erase(0, sorry.size());
  // The general refusal names nothing: describe the layout instead.
  if (reason.empty() || reason == "can not handle image")
    reason = std::to_string(p.SamplesPerPixel) + (p.SamplesPerPixel == 1 ? " sample" : " samples") + " of " +
             std::to_string(p.BitsPerSample) + (p.BitsPerSample == 1 ? " bit" : " bits") +
             " per pixel, photometric interpretation " + std::to_string(p.Photometric);
  return "The TIFF image's sample layout is not supported (" + reason + "): the pixels are left blank.";
}

// Copies one stored row into an image row, never past either: a stored row longer than the image
// row (more samples than the format holds) is cut.
void CopyRow(const uint8_t* source, int64_t sourceBytes, uint8_t* target, int targetBytes) {
  std::copy_n(source, std::min<int64_t>(sourceBytes, targetBytes), target);
}

void ExpandOneBitRow(const uint8_t* source, uint8_t* target, uint32_t width) {
  for (uint32_t x = 0; x < width; x += 2) {
    const int a = (source[x >> 3] >> (7 - (x & 7))) & 1;
    const int b = x + 1 < width ? (source[(x + 1) >> 3] >> (7 - ((x + 1) & 7))) & 1 : 0;
    target[x >> 1] = static_cast<uint8_t>(a << 4 | b);
  }
}

// Red, green, blue (and ignored further samples) of Count pixels into image row Y.
void PutRgbRow(TDibGraphic& image, int y, const uint8_t* source, int bytesPerPixel, uint32_t count) {
  if (image.ImageFormat() == TImageFormat::TrueColor && bytesPerPixel == 3) {
    SwapRedBlue(source, image.ScanLine(y), count);
    return;
  }
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    uint8_t* target = image.ScanLine(y);
    for (uint32_t x = 0; x < count; ++x, source += bytesPerPixel, target += 3) {
      target[0] = source[2];
      target[1] = source[1];
      target[2] = source[0];
    }
    return;
  }
  for (uint32_t x = 0; x < count; ++x, source += bytesPerPixel)
    image.SetPixel(static_cast<int>(x), y, PackColor(source[2], source[1], source[0]));
}

// Puts stored rows (as libtiff delivers them, RowBytes each) into image rows: the first sample of
// each pixel as a gray level or palette index of 1, 4 or 8 bits, or the first three 8-bit samples
// as red, green and blue. Only the pixels whose samples lie wholly inside the stored row are
// taken; the rest stay as NewImage left them.
class TRowPutter {
 public:
  TRowPutter(TDibGraphic& image, const TPageLayout& p, bool expandBits)
      : FImage(image),
        FRowBytes(p.RowBytes),
        FSamples(p.SamplesPerPixel),
        FBits(p.BitsPerSample),
        FExpandBits(expandBits) {
    const auto pixelBits = static_cast<uint64_t>(FSamples) * static_cast<uint64_t>(FBits);
    FPixels = static_cast<uint32_t>(
        std::min<uint64_t>(p.Width, static_cast<uint64_t>(FRowBytes) * 8 / std::max<uint64_t>(pixelBits, 1)));
    FColour = image.ImageFormat() == TImageFormat::TrueColor;
    if (!FColour && FSamples > 1) FLevels.resize((uint64_t{p.Width} * p.BitsPerSample + 7) / 8);
  }

  void Put(const uint8_t* source, int y) {
    if (FColour) {
      PutRgbRow(FImage, y, source, FSamples, FPixels);
      return;
    }
    int64_t bytes = FRowBytes;
    if (!FLevels.empty()) {
      GatherFirstSamples(source);
      source = FLevels.data();
      bytes = static_cast<int64_t>(FLevels.size());
    }
    if (FExpandBits)
      ExpandOneBitRow(source, FImage.ScanLine(y), FPixels);
    else
      CopyRow(source, bytes, FImage.ScanLine(y), FImage.BytesPerLine());
  }

 private:
  // Packs the first sample of every pixel; 1, 4 and 8-bit samples never straddle a byte.
  void GatherFirstSamples(const uint8_t* source) {
    std::fill(FLevels.begin(), FLevels.end(), 0);
    const unsigned mask = (1u << FBits) - 1;
    for (uint32_t x = 0; x < FPixels; ++x) {
      const uint64_t from = uint64_t{x} * FSamples * FBits;
      const unsigned value = (source[from >> 3] >> (8 - FBits - (from & 7))) & mask;
      const uint64_t to = uint64_t{x} * FBits;
      FLevels[to >> 3] |= static_cast<uint8_t>(value << (8 - FBits - (to & 7)));
    }
  }

  TDibGraphic& FImage;
  int64_t FRowBytes;
  int FSamples, FBits;
  bool FExpandBits;
  bool FColour = false;
  uint32_t FPixels = 0;
  std::vector<uint8_t> FLevels;  // first samples of a multi-sample gray or palette row
};

// The row readers below report their rows as final (formats/QvRowGate.h) when Report is set,
// that is when nothing is done to the image after them.
void ReadFaxRows(TTiffHandle& h, TDibGraphic& image, const TPageLayout& p, bool expandBits, bool report) {
  std::vector<uint8_t> row(static_cast<size_t>(p.RowBytes));
  TRowPutter putter(image, p, expandBits);
  for (uint32_t r = 0; r < p.Height; ++r) {
    const int result = TIFFReadScanline(h.Get(), row.data(), r, 0);
    h.CheckStream();
    if (result < 0) {
      // A damaged fax row leaves the decoder without a reference line: the rows after it
      // cannot be decoded either.
      image.AddWarning(kDataEnded);
      return;
    }
    putter.Put(row.data(), static_cast<int>(r));
    if (report) ReportRowsRead(image, static_cast<int>(r + 1));
  }
}

// The conversion multiplies colours by an unassociated alpha; the image ignores alpha, so the
// conversion is told the sample is unspecified and gives the colours as stored, as every other
// path does.
void IgnoreUnassociatedAlpha(TIFF* tif) {
  uint16_t count = 0;
  const uint16_t* kinds = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0 || !kinds) return;
  std::vector<uint16_t> unspecified(kinds, kinds + count);
  if (std::find(unspecified.begin(), unspecified.end(), EXTRASAMPLE_UNASSALPHA) == unspecified.end()) return;
  std::replace(unspecified.begin(), unspecified.end(), uint16_t{EXTRASAMPLE_UNASSALPHA},
               uint16_t{EXTRASAMPLE_UNSPECIFIED});
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, unspecified.data());
}

// False when the conversion refused the page's layout (its pixels are then left blank, with a
// warning).
bool ReadRgbaPixels(TTiffHandle& h, TDibGraphic& image, const TPageLayout& p) {
  TIFF* tif = h.Get();
  IgnoreUnassociatedAlpha(tif);
  h.CheckStream();
  // The conversion's own test and set-up say when it has no routine for the page's samples;
  // a failure after that is in the data.
  char reason[1024] = "";
  TIFFRGBAImage rgba{};
  const bool usable = TIFFRGBAImageOK(tif, reason) && TIFFRGBAImageBegin(&rgba, tif, 1, reason);
  h.CheckStream();
  if (!usable) {
    image.AddWarning(UnsupportedLayoutWarning(p, reason));
    return false;
  }
  struct TEnd {
    TIFFRGBAImage& Image;
    ~TEnd() { TIFFRGBAImageEnd(&Image); }
  } end{rgba};
  rgba.req_orientation = ORIENTATION_TOPLEFT;
  CheckBufferSize(uint64_t{p.Width} * p.Height, sizeof(uint32_t));
  std::vector<uint32_t> raster(static_cast<size_t>(p.Width) * p.Height);
  // After a decoding error the raster holds what decoded before it (and zeros): that is kept.
  if (!TIFFRGBAImageGet(&rgba, raster.data(), p.Width, p.Height)) image.AddWarning(kDataEnded);
  h.CheckStream();
  std::vector<uint8_t> rgb(static_cast<size_t>(p.Width) * 3);
  for (uint32_t y = 0; y < p.Height; ++y) {
    const uint32_t* source = raster.data() + static_cast<size_t>(y) * p.Width;
    for (uint32_t x = 0; x < p.Width; ++x) {
      rgb[3 * x] = static_cast<uint8_t>(TIFFGetR(source[x]));
      rgb[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
      rgb[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(source[x]));
    }
    PutRgbRow(image, static_cast<int>(y), rgb.data(), 3, p.Width);
  }
  return true;
}

void ReadStripPixels(TTiffHandle& h, TDibGraphic& image, const TPageLayout& p, bool expandBits, bool report) {
  TIFF* tif = h.Get();
  uint32_t rowsPerStrip = 0;
  h.GetField(TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (rowsPerStrip == 0 || rowsPerStrip > p.Height) rowsPerStrip = p.Height;
  const auto stripSize = static_cast<uint64_t>(TIFFStripSize64(tif));
  const uint64_t needed = static_cast<uint64_t>(rowsPerStrip) * static_cast<uint64_t>(p.RowBytes);
  CheckBufferSize(std::max(stripSize, needed));
  std::vector<uint8_t> strip(static_cast<size_t>(std::max(stripSize, needed)));
  TRowPutter putter(image, p, expandBits);
  for (uint32_t row = 0; row < p.Height; row += rowsPerStrip) {
    const uint32_t n = std::min(rowsPerStrip, p.Height - row);
    const tmsize_t result =
        TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), strip.data(), static_cast<tmsize_t>(n) * p.RowBytes);
    h.CheckStream();
    if (result == -1) RaiseTiffError("TIFFReadEncodedStrip");
    for (uint32_t i = 0; i < n; ++i)
      putter.Put(strip.data() + static_cast<size_t>(i) * static_cast<size_t>(p.RowBytes), static_cast<int>(row + i));
    if (report) ReportRowsRead(image, static_cast<int>(row + n));
  }
}

// Tiles, one band of them at a time, put side by side into whole stored rows that then go the way
// strip rows go. A tile that cannot be decoded ends the reading with the data warning; the
// pixels read so far are kept.
void ReadTilePixels(TTiffHandle& h, TDibGraphic& image, const TPageLayout& p, bool expandBits, bool report) {
  TIFF* tif = h.Get();
  uint32_t tileWidth = 0, tileLength = 0;
  h.GetField(TIFFTAG_TILEWIDTH, tileWidth);
  h.GetField(TIFFTAG_TILELENGTH, tileLength);
  const auto tileRowBytes = static_cast<uint64_t>(TIFFTileRowSize64(tif));
  const auto tileBytes = static_cast<uint64_t>(TIFFTileSize64(tif));
  h.CheckStream();
  if (tileWidth == 0 || tileLength == 0 || tileRowBytes == 0 || tileBytes / tileLength < tileRowBytes)
    RaiseTiffError("TIFFReadEncodedTile");
  const uint32_t bandRows = std::min(tileLength, p.Height);
  const auto rowBytes = static_cast<uint64_t>(p.RowBytes);
  CheckBufferSize(tileBytes);
  CheckBufferSize(uint64_t{bandRows} * rowBytes);
  std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
  std::vector<uint8_t> band(static_cast<size_t>(uint64_t{bandRows} * rowBytes));
  const uint64_t pixelBits = uint64_t{p.SamplesPerPixel} * p.BitsPerSample;
  TRowPutter putter(image, p, expandBits);
  for (uint32_t top = 0; top < p.Height; top += tileLength) {
    const uint32_t rows = std::min(tileLength, p.Height - top);
    for (uint32_t left = 0; left < p.Width; left += tileWidth) {
      const tmsize_t result = TIFFReadEncodedTile(tif, TIFFComputeTile(tif, left, top, 0, 0), tile.data(),
                                                  static_cast<tmsize_t>(tileBytes));
      h.CheckStream();
      if (result == -1) {
        image.AddWarning(kDataEnded);
        return;
      }
      const uint64_t offset = uint64_t{left} * pixelBits / 8;
      const uint64_t count = std::min(tileRowBytes, rowBytes - offset);
      for (uint32_t r = 0; r < rows; ++r)
        std::copy_n(tile.data() + r * tileRowBytes, count, band.data() + r * rowBytes + offset);
    }
    for (uint32_t r = 0; r < rows; ++r) putter.Put(band.data() + r * rowBytes, static_cast<int>(top + r));
    if (report) ReportRowsRead(image, static_cast<int>(top + rows));
  }
}

// Pages read outside the RGBA conversion come in stored order; they take the conversion's flips
// to top-left order. The conversion never transposes: orientations 5 to 8 (left-top, right-top,
// right-bottom, left-bottom) take the flips of 1 to 4.
bool FlipsHorizontally(uint16_t orientation) {
  return orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT ||
         orientation == ORIENTATION_RIGHTTOP || orientation == ORIENTATION_RIGHTBOT;
}
bool FlipsVertically(uint16_t orientation) {
  return orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT ||
         orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
}

void FlipLikeRgbaConversion(TDibGraphic& image, uint16_t orientation) {
  if (FlipsHorizontally(orientation)) TFlipHorizontalTransform().Apply(image);
  if (FlipsVertically(orientation)) TFlipVerticalTransform().Apply(image);
}

// A rational field of the current directory; libtiff hands EXIF rationals over as float or
// double, as its build says. 0 when absent, not positive or not finite.
double RationalField(TIFF* tif, uint32_t tag) {
  const TIFFField* field = TIFFFieldWithTag(tif, tag);
  double value = 0;
  if (field && TIFFFieldSetGetSize(field) == sizeof(double)) {
    double v = 0;
    if (TIFFGetField(tif, tag, &v)) value = v;
  } else if (field && TIFFFieldSetGetSize(field) == sizeof(float)) {
    float v = 0;
    if (TIFFGetField(tif, tag, &v)) value = v;
  }
  return std::isfinite(value) && value > 0 ? value : 0;
}

std::string TextField(TIFF* tif, uint32_t tag) {
  const char* text = nullptr;
  // libtiff ends every ASCII field it hands over with a NUL.
  return TIFFGetField(tif, tag, &text) && text ? CleanExifText(text) : std::string();
}

// The camera's make and model from the page's directory and the rest from its EXIF directory, when
// it has one. Reading the EXIF directory leaves the page's directory: this comes last.
void ReadCameraData(TTiffHandle& h, TImageMetadata& metadata) {
  TIFF* tif = h.Get();
  TCameraData& camera = metadata.Camera;
  camera.Make = TextField(tif, TIFFTAG_MAKE);
  camera.Model = TextField(tif, TIFFTAG_MODEL);
  toff_t exifOffset = 0;
  if (TIFFGetField(tif, TIFFTAG_EXIFIFD, &exifOffset) && exifOffset != 0 && TIFFReadEXIFDirectory(tif, exifOffset)) {
    metadata.HasExif = true;
    camera.DateTaken = TextField(tif, EXIFTAG_DATETIMEORIGINAL);
    if (camera.DateTaken.empty()) camera.DateTaken = TextField(tif, EXIFTAG_DATETIMEDIGITIZED);
    camera.ExposureTime = RationalField(tif, EXIFTAG_EXPOSURETIME);
    camera.FNumber = RationalField(tif, EXIFTAG_FNUMBER);
    camera.FocalLength = RationalField(tif, EXIFTAG_FOCALLENGTH);
  }
  h.CheckStream();
}

// --- metadata blocks ---

// Entries of a directory read for metadata at most; real directories hold a few dozen.
constexpr uint32_t kMaxDirectoryEntries = 4096;

constexpr uint16_t kXmpTag = 700, kIptcTag = 33723, kExifPointerTag = 34665, kGpsPointerTag = 34853,
                   kInteropPointerTag = 40965;

// A classic TIFF's directories read as stored, for the fields libtiff does not hand over whole:
// every offset and count is checked against the stream before anything is read or sized.
class TRawDirectoryReader {
 public:
  struct TEntry {
    uint16_t Tag = 0, Type = 0;
    uint32_t Count = 0;
    uint8_t Field[4] = {};  // the value, or its offset
  };

  TRawDirectoryReader(TStream& stream, int64_t base, bool bigEndian)
      : FStream(stream), FBase(base), FBigEndian(bigEndian) {
    const int64_t size = stream.Size();
    FSize = size > base ? static_cast<uint64_t>(size - base) : 0;
  }

  uint32_t Get(const uint8_t* p, int bytes) const {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t{p[i]} << (FBigEndian ? 8 * (bytes - 1 - i) : 8 * i);
    return value;
  }

  std::vector<TEntry> Entries(uint64_t offset) {
    uint8_t countBytes[2];
    if (offset == 0 || !ReadAt(offset, countBytes, 2)) return {};
    const uint32_t count = Get(countBytes, 2);
    if (count == 0 || count > kMaxDirectoryEntries) return {};
    std::vector<uint8_t> raw(size_t{count} * 12);
    if (!ReadAt(offset + 2, raw.data(), raw.size())) return {};
    std::vector<TEntry> entries(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* p = raw.data() + size_t{i} * 12;
      entries[i].Tag = static_cast<uint16_t>(Get(p, 2));
      entries[i].Type = static_cast<uint16_t>(Get(p + 2, 2));
      entries[i].Count = Get(p + 4, 4);
      std::memcpy(entries[i].Field, p + 8, 4);
    }
    return entries;
  }

  // The value bytes of an entry as stored; empty when its type is unknown or it takes more than
  // Limit bytes or lies outside the stream.
  std::vector<uint8_t> Value(const TEntry& entry, size_t limit) {
    const uint64_t bytes = uint64_t{TiffTypeSize(entry.Type)} * entry.Count;
    if (bytes == 0 || bytes > limit) return {};
    std::vector<uint8_t> value(static_cast<size_t>(bytes));
    if (bytes <= 4)
      std::memcpy(value.data(), entry.Field, value.size());
    else if (!ReadAt(Get(entry.Field, 4), value.data(), value.size()))
      return {};
    return value;
  }

  // A directory pointer's offset (0: not a pointer).
  uint32_t Pointer(const TEntry& entry) const {
    return entry.Count == 1 && (entry.Type == TIFF_LONG || entry.Type == TIFF_IFD) ? Get(entry.Field, 4) : 0;
  }

  // Adds the entry to the EXIF fields, within what is left of the byte budget.
  bool Add(const TEntry& entry, TExifDirectory directory, std::vector<TExifField>& fields) {
    std::vector<uint8_t> value = Value(entry, FBudget);
    if (value.empty()) return false;
    FBudget -= value.size();
    fields.push_back({directory, entry.Tag, entry.Type, std::move(value)});
    return true;
  }

 private:
  bool ReadAt(uint64_t offset, uint8_t* out, size_t bytes) {
    if (offset > FSize || bytes > FSize - offset) return false;
    FStream.Seek(FBase + static_cast<int64_t>(offset), TSeekOrigin::soBeginning);
    FStream.ReadBuffer(out, bytes);
    return true;
  }

  TStream& FStream;
  int64_t FBase;
  uint64_t FSize = 0;
  bool FBigEndian;
  size_t FBudget = kMaxKeptExifBytes;
};

// The page's XMP (700) and IPTC (33723) fields as stored, and an EXIF block of its own text fields
// and its EXIF, GPS and interoperability directories. Read before the pixels (a writer on another
// thread may take the page with its first rows) and from the stream directly: libtiff's own
// reading of these fields changes IPTC stored as LONG words in a file of the other byte order.
// Classic TIFF only; libtiff re-positions the stream itself on its next read.
void ReadMetadataBlocks(TTiffHandle& h, TStream& stream, int64_t base, TImageMetadata& metadata) {
  TIFF* tif = h.Get();
  if (TIFFIsBigTIFF(tif)) return;
  TRawDirectoryReader reader(stream, base, TIFFIsBigEndian(tif) != 0);
  std::vector<TExifField> fields;
  uint32_t exifOffset = 0, gpsOffset = 0, interopOffset = 0;
  bool ownText = false;
  for (const TRawDirectoryReader::TEntry& entry : reader.Entries(TIFFCurrentDirOffset(tif))) {
    switch (entry.Tag) {
      case kXmpTag: metadata.Xmp = reader.Value(entry, kMaxXmpBytes); break;
      case kIptcTag: {
        metadata.Iptc = WholeIptcRecords(reader.Value(entry, kMaxIptcBytes));
        break;
      }
      case kExifPointerTag: exifOffset = reader.Pointer(entry); break;
      case kGpsPointerTag: gpsOffset = reader.Pointer(entry); break;
      case TIFFTAG_IMAGEDESCRIPTION:
      case TIFFTAG_MAKE:
      case TIFFTAG_MODEL:
      case TIFFTAG_ARTIST:
      case TIFFTAG_HOSTCOMPUTER:
      case TIFFTAG_COPYRIGHT: ownText |= reader.Add(entry, TExifDirectory::edImage, fields); break;
      // Kept with a block made for the others; alone every TIFF has them.
      case TIFFTAG_SOFTWARE:
      case TIFFTAG_DATETIME: reader.Add(entry, TExifDirectory::edImage, fields); break;
      default: break;
    }
  }
  const size_t imageFields = fields.size();
  for (const TRawDirectoryReader::TEntry& entry : reader.Entries(exifOffset)) {
    if (entry.Tag == kInteropPointerTag)
      interopOffset = reader.Pointer(entry);
    else
      reader.Add(entry, TExifDirectory::edPhoto, fields);
  }
  for (const TRawDirectoryReader::TEntry& entry : reader.Entries(gpsOffset))
    reader.Add(entry, TExifDirectory::edGps, fields);
  for (const TRawDirectoryReader::TEntry& entry : reader.Entries(interopOffset))
    reader.Add(entry, TExifDirectory::edInterop, fields);
  if (ownText || fields.size() > imageFields)
    metadata.Exif = ExifBlockOfFields(fields, TIFFIsBigEndian(tif) != 0, metadata.Orientation);
}

// IPTC as field 33723 of the page, its bytes as they are: libtiff stores the field as LONG words
// (swapped for a file of the other byte order, so they are swapped here first) or as bytes.
void WriteIptc(TTiffHandle& h, std::span<const uint8_t> iptc) {
  TIFF* tif = h.Get();
  const TIFFField* field = TIFFFieldWithTag(tif, kIptcTag);
  if (field == nullptr) return;
  int done = 0;
  if (TIFFFieldSetGetSize(field) == 4) {
    std::vector<uint32_t> words((iptc.size() + 3) / 4, 0);
    std::memcpy(words.data(), iptc.data(), iptc.size());
    if (TIFFIsByteSwapped(tif)) TIFFSwabArrayOfLong(words.data(), static_cast<tmsize_t>(words.size()));
    done = TIFFSetField(tif, kIptcTag, static_cast<uint32_t>(words.size()), words.data());
  } else {
    done = TIFFSetField(tif, kIptcTag, static_cast<uint32_t>(iptc.size()), iptc.data());
  }
  if (!done) RaiseTiffError("TIFFSetField: Tag = " + std::to_string(kIptcTag));
}

// Stores the image's metadata with the page: XMP and IPTC fields, the EXIF block's text fields
// as the page's own, and its EXIF and GPS directories. Those are written at the stream's end
// before the page's data: libtiff puts all it writes at the end, so they stay where they are put.
void WriteMetadataBlocks(TTiffHandle& h, TStream& stream, int64_t base, const TDibGraphic& image) {
  TIFF* tif = h.Get();
  const TImageMetadata& metadata = image.Metadata();
  if (!metadata.Xmp.empty()) {
    const std::vector<uint8_t> xmp = WholeXmpForSaving(metadata, image.Width(), image.Height());
    if (!xmp.empty() && !TIFFSetField(tif, kXmpTag, static_cast<uint32_t>(xmp.size()), xmp.data()))
      RaiseTiffError("TIFFSetField: Tag = " + std::to_string(kXmpTag));
  }
  if (IsIptcData(metadata.Iptc)) WriteIptc(h, metadata.Iptc);
  if (metadata.Exif.empty() || TIFFIsBigTIFF(tif)) return;
  const int64_t end = stream.Size();
  // Past the header, on a word boundary as directories must be.
  uint64_t at = std::max<uint64_t>(end > base ? static_cast<uint64_t>(end - base) : 0, 8);
  at += at % 2;
  if (at > UINT32_MAX) return;
  const TTiffExifDirectories exif =
      ExifForTiff(metadata.Exif, image.Width(), image.Height(), static_cast<uint32_t>(at), TIFFIsBigEndian(tif) != 0);
  for (const auto& [tag, text] : exif.Texts) h.SetStringField(tag, text.c_str());
  if (exif.Bytes.empty()) return;
  stream.Seek(0, TSeekOrigin::soEnd);
  const std::vector<uint8_t> padding(static_cast<size_t>(base + static_cast<int64_t>(at) - std::max(end, base)), 0);
  if (!padding.empty()) stream.WriteBuffer(padding.data(), padding.size());
  stream.WriteBuffer(exif.Bytes.data(), exif.Bytes.size());
  if (exif.ExifOffset != 0 && !TIFFSetField(tif, TIFFTAG_EXIFIFD, uint64_t{exif.ExifOffset}))
    RaiseTiffError("TIFFSetField: Tag = " + std::to_string(TIFFTAG_EXIFIFD));
  if (exif.GpsOffset != 0 && !TIFFSetField(tif, TIFFTAG_GPSIFD, uint64_t{exif.GpsOffset}))
    RaiseTiffError("TIFFSetField: Tag = " + std::to_string(TIFFTAG_GPSIFD));
}

// --- writing ---

struct TWriteLayout {
  uint16_t BitsPerSample, SamplesPerPixel, Photometric;
};

TWriteLayout WriteLayoutOf(TImageFormat format, bool ccitt) {
  switch (format) {
    case TImageFormat::BlackWhite:
      return {1, 1, static_cast<uint16_t>(ccitt ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK)};
    case TImageFormat::Gray16: return {4, 1, PHOTOMETRIC_MINISBLACK};
    case TImageFormat::Gray256: return {8, 1, PHOTOMETRIC_MINISBLACK};
    case TImageFormat::Color16: return {4, 1, PHOTOMETRIC_PALETTE};
    case TImageFormat::Color256: return {8, 1, PHOTOMETRIC_PALETTE};
    default: return {8, 3, PHOTOMETRIC_RGB};
  }
}

// Components are scaled by 257 so that 255 becomes the map's full 65535, which every reader,
// this one included, turns back into 255.
void WriteColormap(TTiffHandle& h, const TDibGraphic& image, int bits) {
  const size_t count = size_t{1} << bits;
  std::vector<uint16_t> red(count, 0), green(count, 0), blue(count, 0);
  const TDibPalette* palette = image.PaletteHandle();
  const size_t used = palette ? std::min<size_t>({palette->Count, count, 256}) : 0;
  for (size_t i = 0; i < used; ++i) {
    red[i] = static_cast<uint16_t>(palette->Entries[i].Red * 257);
    green[i] = static_cast<uint16_t>(palette->Entries[i].Green * 257);
    blue[i] = static_cast<uint16_t>(palette->Entries[i].Blue * 257);
  }
  h.SetColormap(red.data(), green.data(), blue.data());
}

std::string CurrentTiffDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return TiffDateTime(local);
}

}  // namespace

std::string TiffCompressionName(TTiffCompression compression) {
  const auto index = static_cast<size_t>(compression);
  return index < kCompressions.size() ? kCompressions[index].Name : "";
}

bool TiffCompressionAllowed(TTiffCompression compression, TImageFormat format) {
  if (static_cast<int>(format) >= kImageFormatCount) return true;
  if (IsCcitt(compression)) return format == TImageFormat::BlackWhite;
  if (compression == TTiffCompression::tcJpeg)
    return format == TImageFormat::Gray256 || format == TImageFormat::TrueColor;
  return true;
}

TTiffCompression DefaultSaveCompression(TImageFormat format) {
  if (format == TImageFormat::BlackWhite) return TTiffCompression::tcGroup4;
  if (format == TImageFormat::TrueColor) return TTiffCompression::tcJpeg;
  return TTiffCompression::tcPackbits;
}

std::string TiffDateTime(const std::tm& local) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

void TTiffGraphic::SetCompression(TTiffCompression value) {
  if (!TiffCompressionAllowed(value, ImageFormat()))
    throw EQuorvaneError(FormatMessage("%s compression not supported with %s images",
                                       TiffCompressionName(value).c_str(), ImageFormatName(ImageFormat()).c_str()));
  FCompression = value;
}

void TTiffGraphic::NewImage(int width, int height, TImageFormat format, const TDibPalette* palette, uint16_t xDpi,
                            uint16_t yDpi) {
  TDibGraphic::NewImage(width, height, format, palette, xDpi, yDpi);
  FCompression = format == TImageFormat::BlackWhite ? TTiffCompression::tcGroup4 : TTiffCompression::tcPackbits;
}

int TTiffGraphic::GetImageCount(TStream& stream) {
  TTiffHandle h(stream, "r", stream.Position());
  TIFFSetDirectory(h.Get(), 0);
  h.CheckStream();
  int count = 1;
  while (TIFFReadDirectory(h.Get())) ++count;
  h.CheckStream();
  h.Close();
  return count;
}

namespace {

// Opens the TIFF at Base and selects page Index; a page that does not exist leaves the first
// page selected.
std::unique_ptr<TTiffHandle> OpenPage(TStream& stream, int64_t base, int index, bool mapped) {
  auto h = std::make_unique<TTiffHandle>(stream, "r", base, mapped);
  if (index > 1 && !TIFFSetDirectory(h->Get(), static_cast<tdir_t>(index - 1))) TIFFSetDirectory(h->Get(), 0);
  h->CheckStream();
  return h;
}

// The page's ICC profile (tag 34675); a damaged one is dropped with a warning.
std::vector<uint8_t> ReadIccProfile(TTiffHandle& h, TDibGraphic& image) {
  uint32_t count = 0;
  const uint8_t* data = nullptr;
  if (!TIFFGetField(h.Get(), TIFFTAG_ICCPROFILE, &count, &data) || data == nullptr || count == 0) return {};
  const std::string problem = IccProfileProblem(data, count);
  if (!problem.empty()) {
    image.AddWarning(IccDroppedWarning(problem));
    return {};
  }
  return std::vector<uint8_t>(data, data + IccDeclaredSize(data));
}

// Stores the image's profile with the page when it describes the page's pixels.
void WriteIccProfile(TTiffHandle& h, const TDibGraphic& image) {
  const std::vector<uint8_t>& profile = image.IccProfile();
  if (!IccProfileFits(profile, image.ImageFormat())) return;
  if (!TIFFSetField(h.Get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data()))
    RaiseTiffError("TIFFSetField: Tag = " + std::to_string(TIFFTAG_ICCPROFILE));
}

}  // namespace

void TTiffGraphic::LoadImageFromStream(TStream& stream, int index) {
  Metadata() = TImageMetadata{};
  const int64_t base = stream.Position();
  std::unique_ptr<TTiffHandle> handle = OpenPage(stream, base, index, false);
  TPageLayout page = ReadLayout(*handle);
  MeasurePixels(*handle, page);
  // libtiff's RGBA conversion reads tiles only from a TIFF mapped into memory.
  if (page.Rgba && TIFFIsTiled(handle->Get())) {
    handle.reset();
    handle = OpenPage(stream, base, index, true);
  }
  TTiffHandle& h = *handle;
  const TPageFormat format = ChoosePageFormat(h, page);
  NewImage(static_cast<int>(page.Width), static_cast<int>(page.Height), format.Format, &format.Palette,
           DotsPerInch(page.XResolution, page.ResolutionUnit), DotsPerInch(page.YResolution, page.ResolutionUnit));
  SetCompression(CompressionOfTag(h, page.Compression));
  // Every path below takes the RGBA conversion's flips; what is left is for AutoOrient. Known
  // before any row is reported, so that a writer waiting for the rows can decline a page that
  // is still to be turned.
  Metadata().Orientation = OrientationAfterTiffFlips(page.Orientation);
  SetIccProfile(ReadIccProfile(h, *this));
  ReadMetadataBlocks(h, stream, base, Metadata());

  const bool flips = !page.Rgba && (FlipsHorizontally(page.Orientation) || FlipsVertically(page.Orientation));
  // Rows are final as they are read unless the whole page is inverted or flipped afterwards.
  const bool report = !format.Invert && !flips;
  bool converted = true;
  if (page.Rgba)
    converted = ReadRgbaPixels(h, *this, page);
  else if (page.Tiled)
    ReadTilePixels(h, *this, page, format.ExpandBits, report);
  else if (page.Fax)
    ReadFaxRows(h, *this, page, format.ExpandBits, report);
  else
    ReadStripPixels(h, *this, page, format.ExpandBits, report);
  if (format.Invert && converted) TNegativeTransform().Apply(*this);
  if (flips) {
    // The flips rebuild the image, which resets the compression to the format's default.
    const TTiffCompression compression = FCompression;
    FlipLikeRgbaConversion(*this, page.Orientation);
    FCompression = compression;
  }
  ReadCameraData(h, Metadata());
  h.Close();
}

void TTiffGraphic::SaveToStream(TStream& stream) {
  const int64_t position = stream.Position();
  // libtiff places strips at the stream's end; a TIFF written in the middle of a stream is made
  // in memory first so that it stays in one piece at the position.
  if (position == 0 || position == stream.Size()) {
    WriteTiff(stream, "w", position);
    return;
  }
  TMemoryStream memory;
  WriteTiff(memory, "w", 0);
  memory.SetPosition(0);
  stream.CopyFrom(memory, memory.Size());
}

void TTiffGraphic::AppendToStream(TStream& stream) {
  if (stream.Size() == 0) {
    SaveToStream(stream);
    return;
  }
  stream.Seek(0, TSeekOrigin::soBeginning);
  WriteTiff(stream, "a", 0);
}

void TTiffGraphic::WriteTiff(TStream& stream, const char* mode, int64_t base) {
  if (Empty()) RaiseTiffError("TIFFWriteScanLine");
  TTiffHandle h(stream, mode, base);
  const TCompressionInfo& info = InfoOf(FCompression);
  const bool ccitt = IsCcitt(FCompression);
  if (FCompression == TTiffCompression::tcGroup3_1D || FCompression == TTiffCompression::tcGroup3_2D) {
    h.SetIntField(TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    h.SetIntField(TIFFTAG_GROUP3OPTIONS, FCompression == TTiffCompression::tcGroup3_2D ? GROUP3OPT_2DENCODING : 0);
  }
  h.SetIntField(TIFFTAG_ROWSPERSTRIP, static_cast<int>(info.RowsPerStrip));
  h.SetIntField(TIFFTAG_COMPRESSION, info.Tag);
  h.SetIntField(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  h.SetStringField(TIFFTAG_SOFTWARE, "Quorvane Image Library");
  h.SetStringField(TIFFTAG_DATETIME, CurrentTiffDateTime().c_str());
  h.SetIntField(TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  h.SetFloatField(TIFFTAG_XRESOLUTION, XDpi());
  h.SetFloatField(TIFFTAG_YRESOLUTION, YDpi());
  h.SetIntField(TIFFTAG_IMAGEWIDTH, Width());
  h.SetIntField(TIFFTAG_IMAGELENGTH, Height());

  const TImageFormat format = ImageFormat();
  const TWriteLayout layout = WriteLayoutOf(format, ccitt);
  h.SetIntField(TIFFTAG_BITSPERSAMPLE, layout.BitsPerSample);
  h.SetIntField(TIFFTAG_SAMPLESPERPIXEL, layout.SamplesPerPixel);
  h.SetIntField(TIFFTAG_PHOTOMETRIC, layout.Photometric);
  if (layout.Photometric == PHOTOMETRIC_PALETTE) WriteColormap(h, *this, layout.BitsPerSample);
  WriteIccProfile(h, *this);
  WriteMetadataBlocks(h, stream, base, *this);

  // Rows are gathered into whole strips as the file stores them (red, green, blue; fax pages
  // inverted) and handed to libtiff a strip at a time, which writes uncompressed strips straight
  // from that buffer; the coders see the same rows as row by row.
  const bool invert = format == TImageFormat::BlackWhite && ccitt;
  const bool swap = format == TImageFormat::TrueColor;
  TIFF* tif = h.Get();
  const auto fileRowBytes = static_cast<size_t>(TIFFScanlineSize64(tif));
  h.CheckStream();
  const int height = Height(), width = Width();
  if (fileRowBytes == 0 || fileRowBytes > static_cast<size_t>(BytesPerLine())) RaiseTiffError("TIFFWriteScanLine");
  const int stripRows = static_cast<int>(std::min<uint32_t>(info.RowsPerStrip, static_cast<uint32_t>(height)));
  std::vector<uint8_t> strip(fileRowBytes * static_cast<size_t>(stripRows));
  for (int top = 0; top < height; top += stripRows) {
    const int rows = std::min(stripRows, height - top);
    RequireRows(*this, top + rows);
    for (int i = 0; i < rows; ++i) {
      const uint8_t* row = ScanLine(top + i);
      uint8_t* out = strip.data() + static_cast<size_t>(i) * fileRowBytes;
      if (invert) {
        std::transform(row, row + fileRowBytes, out, [](uint8_t b) { return static_cast<uint8_t>(~b); });
      } else if (swap) {
        SwapRedBlue(row, out, static_cast<size_t>(width));
      } else {
        std::copy_n(row, fileRowBytes, out);
      }
    }
    const tmsize_t result = TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, static_cast<uint32_t>(top), 0),
                                                  strip.data(), static_cast<tmsize_t>(fileRowBytes * rows));
    h.CheckStream();
    if (result == -1) RaiseTiffError("TIFFWriteScanLine");
  }
  h.Close();
}

}  // namespace quorvane
