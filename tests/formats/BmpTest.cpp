// BMP codec of the library, reached through a BMP hint: headers, bitmap arrays, RLE and options.
#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "GbmTestUtil.h"
#include "formats/QvGbm.h"
#include "gbm/gbm.h"
#include "support/BitmapBytes.h"

using namespace quorvane;

using namespace qvtest;

namespace {

// File header and a Windows information header of CbFix bytes (at least 16), then Palette
// entries of 4 bytes and Pixels; the data offset points right after the palette.
Bytes WinBmp(int w, int h, int bits, uint32_t compression, const Bytes& palette, const Bytes& pixels,
             uint32_t cbFix = 40, uint32_t colorsUsed = 0) {
  Bytes info;
  qvtest::PutBitmapInfoHeader(info, cbFix, w, h, bits, compression, 0, colorsUsed);
  info.resize(cbFix, 0);
  return qvtest::BitmapFile(info, palette, pixels);
}

Bytes GrayPalette4(int n) {
  Bytes p;
  for (int i = 0; i < n; ++i) Append(p, {i, i, i, 0});
  return p;
}

void ReadBmp(const Bytes& bytes, TDibGraphic& image, const std::string& options = "") {
  TMemoryStream s(bytes);
  GbmReadImage(s, image, "File.bmp", options);
}

GBM_ERR HeaderRc(const Bytes& bytes) { return GbmHeaderRc(bytes, "f.bmp", 0); }

Bytes WriteBmp(const TDibGraphic& image, const char* options, GBM_ERR* rc = nullptr) {
  return GbmWritten(image, "f.bmp", 0, options, rc);
}

}  // namespace

TEST(Bmp, RoundTripWindowsAndOs2Headers) {
  for (TImageFormat format : {TImageFormat::Color16, TImageFormat::Color256, TImageFormat::TrueColor})
    for (const char* opt : {"", "win", "2.0", "1.1"})
      for (int w : {1, 5, 31}) {
        TDibGraphic image;
        MakeImage(image, format, w, 3, static_cast<unsigned>(w));
        const Bytes b = WriteBmp(image, opt);
        TDibGraphic back;
        ReadBmp(b, back);
        EXPECT_TRUE(SameIndices(image, back)) << ImageFormatName(format) << " '" << opt << "' " << w;
      }
}

TEST(Bmp, HeaderSizesOfWrittenFiles) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::Color16, 3, 2);
  Bytes b = WriteBmp(image, "");
  EXPECT_EQ(Get32(b, 10), 118u);
  EXPECT_EQ(Get32(b, 14), 40u);
  EXPECT_EQ(Get32(b, 2), 118u + 2 * 4);
  b = WriteBmp(image, "1.1");
  EXPECT_EQ(Get32(b, 10), 74u);
  EXPECT_EQ(Get32(b, 14), 12u);
  EXPECT_EQ(b.size(), 74u + 2 * 4);
  GBM_ERR rc;
  WriteBmp(image, "1.1,win", &rc);
  EXPECT_EQ(rc, GBM_ERR_BAD_OPTION);
  WriteBmp(image, "2.0 1.1", &rc);
  EXPECT_EQ(rc, GBM_ERR_BAD_OPTION);
}

TEST(Bmp, OneBitPaletteConventions) {
  // Black, white in the file reads as white, black unless "inv" is given.
  Bytes b = WinBmp(8, 1, 1, 0, Bytes{0, 0, 0, 0, 255, 255, 255, 0}, Bytes{0xF0, 0, 0, 0});
  TDibGraphic image;
  ReadBmp(b, image);
  EXPECT_EQ(image.PaletteRecord().Entries[0].Value(), 0xFFFFFFu);
  EXPECT_EQ(image.PaletteRecord().Entries[1].Value(), 0u);
  ReadBmp(b, image, "inv");
  EXPECT_EQ(image.PaletteRecord().Entries[0].Value(), 0u);
  EXPECT_EQ(image.GetPixelIndex(0, 0), 1);
  ReadBmp(b, image, "inv invb");
  EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
  EXPECT_EQ(image.GetPixelIndex(7, 0), 1);

  // The writer's 1-bit palette is fixed; darkfg/lightfg decide whether the bits are inverted.
  TDibGraphic bw;
  TDibPalette whiteBlack{};
  whiteBlack.Count = 2;
  whiteBlack.Entries[0] = EntryOf(0xFFFFFF);
  bw.NewImage(8, 1, TImageFormat::BlackWhite, &whiteBlack, 0, 0);
  bw.ScanLine(0)[0] = 0x0F;
  Bytes w = WriteBmp(bw, "");
  EXPECT_EQ(Bytes(w.begin() + 54, w.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(w[62], 0x0F);
  w = WriteBmp(bw, "inv");
  EXPECT_EQ(w[54], 255);
  EXPECT_EQ(WriteBmp(bw, "lightfg")[62], 0xF0);
  EXPECT_EQ(WriteBmp(bw, "darkfg")[62], 0x0F);
  EXPECT_EQ(WriteBmp(bw, "darkfg invb")[62], 0xF0);
}

TEST(Bmp, Os2BitmapArrayReadsFirstBitmap) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::Color256, 3, 2);
  Bytes inner = WriteBmp(image, "1.1");
  // The array header is 14 bytes; data offsets stay absolute, so move them by 14.
  Bytes b = {'B', 'A'};
  Put32(b, 40);
  Put32(b, 0);
  Put16(b, 0);
  Put16(b, 0);
  const uint32_t offset = Get32(inner, 10) + 14;
  for (int i = 0; i < 4; ++i) inner[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
  b.insert(b.end(), inner.begin(), inner.end());
  TDibGraphic back;
  ReadBmp(b, back);
  EXPECT_TRUE(SameIndices(image, back));
}

TEST(Bmp, AcceptedAndRefusedHeaderSizes) {
  const Bytes pixels(8, 0);
  for (uint32_t cbFix : {16u, 40u, 42u, 46u, 64u})
    EXPECT_EQ(HeaderRc(WinBmp(2, 2, 24, 0, {}, pixels, cbFix)), GBM_ERR_OK) << cbFix;
  for (uint32_t cbFix : {0u, 13u, 18u, 68u, 124u}) {
    Bytes b = WinBmp(2, 2, 24, 0, {}, pixels, 40);
    for (int i = 0; i < 4; ++i) b[14 + i] = static_cast<uint8_t>(cbFix >> (8 * i));
    EXPECT_EQ(HeaderRc(b), GBM_ERR_BMP_CBFIX) << cbFix;
  }
  Bytes planes = WinBmp(2, 2, 24, 0, {}, pixels);
  planes[26] = 2;
  EXPECT_EQ(HeaderRc(planes), GBM_ERR_BMP_PLANES);
  EXPECT_EQ(HeaderRc(WinBmp(2, 2, 16, 0, {}, pixels)), GBM_ERR_BMP_BITCOUNT);
  EXPECT_EQ(HeaderRc(WinBmp(0, 2, 24, 0, {}, pixels)), GBM_ERR_BAD_SIZE);
  EXPECT_EQ(HeaderRc(WinBmp(2, -2, 24, 0, {}, pixels)), GBM_ERR_BAD_SIZE);
  EXPECT_EQ(HeaderRc(Bytes{'B', 'X', 0, 0}), GBM_ERR_BAD_MAGIC);
  const Bytes full = WinBmp(2, 2, 24, 0, {}, pixels);
  for (size_t n : {0, 1, 10, 17, 30, 53}) EXPECT_EQ(HeaderRc(Bytes(full.begin(), full.begin() + n)), GBM_ERR_READ) << n;
  TDibGraphic image;
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadBmp(WinBmp(2, 2, 24, 3, {}, pixels), image); }), "gbm_read_data failed.");
}

TEST(Bmp, ColoursUsedLimitsPalette) {
  Bytes pal = GrayPalette4(256);
  for (uint32_t used : {0u, 300u}) {
    TDibGraphic image;
    ReadBmp(WinBmp(1, 1, 8, 0, pal, Bytes{200, 0, 0, 0}, 40, used), image);
    EXPECT_EQ(image.PaletteRecord().Entries[255].Value(), PackColor(255, 255, 255)) << used;
  }
  // Two entries used: the rest stays black, and the pixels follow the short table.
  TDibGraphic image;
  ReadBmp(WinBmp(1, 1, 8, 0, GrayPalette4(2), Bytes{1, 0, 0, 0}, 40, 2), image);
  EXPECT_EQ(image.PaletteRecord().Entries[1].Value(), PackColor(1, 1, 1));
  EXPECT_EQ(image.PaletteRecord().Entries[2].Value(), 0u);
}

TEST(Bmp, Rle8Codes) {
  // 4x4: row 0 a run, row 1 absolute (odd count padded), then end of bitmap: rows 2, 3 stay 0.
  Bytes data = {4, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 1};
  TDibGraphic image;
  ReadBmp(WinBmp(4, 4, 8, 1, GrayPalette4(256), data), image);
  EXPECT_EQ(image.GetPixelIndex(0, 3), 7);
  EXPECT_EQ(image.GetPixelIndex(3, 3), 7);
  EXPECT_EQ(image.GetPixelIndex(2, 2), 3);
  EXPECT_EQ(image.GetPixelIndex(3, 2), 0);
  EXPECT_EQ(image.GetPixelIndex(0, 1), 0);
  EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
  // Delta: skip 2 right and 1 up, then a run of 1.
  Bytes delta = {0, 2, 2, 1, 1, 5, 0, 1};
  ReadBmp(WinBmp(4, 4, 8, 1, GrayPalette4(256), delta), image);
  EXPECT_EQ(image.GetPixelIndex(2, 2), 5);
  EXPECT_EQ(image.GetPixelIndex(1, 2), 0);
}

TEST(Bmp, Rle4Codes) {
  // A run of 5 with 0x12 from an even column, then from an odd column.
  Bytes data = {5, 0x12, 0, 0, 1, 0x30, 5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1};
  TDibGraphic image;
  ReadBmp(WinBmp(8, 3, 4, 2, GrayPalette4(16), data), image);
  const int bottom[] = {1, 2, 1, 2, 1, 0, 0, 0};
  const int middle[] = {3, 1, 2, 1, 2, 1, 0, 0};
  const int top[] = {0xA, 0xB, 0xC, 0, 0, 0, 0, 0};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(image.GetPixelIndex(x, 2), bottom[x]) << x;
    EXPECT_EQ(image.GetPixelIndex(x, 1), middle[x]) << x;
    EXPECT_EQ(image.GetPixelIndex(x, 0), top[x]) << x;
  }
  // Absolute run starting at an odd column.
  Bytes odd = {1, 0x50, 0, 3, 0xAB, 0xC0, 0, 1};
  ReadBmp(WinBmp(4, 1, 4, 2, GrayPalette4(16), odd), image);
  const int row[] = {5, 0xA, 0xB, 0xC};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(image.GetPixelIndex(x, 0), row[x]) << x;
}

TEST(Bmp, RleOverrunsStopAtBufferEnd) {
  // Runs, deltas and absolute runs far past the last row: nothing is written outside the buffer
  // (the sanitizer build checks this) and what fits is kept.
  for (uint32_t compression : {1u, 2u}) {
    const int bits = compression == 1 ? 8 : 4;
    TDibGraphic image;
    ReadBmp(WinBmp(3, 2, bits, compression, GrayPalette4(16), Bytes{255, 0x11, 255, 0x11, 255, 0x11}), image);
    EXPECT_EQ(image.GetPixelIndex(2, 0), compression == 1 ? 0x11 : 1);
    ReadBmp(WinBmp(3, 2, bits, compression, GrayPalette4(16), Bytes{0, 2, 255, 255, 9, 9, 0, 1}), image);
    Bytes absolute(260, 0x22);
    absolute[0] = absolute[1] = absolute[2] = 0;
    absolute[3] = 255;
    ReadBmp(WinBmp(3, 2, bits, compression, GrayPalette4(16), absolute), image);
  }
  TDibGraphic image;
  ReadBmp(FileBytes(RegressionFile("bmp-rle8-run-past-end-of-buffer.bmp")), image);
  ReadBmp(FileBytes(RegressionFile("bmp-rle4-delta-past-last-row.bmp")), image);
}

TEST(Bmp, RleDataEndingBeforeEndCodeIsRefused) {
  TDibGraphic image;
  EXPECT_EQ(MessageOf<EGbmError>([&] {
              ReadBmp(WinBmp(4, 4, 8, 1, GrayPalette4(256), Bytes{4, 7, 0}), image);
            }),
            "gbm_read_data failed.");
  EXPECT_EQ(MessageOf<EGbmError>([&] {
              ReadBmp(WinBmp(4, 4, 4, 2, GrayPalette4(16), Bytes{0, 9, 0x11, 0x11}), image);
            }),
            "gbm_read_data failed.");
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadBmp(FileBytes(RegressionFile("bmp-rle8-truncated.bmp")), image); }),
            "gbm_read_data failed.");
  // The last row ended by an end of line needs no end of bitmap.
  ReadBmp(WinBmp(2, 1, 8, 1, GrayPalette4(256), Bytes{2, 9, 0, 0}), image);
  EXPECT_EQ(image.GetPixelIndex(1, 0), 9);
}

// Every header style and bit count at widths around byte and word boundaries: the picture holds
// exactly the file's rows (stored bottom-up, each padded to four bytes), and a file one byte short
// reads with a warning.
TEST(Bmp, EveryHeaderAndBitCountReadsItsOwnRows) {
  for (uint32_t cbFix : {12u, 16u, 40u, 64u})
    for (int bits : {1, 4, 8, 24})
      for (int w : {1, 2, 3, 5, 17, 33}) {
        SCOPED_TRACE(testing::Message() << "cbFix " << cbFix << ", " << bits << " bits, width " << w);
        constexpr int h = 3;
        const size_t rowBytes = static_cast<size_t>(RowBytes(w, bits));
        const auto value = [](int y, size_t i) { return static_cast<uint8_t>((i * 37 + y * 11 + 3) % 256); };
        Bytes rows;  // file order: bottom row first
        for (int y = h - 1; y >= 0; --y)
          for (size_t i = 0; i < rowBytes; ++i) rows.push_back(value(y, i));
        const int colours = bits == 24 ? 0 : 1 << bits;
        Bytes b;
        if (cbFix == 12) {
          b = {'B', 'M'};
          Put32(b, 0);
          Put32(b, 0);
          Put32(b, static_cast<uint32_t>(26 + 3 * colours));
          Put32(b, 12);
          Put16(b, static_cast<unsigned>(w));
          Put16(b, h);
          Put16(b, 1);
          Put16(b, static_cast<unsigned>(bits));
          for (int i = 0; i < colours; ++i) Append(b, {i, i, i});
          b.insert(b.end(), rows.begin(), rows.end());
        } else {
          b = WinBmp(w, h, bits, 0, GrayPalette4(colours), rows, cbFix);
        }
        TDibGraphic image;
        ReadBmp(b, image);
        ASSERT_EQ(image.Width(), w);
        ASSERT_EQ(image.Height(), h);
        EXPECT_TRUE(image.Warnings().empty());
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            if (bits == 24) {
              ASSERT_EQ(image.GetPixel(x, y), PackColor(value(y, 3 * x), value(y, 3 * x + 1), value(y, 3 * x + 2)))
                  << x << "," << y;
              continue;
            }
            const uint8_t byte = value(y, static_cast<size_t>(x * bits / 8));
            const int shift = 8 - bits - x * bits % 8;
            ASSERT_EQ(image.GetPixelIndex(x, y), byte >> shift & ((1 << bits) - 1)) << x << "," << y;
          }
        b.pop_back();
        ReadBmp(b, image);
        EXPECT_EQ(image.Warnings().size(), 1u);
      }
}
