#include <gtest/gtest.h>

#include <cstring>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "support/ErrorMessage.h"

using namespace quorvane;

namespace {

const TImageFormat kAllFormats[] = {TImageFormat::BlackWhite, TImageFormat::Gray16,   TImageFormat::Gray256,
                                    TImageFormat::Color16,    TImageFormat::Color256, TImageFormat::TrueColor};

using qvtest::MessageOf;

TEST(ImageFormat, BitsNamesAndBitCounts) {
  const int bits[] = {1, 4, 8, 4, 8, 24};
  const char* names[] = {"Black and white", "16 shades of gray", "256 shades of gray",
                         "16 color",        "256 color",         "True color"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ImageFormatBits(kAllFormats[i]), bits[i]);
    EXPECT_EQ(ImageFormatName(kAllFormats[i]), names[i]);
  }
  EXPECT_EQ(MessageOf([] { ImageFormatBits(static_cast<TImageFormat>(6)); }), "Internal error: Invalid image format");
  EXPECT_EQ(ImageFormatName(static_cast<TImageFormat>(9)), "");
  EXPECT_EQ(BitCountToImageFormat(1), TImageFormat::BlackWhite);
  EXPECT_EQ(BitCountToImageFormat(4), TImageFormat::Color16);
  EXPECT_EQ(BitCountToImageFormat(8), TImageFormat::Color256);
  EXPECT_EQ(BitCountToImageFormat(24), TImageFormat::TrueColor);
  EXPECT_EQ(MessageOf([] { BitCountToImageFormat(16); }), "Unsupported bit count");
  EXPECT_EQ(PackColor(1, 2, 3), 0x030201u);
}

TEST(NewImage, RowLayoutAndHeader) {
  TDibGraphic image;
  EXPECT_TRUE(image.Empty());
  image.NewImage(3, 2, TImageFormat::BlackWhite, nullptr, 0, 0);
  EXPECT_EQ(image.BytesPerLine(), 4);
  EXPECT_EQ(image.BitmapInfo().Header.biSizeImage, 8u);
  EXPECT_EQ(image.BitmapInfo().Header.biClrUsed, 2u);
  EXPECT_EQ(image.BitmapInfo().Colors[1], (TPaletteEntry{0xFF, 0xFF, 0xFF, 0}));
  EXPECT_EQ(image.XDpi(), 96);
  EXPECT_EQ(image.YDpi(), 96);

  image.NewImage(5, 5, TImageFormat::TrueColor, nullptr, 72, 72);
  EXPECT_EQ(image.BytesPerLine(), 16);
  EXPECT_EQ(image.PaletteRecord().Count, 0);
  EXPECT_EQ(image.PaletteHandle(), nullptr);
  EXPECT_EQ(MessageOf([&] { image.GetPixelIndex(0, 0); }), "The image does not have a palette");
  EXPECT_EQ(MessageOf([&] { image.SetPixelIndex(0, 0, 1); }), "The image does not have a palette");
  EXPECT_EQ(image.ScanLine(0), image.Bits() + 4 * 16);
  EXPECT_EQ(image.ScanLine(4), image.Bits());

  for (TImageFormat f : kAllFormats)
    for (int w : {1, 7, 8, 9, 31, 33}) {
      image.NewImage(w, 3, f, nullptr, 0, 0);
      EXPECT_EQ(image.BytesPerLine(), ((w * ImageFormatBits(f) + 31) / 32) * 4);
      EXPECT_EQ(image.BytesPerLine() % 4, 0);
      for (size_t i = 0; i < image.ImageSize(); ++i) ASSERT_EQ(image.Bits()[i], 0) << "pixels start zeroed";
    }
}

TEST(NewImage, RefusesBadSizesAndLeavesImageEmpty) {
  TDibGraphic image;
  image.NewImage(4, 4, TImageFormat::Gray256, nullptr, 0, 0);
  for (const auto& size : {std::pair{0, 5}, {5, 0}, {-1, 5}, {5, -3}}) {
    // (No structured binding: clang 14, which the tsan preset builds with, cannot capture one.)
    EXPECT_EQ(MessageOf([&] { image.NewImage(size.first, size.second, TImageFormat::TrueColor, nullptr, 0, 0); }),
              "CreateDibSection failed");
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Width(), 0);
  }
  // Sizes whose pixel block would exceed the limit are refused before anything is allocated,
  // including those whose byte count overflows 32 or 64 bits.
  EXPECT_EQ(MessageOf([&] { image.NewImage(2147483647, 2147483647, TImageFormat::TrueColor, nullptr, 0, 0); }),
            "CreateDibSection failed");
  const TImageLimits saved = ImageLimits();
  TImageLimits small = saved;
  small.MaxMemory = 1000;
  SetImageLimits(small);
  EXPECT_EQ(MessageOf([&] { image.NewImage(100, 11, TImageFormat::Gray256, nullptr, 0, 0); }),
            "CreateDibSection failed");
  EXPECT_NO_THROW(image.NewImage(100, 10, TImageFormat::Gray256, nullptr, 0, 0));
  SetImageLimits(saved);
  EXPECT_EQ(MessageOf([&] { image.NewImage(4, 4, static_cast<TImageFormat>(7), nullptr, 0, 0); }),
            "Internal error: Invalid image format");
  EXPECT_TRUE(image.Empty());
}

TEST(NewImage, PaletteMayBeTheImagesOwn) {
  TDibGraphic image;
  TDibPalette palette{};
  palette.Count = 3;
  palette.Entries[2] = {1, 2, 3, 0};
  image.NewImage(2, 2, TImageFormat::Color256, &palette, 0, 0);
  image.NewImage(4, 4, TImageFormat::Color256, &image.PaletteRecord(), 0, 0);
  EXPECT_EQ(image.PaletteRecord().Count, 3);
  EXPECT_EQ(image.PaletteRecord().Entries[2], (TPaletteEntry{1, 2, 3, 0}));
  EXPECT_EQ(image.PaletteRecord().Version, 0x300);
}

TEST(NewImage, PaletteIsCutToWhatTheFormatCanIndex) {
  TDibGraphic image;
  image.NewImage(2, 1, TImageFormat::BlackWhite, &DefaultPalette(TImageFormat::Gray256), 0, 0);
  EXPECT_EQ(image.PaletteRecord().Count, 2);
  EXPECT_EQ(image.BitmapInfo().Header.biClrUsed, 2u);
  image.SetPixel(0, 0, PackColor(200, 200, 200));
  EXPECT_EQ(image.GetPixelIndex(0, 0), 1) << "the nearest of the two entries a 1-bit pixel can hold";
  image.NewImage(2, 1, TImageFormat::Color16, &DefaultPalette(TImageFormat::Color256), 0, 0);
  EXPECT_EQ(image.PaletteRecord().Count, 16);
}

TEST(PixelAccess, PackedFormatsKeepNeighbours) {
  TDibGraphic image;
  image.NewImage(4, 1, TImageFormat::Gray16, nullptr, 0, 0);
  image.SetPixelIndex(0, 0, 15);
  image.SetPixelIndex(1, 0, 0);
  EXPECT_EQ(image.ScanLine(0)[0], 0xF0);
  image.SetPixelIndex(1, 0, 0x1A);  // low nibble of the index only
  EXPECT_EQ(image.ScanLine(0)[0], 0xFA);

  image.NewImage(10, 2, TImageFormat::BlackWhite, nullptr, 0, 0);
  image.SetPixelIndex(0, 1, 1);
  image.SetPixelIndex(9, 1, 1);
  EXPECT_EQ(image.ScanLine(1)[0], 0x80);
  EXPECT_EQ(image.ScanLine(1)[1], 0x40);
  EXPECT_EQ(image.ScanLine(0)[0], 0x00);
  image.PixelWriter()(image.ScanLine(1), 0, static_cast<uint32_t>(-5));  // negative clears
  EXPECT_EQ(image.ScanLine(1)[0], 0x00);
  EXPECT_EQ(image.GetPixel(9, 1), PackColor(0xFF, 0xFF, 0xFF));

  image.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  image.SetPixel(1, 0, PackColor(1, 2, 3));
  const uint8_t* row = image.ScanLine(0);
  EXPECT_EQ(row[3], 1);
  EXPECT_EQ(row[4], 2);
  EXPECT_EQ(row[5], 3);
  EXPECT_EQ(image.GetPixel(1, 0), PackColor(1, 2, 3));
}

TEST(PixelAccess, SetPixelMapsToNearestEntry) {
  TDibGraphic image;
  image.NewImage(2, 2, TImageFormat::Color256, nullptr, 0, 0);
  const TPaletteEntry e4 = DefaultPalette(TImageFormat::Color256).Entries[4];
  image.SetPixel(0, 0, e4.Value());
  EXPECT_EQ(image.GetPixelIndex(0, 0), 4);
  EXPECT_EQ(image.GetPixel(0, 0), e4.Value());
  EXPECT_EQ(DefaultPalette(TImageFormat::Color256).Entries[30], (TPaletteEntry{0xE3, 0xB3, 0xB3, 0}));

  image.NewImage(2, 2, TImageFormat::Gray16, nullptr, 0, 0);
  image.SetPixel(1, 1, PackColor(40, 40, 40));  // nearest of i * 17 is 34
  EXPECT_EQ(image.GetPixelIndex(1, 1), 2);
}

TEST(Resolution, DotsPerInchRoundTripThroughPixelsPerMetre) {
  TDibGraphic image;
  image.NewImage(1, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  image.SetXDpi(300);
  EXPECT_EQ(image.BitmapInfo().Header.biXPelsPerMeter, 11811);
  EXPECT_EQ(image.XDpi(), 300);
  for (int dpi = 0; dpi <= 65535; ++dpi) {
    image.SetYDpi(static_cast<uint16_t>(dpi));
    ASSERT_EQ(image.YDpi(), dpi);
  }
}

TEST(Dimensions, SettersRaiseAndKeepImage) {
  TDibGraphic image;
  image.NewImage(3, 4, TImageFormat::Gray256, nullptr, 0, 0);
  EXPECT_EQ(MessageOf([&] { image.SetWidth(10); }), "Dimensions must be change with the NewImage method");
  EXPECT_EQ(MessageOf([&] { image.SetHeight(10); }), "Dimensions must be change with the NewImage method");
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.Height(), 4);
}

TEST(Assign, CopiesEverythingButFrames) {
  for (TImageFormat f : kAllFormats) {
    TDibGraphic source;
    source.NewImage(7, 5, f, nullptr, 150, 200);
    for (size_t i = 0; i < source.ImageSize(); ++i) source.Bits()[i] = static_cast<uint8_t>(i * 37 + 11);
    source.SetFrameDelay(55);
    TDibGraphic copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.Width(), 7);
    EXPECT_EQ(copy.Height(), 5);
    EXPECT_EQ(copy.ImageFormat(), f);
    EXPECT_EQ(copy.XDpi(), 150);
    EXPECT_EQ(copy.YDpi(), 200);
    EXPECT_EQ(copy.FrameDelay(), 55);
    EXPECT_EQ(std::memcmp(copy.Bits(), source.Bits(), source.ImageSize()), 0);
    EXPECT_EQ(std::memcmp(&copy.PaletteRecord(), &source.PaletteRecord(), sizeof(TDibPalette)), 0);
  }
  TDibGraphic zeroDpi;
  zeroDpi.NewImage(1, 1, TImageFormat::TrueColor, nullptr, 0, 0);
  zeroDpi.SetXDpi(0);
  TDibGraphic copy;
  copy.Assign(&zeroDpi);
  EXPECT_EQ(copy.XDpi(), 0) << "a resolution of 0 stays 0";

  TDibGraphic empty;
  copy.Assign(&empty);
  EXPECT_TRUE(copy.Empty());
  copy.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Empty());
}

TEST(AppendToStream, SingleImageFormatsRefuse) {
  TDibGraphic image;
  TMemoryStream stream;
  EXPECT_EQ(MessageOf([&] { image.AppendToStream(stream); }),
            "The TDibGraphic format does not support multiple images");
}

}  // namespace

namespace {

// Taking over an image moves its pixel block: same picture, palette and resolution, a working
// nearest-entry converter over the new owner's palette, and an empty source.
TEST(Image, TakeImageMovesThePixelsAndLeavesTheSourceEmpty) {
  for (TImageFormat format : {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::TrueColor}) {
    TDibGraphic source;
    source.NewImage(5, 3, format, nullptr, 150, 96);
    source.SetYDpi(0);  // a resolution of 0 stays 0
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) source.SetPixel(x, y, (x + y) % 2 ? 0xFFFFFFu : 0u);
    TDibGraphic copy;
    copy.Assign(&source);
    const uint8_t* block = source.Bits();
    TDibGraphic taker;
    taker.TakeImage(source);
    EXPECT_TRUE(source.Empty());
    EXPECT_EQ(taker.Bits(), block) << "moved, not copied";
    EXPECT_EQ(taker.ImageFormat(), format);
    EXPECT_EQ(taker.XDpi(), 150);
    EXPECT_EQ(taker.YDpi(), 0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(taker.GetPixel(x, y), copy.GetPixel(x, y));
    taker.SetPixel(0, 0, 0xFFFFFFu);
    EXPECT_EQ(taker.GetPixel(0, 0), 0xFFFFFFu);
  }
}

}  // namespace
