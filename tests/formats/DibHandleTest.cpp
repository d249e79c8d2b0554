// Packed device-independent bitmaps in memory: every depth and compression, both row orders, and
// blocks that lie about their sizes.
#include "FormatTestUtil.h"
#include "formats/QvDiGrphDib.h"
#include "model/QvExcept.h"
#include "support/BitmapBytes.h"

using namespace qvtest;

namespace {

struct TDibSpec {
  int Width = 3, Height = 2, Bits = 24;
  uint32_t Compression = 0, ImageSize = 0, ColorsUsed = 0;
  int32_t PelsPerMeter = 3780;  // 96 dpi
};

// A 40-byte header, then Extra (masks, colour table) and Pixels.
Bytes Dib(const TDibSpec& s, const Bytes& extra, const Bytes& pixels) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(s.Width));
  Put32(b, static_cast<uint32_t>(s.Height));
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(s.Bits));
  Put32(b, s.Compression);
  Put32(b, s.ImageSize);
  Put32(b, static_cast<uint32_t>(s.PelsPerMeter));
  Put32(b, static_cast<uint32_t>(s.PelsPerMeter));
  Put32(b, s.ColorsUsed);
  Put32(b, 0);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes Table(int count) {
  Bytes t;
  for (int i = 0; i < count; ++i) Append(t, {i, 255 - i, (i * 7) & 0xFF, 0});
  return t;
}

// Every stored layout of a 3 x 2 picture, with the colours expected at (0,0) and (2,1).
struct TLayoutCase {
  const char* Name;
  Bytes Block;
  TImageFormat Format;
  TColorValue TopLeft, BottomRight;
};

std::vector<TLayoutCase> LayoutCases() {
  std::vector<TLayoutCase> cases;
  // 24 bits, bottom-up: the first stored row is the bottom row.
  cases.push_back({"24-bit",
                   Dib({}, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}),
                   TImageFormat::TrueColor, PackColor(10, 11, 12), PackColor(7, 8, 9)});
  TDibSpec top{};
  top.Height = -2;
  cases.push_back({"24-bit top-down",
                   Dib(top, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}),
                   TImageFormat::TrueColor, PackColor(1, 2, 3), PackColor(16, 17, 18)});
  // 16 bits 5-5-5: 0x7C00 is full red, 0x001F full blue.
  TDibSpec s16{};
  s16.Bits = 16;
  cases.push_back({"16-bit 555", Dib(s16, {}, {0x1F, 0x00, 0x00, 0x7C, 0xE0, 0x03, 0, 0, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0}),
                   TImageFormat::TrueColor, PackColor(0xFF, 0xFF, 0xFF), PackColor(0, 0xFF, 0)});
  // 16 bits 5-6-5 through masks after the header.
  TDibSpec s565 = s16;
  s565.Compression = 3;
  s565.ImageSize = 16;
  Bytes masks565;
  Put32(masks565, 0xF800);
  Put32(masks565, 0x07E0);
  Put32(masks565, 0x001F);
  cases.push_back({"16-bit 565 masks",
                   Dib(s565, masks565, {0x00, 0xF8, 0xE0, 0x07, 0x20, 0x00, 0, 0, 0x1F, 0x00, 0, 0, 0, 0, 0, 0}),
                   TImageFormat::TrueColor, PackColor(0xFF, 0, 0), PackColor(0, 4, 0)});
  // 32 bits: blue, green, red, unused.
  TDibSpec s32{};
  s32.Bits = 32;
  s32.Width = 1;
  s32.Height = 2;
  cases.push_back({"32-bit", Dib(s32, {}, {1, 2, 3, 99, 4, 5, 6, 99}), TImageFormat::TrueColor, PackColor(4, 5, 6),
                   PackColor(1, 2, 3)});
  TDibSpec s32m = s32;
  s32m.Compression = 3;
  s32m.ImageSize = 8;
  Bytes masks32;  // red in the low byte: the masks decide, not the usual order
  Put32(masks32, 0x000000FF);
  Put32(masks32, 0x0000FF00);
  Put32(masks32, 0x00FF0000);
  cases.push_back({"32-bit masks", Dib(s32m, masks32, {1, 2, 3, 0, 4, 5, 6, 0}), TImageFormat::TrueColor,
                   PackColor(6, 5, 4), PackColor(3, 2, 1)});
  // 8 bits with colours used 0: a full 256-entry table.
  TDibSpec s8{};
  s8.Bits = 8;
  cases.push_back({"8-bit", Dib(s8, Table(256), {0, 1, 2, 0, 250, 251, 252, 0}), TImageFormat::Color256,
                   PackColor(250, 5, (250 * 7) & 0xFF), PackColor(2, 253, 14)});
  // 4 bits with 3 colours used.
  TDibSpec s4{};
  s4.Bits = 4;
  s4.ColorsUsed = 3;
  cases.push_back({"4-bit", Dib(s4, Table(3), {0x01, 0x20, 0, 0, 0x21, 0x00, 0, 0}), TImageFormat::Color16,
                   PackColor(2, 253, 14), PackColor(2, 253, 14)});
  TDibSpec s1{};
  s1.Bits = 1;
  cases.push_back({"1-bit", Dib(s1, Table(2), {0x20, 0, 0, 0, 0x80, 0, 0, 0}), TImageFormat::BlackWhite,
                   PackColor(1, 254, 7), PackColor(1, 254, 7)});
  // RLE8: bottom row "5 5 5", top row "6, 7, 6", end of bitmap.
  TDibSpec rle8 = s8;
  rle8.Compression = 1;
  rle8.ImageSize = 12;
  cases.push_back({"RLE8", Dib(rle8, Table(256), {3, 5, 0, 0, 1, 6, 1, 7, 1, 6, 0, 1}), TImageFormat::Color256,
                   PackColor(6, 249, 42), PackColor(5, 250, 35)});
  TDibSpec rle4 = s4;
  rle4.Compression = 2;
  rle4.ColorsUsed = 16;
  rle4.ImageSize = 8;
  cases.push_back({"RLE4", Dib(rle4, Table(16), {3, 0x12, 0, 0, 3, 0x34, 0, 1}), TImageFormat::Color16,
                   PackColor(3, 252, 21), PackColor(1, 254, 7)});
  return cases;
}

TEST(DibHandle, EveryLayoutGivesThePicture) {
  for (const TLayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.Name);
    TDibGraphic image;
    LoadFromDibHandle(image, c.Block.data(), c.Block.size());
    EXPECT_EQ(image.ImageFormat(), c.Format);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.GetPixel(0, 0), c.TopLeft);
    EXPECT_EQ(image.GetPixel(image.Width() - 1, 1), c.BottomRight);
    EXPECT_EQ(image.XDpi(), 96);
  }
}

TEST(DibHandle, EightBitsWithoutColoursUsedTakeAllEntries) {
  TDibSpec s{};
  s.Bits = 8;
  const Bytes block = Dib(s, Table(256), Bytes(8, 0));
  TDibGraphic image;
  LoadFromDibHandle(image, block.data(), block.size());
  EXPECT_EQ(image.PaletteRecord().Count, 256);
  EXPECT_EQ(image.PaletteRecord().Entries[255].Value(), PackColor(255, 0, (255 * 7) & 0xFF));
}

TEST(DibHandle, RoundTripOfEveryFormatThroughSaveToDibHandle) {
  for (int f = 0; f < kImageFormatCount; ++f) {
    const auto format = static_cast<TImageFormat>(f);
    SCOPED_TRACE(ImageFormatName(format));
    TDibGraphic source, copy;
    MakeImage(source, format, 13, 7, 3);
    source.SetXDpi(300);
    const std::vector<uint8_t> block = SaveToDibHandle(source);
    LoadFromDibHandle(copy, block.data(), block.size());
    EXPECT_TRUE(SamePicture(source, copy));
    EXPECT_EQ(copy.XDpi(), 300);
    EXPECT_EQ(copy.BitCount(), source.BitCount());
  }
}

// Every header size, bit count and colour-mask layout, with colour tables of every length, at
// widths around byte and word boundaries, in both row orders: a block exactly as long as its
// header, masks, table and rows reads as the picture they hold; one byte shorter is refused.
TEST(DibHandle, EveryLayoutReadsExactlyItsBlockAndNoMore) {
  for (uint32_t headerSize : {40u, 56u, 108u})
    for (int bits : {1, 4, 8, 16, 24, 32})
      for (uint32_t compression : {0u, 3u})
        for (uint32_t used : {0u, 2u})
          for (int w : {1, 2, 3, 5, 17, 33})
            for (int h : {3, -3}) {
              if (compression == 3 && bits != 16 && bits != 32) continue;
              SCOPED_TRACE(testing::Message() << "header " << headerSize << ", " << bits << " bits, compression "
                                              << compression << ", used " << used << ", " << w << " x " << h);
              const int height = h < 0 ? -h : h;
              const size_t rowBytes = static_cast<size_t>(RowBytes(w, bits));
              const uint32_t colours = used != 0 ? used : bits <= 8 ? 1u << bits : 0;
              // 16 and 32-bit pixels are black or white (every mask layout agrees on those); the
              // others carry a pattern whose indices stay inside the table.
              const auto white = [](int x, int y) { return (x + y) % 3 == 0; };
              const auto index = [&](int x, int y) { return (x * 5 + y) % static_cast<int>(colours); };
              Bytes b;
              qvtest::PutBitmapInfoHeader(b, headerSize, w, h, bits, compression,
                                          static_cast<uint32_t>(rowBytes * height), used);
              if (compression == 3) {  // masks: inside a longer header, else right after the header
                Put32(b, bits == 16 ? 0xF800 : 0xFF0000);
                Put32(b, bits == 16 ? 0x07E0 : 0x00FF00);
                Put32(b, bits == 16 ? 0x001F : 0x0000FF);
              }
              b.resize(std::max<size_t>(b.size(), headerSize), 0);
              b.insert(b.end(), 4 * static_cast<size_t>(colours), 0);
              for (uint32_t i = 0; i < colours; ++i) b[b.size() - 4 * (colours - i)] = static_cast<uint8_t>(i * 9 + 1);
              for (int stored = 0; stored < height; ++stored) {
                const int y = h < 0 ? stored : height - 1 - stored;
                Bytes row(rowBytes, 0);
                for (int x = 0; x < w; ++x) {
                  if (bits == 24)
                    for (int k = 0; k < 3; ++k) row[3 * x + k] = static_cast<uint8_t>(x * 3 + y * 50 + k + 1);
                  else if (bits > 8)
                    for (int k = 0; k < bits / 8; ++k) row[bits / 8 * x + k] = white(x, y) ? 0xFF : 0;
                  else
                    PixelWriterOf(bits)(row.data(), x, static_cast<uint32_t>(index(x, y)));
                }
                b.insert(b.end(), row.begin(), row.end());
              }
              TDibGraphic image;
              LoadFromDibHandle(image, b.data(), b.size());
              ASSERT_EQ(image.Width(), w);
              ASSERT_EQ(image.Height(), height);
              for (int y = 0; y < height; ++y)
                for (int x = 0; x < w; ++x) {
                  if (bits == 24)
                    ASSERT_EQ(image.GetPixel(x, y), PackColor(static_cast<uint8_t>(x * 3 + y * 50 + 1),
                                                              static_cast<uint8_t>(x * 3 + y * 50 + 2),
                                                              static_cast<uint8_t>(x * 3 + y * 50 + 3)));
                  else if (bits > 8)
                    ASSERT_EQ(image.GetPixel(x, y), white(x, y) ? 0xFFFFFFu : 0u) << x << "," << y;
                  else
                    ASSERT_EQ(image.GetPixel(x, y), PackColor(static_cast<uint8_t>(index(x, y) * 9 + 1), 0, 0))
                        << x << "," << y;
                }
              b.pop_back();
              EXPECT_EQ(MessageOf<EQuorvaneError>([&] { LoadFromDibHandle(image, b.data(), b.size()); }),
                        "Invalid HDIB");
            }
}

TEST(DibHandle, BadBlocksAreRefusedAndLeaveTheImageEmpty) {
  TDibSpec rleNoSize{};
  rleNoSize.Bits = 8;
  rleNoSize.Compression = 1;
  TDibSpec bits2{};
  bits2.Bits = 2;
  TDibSpec jpeg{};
  jpeg.Compression = 4;
  TDibSpec huge{};
  huge.Width = 1 << 30;
  TDibSpec manyColors{};
  manyColors.Bits = 8;
  manyColors.ColorsUsed = 0xFFFFFFFF;
  TDibSpec rleLong = rleNoSize;
  rleLong.ImageSize = 1000;
  const struct {
    const char* Name;
    Bytes Block;
    const char* Message;
  } cases[] = {
      {"shorter than a header", Bytes(39, 0), "Invalid HDIB"},
      {"compressed without image size", Dib(rleNoSize, Table(256), {0, 1}), "Invalid HDIB"},
      {"image size beyond the block", Dib(rleLong, Table(256), {0, 1}), "Invalid HDIB"},
      {"pixels cut short", Dib({}, {}, Bytes(23, 0)), "Invalid HDIB"},
      {"colour table beyond the block", Dib(manyColors, {}, Bytes(8, 0)), "Invalid HDIB"},
      {"bit count 2", Dib(bits2, {}, Bytes(16, 0)), "Unsupported bit count"},
      {"JPEG compression", Dib(jpeg, {}, Bytes(24, 0)), "Unsupported compression"},
      {"width beyond the limits", Dib(huge, {}, {}), "CreateDibSection failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDibGraphic image;
    MakeImage(image, TImageFormat::Gray16, 4, 4);
    EXPECT_EQ(MessageOf<EQuorvaneError>([&]() { LoadFromDibHandle(image, c.Block.data(), c.Block.size()); }),
              c.Message);
    EXPECT_TRUE(image.Empty());
  }
}

}  // namespace
