// Targa codec and TTgaGraphic: round trips in every depth, hand-made types and refused files.
#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "GbmTestUtil.h"
#include "formats/QvGbm.h"
#include "formats/QvTgaGr.h"
#include "gbm/gbm.h"

using namespace quorvane;

using namespace qvtest;

namespace {

Bytes TgaHeader(int type, int depth, int w, int h, int descriptor = 0, int cmType = 0, int cmFirst = 0,
                int cmLength = 0, int cmBits = 0, int idLength = 0) {
  Bytes b;
  Append(b, {idLength, cmType, type});
  Put16(b, static_cast<unsigned>(cmFirst));
  Put16(b, static_cast<unsigned>(cmLength));
  Append(b, {cmBits});
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, static_cast<unsigned>(w));
  Put16(b, static_cast<unsigned>(h));
  Append(b, {depth, descriptor});
  return b;
}

void ReadTga(const Bytes& bytes, TDibGraphic& image) {
  TMemoryStream s(bytes);
  GbmReadImage(s, image, "File.tga");
}

GBM_ERR HeaderRc(const Bytes& bytes) { return GbmHeaderRc(bytes, "f.tga", 2); }

// Writes through the library with options.
Bytes WriteTga(const TDibGraphic& image, const char* options, GBM_ERR* rc = nullptr) {
  return GbmWritten(image, "f.tga", 2, options, rc);
}

}  // namespace

TEST(Tga, RoundTripThroughImageClass) {
  for (TImageFormat format : {TImageFormat::Gray256, TImageFormat::Color256, TImageFormat::TrueColor})
    for (int w : {1, 3, 17}) {
      TTgaGraphic image;
      MakeImage(image, format, w, 4, static_cast<unsigned>(w));
      TMemoryStream s;
      image.SaveToStream(s);
      s.SetPosition(0);
      TTgaGraphic back;
      back.LoadFromStream(s);
      EXPECT_TRUE(SameIndices(image, back)) << ImageFormatName(format) << " " << w;
      EXPECT_EQ(s.Data()[2], format == TImageFormat::TrueColor ? 2 : 1);
    }
}

TEST(Tga, GrayImageIsWrittenColourMapped) {
  TTgaGraphic image;
  image.NewImage(2, 2, TImageFormat::Gray256, nullptr, 0, 0);
  TMemoryStream s;
  image.SaveToStream(s);
  const Bytes& b = s.Data();
  EXPECT_EQ(b[1], 1);
  EXPECT_EQ(b[2], 1);
  EXPECT_EQ(Get16(b, 5), 256);
  EXPECT_EQ(b[7], 24);
  EXPECT_EQ(b[18 + 3 * 200], 200);  // entry 200 of the gray map: blue, green, red all 200
  EXPECT_EQ(b.size(), 18u + 768 + 4);
}

TEST(Tga, OptionsChooseDepthAndRowOrder) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 5, 3);
  image.SetPixel(0, 0, 0xFFFFFF);
  for (auto [opt, depth] : {std::pair{"", 24}, {"24", 24}, {"16", 16}, {"32", 32}, {"32,ydown", 32}, {"16 yup", 16}}) {
    const Bytes b = WriteTga(image, opt);
    ASSERT_EQ(b[16], depth) << opt;
    EXPECT_EQ(b[17], std::string(opt).find("ydown") != std::string::npos ? 0x20 : 0) << opt;
    TDibGraphic back;
    ReadTga(b, back);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const TColorValue expected = depth == 16 ? image.GetPixel(x, y) & 0xF8F8F8 : image.GetPixel(x, y);
        ASSERT_EQ(back.GetPixel(x, y), expected) << opt << " " << x << "," << y;
      }
  }
  // White as a 16-bit word is 0x7FFF; the top row is last in a bottom-up file.
  const Bytes b16 = WriteTga(image, "16");
  EXPECT_EQ(Get16(b16, 18 + 2 * 5 * 2), 0x7FFF);
  const Bytes b32 = WriteTga(image, "32");
  EXPECT_EQ(b32[18 + 3], 0xFF);  // fourth byte written opaque
  GBM_ERR rc;
  for (const char* bad : {"16 24", "16,32", "yup ydown"}) {
    WriteTga(image, bad, &rc);
    EXPECT_EQ(rc, GBM_ERR_BAD_OPTION) << bad;
  }
  TDibGraphic gray;
  MakeImage(gray, TImageFormat::Color256, 2, 2);
  WriteTga(gray, "24", &rc);
  EXPECT_EQ(rc, GBM_ERR_BAD_OPTION);
}

TEST(Tga, SavingOtherFormatsIsRefusedBeforeWriting) {
  for (TImageFormat format : {TImageFormat::BlackWhite, TImageFormat::Gray16, TImageFormat::Color16}) {
    TTgaGraphic image;
    MakeImage(image, format, 3, 3);
    TMemoryStream s;
    EXPECT_EQ(MessageOf<ETgaError>([&] { image.SaveToStream(s); }),
              "TARGA image must be true color or 8 bit with palette");
    EXPECT_EQ(s.Size(), 0);
  }
}

TEST(Tga, RefusedSaveOverAnExistingFileKeepsIt) {
  const TScratchFolder folder;
  const std::string file = folder / "old.tga";
  TTgaGraphic old;
  MakeImage(old, TImageFormat::TrueColor, 3, 2);
  old.SaveToFile(file);
  const Bytes before = FileBytes(file);
  TTgaGraphic image;
  MakeImage(image, TImageFormat::BlackWhite, 3, 3);
  EXPECT_EQ(MessageOf<ETgaError>([&] { image.SaveToFile(file); }),
            "TARGA image must be true color or 8 bit with palette");
  EXPECT_EQ(FileBytes(file), before);
  EXPECT_EQ(folder.List().size(), 1u);
}

TEST(Tga, GrayFileReadsWithGrayRamp) {
  Bytes b = TgaHeader(3, 8, 2, 1);
  Append(b, {7, 200});
  TDibGraphic image;
  ReadTga(b, image);
  EXPECT_EQ(image.ImageFormat(), TImageFormat::Color256);
  EXPECT_EQ(image.PaletteRecord().Count, 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(image.PaletteRecord().Entries[i].Value(), PackColor(i, i, i));
  EXPECT_EQ(image.GetPixelIndex(1, 0), 200);
}

TEST(Tga, ColourMapStartingAtEntry16) {
  Bytes b = TgaHeader(1, 8, 1, 1, 0, 1, 16, 32, 24, 3);
  Append(b, {0xAA, 0xBB, 0xCC});  // identification field
  for (int i = 0; i < 32; ++i) Append(b, {i, 100, 200});
  Append(b, {20});
  TDibGraphic image;
  ReadTga(b, image);
  const TDibPalette& p = image.PaletteRecord();
  for (int i : {0, 15, 48, 255}) EXPECT_EQ(p.Entries[i].Value(), 0u) << i;
  EXPECT_EQ(p.Entries[16].Value(), PackColor(0, 100, 200));
  EXPECT_EQ(p.Entries[47].Value(), PackColor(31, 100, 200));
  EXPECT_EQ(image.GetPixelIndex(0, 0), 20);
}

TEST(Tga, ColourMapBeyondEntry255IsSkipped) {
  // 40 entries from index 240: the 24 past 255 are not stored, and the pixels after them are found.
  Bytes b = TgaHeader(1, 8, 2, 1, 0, 1, 240, 40, 24);
  for (int i = 0; i < 40; ++i) Append(b, {i, i, i});
  Append(b, {255, 240});
  TDibGraphic image;
  ReadTga(b, image);
  EXPECT_EQ(image.PaletteRecord().Entries[255].Value(), PackColor(15, 15, 15));
  EXPECT_EQ(image.GetPixelIndex(0, 0), 255);
  EXPECT_EQ(image.GetPixelIndex(1, 0), 240);
  TDibGraphic far;
  Bytes c = TgaHeader(9, 8, 1, 1, 0, 1, 300, 2, 24);
  Append(c, {0, 0, 0, 0, 0, 0, 0x80, 5});
  ReadTga(c, far);
  EXPECT_EQ(far.PaletteRecord().Entries[0].Value(), 0u);
  EXPECT_EQ(far.GetPixelIndex(0, 0), 5);
}

TEST(Tga, RefusedTypesAndDepths) {
  EXPECT_EQ(HeaderRc(TgaHeader(2, 15, 1, 1)), GBM_ERR_TGA_BAD_BPP);
  EXPECT_EQ(HeaderRc(TgaHeader(3, 16, 1, 1)), GBM_ERR_TGA_BAD_BPP);
  EXPECT_EQ(HeaderRc(TgaHeader(1, 16, 1, 1, 0, 1, 0, 1, 24)), GBM_ERR_TGA_BAD_BPP);
  EXPECT_EQ(HeaderRc(TgaHeader(1, 8, 1, 1, 0, 1, 0, 1, 16)), GBM_ERR_TGA_BAD_PAL);
  EXPECT_EQ(HeaderRc(TgaHeader(0, 8, 1, 1)), GBM_ERR_TGA_BAD_TYPE);
  EXPECT_EQ(HeaderRc(TgaHeader(32, 8, 1, 1)), GBM_ERR_TGA_BAD_TYPE);
  EXPECT_EQ(HeaderRc(TgaHeader(2, 24, 0, 1)), GBM_ERR_BAD_SIZE);
  EXPECT_EQ(HeaderRc(TgaHeader(2, 24, 1, 0)), GBM_ERR_BAD_SIZE);
  const Bytes full = TgaHeader(2, 24, 1, 1);
  EXPECT_EQ(HeaderRc(Bytes(full.begin(), full.begin() + 17)), GBM_ERR_READ);
  EXPECT_EQ(HeaderRc(Bytes()), GBM_ERR_READ);
  TDibGraphic image;
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(TgaHeader(0, 8, 1, 1), image); }), "gbm_read_header failed.");
}

TEST(Tga, RowOrderFollowsDescriptor) {
  for (int descriptor : {0x00, 0x20, 0x30}) {
    Bytes b = TgaHeader(3, 8, 1, 2, descriptor);
    Append(b, {1, 2});
    TDibGraphic image;
    ReadTga(b, image);
    const int top = (descriptor & 0x20) ? 1 : 2;
    EXPECT_EQ(image.GetPixelIndex(0, 0), top) << descriptor;
  }
}

TEST(Tga, SixteenAndThirtyTwoBitPixels) {
  Bytes b = TgaHeader(2, 16, 3, 1);
  Put16(b, 0x7FFF);
  Put16(b, 0x001F);
  Put16(b, 0xFC00);  // bit 15 ignored
  TDibGraphic image;
  ReadTga(b, image);
  EXPECT_EQ(image.GetPixel(0, 0), PackColor(248, 248, 248));
  EXPECT_EQ(image.GetPixel(1, 0), PackColor(248, 0, 0));
  EXPECT_EQ(image.GetPixel(2, 0), PackColor(0, 0, 248));
  Bytes c = TgaHeader(2, 32, 2, 1);
  Append(c, {1, 2, 3, 4, 5, 6, 7, 8});
  ReadTga(c, image);
  EXPECT_EQ(image.GetPixel(0, 0), PackColor(1, 2, 3));
  EXPECT_EQ(image.GetPixel(1, 0), PackColor(5, 6, 7));
}

TEST(Tga, RunLengthPacketsContinueAcrossRows) {
  // 3x2 gray, bottom-up: run 0x83 (4 x 9) then raw 0x01 (5, 6).
  Bytes b = TgaHeader(11, 8, 3, 2);
  Append(b, {0x83, 9, 0x01, 5, 6});
  TDibGraphic image;
  ReadTga(b, image);
  EXPECT_EQ(image.GetPixelIndex(0, 1), 9);
  EXPECT_EQ(image.GetPixelIndex(2, 1), 9);
  EXPECT_EQ(image.GetPixelIndex(0, 0), 9);
  EXPECT_EQ(image.GetPixelIndex(1, 0), 5);
  EXPECT_EQ(image.GetPixelIndex(2, 0), 6);

  for (int depth : {16, 24, 32}) {
    Bytes t = TgaHeader(10, depth, 2, 2, 0x20);
    const Bytes px16 = {0x1F, 0x00}, px24 = {10, 20, 30}, px32 = {10, 20, 30, 99};
    const Bytes& px = depth == 16 ? px16 : depth == 24 ? px24 : px32;
    t.push_back(0x81);
    t.insert(t.end(), px.begin(), px.end());
    t.push_back(0x01);
    for (int i = 0; i < 2; ++i) t.insert(t.end(), px.begin(), px.end());
    ReadTga(t, image);
    const TColorValue expected = depth == 16 ? PackColor(248, 0, 0) : PackColor(10, 20, 30);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) EXPECT_EQ(image.GetPixel(x, y), expected) << depth;
  }
}

TEST(Tga, CutRunLengthData) {
  Bytes b = TgaHeader(10, 24, 2, 2);
  Append(b, {0x81, 1, 2, 3, 0x01, 4});  // raw packet cut after one byte
  TDibGraphic image;
  ReadTga(b, image);  // the packet header was there: the missing bytes read as 255
  EXPECT_EQ(image.GetPixel(0, 1), PackColor(1, 2, 3));
  EXPECT_EQ(image.GetPixel(0, 0), PackColor(4, 255, 255));
  EXPECT_EQ(image.GetPixel(1, 0), 0xFFFFFFu);
  Bytes c = TgaHeader(10, 24, 2, 2);
  Append(c, {0x81, 1, 2, 3});  // ends before the next packet header
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(c, image); }), "gbm_read_data failed.");
  Bytes d = TgaHeader(2, 24, 2, 2);
  Append(d, {1, 2, 3, 4, 5, 6});  // uncompressed, one row short
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(d, image); }), "gbm_read_data failed.");
}

TEST(Tga, RunPastLastPixelIsIgnored) {
  Bytes b = TgaHeader(11, 8, 2, 2);
  Append(b, {0xFF, 7, 0x7F});  // 128 pixels of 7 for a 4-pixel picture, then a cut raw packet
  TDibGraphic image;
  ReadTga(b, image);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(image.GetPixelIndex(x, y), 7);
  ReadTga(FileBytes(RegressionFile("tga-rle-run-past-end-of-image.tga")), image);
  EXPECT_EQ(image.GetPixel(0, 0), PackColor(0x11, 0x22, 0x33));
  ReadTga(FileBytes(RegressionFile("tga-colour-map-beyond-entry-255.tga")), image);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(FileBytes(RegressionFile("tga-truncated-header.tga")), image); }),
            "gbm_read_header failed.");
}

TEST(Tga, StreamPositionOtherThanZero) {
  TTgaGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 4, 3);
  TMemoryStream s;
  s.WriteBuffer("prefix", 6);
  image.SaveToStream(s);
  s.SetPosition(6);
  TTgaGraphic back;
  back.LoadFromStream(s);
  EXPECT_TRUE(SamePicture(image, back));
}

// Every type and depth, at odd widths, in both row orders, behind an identification field and
// (for the colour-mapped types) a full colour map: the picture holds exactly the file's pixels,
// and a file one byte short is refused when uncompressed and reads with a warning when run-length
// coded. Raw packets of up to 128 pixels run on from row to row.
TEST(Tga, EveryTypeDepthAndWidthReadsItsOwnPixels) {
  for (int type : {1, 2, 3, 9, 10, 11})
    for (int depth : {8, 16, 24, 32})
      for (int w : {1, 2, 3, 5, 17, 130})
        for (int descriptor : {0x00, 0x20}) {
          SCOPED_TRACE(testing::Message()
                       << "type " << type << ", depth " << depth << ", width " << w << ", descriptor " << descriptor);
          constexpr int h = 3, idLength = 3;
          const bool mapped = type == 1 || type == 9;
          const bool supported = (type == 2 || type == 10) ? depth != 8 : depth == 8;
          const int bytes = depth / 8;
          const auto value = [&](int i, int k) { return static_cast<uint8_t>((i * 31 + k * 7 + 1) % 251); };
          Bytes b =
              TgaHeader(type, depth, w, h, descriptor, mapped ? 1 : 0, 0, mapped ? 256 : 0, mapped ? 24 : 0, idLength);
          Append(b, {'i', 'd', '!'});
          if (mapped)
            for (int i = 0; i < 256; ++i) Append(b, {i, 255 - i, i / 2});
          for (int first = 0; first < w * h; first += 128) {
            const int n = std::min(128, w * h - first);
            if (type >= 9) b.push_back(static_cast<uint8_t>(n - 1));
            for (int i = first; i < first + n; ++i)
              for (int k = 0; k < bytes; ++k) b.push_back(value(i, k));
          }
          TDibGraphic image;
          if (!supported) {
            EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(b, image); }), "gbm_read_header failed.");
            continue;
          }
          ReadTga(b, image);
          ASSERT_EQ(image.Width(), w);
          ASSERT_EQ(image.Height(), h);
          EXPECT_TRUE(image.Warnings().empty());
          for (int fileRow = 0; fileRow < h; ++fileRow)
            for (int x = 0; x < w; ++x) {
              const int i = fileRow * w + x;
              const int y = descriptor & 0x20 ? fileRow : h - 1 - fileRow;
              if (depth == 8) {
                ASSERT_EQ(image.GetPixelIndex(x, y), value(i, 0)) << x << "," << y;
              } else if (depth == 16) {
                const unsigned word = value(i, 0) | value(i, 1) << 8;
                ASSERT_EQ(image.GetPixel(x, y), PackColor(static_cast<uint8_t>((word & 0x1F) << 3),
                                                          static_cast<uint8_t>((word >> 5 & 0x1F) << 3),
                                                          static_cast<uint8_t>((word >> 10 & 0x1F) << 3)))
                    << x << "," << y;
              } else {
                ASSERT_EQ(image.GetPixel(x, y), PackColor(value(i, 0), value(i, 1), value(i, 2))) << x << "," << y;
              }
            }
          b.pop_back();
          if (type >= 9) {
            ReadTga(b, image);
            EXPECT_EQ(image.Warnings().size(), 1u);
          } else {
            EXPECT_EQ(MessageOf<EGbmError>([&] { ReadTga(b, image); }), "gbm_read_data failed.");
          }
        }
}
