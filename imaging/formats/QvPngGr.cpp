#include "formats/QvPngGr.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "colour/QvColour.h"
#include "formats/QvExif.h"
#include "formats/QvMetadataBlocks.h"
#include "formats/QvRowGate.h"
#include "model/QvCBridge.h"
#include "model/QvIccProfile.h"
#include "model/QvLimits.h"
#include "model/QvMisc.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TPngGraphic)

namespace {

constexpr char kCaption[] = "PNG Error";
constexpr double kMetresPerInch = 0.0254;
// Ancillary chunks larger than this (ICC profiles, compressed text) are skipped with a warning.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// Text, sPLT and unknown chunks kept at most; a file with thousands of them is hostile.
constexpr png_uint_32 kMaxCachedChunks = 1000;
// Deflate cannot shrink data by more than about 1032 to 1; a file holding fewer compressed
// bytes than its image needs at that ratio cannot be complete.
constexpr int64_t kMaxDeflateRatio = 1040;

// What libpng's callbacks share during one read or write. Fatal errors store libpng's message
// and jump to Pad; exceptions of our own callbacks are kept in Guard.
struct TPngSession {
  TStream* Stream = nullptr;
  TDibGraphic* Image = nullptr;
  bool Reading = true;
  TCallbackGuard Guard;
  TLandingPad Pad;
  char Message[256] = {};
  int64_t Counted = 0;  // bytes a trial encoding produced
  // Reading: bytes left of the chunk being read (data and CRC); a read of 8 bytes when none are
  // left is the next chunk's header. Tracking stops when a read does not fit that pattern.
  uint64_t ChunkLeft = 0;
  bool TrackChunks = true;
};

TPngSession& SessionOfError(png_structp png) { return *static_cast<TPngSession*>(png_get_error_ptr(png)); }
TPngSession& SessionOfIo(png_structp png) { return *static_cast<TPngSession*>(png_get_io_ptr(png)); }

extern "C" [[noreturn]] void PngErrorProc(png_structp png, png_const_charp message) {
  TPngSession& session = SessionOfError(png);
  std::snprintf(session.Message, sizeof session.Message, "%s", message ? message : "");
  session.Pad.Jump();
}

// libpng names the chunk a warning is about first ("zTXt: truncated"). A damaged metadata chunk
// is left out without a word, as a damaged EXIF block of a JPEG file is: the picture is whole.
bool IsMetadataChunkWarning(std::string_view text) {
  for (std::string_view chunk : {"tEXt:", "zTXt:", "iTXt:", "eXIf:"})
    if (text.substr(0, chunk.size()) == chunk) return true;
  return false;
}

extern "C" void PngWarningProc(png_structp png, png_const_charp message) {
  TPngSession& session = SessionOfError(png);
  session.Guard.RunVoid([&] {
    const std::string text = message ? message : "";
    if (session.Reading && IsMetadataChunkWarning(text)) return;
    if (session.Reading && session.Image) session.Image->AddWarning(text);
    Platform().ShowWarning(kCaption, text);
  });
}

// libpng allocates a text or eXIf chunk whole, at whatever length its header claims (1.6 GB for
// a 134-byte file), before it finds the data missing; the allocation limit does not cover these
// chunks. Such a chunk longer than the largest one kept is refused as soon as its header is read.
void CheckChunkHeader(png_structp png, TPngSession& session, png_const_bytep data, size_t length) {
  if (session.ChunkLeft == 0) {
    if (length != 8) {
      session.TrackChunks = false;
      return;
    }
    const uint32_t chunkLength = uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3];
    const std::string_view type(reinterpret_cast<const char*>(data + 4), 4);
    const bool whole = type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf";
    if (whole && chunkLength > kMaxChunkBytes) png_error(png, "chunk data is too large");
    session.ChunkLeft = uint64_t{chunkLength} + 4;
    return;
  }
  session.ChunkLeft -= std::min<uint64_t>(session.ChunkLeft, length);
}

extern "C" void PngReadProc(png_structp png, png_bytep data, size_t length) {
  TPngSession& session = SessionOfIo(png);
  const size_t got = session.Guard.Run(size_t{0}, [&] {
    size_t done = 0;
    while (done < length) {
      const size_t n = session.Stream->Read(data + done, length - done);
      if (n == 0) break;
      done += n;
    }
    return done;
  });
  if (got != length) png_error(png, "Read Error");
  if (session.TrackChunks) CheckChunkHeader(png, session, data, length);
}

extern "C" void PngWriteProc(png_structp png, png_bytep data, size_t length) {
  TPngSession& session = SessionOfIo(png);
  session.Guard.RunVoid([&] { session.Stream->WriteBuffer(data, length); });
  if (session.Guard.Failed()) png_error(png, "Write Error");
}

extern "C" void PngFlushProc(png_structp) {}

// The write procedure of trial encodings: the bytes are only counted.
extern "C" void PngCountProc(png_structp png, png_bytep, size_t length) {
  SessionOfIo(png).Counted += static_cast<int64_t>(length);
}

// Runs libpng calls under the session's landing pad. Body must hold no object with a
// destructor. A libpng error becomes EPNGError with its message; an exception raised by one of
// our callbacks (a failing stream) is raised unchanged instead.
template <class Body>
void RunPng(TPngSession& session, Body&& body) {
  if (!RunWithLandingPad(session.Pad, std::forward<Body>(body))) {
    session.Guard.Rethrow();
    throw EPNGError(session.Message);
  }
  session.Guard.Rethrow();
}

// The read structures, destroyed on every way out.
class TPngReader {
 public:
  explicit TPngReader(TPngSession& session) {
    FPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, PngErrorProc, PngWarningProc);
    if (!FPng) throw EPNGError("png_create_read_struct failed");
    FInfo = png_create_info_struct(FPng);
    if (!FInfo) {
      png_destroy_read_struct(&FPng, nullptr, nullptr);
      throw EPNGError("png_create_info_struct failed");
    }
  }
  ~TPngReader() { png_destroy_read_struct(&FPng, &FInfo, nullptr); }
  TPngReader(const TPngReader&) = delete;
  TPngReader& operator=(const TPngReader&) = delete;
  png_structp Png() const { return FPng; }
  png_infop Info() const { return FInfo; }

 private:
  png_structp FPng = nullptr;
  png_infop FInfo = nullptr;
};

class TPngWriter {
 public:
  explicit TPngWriter(TPngSession& session) {
    FPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, &session, PngErrorProc, PngWarningProc);
    if (!FPng) throw EPNGError("png_create_write_struct failed");
    FInfo = png_create_info_struct(FPng);
    if (!FInfo) {
      png_destroy_write_struct(&FPng, nullptr);
      throw EPNGError("png_create_info_struct failed");
    }
  }
  ~TPngWriter() { png_destroy_write_struct(&FPng, &FInfo); }
  TPngWriter(const TPngWriter&) = delete;
  TPngWriter& operator=(const TPngWriter&) = delete;
  png_structp Png() const { return FPng; }
  png_infop Info() const { return FInfo; }

 private:
  png_structp FPng = nullptr;
  png_infop FInfo = nullptr;
};

// The image format of a bit depth and colour type.
TImageFormat PngImageFormat(int bitDepth, int colorType) {
  constexpr int kNone = -1;
  // Columns: gray, RGB, palette, gray + alpha, RGB + alpha.
  static const int kTable[5][5] = {
      {int(TImageFormat::BlackWhite), kNone, int(TImageFormat::BlackWhite), kNone, kNone},
      {int(TImageFormat::Gray16), kNone, int(TImageFormat::Color16), kNone, kNone},
      {int(TImageFormat::Gray16), kNone, int(TImageFormat::Color16), kNone, kNone},
      {int(TImageFormat::Gray256), int(TImageFormat::TrueColor), int(TImageFormat::Color256),
       int(TImageFormat::Gray256), int(TImageFormat::TrueColor)},
      {int(TImageFormat::Gray256), int(TImageFormat::TrueColor), int(TImageFormat::Color256),
       int(TImageFormat::Gray256), int(TImageFormat::TrueColor)},
  };
  int row;
  switch (bitDepth) {
    case 1: row = 0; break;
    case 2: row = 1; break;
    case 4: row = 2; break;
    case 8: row = 3; break;
    case 16: row = 4; break;
    default: throw EPNGError("Invalid bit depth");
  }
  int column;
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: column = 0; break;
    case PNG_COLOR_TYPE_RGB: column = 1; break;
    case PNG_COLOR_TYPE_PALETTE: column = 2; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: column = 3; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: column = 4; break;
    default: column = -1;
  }
  if (column < 0 || kTable[row][column] == kNone) throw EPNGError("Invalid color type for bit depth");
  return static_cast<TImageFormat>(kTable[row][column]);
}

int PngChannels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// Pixels per metre to dots per inch; resolutions that do not fit the image's field count as
// unknown (0).
uint16_t PpmToDpi(png_uint_32 ppm) {
  const int64_t dpi = RoundHalfEven(static_cast<long double>(ppm) * kMetresPerInch);
  return dpi > 0 && dpi <= 0xFFFF ? static_cast<uint16_t>(dpi) : 0;
}

// libpng corrects only when the overall exponent screen x file gamma differs from 1 by more than
// its threshold (5 %); the same test in the same fixed-point arithmetic tells whether the pixels
// read were changed.
bool GammaCorrects(png_fixed_point screenGamma, png_fixed_point fileGamma) {
  const int64_t product = (int64_t{screenGamma} * fileGamma + PNG_FP_1 / 2) / PNG_FP_1;
  return product < PNG_FP_1 - PNG_GAMMA_THRESHOLD_FIXED || product > PNG_FP_1 + PNG_GAMMA_THRESHOLD_FIXED;
}

png_uint_32 DpiToPpm(int dpi) {
  return static_cast<png_uint_32>(std::max<int64_t>(0, RoundHalfEven(dpi / static_cast<long double>(kMetresPerInch))));
}

// What the header of the file declares, and what the transformations make of it.
struct TPngHeader {
  png_uint_32 Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0, InterlaceType = 0;
  int Passes = 1;
  size_t RowBytes = 0;  // after the transformations
  uint16_t XDpi = 0, YDpi = 0;
  double FileGamma = 0;  // 0: no gAMA chunk in force
  bool GammaCorrected = false;
  bool Srgb = false;
  bool HasPalette = false;
  png_bytep Icc = nullptr;  // the iCCP profile, owned by libpng's info structure
  png_uint_32 IccLength = 0;
  std::optional<TChromaticities> Chromaticities;  // cHRM of a colour file without iCCP or sRGB
  TDibPalette Palette{};
};

// Refuses a header whose image could not fit in the rest of the stream even at deflate's best
// ratio, before the image is allocated: a small file declaring a huge image fails at once.
void CheckImageDataCanFit(TStream& stream, const TPngHeader& header) {
  const int64_t size = stream.Size(), position = stream.Position();
  if (size <= 0 || position < 0 || position > size) return;
  const int64_t bits = int64_t{header.BitDepth} * PngChannels(header.ColorType);
  const int64_t rawRow = (int64_t{header.Width} * bits + 7) / 8 + 1;
  const int64_t compressedRowsMax = (size - position) * kMaxDeflateRatio / rawRow + 8;
  if (int64_t{header.Height} > compressedRowsMax) throw EPNGError("Not enough image data");
}

// Unpacks 2-bit rows into a 4-bit image: value v becomes index v * Scale (5 for gray: levels
// 0, 5, 10 and 15 of the sixteen grays; 1 for palette images).
void Unpack2BitRows(const std::vector<png_byte>& data, size_t rowBytes, TDibGraphic& image, int scale) {
  const int width = image.Width();
  for (int y = 0; y < image.Height(); ++y) {
    const png_byte* src = data.data() + static_cast<size_t>(y) * rowBytes;
    uint8_t* dst = image.ScanLine(y);
    for (int x = 0; x < width; x += 2) {
      const int shift = 6 - 2 * (x & 3);
      const int first = (src[x >> 2] >> shift) & 3;
      const int second = x + 1 < width ? (src[x >> 2] >> (shift - 2)) & 3 : 0;
      dst[x >> 1] = static_cast<uint8_t>((first * scale) << 4 | second * scale);
    }
  }
}

// Gray files are written by index with black at 0; a gray or black-and-white image whose
// palette is not its format's gray ramp keeps its colours by being written as a palette file.
bool HasStandardGrayPalette(const TDibGraphic& image) {
  const TDibPalette& standard = DefaultPalette(image.ImageFormat());
  const TDibPalette& own = image.PaletteRecord();
  if (own.Count < standard.Count) return false;
  return std::equal(standard.Entries.begin(), standard.Entries.begin() + standard.Count, own.Entries.begin(),
                    [](const TPaletteEntry& a, const TPaletteEntry& b) {
                      return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
                    });
}

// The highest palette index the pixels of a 1, 4 or 8-bit image use.
int HighestIndex(const TDibGraphic& image) {
  const int bits = image.BitCount(), width = image.Width();
  const int perByte = 8 / bits, mask = (1 << bits) - 1;
  int highest = 0;
  for (int y = 0; y < image.Height() && highest < mask; ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      highest = std::max(highest, (row[x / perByte] >> shift) & mask);
    }
  }
  return highest;
}

struct TPngLayout {
  int BitDepth = 8;
  int ColorType = PNG_COLOR_TYPE_GRAY;
  int PaletteCount = 0;
  png_color Palette[256] = {};
};

TPngLayout PngLayoutOf(const TDibGraphic& image) {
  TPngLayout layout;
  const TImageFormat format = image.ImageFormat();
  layout.BitDepth = std::min(ImageFormatBits(format), 8);
  switch (format) {
    case TImageFormat::BlackWhite:
    case TImageFormat::Gray16:
    case TImageFormat::Gray256:
      layout.ColorType = HasStandardGrayPalette(image) ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
      break;
    case TImageFormat::Color16:
    case TImageFormat::Color256: layout.ColorType = PNG_COLOR_TYPE_PALETTE; break;
    case TImageFormat::TrueColor: layout.ColorType = PNG_COLOR_TYPE_RGB; break;
    default: throw EQuorvaneError("Internal error: Invalid image format");
  }
  if (layout.ColorType == PNG_COLOR_TYPE_PALETTE) {
    const TDibPalette& palette = image.PaletteRecord();
    const int maxCount = 1 << layout.BitDepth;
    // PLTE must cover every index the pixels use, also when the record counts fewer entries.
    layout.PaletteCount = std::clamp<int>(std::max<int>(palette.Count, HighestIndex(image) + 1), 1, maxCount);
    for (int i = 0; i < layout.PaletteCount; ++i)
      layout.Palette[i] = {palette.Entries[i].Red, palette.Entries[i].Green, palette.Entries[i].Blue};
  }
  return layout;
}

int ZlibLevelOf(TPngCompressionLevel level) {
  switch (level) {
    case TPngCompressionLevel::clFast: return 1;
    case TPngCompressionLevel::clNormal: return 5;
    case TPngCompressionLevel::clBest: return 9;
  }
  return -1;
}

// The deflate strategy of filtered rows (8-bit gray and true colour). libpng's own choice,
// Z_FILTERED, looks for repeated strings, which photographs seldom hold once filtered: there
// run-length or Huffman-only coding gives files as small in a half or a third of the time, while
// drawings and text need the string matches. So a sample of the rows is encoded with each, and
// the fastest strategy whose output is within a small margin of the smallest is used (the
// smallest outright at the best level). Small images, and rows libpng does not filter, keep
// libpng's choice.
constexpr int kTrialBands = 4;
constexpr int kTrialBandRows = 8;
constexpr int64_t kTrialMinBytes = int64_t{1} << 20;

// Bytes that the sampled rows take in a PNG of Layout at Level with Strategy; -1 when libpng
// failed (out of memory).
int64_t TrialSize(const TDibGraphic& image, const TPngLayout& layout, int level, int strategy,
                  const std::vector<png_bytep>& rows) {
  TPngSession session;
  session.Reading = false;
  try {
    TPngWriter writer(session);
    png_structp png = writer.Png();
    png_infop info = writer.Info();
    const auto width = static_cast<png_uint_32>(image.Width()), height = static_cast<png_uint_32>(rows.size());
    const png_bytep* rowPointers = rows.data();
    const bool bgr = image.ImageFormat() == TImageFormat::TrueColor;
    RunPng(session, [&] {
      png_set_write_fn(png, &session, PngCountProc, PngFlushProc);
      png_set_IHDR(png, info, width, height, layout.BitDepth, layout.ColorType, PNG_INTERLACE_NONE,
                   PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      if (level >= 0) png_set_compression_level(png, level);
      png_set_compression_strategy(png, strategy);
      png_write_info(png, info);
      if (bgr) png_set_bgr(png);
      for (png_uint_32 y = 0; y < height; ++y) png_write_row(png, rowPointers[y]);
      png_write_end(png, info);
    });
  } catch (const Exception&) {
    return -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return session.Counted;
}

// The strategy for the image, or -1 for libpng's own.
int ChooseDeflateStrategy(TDibGraphic& image, const TPngLayout& layout, int level) {
  const bool filtered = layout.BitDepth == 8 && layout.ColorType != PNG_COLOR_TYPE_PALETTE;
  const int height = image.Height();
  if (!filtered || level == 0 || height < 4 * kTrialBands * kTrialBandRows ||
      static_cast<int64_t>(image.ImageSize()) < kTrialMinBytes)
    return -1;
  std::vector<png_bytep> rows;
  int needed = 0;
  for (int band = 0; band < kTrialBands; ++band) {
    const int top = static_cast<int>((2 * int64_t{band} + 1) * height / (2 * kTrialBands));
    for (int i = 0; i < kTrialBandRows; ++i) rows.push_back(image.ScanLine(top + i));
    needed = top + kTrialBandRows;
  }
  RequireRows(image, needed);
  // Fastest first; Z_FILTERED is what libpng takes for filtered rows.
  static constexpr int kStrategies[] = {Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
  int64_t sizes[std::size(kStrategies)];
  int64_t smallest = -1;
  for (size_t i = 0; i < std::size(kStrategies); ++i) {
    sizes[i] = TrialSize(image, layout, level, kStrategies[i], rows);
    if (sizes[i] < 0) return -1;
    if (smallest < 0 || sizes[i] < smallest) smallest = sizes[i];
  }
  // Within 2 % of the smallest, except at the best level, where size comes first.
  const int64_t margin = level >= 9 ? 0 : smallest / 50;
  for (size_t i = 0; i < std::size(kStrategies); ++i)
    if (sizes[i] <= smallest + margin) return kStrategies[i];
  return -1;
}

void SetReadLimits(png_structp png) {
  const TImageLimits limits = ImageLimits();
  const int64_t pngMax = 0x7FFFFFFF;
  png_set_user_limits(png, static_cast<png_uint_32>(std::clamp<int64_t>(limits.MaxWidth, 1, pngMax)),
                      static_cast<png_uint_32>(std::clamp<int64_t>(limits.MaxHeight, 1, pngMax)));
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  // Ancillary chunks the reader does not use are skipped unread: libpng would otherwise allocate
  // whatever length such a chunk claims (up to 2 GB) before reading it.
  static const png_byte kUsedChunks[] = "gAMA\0sRGB\0bKGD\0pHYs\0iCCP\0cHRM\0eXIf\0iTXt\0zTXt\0tEXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kUsedChunks, 10);
  png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(
                                    std::clamp<int64_t>(limits.MaxMemory, 1, static_cast<int64_t>(kMaxChunkBytes))));
}

// Keys of the text chunks that carry metadata: XMP as iTXt (the usual way), and the "raw profile"
// texts other programs write in zTXt or tEXt chunks.
constexpr char kXmpKey[] = "XML:com.adobe.xmp";

// EXIF (eXIf, else a raw exif profile), XMP and IPTC of the chunks before the image data; libpng
// holds them in the info structure, within the chunk size limit. Blocks over their limits or that
// do not read are left out.
void ReadPngMetadata(png_structp png, png_infop info, TImageMetadata& metadata) {
  png_bytep exif = nullptr;
  png_uint_32 exifBytes = 0;
  if (png_get_eXIf_1(png, info, &exifBytes, &exif) != 0 && exif != nullptr && exifBytes <= kMaxKeptExifBytes)
    metadata.Exif.assign(exif, exif + exifBytes);
  png_textp texts = nullptr;
  int count = 0;
  png_get_text(png, info, &texts, &count);
  for (int i = 0; i < count && texts != nullptr; ++i) {
    const png_text& text = texts[i];
    if (text.key == nullptr || text.text == nullptr) continue;
    const std::string_view key(text.key);
    const size_t length = text.compression >= PNG_ITXT_COMPRESSION_NONE ? text.itxt_length : text.text_length;
    const std::string_view value(text.text, length);
    if (key == kXmpKey && metadata.Xmp.empty() && !value.empty() && value.size() <= kMaxXmpBytes) {
      metadata.Xmp.assign(value.begin(), value.end());
    } else if ((key == "Raw profile type exif" || key == "Raw profile type APP1") && metadata.Exif.empty()) {
      std::vector<uint8_t> block = DecodeRawProfile(value, kMaxKeptExifBytes + 6);
      const std::span<const uint8_t> withoutHeader = ExifBlockOfApp1(block);
      if (!withoutHeader.empty()) block.assign(withoutHeader.begin(), withoutHeader.end());
      if (block.size() <= kMaxKeptExifBytes) metadata.Exif = std::move(block);
    } else if (key == "Raw profile type iptc" && metadata.Iptc.empty()) {
      const std::vector<uint8_t> data = DecodeRawProfile(value, kMaxIptcBytes + 64);
      metadata.Iptc = IsIptcData(data) ? WholeIptcRecords(data) : IptcOfPhotoshopResources(data);
    } else if (key == "Raw profile type xmp" && metadata.Xmp.empty()) {
      metadata.Xmp = DecodeRawProfile(value, kMaxXmpBytes);
    }
  }
  // A block that does not read is not kept for writers; it still tells the orientation.
  const TExifInfo exifInfo = ReadExifBlock(metadata.Exif);
  if (!exifInfo.Valid) {
    metadata.Exif.clear();
    return;
  }
  metadata.HasExif = true;
  metadata.Orientation = exifInfo.Orientation;
  metadata.Camera = exifInfo.Camera;
}

// The metadata a written file carries: EXIF as eXIf, XMP as iTXt, IPTC as a raw profile in zTXt
// (as Photoshop resources, which is how other programs write it).
struct TPngMetadata {
  std::vector<uint8_t> Exif;
  std::string Xmp, Iptc;
  std::vector<png_text> Texts;
};

void PrepareMetadata(const TDibGraphic& image, TPngMetadata& out) {
  const TImageMetadata& metadata = image.Metadata();
  if (!metadata.Exif.empty()) out.Exif = ExifForSaving(metadata.Exif, image.Width(), image.Height(), true);
  if (!metadata.Xmp.empty()) {
    const std::vector<uint8_t> xmp = WholeXmpForSaving(metadata, image.Width(), image.Height());
    // libpng takes the text up to its first NUL; a packet holds none.
    out.Xmp.assign(xmp.begin(), std::find(xmp.begin(), xmp.end(), uint8_t{0}));
  }
  if (IsIptcData(metadata.Iptc)) out.Iptc = EncodeRawProfile("iptc", PhotoshopResourcesOfIptc(metadata.Iptc));
  if (!out.Xmp.empty()) {
    png_text text{};
    text.compression = PNG_ITXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(kXmpKey);
    text.text = out.Xmp.data();
    text.lang = const_cast<char*>("");
    text.lang_key = const_cast<char*>("");
    out.Texts.push_back(text);
  }
  if (!out.Iptc.empty()) {
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_zTXt;
    text.key = const_cast<char*>("Raw profile type iptc");
    text.text = out.Iptc.data();
    out.Texts.push_back(text);
  }
}

}  // namespace

void TPngGraphic::LoadImageFromStream(TStream& stream, int) {
  ClearWarnings();
  png_byte signature[8];
  if (stream.Read(signature, sizeof signature) != sizeof signature || png_sig_cmp(signature, 0, 8) != 0)
    throw EPNGError("PNG file is not valid or corrupted");

  TPngSession session;
  session.Stream = &stream;
  session.Image = this;
  TPngReader reader(session);
  png_structp png = reader.Png();
  png_infop info = reader.Info();
  TPngHeader h;

  RunPng(session, [&] {
    png_set_read_fn(png, &session, PngReadProc);
    png_set_sig_bytes(png, 8);
    SetReadLimits(png);
    png_read_info(png, info);
    png_get_IHDR(png, info, &h.Width, &h.Height, &h.BitDepth, &h.ColorType, &h.InterlaceType, nullptr, nullptr);
  });
  Metadata() = TImageMetadata{};
  ReadPngMetadata(png, info, Metadata());
  const TImageFormat format = PngImageFormat(h.BitDepth, h.ColorType);
  if (h.InterlaceType != PNG_INTERLACE_NONE && h.InterlaceType != PNG_INTERLACE_ADAM7)
    throw EPNGError("Interlace type not valid");
  CheckImageSize(h.Width, h.Height, ImageFormatBits(format));
  CheckImageDataCanFit(stream, h);

  const TColorValue back = FBackColor;
  const bool ignoreFileBackground = FIgnoreFileBackground;
  RunPng(session, [&] {
    if (h.BitDepth == 16) {
      png_set_strip_16(png);
      png_set_swap(png);
    }
    if (format == TImageFormat::TrueColor) png_set_bgr(png);
    int intent = 0;
    png_charp iccName = nullptr;
    int iccCompression = 0;
    png_get_iCCP(png, info, &iccName, &iccCompression, &h.Icc, &h.IccLength);
    if (h.Icc != nullptr && h.BitDepth > 2) {
      // The profile describes the stored values, tone curve included: they stay as they are.
      png_fixed_point fileGamma = 0;
      if (png_get_gAMA_fixed(png, info, &fileGamma) && fileGamma > 0)
        h.FileGamma = static_cast<double>(fileGamma) / PNG_FP_1;
    } else if (png_get_sRGB(png, info, &intent)) {
      h.Srgb = true;
      png_set_sRGB(png, info, intent);
    } else if (double c[8]; (h.ColorType & PNG_COLOR_MASK_COLOR) != 0 &&
                            png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7])) {
      // The primaries and the gamma say what the stored values mean, as a profile would (one is
      // made of them below): the values stay as they are.
      h.Chromaticities = TChromaticities{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]};
      png_fixed_point fileGamma = 0;
      if (png_get_gAMA_fixed(png, info, &fileGamma) && fileGamma > 0)
        h.FileGamma = static_cast<double>(fileGamma) / PNG_FP_1;
    } else if (h.BitDepth > 2) {
      // A file without gAMA is taken as made for this screen: no correction, so that a
      // picture saved and opened again keeps its pixels.
      png_fixed_point fileGamma = 0;
      if (png_get_gAMA_fixed(png, info, &fileGamma) && fileGamma > 0) {
        const png_fixed_point screenGamma = static_cast<png_fixed_point>(ScreenGamma * PNG_FP_1 + 0.5);
        h.FileGamma = static_cast<double>(fileGamma) / PNG_FP_1;
        h.GammaCorrected = GammaCorrects(screenGamma, fileGamma);
        png_set_gamma_fixed(png, screenGamma, fileGamma);
      }
    }
    png_color_16 backColor{};
    backColor.red = ColorByte2(back);
    backColor.green = ColorByte1(back);
    backColor.blue = ColorByte0(back);
    png_color_16p fileBack = nullptr;
    if (png_get_bKGD(png, info, &fileBack) && !ignoreFileBackground)
      png_set_background(png, fileBack, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    else
      png_set_background(png, &backColor, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    png_uint_32 xPpm = 0, yPpm = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xPpm, &yPpm, &unit) && unit == PNG_RESOLUTION_METER) {
      h.XDpi = PpmToDpi(xPpm);
      h.YDpi = PpmToDpi(yPpm);
    }
    if (h.InterlaceType == PNG_INTERLACE_ADAM7) h.Passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h.RowBytes = png_get_rowbytes(png, info);
    if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
      png_colorp entries = nullptr;
      int count = 0;
      if (png_get_PLTE(png, info, &entries, &count) && count > 0 && count <= 256) {
        h.HasPalette = true;
        h.Palette.Count = static_cast<uint16_t>(count);
        for (int i = 0; i < count; ++i) h.Palette.Entries[i] = {entries[i].blue, entries[i].green, entries[i].red, 0};
      }
    }
  });
  if (h.ColorType == PNG_COLOR_TYPE_PALETTE && !h.HasPalette) throw EPNGError("png_get_PLTE failed");
  // Gamma is what the pixels now carry: the screen's after a correction, else the file's own, so
  // that saving the image again writes a gAMA that matches its pixels.
  if (h.BitDepth > 2 && !h.Srgb)
    FGamma = h.GammaCorrected ? kDefaultPngGamma : h.FileGamma > 0 ? h.FileGamma : kDefaultPngGamma;

  std::vector<uint8_t> profile;
  if (h.Icc != nullptr) {
    const std::string problem = IccProfileProblem(h.Icc, h.IccLength);
    if (problem.empty())
      profile.assign(h.Icc, h.Icc + IccDeclaredSize(h.Icc));
    else
      AddWarning(IccDroppedWarning(problem));
  }
  // Without a profile of its own, a colour file's cHRM and gAMA chunks make one; a file without
  // gAMA is taken to have the common gamma of 2.2.
  if (h.Chromaticities && profile.empty())
    profile = RgbProfileFor(*h.Chromaticities, h.FileGamma > 0 ? 1.0 / h.FileGamma : 1.0 / kDefaultPngGamma);
  NewImage(static_cast<int>(h.Width), static_cast<int>(h.Height), format, h.HasPalette ? &h.Palette : nullptr, h.XDpi,
           h.YDpi);
  SetIccProfile(std::move(profile));
  if (h.BitDepth == 2) {
    // Two-bit rows have no image format of their own: read them whole, then unpack.
    CheckBufferSize(h.Height, h.RowBytes);
    std::vector<png_byte> data(static_cast<size_t>(h.Height) * h.RowBytes);
    std::vector<png_bytep> rows(h.Height);
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = data.data() + y * h.RowBytes;
    png_bytepp rowPointers = rows.data();
    RunPng(session, [&] { png_read_image(png, rowPointers); });
    Unpack2BitRows(data, h.RowBytes, *this, h.ColorType == PNG_COLOR_TYPE_GRAY ? 5 : 1);
    return;
  }
  // Rows are read straight into the image, so libpng's row must fit the image's row.
  if (h.RowBytes > static_cast<size_t>(BytesPerLine())) throw EPNGError("PNG file is not valid or corrupted");
  const int passes = h.Passes, height = Height();
  RunPng(session, [&] {
    for (int pass = 0; pass < passes; ++pass)
      for (int y = 0; y < height; ++y) {
        png_read_row(png, ScanLine(y), nullptr);
        // A row is final once the last pass has been through it.
        if (pass == passes - 1) ReportRowsRead(*this, y + 1);
      }
  });
}

void TPngGraphic::SaveToStream(TStream& stream) {
  const TPngLayout layout = PngLayoutOf(*this);
  TPngSession session;
  session.Stream = &stream;
  session.Image = this;
  session.Reading = false;
  TPngWriter writer(session);
  png_structp png = writer.Png();
  png_infop info = writer.Info();
  const png_uint_32 width = static_cast<png_uint_32>(Width()), height = static_cast<png_uint_32>(Height());
  const png_uint_32 xPpm = DpiToPpm(XDpi()), yPpm = DpiToPpm(YDpi());
  const int level = ZlibLevelOf(FCompressionLevel);
  const int strategy = ChooseDeflateStrategy(*this, layout, level);
  const bool interlaced = FInterlaced, bgr = ImageFormat() == TImageFormat::TrueColor;
  const double gamma = FGamma;
  bool withdrawn = false;
  const bool grayLayout = layout.ColorType == PNG_COLOR_TYPE_GRAY;
  const std::vector<uint8_t>& profile = IccProfile();
  const bool withProfile = !profile.empty() && IccColourSpace(profile) == (grayLayout ? "GRAY" : "RGB ");
  TPngMetadata metadata;
  PrepareMetadata(*this, metadata);
  png_textp texts = metadata.Texts.data();
  const int textCount = static_cast<int>(metadata.Texts.size());
  RunPng(session, [&] {
    png_set_write_fn(png, &session, PngWriteProc, PngFlushProc);
    png_set_IHDR(png, info, width, height, layout.BitDepth, layout.ColorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (layout.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, layout.Palette, layout.PaletteCount);
    png_set_pHYs(png, info, xPpm, yPpm, PNG_RESOLUTION_METER);
    png_set_gAMA(png, info, gamma);
    if (withProfile) {
      // libpng reads a profile whose header it doubts with a warning but refuses to write the same
      // profile; a file that opened must save, so such doubts are warnings here too.
      png_set_benign_errors(png, 1);
      png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, profile.data(),
                   static_cast<png_uint_32>(profile.size()));
    }
    if (!metadata.Exif.empty())
      png_set_eXIf_1(png, info, static_cast<png_uint_32>(metadata.Exif.size()), metadata.Exif.data());
    if (textCount > 0) png_set_text(png, info, texts, textCount);
    if (level >= 0) png_set_compression_level(png, level);
    if (strategy >= 0) png_set_compression_strategy(png, strategy);
    png_write_info(png, info);
    // libpng writes eXIf again at the end when the info still holds it: once is all a file may have.
    png_free_data(png, info, PNG_FREE_EXIF, -1);
    if (bgr) png_set_bgr(png);
    const int passes = interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
      for (png_uint_32 y = 0; y < height; ++y) {
        if (!WaitForRows(*this, static_cast<int>(y + 1))) {
          withdrawn = true;
          return;
        }
        png_write_row(png, ScanLine(static_cast<int>(y)));
      }
    png_write_end(png, info);
  });
  if (withdrawn) RaiseRowsWithdrawn();
}

}  // namespace quorvane
