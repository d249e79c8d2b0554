// BMP through the bitmap-format library (no image class selects it) against ImageMagick.
#include <gtest/gtest.h>

#include <cstdlib>

#include "formats/QvGbm.h"
#include "gbm/gbm.h"
#include "interop/InteropSupport.h"
#include "support/BitmapBytes.h"

using namespace quorvane;

using namespace qvtest;

namespace {

constexpr int kWidth = 61, kHeight = 29;

std::unique_ptr<TDibGraphic> ReadBmp(const std::string& fileName, const std::string& options = "") {
  TMemoryStream stream(FileBytes(fileName));
  auto image = std::make_unique<TDibGraphic>();
  GbmReadImage(stream, *image, "File.bmp", options);
  return image;
}

void WriteBmp(const TDibGraphic& image, const std::string& fileName, const char* options = nullptr) {
  TMemoryStream stream;
  GbmWriteImage(stream, image, "File.bmp", options ? options : "");
  stream.SaveToFile(fileName);
}

TRgbPicture Inverted(TRgbPicture picture) {
  for (uint8_t& c : picture.Rgb) c = static_cast<uint8_t>(255 - c);
  return picture;
}

// A Windows 3 bitmap header and a 16-entry palette, for hand-coded 4-bit and 8-bit RLE data.
std::vector<uint8_t> RleBitmap(int width, int height, int bits, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> info;
  qvtest::PutBitmapInfoHeader(info, 40, width, height, bits, bits == 4 ? 2 : 1, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> palette;
  for (int i = 0; i < 1 << bits; ++i) {
    palette.push_back(static_cast<uint8_t>(i * 17));
    palette.push_back(static_cast<uint8_t>(255 - i * 9));
    palette.push_back(static_cast<uint8_t>((i * 101) & 0xFF));
    palette.push_back(0);
  }
  return qvtest::BitmapFile(info, palette, data);
}

int Index16(int x, int y) {
  if (x < 11) return x % 2 ? (y + 3) % 16 : y % 16;  // the run's alternating pair
  return (x * 7 + y * 3 + x / 5) % 16;
}

// RLE4 rows: an odd-length run of alternating pixels, then absolute runs (one of odd length).
std::vector<uint8_t> Rle4Data(int width, int height) {
  std::vector<uint8_t> data;
  for (int y = 0; y < height; ++y) {
    data.push_back(11);
    data.push_back(static_cast<uint8_t>(Index16(0, y) << 4 | Index16(1, y)));
    for (int x = 11; x < width;) {
      const int n = std::min(width - x, x == 11 ? 21 : 255);
      data.push_back(0);
      data.push_back(static_cast<uint8_t>(n));
      const int bytes = (n + 1) / 2;
      for (int i = 0; i < bytes; ++i) {
        const int a = Index16(x + 2 * i, y);
        const int b = 2 * i + 1 < n ? Index16(x + 2 * i + 1, y) : 0;
        data.push_back(static_cast<uint8_t>(a << 4 | b));
      }
      if (bytes % 2) data.push_back(0);
      x += n;
    }
    data.push_back(0);
    data.push_back(y + 1 == height ? 1 : 0);
  }
  return data;
}

// An OS/2 bitmap array holding File as its first bitmap: offsets inside move by the 14 bytes of the
// array header.
std::vector<uint8_t> BitmapArray(const std::vector<uint8_t>& file, int width, int height) {
  std::vector<uint8_t> array = {'B', 'A'};
  Put32(array, 40);
  Put32(array, 0);
  Put16(array, static_cast<unsigned>(width));
  Put16(array, static_cast<unsigned>(height));
  std::vector<uint8_t> inner = file;
  const uint32_t offset = Get32(inner, 10) + 14;
  for (int i = 0; i < 4; ++i) inner[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
  array.insert(array.end(), inner.begin(), inner.end());
  return array;
}

TEST(BmpInterop, ReadsImageMagickWindowsAndOs2Bitmaps) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 21));
  struct TCase {
    const char* Name;  // ImageMagick's coder for the header version, then the file name
    const char* Options;
    uint32_t HeaderSize;
    int Bits;
    uint32_t Compression;
  };
  const TCase cases[] = {
      {"BMP3:w4.bmp", "-colors 16 -compress none", 40, 4, 0},
      {"BMP3:w8.bmp", "-colors 200 -compress none", 40, 8, 0},
      {"BMP3:rle8.bmp", "-colors 200 -compress RLE", 40, 8, 1},
      {"BMP3:w24.bmp", "", 40, 24, 0},
      {"BMP2:o4.bmp", "-colors 16", 12, 4, 0},
      {"BMP2:o8.bmp", "-colors 200", 12, 8, 0},
      {"BMP2:o24.bmp", "", 12, 24, 0},
  };
  for (const TCase& c : cases) {
    const std::string name = std::string(c.Name).substr(5);
    SCOPED_TRACE(name);
    ASSERT_TRUE(Convert(dir / "in.ppm " + c.Options + " " + std::string(c.Name, 5) + dir / name));
    const std::vector<uint8_t> file = FileBytes(dir / name);
    ASSERT_EQ(Get32(file, 14), c.HeaderSize);
    ASSERT_EQ(c.HeaderSize == 12 ? file[24] : file[28], c.Bits);
    if (c.HeaderSize == 40) {
      ASSERT_EQ(Get32(file, 30), c.Compression);
    }
    auto ours = ReadBmp(dir / name);
    EXPECT_EQ(ours->BitCount(), c.Bits);
    EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / name, kWidth, kHeight)));
  }
}

TEST(BmpInterop, OneBitBitmapsReadWithTheirPaletteEntriesExchanged) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 22));
  for (const char* coder : {"BMP3:", "BMP2:"}) {
    SCOPED_TRACE(coder);
    ASSERT_TRUE(Convert(dir / "in.ppm -monochrome " + coder + dir / "bw.bmp"));
    const TRgbPicture theirs = MagickPixels(dir / "bw.bmp", kWidth, kHeight);
    // The codec exchanges the two entries of a 1-bit colour table unless "inv" is given, so the
    // picture reads with the opposite colours of the one ImageMagick shows; "inv" keeps the file's
    // order and agrees with it.
    EXPECT_TRUE(SamePixels(OurPixels(*ReadBmp(dir / "bw.bmp")), Inverted(theirs)));
    EXPECT_TRUE(SamePixels(OurPixels(*ReadBmp(dir / "bw.bmp", "inv")), theirs));
  }
}

TEST(BmpInterop, ReadsHandCodedRunLengthDataLikeImageMagick) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  // ImageMagick writes no RLE4; this file has runs, odd and even absolute runs and line ends.
  PutFileBytes(dir / "rle4.bmp", RleBitmap(kWidth, kHeight, 4, Rle4Data(kWidth, kHeight)));
  auto ours = ReadBmp(dir / "rle4.bmp");
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(ours->GetPixelIndex(x, y), Index16(x, kHeight - 1 - y)) << x << "," << y;
  EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / "rle4.bmp", kWidth, kHeight)));

  // RLE8 with a delta: skipped pixels are index 0 in both readers. (ImageMagick reports an end of
  // bitmap before the last row as an unexpected end of file; the format fills the rest with 0, so
  // this file reaches the last row.)
  const std::vector<uint8_t> rle8 = {5, 7, 0, 3, 1, 2, 3, 0,  // row 0: 7 7 7 7 7 1 2 3, padded
                                     0, 0,                    // end of line
                                     2, 9, 0, 2, 3, 1,        // row 1: 9 9, delta right 3 and up 1
                                     2, 4, 0, 0,              // row 2: 0 0 0 0 0 4 4 0
                                     8, 6, 0, 0, 0, 1};       // row 3: 6 x 8, end of bitmap
  PutFileBytes(dir / "rle8.bmp", RleBitmap(8, 4, 8, rle8));
  auto small = ReadBmp(dir / "rle8.bmp");
  const int expected[4][8] = {
      {6, 6, 6, 6, 6, 6, 6, 6}, {0, 0, 0, 0, 0, 4, 4, 0}, {9, 9, 0, 0, 0, 0, 0, 0}, {7, 7, 7, 7, 7, 1, 2, 3}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(small->GetPixelIndex(x, y), expected[y][x]) << x << "," << y;
  EXPECT_TRUE(SamePixels(OurPixels(*small), MagickPixels(dir / "rle8.bmp", 8, 4)));
}

TEST(BmpInterop, ReadsTheFirstBitmapOfAnOs2Array) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 23));
  for (const char* coder : {"BMP2:", "BMP3:"}) {
    SCOPED_TRACE(coder);
    ASSERT_TRUE(Convert(dir / "in.ppm -colors 16 " + coder + dir / "single.bmp"));
    // ImageMagick writes no arrays; the array is built around its single bitmap.
    PutFileBytes(dir / "array.bmp", BitmapArray(FileBytes(dir / "single.bmp"), kWidth, kHeight));
    EXPECT_TRUE(SamePixels(OurPixels(*ReadBmp(dir / "array.bmp")), MagickPixels(dir / "single.bmp", kWidth, kHeight)));
  }
}

TEST(BmpInterop, ImageMagickReadsOurWindowsAndOs2Bitmaps) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (TImageFormat format : {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::Gray16,
                              TImageFormat::Color256, TImageFormat::Gray256, TImageFormat::TrueColor}) {
    auto image = MakeImage(format, kWidth, kHeight, 31);
    for (const char* options : {static_cast<const char*>(nullptr), "1.1"}) {
      SCOPED_TRACE(std::string(ImageFormatName(format)) + (options ? " 1.1" : ""));
      WriteBmp(*image, dir / "ours.bmp", options);
      EXPECT_EQ(Get32(FileBytes(dir / "ours.bmp"), 14), options ? 12u : 40u);
      EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels(dir / "ours.bmp", kWidth, kHeight)));
    }
  }
}

TEST(BmpInterop, OneBitWriterFollowsTheImagePaletteOnlyWithLightfg) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  auto image = MakeImage(TImageFormat::BlackWhite, kWidth, kHeight, 32);
  std::swap(image->PaletteRecord().Entries[0], image->PaletteRecord().Entries[1]);  // white, black
  // The writer stores the fixed table black, white and the bits as they are; the image's own
  // order is honoured only through "lightfg" (or "darkfg"), which inverts the bits to match.
  WriteBmp(*image, dir / "plain.bmp");
  EXPECT_TRUE(SamePixels(Inverted(OurPixels(*image)), MagickPixels(dir / "plain.bmp", kWidth, kHeight)));
  WriteBmp(*image, dir / "light.bmp", "lightfg");
  EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels(dir / "light.bmp", kWidth, kHeight)));
}

}  // namespace

TEST(BmpInterop, ReadsNetpbmWindowsAndOs2BitmapsLikeNetpbm) {
  QV_REQUIRE_IMAGEMAGICK();
  QV_REQUIRE_NETPBM();
  TScratchFolder dir;
  WritePpm(dir / "full.ppm", TestPicture(kWidth, kHeight, 13));
  for (int bits : {1, 4, 8, 24}) {
    const std::string colours = std::to_string(bits == 24 ? 256 : 1 << bits);
    ASSERT_TRUE(Shell("pnmquant " + colours + " " + dir / "full.ppm" + " >" + dir / "q.ppm" + " 2>/dev/null"));
    for (const char* style : {"-windows", "-os2"}) {
      SCOPED_TRACE(std::string(style) + " " + std::to_string(bits));
      ASSERT_TRUE(Shell(std::string("ppmtobmp ") + style + " -bpp=" + std::to_string(bits) + " " +
                        dir / (bits == 24 ? "full.ppm" : "q.ppm") + " >" + dir / "n.bmp" + " 2>/dev/null"));
      ASSERT_TRUE(
          Shell("bmptopnm " + dir / "n.bmp" + " 2>/dev/null | ppmtoppm >" + dir / "theirs.ppm" + " 2>/dev/null"));
      // 1-bit palettes are read in file order only with "inv".
      auto ours = ReadBmp(dir / "n.bmp", bits == 1 ? "inv" : "");
      EXPECT_EQ(ours->BitCount(), bits);
      EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / "theirs.ppm", kWidth, kHeight)));
    }
  }
}
