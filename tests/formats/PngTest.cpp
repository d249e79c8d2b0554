// TPngGraphic: the colour-type table, transparency and gamma rules, resolution, round trips of
// every format, and damaged or hostile files.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <optional>

#include "FormatTestUtil.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPngGr.h"
#include "model/QvLimits.h"

using namespace quorvane;
using namespace qvtest;

namespace {

// A PNG to build with libpng: rows hold the file's own samples (16-bit ones big-endian).
struct TPngFile {
  int Width = 4, Height = 1, BitDepth = 8, ColorType = PNG_COLOR_TYPE_GRAY;
  bool Interlaced = false;
  std::vector<Bytes> Rows;
  std::vector<png_color> Palette;
  Bytes PaletteAlpha;                         // tRNS of palette files
  std::optional<png_color_16> Trns;           // tRNS of gray and RGB files
  std::optional<double> Gamma;                // gAMA
  bool Srgb = false;                          // sRGB
  std::optional<png_color_16> Background;     // bKGD
  std::optional<png_uint_32> PixelsPerMetre;  // pHYs, unit metre
  std::optional<int> Level;                   // zlib level; libpng's default otherwise
};

extern "C" void WriteToBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
extern "C" void NoFlush(png_structp) {}

Bytes BuildPng(const TPngFile& f) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "test file could not be built";
    return {};
  }
  png_set_write_fn(png, &out, WriteToBytes, NoFlush);
  png_set_IHDR(png, info, f.Width, f.Height, f.BitDepth, f.ColorType,
               f.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (!f.Palette.empty()) png_set_PLTE(png, info, f.Palette.data(), static_cast<int>(f.Palette.size()));
  if (!f.PaletteAlpha.empty())
    png_set_tRNS(png, info, f.PaletteAlpha.data(), static_cast<int>(f.PaletteAlpha.size()), nullptr);
  if (f.Trns) png_set_tRNS(png, info, nullptr, 1, &*f.Trns);
  if (f.Gamma) png_set_gAMA(png, info, *f.Gamma);
  if (f.Srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (f.Background) png_set_bKGD(png, info, &*f.Background);
  if (f.PixelsPerMetre) png_set_pHYs(png, info, *f.PixelsPerMetre, *f.PixelsPerMetre, PNG_RESOLUTION_METER);
  if (f.Level) png_set_compression_level(png, *f.Level);
  png_write_info(png, info);
  const int passes = f.Interlaced ? png_set_interlace_handling(png) : 1;
  for (int pass = 0; pass < passes; ++pass)
    for (const Bytes& row : f.Rows) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The chunk of the given type in a PNG file, without length, type and CRC (empty if absent).
Bytes ChunkData(const Bytes& png, const char* type) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = uint32_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    if (std::equal(type, type + 4, png.begin() + at + 4))
      return Bytes(png.begin() + at + 8, png.begin() + at + 8 + length);
    at += 12 + length;
  }
  return {};
}

// Recomputes the CRC of the chunk whose data starts at DataAt, after a test changed its bytes.
void FixCrc(Bytes& png, size_t dataAt, size_t length) {
  const uint32_t crc = crc32(0, png.data() + dataAt - 4, static_cast<uInt>(length + 4));
  for (int i = 0; i < 4; ++i) png[dataAt + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

// Inserts a chunk of the given type and data right after the header chunk.
void InsertChunk(Bytes& png, const char* type, const Bytes& data) {
  Bytes chunk;
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(data.size() >> (24 - 8 * i)));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const uint32_t crc = crc32(0, chunk.data() + 4, static_cast<uInt>(data.size() + 4));
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
}

TColorValue Rgb(int r, int g, int b) { return PackColor(uint8_t(b), uint8_t(g), uint8_t(r)); }

class TWarningRecorder : public IPlatform {
 public:
  TWarningRecorder() { SetPlatform(this); }
  ~TWarningRecorder() override { SetPlatform(nullptr); }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    Shown.push_back(caption + ": " + text);
  }
  std::vector<std::string> Shown;
};

}  // namespace

TEST(Png, NewObjectHasItsInitialSettings) {
  TPngGraphic png;
  EXPECT_NEAR(png.Gamma(), 0.45455, 1e-5);
  EXPECT_EQ(png.BackColor(), 0u);
  EXPECT_FALSE(png.IgnoreFileBackground());
  EXPECT_EQ(png.CompressionLevel(), TPngCompressionLevel::clNormal);
  EXPECT_TRUE(png.Interlaced());
  EXPECT_EQ(png.Capabilities().WritableFormats, kAllImageFormats);
  EXPECT_FALSE(png.Capabilities().MultipleImages);
}

// Every format, interlaced or not, and gray formats with and without their gray ramp, read back
// with the same pixels and indices; the resolution survives too.
TEST(Png, RoundTripOfEveryFormatKeepsPixels) {
  for (int f = 0; f < kImageFormatCount; ++f)
    for (bool interlaced : {true, false})
      for (bool grayRamp : {true, false}) {
        const auto format = static_cast<TImageFormat>(f);
        TPngGraphic image;
        MakeImage(image, format, 13, 7, f + 1);
        if (grayRamp && format != TImageFormat::TrueColor) image.PaletteRecord() = DefaultPalette(format);
        image.SetXDpi(300);
        image.SetYDpi(72);
        image.SetInterlaced(interlaced);
        TPngGraphic back;
        ReadFromBytes(SavedBytes(image), back);
        // A gray format with other colours than its gray ramp is written as a palette file.
        const bool staysGray = grayRamp || format == TImageFormat::BlackWhite || !IsPaletteFormat(format);
        if (staysGray || format == TImageFormat::Color16 || format == TImageFormat::Color256)
          EXPECT_EQ(back.ImageFormat(), format) << f;
        else
          EXPECT_EQ(back.ImageFormat(),
                    format == TImageFormat::Gray16 ? TImageFormat::Color16 : TImageFormat::Color256);
        EXPECT_TRUE(SameIndices(image, back)) << "format " << f << " interlaced " << interlaced << " ramp " << grayRamp;
        EXPECT_EQ(back.XDpi(), 300);
        EXPECT_EQ(back.YDpi(), 72);
        EXPECT_NEAR(back.Gamma(), 0.45455, 1e-5);
        EXPECT_TRUE(back.Warnings().empty());
      }
}

// The writer picks its deflate strategy from a sample of the rows: photographs go faster, but no
// kind of picture may come out much larger than with libpng's own strategy at the same level,
// and every one reads back exactly.
TEST(Png, DeflateStrategyKeepsFilesAsSmallAsLibpngsOwn) {
  enum class TKind { Noise, Gradient, Tiles };
  struct TCase {
    const char* Name;
    TImageFormat Format;
    int Width, Height;
    TKind Kind;
  };
  const TCase cases[] = {
      {"noise, true colour", TImageFormat::TrueColor, 640, 600, TKind::Noise},
      {"gradient with grain, true colour", TImageFormat::TrueColor, 640, 600, TKind::Gradient},
      {"repeated tiles, true colour", TImageFormat::TrueColor, 640, 600, TKind::Tiles},
      {"gradient with grain, gray", TImageFormat::Gray256, 1280, 900, TKind::Gradient},
      {"repeated tiles, gray", TImageFormat::Gray256, 1280, 900, TKind::Tiles},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPngGraphic image;
    image.NewImage(c.Width, c.Height, c.Format, nullptr, 96, 96);
    image.SetInterlaced(false);
    const int bytes = c.Width * ImageFormatBits(c.Format) / 8;
    uint32_t state = 7;
    Bytes tile(97 * 3);
    for (uint8_t& b : tile) b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    for (int y = 0; y < c.Height; ++y) {
      uint8_t* row = image.ScanLine(y);
      for (int i = 0; i < bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        switch (c.Kind) {
          case TKind::Noise: row[i] = static_cast<uint8_t>(state >> 24); break;
          case TKind::Gradient: row[i] = static_cast<uint8_t>((i + y) / 8 + (state >> 29)); break;
          case TKind::Tiles: row[i] = tile[(i + 5 * (y / 16)) % tile.size()]; break;
        }
      }
    }
    const Bytes ours = SavedBytes(image);

    TPngFile reference;
    reference.Width = c.Width;
    reference.Height = c.Height;
    reference.ColorType = c.Format == TImageFormat::TrueColor ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    reference.Level = 5;
    for (int y = 0; y < c.Height; ++y) {
      Bytes row(image.ScanLine(y), image.ScanLine(y) + bytes);
      if (c.Format == TImageFormat::TrueColor)
        for (int x = 0; x < c.Width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
      reference.Rows.push_back(std::move(row));
    }
    const Bytes libpngs = BuildPng(reference);
    // Our files carry pHYs and gAMA besides.
    EXPECT_LE(ours.size(), libpngs.size() + libpngs.size() / 50 + 64);

    TPngGraphic back;
    ReadFromBytes(ours, back);
    EXPECT_TRUE(SamePicture(image, back));
  }
}

TEST(Png, WrittenHeaderChunks) {
  TPngGraphic image;
  MakeImage(image, TImageFormat::Gray256, 5, 3);
  image.PaletteRecord() = DefaultPalette(TImageFormat::Gray256);
  image.SetXDpi(96);
  const Bytes file = SavedBytes(image);
  const Bytes ihdr = ChunkData(file, "IHDR");
  ASSERT_EQ(ihdr.size(), 13u);
  EXPECT_EQ(ihdr[8], 8);   // bit depth
  EXPECT_EQ(ihdr[9], 0);   // gray
  EXPECT_EQ(ihdr[12], 1);  // interlaced
  EXPECT_EQ(Be32(ChunkData(file, "gAMA"), 0), 45455u);
  EXPECT_EQ(Be32(ChunkData(file, "pHYs"), 0), 3780u);
  EXPECT_TRUE(ChunkData(file, "PLTE").empty());

  TPngGraphic palette;
  MakeImage(palette, TImageFormat::Color16, 5, 3);
  palette.PaletteRecord().Count = 5;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) palette.SetPixelIndex(x, y, x);
  palette.SetInterlaced(false);
  const Bytes file2 = SavedBytes(palette);
  EXPECT_EQ(ChunkData(file2, "IHDR")[8], 4);
  EXPECT_EQ(ChunkData(file2, "IHDR")[9], 3);
  EXPECT_EQ(ChunkData(file2, "IHDR")[12], 0);
  const Bytes plte = ChunkData(file2, "PLTE");
  ASSERT_EQ(plte.size(), 15u);
  EXPECT_EQ(plte[3 * 2], palette.PaletteRecord().Entries[2].Red);
  EXPECT_EQ(plte[3 * 2 + 2], palette.PaletteRecord().Entries[2].Blue);
  // Pixels beyond the record's count still get their PLTE entries.
  palette.SetPixelIndex(1, 1, 9);
  EXPECT_EQ(ChunkData(SavedBytes(palette), "PLTE").size(), 30u);
}

// The colour-type table: each file's samples and the image pixels they must give.
TEST(Png, ColourTypesAndDepthsMapToFormats) {
  const std::vector<png_color> pal4 = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {200, 210, 220}};
  struct Case {
    const char* Name;
    TPngFile File;
    TImageFormat Format;
    std::vector<TColorValue> Pixels;  // first row
    std::vector<int> Indices;         // first row, palette formats
  };
  std::vector<Case> cases = {
      {"1-bit gray",
       {4, 1, 1, PNG_COLOR_TYPE_GRAY, false, {{0x50}}},
       TImageFormat::BlackWhite,
       {0, 0xFFFFFF, 0, 0xFFFFFF},
       {0, 1, 0, 1}},
      {"2-bit gray", {4, 1, 2, PNG_COLOR_TYPE_GRAY, false, {{0x1B}}}, TImageFormat::Gray16, {}, {0, 5, 10, 15}},
      {"2-bit gray interlaced",
       {4, 2, 2, PNG_COLOR_TYPE_GRAY, true, {{0x1B}, {0xE4}}},
       TImageFormat::Gray16,
       {},
       {0, 5, 10, 15}},
      {"2-bit palette",
       {5, 1, 2, PNG_COLOR_TYPE_PALETTE, false, {{0xE4, 0x40}}, pal4},
       TImageFormat::Color16,
       {Rgb(200, 210, 220), Rgb(70, 80, 90), Rgb(40, 50, 60), Rgb(10, 20, 30), Rgb(40, 50, 60)},
       {3, 2, 1, 0, 1}},
      {"4-bit gray", {2, 1, 4, PNG_COLOR_TYPE_GRAY, false, {{0x3C}}}, TImageFormat::Gray16, {}, {3, 12}},
      {"8-bit palette",
       {2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {{3, 0}}, pal4},
       TImageFormat::Color256,
       {Rgb(200, 210, 220), Rgb(10, 20, 30)},
       {3, 0}},
      {"8-bit RGB",
       {2, 1, 8, PNG_COLOR_TYPE_RGB, false, {{1, 2, 3, 250, 251, 252}}},
       TImageFormat::TrueColor,
       {Rgb(1, 2, 3), Rgb(250, 251, 252)}},
      {"16-bit RGB",
       {1, 1, 16, PNG_COLOR_TYPE_RGB, false, {{0x12, 0x80, 0xAB, 0x7F, 0xFF, 0xFF}}},
       TImageFormat::TrueColor,
       {Rgb(0x12, 0xAB, 0xFF)}},
      {"16-bit gray", {1, 1, 16, PNG_COLOR_TYPE_GRAY, false, {{0x80, 0x01}}}, TImageFormat::Gray256, {}, {0x80}},
      {"gray + alpha, no bKGD: black",
       {2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, {{200, 0, 200, 255}}},
       TImageFormat::Gray256,
       {},
       {0, 200}},
      {"RGBA, no bKGD: black",
       {2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, {{9, 9, 9, 0, 1, 2, 3, 255}}},
       TImageFormat::TrueColor,
       {0, Rgb(1, 2, 3)}},
      {"palette with tRNS",
       {2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {{0, 3}}, pal4, {0}},
       TImageFormat::Color256,
       {0, Rgb(200, 210, 220)},
       {0, 3}},
  };
  for (Case& c : cases) {
    TPngGraphic image;
    ReadFromBytes(BuildPng(c.File), image);
    ASSERT_EQ(image.ImageFormat(), c.Format) << c.Name;
    for (size_t x = 0; x < c.Pixels.size(); ++x)
      EXPECT_EQ(image.GetPixel(static_cast<int>(x), 0), c.Pixels[x]) << c.Name << " x=" << x;
    for (size_t x = 0; x < c.Indices.size(); ++x)
      EXPECT_EQ(image.GetPixelIndex(static_cast<int>(x), 0), c.Indices[x]) << c.Name << " x=" << x;
    if (c.File.Height > 1) {
      EXPECT_EQ(image.GetPixelIndex(0, 1), 15) << c.Name;
    }
  }
}

// The cross product of colour type, bit depth, interlacing, transparency and odd widths: every
// file reads to the pixels the rules give (samples scaled to 8 bits, the high byte of 16-bit
// ones, transparent and translucent pixels composited onto black), with no row read or written
// beyond its bounds.
TEST(Png, EveryLayoutReadsToItsPixels) {
  struct Layout {
    int ColorType;
    std::vector<int> Depths;
    bool Transparency;  // a tRNS chunk is allowed
  };
  const Layout layouts[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}, true},
                            {PNG_COLOR_TYPE_RGB, {8, 16}, true},
                            {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}, true},
                            {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}, false},
                            {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}, false}};
  constexpr int kHeight = 5;
  for (const Layout& layout : layouts)
    for (int depth : layout.Depths)
      for (int width : {1, 3, 7, 9, 33})
        for (bool interlaced : {false, true})
          for (bool trns : {false, true}) {
            if (trns && !layout.Transparency) continue;
            const int channels = layout.ColorType == PNG_COLOR_TYPE_RGB          ? 3
                                 : layout.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                 : layout.ColorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                                                 : 1;
            const int maxSample = (1 << depth) - 1;
            auto sample = [&](int x, int y, int c) {
              const int v = (x * 73 + y * 151 + c * 37 + depth) * 2654435761u >> 8 & 0xFFFF;
              return c == 3 || (c == 1 && channels == 2) ? (x % 3 == 0   ? 0
                                                            : x % 3 == 1 ? maxSample
                                                                         : v & maxSample)
                                                         : v & maxSample;
            };
            TPngFile file{width, kHeight, depth, layout.ColorType, interlaced};
            const int entries = layout.ColorType == PNG_COLOR_TYPE_PALETTE ? 1 << depth : 0;
            for (int i = 0; i < entries; ++i)
              file.Palette.push_back({uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 101 + 7)});
            if (trns && entries) file.PaletteAlpha = {0, 128};
            if (trns && !entries)
              file.Trns = png_color_16{0, uint16_t(sample(0, 0, 0)), uint16_t(sample(0, 0, 1)),
                                       uint16_t(sample(0, 0, 2)), uint16_t(sample(0, 0, 0))};
            for (int y = 0; y < kHeight; ++y) {
              Bytes row((static_cast<size_t>(width) * channels * depth + 7) / 8, 0);
              for (int x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c) {
                  const int v = sample(x, y, c);
                  const size_t bit = (static_cast<size_t>(x) * channels + c) * depth;
                  if (depth == 16) {
                    row[bit / 8] = static_cast<uint8_t>(v >> 8);
                    row[bit / 8 + 1] = static_cast<uint8_t>(v);
                  } else {
                    row[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
                  }
                }
              file.Rows.push_back(row);
            }
            TPngGraphic image;
            ReadFromBytes(BuildPng(file), image);
            const std::string name = "type " + std::to_string(layout.ColorType) + " depth " + std::to_string(depth) +
                                     " width " + std::to_string(width) + (interlaced ? " interlaced" : "") +
                                     (trns ? " tRNS" : "");
            ASSERT_EQ(image.Width(), width) << name;
            for (int y = 0; y < kHeight; ++y)
              for (int x = 0; x < width; ++x) {
                // The 8-bit value of each channel, then compositing onto black.
                const int opaque = depth == 16 ? maxSample : 255;
                int rgb[3], alpha = opaque;
                auto eight = [&](int v) { return depth == 16 ? v >> 8 : v * 255 / maxSample; };
                if (entries) {
                  const png_color& e = file.Palette[sample(x, y, 0)];
                  rgb[0] = e.red, rgb[1] = e.green, rgb[2] = e.blue;
                  if (trns && sample(x, y, 0) < 2) alpha = file.PaletteAlpha[sample(x, y, 0)];
                } else {
                  for (int c = 0; c < 3; ++c) rgb[c] = eight(sample(x, y, channels >= 3 ? c : 0));
                  if (channels == 2 || channels == 4) alpha = sample(x, y, channels - 1);
                  bool transparent = trns;
                  for (int c = 0; c < (channels == 3 ? 3 : 1); ++c)
                    transparent = transparent && sample(x, y, c) == sample(0, 0, c);
                  if (transparent) alpha = 0;
                }
                for (int& v : rgb) {
                  if (alpha == 0) {
                    v = 0;
                  } else if (alpha == opaque) {
                  } else if (depth == 16) {
                    const int fg = sample(x, y, &v - rgb < channels - 1 ? int(&v - rgb) : 0);
                    png_uint_16 out;
                    png_composite_16(out, fg, alpha, 0);
                    v = out >> 8;
                  } else {
                    png_byte out;
                    png_composite(out, v, alpha, 0);
                    v = out;
                  }
                }
                EXPECT_EQ(image.GetPixel(x, y), Rgb(rgb[0], rgb[1], rgb[2])) << name << " at " << x << "," << y;
              }
          }
}

TEST(Png, BackgroundFromFileOrBackColor) {
  TPngFile file{2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, {{9, 9, 9, 0, 1, 2, 3, 255}}};
  file.Background = png_color_16{0, 100, 150, 200, 0};
  TPngGraphic image;
  image.SetBackColor(Rgb(7, 8, 9));
  ReadFromBytes(BuildPng(file), image);
  EXPECT_EQ(image.GetPixel(0, 0), Rgb(100, 150, 200));
  image.SetIgnoreFileBackground(true);
  ReadFromBytes(BuildPng(file), image);
  EXPECT_EQ(image.GetPixel(0, 0), Rgb(7, 8, 9));
  EXPECT_EQ(image.GetPixel(1, 0), Rgb(1, 2, 3));
}

// Files with gAMA are corrected for the screen (unless the correction is below libpng's 5 %
// threshold); files with sRGB or neither are read as they are. Gamma afterwards holds the gamma
// the pixels carry: the screen's after a correction, else the file's value or the default.
TEST(Png, GammaRules) {
  struct Case {
    const char* Name;
    std::optional<double> FileGamma;
    bool Srgb;
    bool Corrected;
    double GammaAfter;
  };
  const Case cases[] = {{"no gAMA", std::nullopt, false, false, 1 / 2.2},
                        {"gAMA 0.45455", 0.45455, false, false, 0.45455},
                        {"gAMA 0.47, within the threshold", 0.47, false, false, 0.47},
                        {"sRGB", std::nullopt, true, false, 0.8},
                        {"gAMA 1.0", 1.0, false, true, 1 / 2.2}};
  for (const Case& c : cases) {
    TPngFile file{3, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{0, 64, 255}}};
    file.Gamma = c.FileGamma;
    file.Srgb = c.Srgb;
    TPngGraphic image;
    image.SetGamma(0.8);
    ReadFromBytes(BuildPng(file), image);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0) << c.Name;
    EXPECT_EQ(image.GetPixelIndex(2, 0), 255) << c.Name;
    if (c.Corrected)
      EXPECT_NEAR(image.GetPixelIndex(1, 0), std::lround(255 * std::pow(64 / 255.0, 1 / 2.2)), 1) << c.Name;
    else
      EXPECT_EQ(image.GetPixelIndex(1, 0), 64) << c.Name;
    EXPECT_NEAR(image.Gamma(), c.GammaAfter, 1e-5) << c.Name;
  }
}

// An image read with a gamma correction and saved again keeps its pixels through any number of
// read/save cycles: the file says the gamma the corrected pixels carry.
TEST(Png, SavingACorrectedImageAgainKeepsItsPixels) {
  const std::vector<png_color> palette = {{0, 0, 0}, {40, 90, 160}, {128, 128, 128}, {250, 200, 10}};
  struct Case {
    const char* Name;
    TPngFile File;
  };
  Case cases[] = {
      {"8-bit gray, gAMA 1.0", {4, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{0, 30, 64, 200}}}},
      {"4-bit gray, gAMA 1.0", {4, 1, 4, PNG_COLOR_TYPE_GRAY, false, {{0x13, 0x9F}}}},
      {"16-bit RGB, gAMA 0.7", {1, 2, 16, PNG_COLOR_TYPE_RGB, true, {{0x12, 0, 0x80, 0, 0xC0, 0}, {1, 0, 2, 0, 3, 0}}}},
      {"palette, gAMA 1.0", {4, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {{0, 1, 2, 3}}, palette}},
      {"RGBA onto black, gAMA 1.0", {2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, {{200, 100, 50, 128, 9, 60, 90, 255}}}},
  };
  for (Case& c : cases) {
    c.File.Gamma = std::string(c.Name).find("0.7") != std::string::npos ? 0.7 : 1.0;
    const Bytes original = BuildPng(c.File);
    TPngGraphic first;
    ReadFromBytes(original, first);
    TPngGraphic cycled;
    ReadFromBytes(original, cycled);
    for (int cycle = 1; cycle <= 3; ++cycle) {
      const Bytes saved = SavedBytes(cycled);
      EXPECT_EQ(Be32(ChunkData(saved, "gAMA"), 0), 45455u) << c.Name << " cycle " << cycle;
      ReadFromBytes(saved, cycled);
      EXPECT_TRUE(SameIndices(cycled, first)) << c.Name << " cycle " << cycle;
    }
  }
}

TEST(Png, ResolutionFromPhys) {
  TPngFile file{1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{0}}};
  file.PixelsPerMetre = 11811;
  TPngGraphic image;
  ReadFromBytes(BuildPng(file), image);
  EXPECT_EQ(image.XDpi(), 300);
  file.PixelsPerMetre = 0xFFFFFFF;  // does not fit: the screen's
  ReadFromBytes(BuildPng(file), image);
  EXPECT_EQ(image.XDpi(), 96);
}

TEST(Png, RefusedFiles) {
  TPngGraphic image;
  EXPECT_EQ(MessageOf<EPNGError>([&] {
              ReadFromBytes(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, image);
            }),
            "PNG file is not valid or corrupted");
  EXPECT_EQ(MessageOf<EPNGError>([&] {
              ReadFromBytes(Bytes{0x89, 'P', 'N'}, image);
            }),
            "PNG file is not valid or corrupted");

  // Colour type 2 with bit depth 4: libpng refuses it while reading the header.
  Bytes bad = BuildPng({1, 1, 8, PNG_COLOR_TYPE_RGB, false, {{1, 2, 3}}});
  bad[16 + 8] = 4;
  FixCrc(bad, 16, 13);
  EXPECT_NE(MessageOf<EPNGError>([&] { ReadFromBytes(bad, image); }), "");

  // A damaged IDAT checksum is a libpng error.
  Bytes crc = BuildPng({8, 8, 8, PNG_COLOR_TYPE_GRAY, false, std::vector<Bytes>(8, Bytes(8, 7))});
  crc[crc.size() - 12 - 5] ^= 0xFF;
  EXPECT_NE(MessageOf<EPNGError>([&] { ReadFromBytes(crc, image); }), "");
}

// Every prefix of a file fails with EPNGError (or reads completely), never crashes or hangs.
TEST(Png, TruncatedFilesFailCleanly) {
  TPngFile file{9, 9, 8, PNG_COLOR_TYPE_RGB, true, std::vector<Bytes>(9, Bytes(27, 0))};
  for (int i = 0; i < 27 * 9; ++i) file.Rows[i / 27][i % 27] = static_cast<uint8_t>(i * 37);
  const Bytes whole = BuildPng(file);
  for (size_t n = 0; n < whole.size(); ++n) {
    TPngGraphic image;
    try {
      ReadFromBytes(Bytes(whole.begin(), whole.begin() + n), image);
    } catch (const EPNGError&) {
      continue;
    }
    EXPECT_GE(n, whole.size() - 12) << "only the end chunk may be missing";
  }
}

// A stream that fails while libpng or libjpeg is inside a call: its own exception reaches the
// caller once the library has been left.
TEST(Png, FailingStreamRaisesItsOwnErrorInBothCodecs) {
  class TFailing : public TMemoryStream {
   public:
    using TMemoryStream::TMemoryStream;
    size_t Read(void* b, size_t n) override {
      if (Position() > 40) throw EReadError("disk gone");
      return TMemoryStream::Read(b, n);
    }
    size_t Write(const void*, size_t) override { throw EWriteError("disk full"); }
  };
  std::unique_ptr<TDibGraphic> codecs[] = {std::make_unique<TPngGraphic>(), std::make_unique<TJpegGraphic>()};
  for (auto& image : codecs) {
    MakeImage(*image, TImageFormat::TrueColor, 200, 100);
    TMemoryStream whole;
    image->SaveToStream(whole);
    TFailing reading(whole.Data());
    EXPECT_EQ(MessageOf<EReadError>([&] { image->LoadFromStream(reading); }), "disk gone") << image->ClassName();
    TFailing writing;
    EXPECT_EQ(MessageOf<EWriteError>([&] { image->SaveToStream(writing); }), "disk full") << image->ClassName();
  }
}

TEST(Png, HugeDeclaredImageRefusedQuickly) {
  // 60000 x 60000 is beyond the area limit; 30000 x 16000 is within it but cannot fit in the file.
  for (uint32_t side : {60000u, 30000u}) {
    Bytes file = BuildPng({1, 1, 8, PNG_COLOR_TYPE_RGB, false, {{1, 2, 3}}});
    for (int i = 0; i < 4; ++i) {
      file[16 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));
      file[20 + i] = static_cast<uint8_t>((side == 30000 ? 16000u : side) >> (24 - 8 * i));
    }
    FixCrc(file, 16, 13);
    ASSERT_LT(file.size(), 4096u);
    TPngGraphic image;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(ReadFromBytes(file, image), Exception) << side;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << side;
  }
}

// Chunks the reader has no use for are skipped unread: damaged ones bring no warning, and one
// that claims a huge length is not allocated (libpng would allocate what it claims first).
// A text or eXIf chunk whose header claims more than any kept block is refused at its header:
// libpng would allocate the claimed length whole (1.6 GB for a 134-byte fuzzed file) first.
TEST(Png, OversizedMetadataChunksAreRefusedAtTheirHeader) {
  const Bytes plain = BuildPng({2, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{16, 32}}});
  for (const char* type : {"tEXt", "zTXt", "iTXt", "eXIf"}) {
    Bytes file = plain;
    InsertChunk(file, type, {1});
    file[33] = 0x61;  // the length field now claims 1.6 GB; the file still holds one byte
    TPngGraphic image;
    EXPECT_EQ(MessageOf<EPNGError>([&] { ReadFromBytes(file, image); }), "chunk data is too large") << type;
  }
}

TEST(Png, UnusedChunksAreSkippedUnread) {
  const Bytes plain = BuildPng({2, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{16, 32}}});
  for (const char* type : {"sBIT", "hIST", "tEXt", "zTXt", "iTXt", "tIME", "sPLT", "oFFs", "pCAL", "sCAL", "eXIf"}) {
    Bytes file = plain;
    InsertChunk(file, type, {1});
    TPngGraphic image;
    ReadFromBytes(file, image);
    EXPECT_TRUE(image.Warnings().empty()) << type << ": " << image.Warnings()[0];
    EXPECT_EQ(image.GetPixelIndex(1, 0), 32) << type;
  }
  for (const char* type : {"iCCP", "cHRM"}) {
    // The colour profile and the chromaticities are read; damaged ones are dropped with libpng's
    // warning.
    Bytes file = plain;
    InsertChunk(file, type, {1});
    TPngGraphic image;
    ReadFromBytes(file, image);
    EXPECT_EQ(image.Warnings().size(), 1u) << type;
    EXPECT_FALSE(image.HasIccProfile()) << type;
    EXPECT_EQ(image.GetPixelIndex(1, 0), 32) << type;
  }
  const Bytes huge = FileBytes(RegressionFile("png-scal-chunk-claiming-1380-mb.png"));
  TPngGraphic image;
  EXPECT_EQ(MessageOf<EPNGError>([&] { ReadFromBytes(huge, image); }), "Read Error");
}

TEST(Png, WarningsReachImageAndPlatform) {
  TWarningRecorder recorder;
  Bytes file = BuildPng({1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{0}}, {}, {}, {}, 0.45455});
  // A damaged checksum on an ancillary chunk is only a warning: the chunk is dropped.
  const size_t gama = 8 + 25;
  ASSERT_EQ(std::string(file.begin() + gama + 4, file.begin() + gama + 8), "gAMA");
  file[gama + 8] ^= 1;
  TPngGraphic image;
  ReadFromBytes(file, image);
  ASSERT_EQ(image.Warnings().size(), 1u);
  EXPECT_NE(image.Warnings()[0].find("CRC"), std::string::npos) << image.Warnings()[0];
  ASSERT_EQ(recorder.Shown.size(), 1u);
  EXPECT_EQ(recorder.Shown[0], "PNG Error: " + image.Warnings()[0]);
}
