// PCX codec and TPcxGraphic: round trips, hand-made variants and refused files.
#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "GbmTestUtil.h"
#include "formats/QvGbm.h"
#include "formats/QvPcxGr.h"
#include "gbm/gbm.h"

using namespace quorvane;

using namespace qvtest;

namespace {

// A 128-byte PCX header.
Bytes PcxHeader(int bppl, int planes, int w, int h, int bpl, int version = 5) {
  Bytes b(128, 0);
  b[0] = 10;
  b[1] = static_cast<uint8_t>(version);
  b[2] = 1;
  b[3] = static_cast<uint8_t>(bppl);
  b[8] = static_cast<uint8_t>(w - 1);
  b[9] = static_cast<uint8_t>((w - 1) >> 8);
  b[10] = static_cast<uint8_t>(h - 1);
  b[11] = static_cast<uint8_t>((h - 1) >> 8);
  b[65] = static_cast<uint8_t>(planes);
  b[66] = static_cast<uint8_t>(bpl);
  b[67] = static_cast<uint8_t>(bpl >> 8);
  return b;
}

void AppendGrayTrailer(Bytes& b) {
  b.push_back(12);
  for (int i = 0; i < 256; ++i) Append(b, {i, i, i});
}

void ReadPcx(const Bytes& bytes, TDibGraphic& image) {
  TMemoryStream s(bytes);
  image.LoadImageFromStream(s, 1);
}

Bytes WritePcx(TPcxGraphic& image) {
  TMemoryStream s;
  image.SaveToStream(s);
  return s.Data();
}

}  // namespace

TEST(Pcx, RoundTripEveryFormatAndOddWidths) {
  const TImageFormat formats[] = {TImageFormat::BlackWhite, TImageFormat::Gray16,   TImageFormat::Gray256,
                                  TImageFormat::Color16,    TImageFormat::Color256, TImageFormat::TrueColor};
  for (TImageFormat format : formats)
    for (int w : {1, 2, 7, 8, 9, 33, 130}) {
      TPcxGraphic image;
      MakeImage(image, format, w, 5, static_cast<unsigned>(w));
      if (format == TImageFormat::BlackWhite) {
        // 1-bit files carry no palette: use the reader's black and white.
        image.NewImage(w, 5, format, nullptr, 0, 0);
        FillPattern(image, static_cast<unsigned>(w));
      }
      image.SetXDpi(300);
      image.SetYDpi(150);
      const Bytes bytes = WritePcx(image);
      TPcxGraphic back;
      ReadPcx(bytes, back);
      SCOPED_TRACE(ImageFormatName(format) + " width " + std::to_string(w));
      EXPECT_EQ(back.BitCount(), image.BitCount());
      EXPECT_EQ(back.PaletteRecord().Count, format == TImageFormat::TrueColor ? 0 : 1 << back.BitCount());
      EXPECT_TRUE(SameIndices(image, back));
      EXPECT_EQ(back.XDpi(), 300);
      EXPECT_EQ(back.YDpi(), 150);
    }
}

TEST(Pcx, HeaderFieldsAndLineLengths) {
  TPcxGraphic image;
  image.NewImage(1, 1, TImageFormat::BlackWhite, nullptr, 0, 0);
  Bytes b = WritePcx(image);
  EXPECT_EQ(Get16(b, 66), 2);  // 1 pixel of 1 bit: padded to an even length
  EXPECT_EQ(b[1], 5);
  EXPECT_EQ(b[65], 1);
  EXPECT_EQ(Get16(b, 68), 1);
  image.NewImage(3, 2, TImageFormat::TrueColor, nullptr, 72, 96);
  b = WritePcx(image);
  EXPECT_EQ(Get16(b, 66), 4);
  EXPECT_EQ(b[3], 8);
  EXPECT_EQ(b[65], 3);
  EXPECT_EQ(Get16(b, 8), 2);
  EXPECT_EQ(Get16(b, 10), 1);
  EXPECT_EQ(Get16(b, 12), 72);
  EXPECT_EQ(Get16(b, 14), 96);
  // The padding byte of each 24-bit plane line is written as 0: 3 pixels then one pad.
  EXPECT_EQ(Bytes(b.begin() + 128, b.begin() + 130), (Bytes{0xC4, 0x00}));
}

TEST(Pcx, SaveLeavesStreamAfterResolutionFields) {
  TPcxGraphic image;
  MakeImage(image, TImageFormat::Color256, 4, 4);
  TMemoryStream s;
  s.WriteBuffer("xyz", 3);
  image.SaveToStream(s);
  EXPECT_EQ(s.Position(), 3 + 16);
  // Read back from the non-zero position: the reader works on a copy of its own.
  s.SetPosition(3);
  TPcxGraphic back;
  back.LoadImageFromStream(s, 1);
  EXPECT_TRUE(SameIndices(image, back));
}

TEST(Pcx, SingleBrightByteAndLongRunsAreEncoded) {
  TPcxGraphic image;
  TDibPalette pal = TestPalette(256);
  image.NewImage(70, 1, TImageFormat::Color256, &pal, 0, 0);
  uint8_t* row = image.ScanLine(0);
  row[0] = 0xC5;
  for (int x = 1; x < 70; ++x) row[x] = 7;
  const Bytes b = WritePcx(image);
  EXPECT_EQ(Bytes(b.begin() + 128, b.begin() + 134), (Bytes{0xC1, 0xC5, 0xFF, 7, 0xC6, 7}));
  EXPECT_EQ(b.size(), 128u + 6 + 769);
  EXPECT_EQ(b[b.size() - 769], 12);
}

TEST(Pcx, OneBitWithWhiteThenBlackPaletteIsInverted) {
  TPcxGraphic image;
  TDibPalette pal{};
  pal.Count = 2;
  pal.Entries[0] = EntryOf(0xFFFFFF);
  pal.Entries[1] = EntryOf(0x000000);
  image.NewImage(16, 2, TImageFormat::BlackWhite, &pal, 0, 0);
  image.ScanLine(0)[0] = 0xF0;  // first four pixels black (index 1)
  const Bytes b = WritePcx(image);
  // In the file a set bit is the brighter colour: 0x0F then 0xFF.
  EXPECT_EQ(Bytes(b.begin() + 128, b.begin() + 131), (Bytes{0x0F, 0xC1, 0xFF}));
  TPcxGraphic back;
  ReadPcx(b, back);
  EXPECT_EQ(back.PaletteRecord().Entries[0].Value(), 0u);
  EXPECT_EQ(back.PaletteRecord().Entries[1].Value(), 0xFFFFFFu);
  EXPECT_TRUE(SamePicture(image, back));
}

TEST(Pcx, FourPlaneFileCombinesPlanesIntoIndices) {
  // 10 pixels; plane k carries bit k of the index, and pixel x has index x.
  Bytes b = PcxHeader(1, 4, 10, 1, 2);
  for (int i = 0; i < 16; ++i) {
    b[16 + 3 * i] = static_cast<uint8_t>(i * 16);
    b[17 + 3 * i] = static_cast<uint8_t>(i);
    b[18 + 3 * i] = static_cast<uint8_t>(255 - i);
  }
  for (int plane = 0; plane < 4; ++plane) {
    unsigned bits = 0x003F;  // set bits past the width must be ignored
    for (int x = 0; x < 10; ++x)
      if (x & (1 << plane)) bits |= 0x8000u >> x;
    for (unsigned byte : {bits >> 8, bits & 0xFF}) {
      if (byte >= 0xC0) b.push_back(0xC1);
      b.push_back(static_cast<uint8_t>(byte));
    }
  }
  TPcxGraphic image;
  ReadPcx(b, image);
  ASSERT_EQ(image.ImageFormat(), TImageFormat::Color16);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(image.GetPixelIndex(x, 0), x) << x;
  EXPECT_EQ(image.ScanLine(0)[5], 0);  // nibbles past the width stay clear
  EXPECT_EQ(image.PaletteRecord().Entries[3].Red, 48);
  EXPECT_EQ(image.PaletteRecord().Entries[3].Green, 3);
  EXPECT_EQ(image.PaletteRecord().Entries[3].Blue, 252);
}

TEST(Pcx, VersionsEncodingAndCombinations) {
  auto headerRc = [](const Bytes& b) { return GbmHeaderRc(b, "f.pcx", 1); };
  for (int v : {0, 2, 3, 5}) EXPECT_EQ(headerRc(PcxHeader(8, 1, 4, 4, 4, v)), GBM_ERR_OK) << v;
  for (int v : {4, 6, 255}) EXPECT_EQ(headerRc(PcxHeader(8, 1, 4, 4, 4, v)), GBM_ERR_PCX_BAD_VERSION) << v;
  Bytes enc = PcxHeader(8, 1, 4, 4, 4);
  enc[2] = 0;
  EXPECT_EQ(headerRc(enc), GBM_ERR_PCX_BAD_ENCMODE);
  Bytes magic = PcxHeader(8, 1, 4, 4, 4);
  magic[0] = 11;
  EXPECT_EQ(headerRc(magic), GBM_ERR_BAD_MAGIC);
  for (auto [bppl, planes] : {std::pair{2, 1}, {8, 4}, {4, 4}, {1, 3}, {24, 1}, {8, 0}})
    EXPECT_EQ(headerRc(PcxHeader(bppl, planes, 4, 4, 4)), GBM_ERR_PCX_BAD_BITS) << bppl << "/" << planes;
  Bytes inverted = PcxHeader(8, 1, 4, 4, 4);
  inverted[4] = 9;  // xmin above xmax
  EXPECT_EQ(headerRc(inverted), GBM_ERR_BAD_SIZE);
}

TEST(Pcx, RunsCarryAcrossLinesUnlessTruncated) {
  // 4x2 8-bit: one run of 6 bytes of 9, then literals 1 and 2.
  Bytes b = PcxHeader(8, 1, 4, 2, 4);
  Append(b, {0xC6, 9, 1, 2});
  AppendGrayTrailer(b);
  TMemoryStream s(b);
  TDibGraphic image;
  GbmReadImage(s, image, "File.pcx");
  EXPECT_EQ(image.GetPixelIndex(0, 1), 9);
  EXPECT_EQ(image.GetPixelIndex(1, 1), 9);
  EXPECT_EQ(image.GetPixelIndex(2, 1), 1);
  EXPECT_EQ(image.GetPixelIndex(3, 1), 2);
  s.SetPosition(0);
  GbmReadImage(s, image, "File.pcx", "trunc");
  // The run ends with the first line; the second line starts with 1, 2 and the data then ends.
  EXPECT_EQ(image.GetPixelIndex(0, 1), 1);
  EXPECT_EQ(image.GetPixelIndex(1, 1), 2);
}

TEST(Pcx, ShortPixelDataBecomes255) {
  TPcxGraphic image;
  MakeImage(image, TImageFormat::BlackWhite, 40, 10);
  Bytes b = WritePcx(image);
  b.resize(128 + 3);
  TPcxGraphic back;
  ReadPcx(b, back);
  EXPECT_EQ(back.GetPixelIndex(39, 9), 1);
  EXPECT_EQ(back.GetPixel(39, 9), 0xFFFFFFu);
  EXPECT_EQ(back.GetPixelIndex(20, 5), 1);

  Bytes rgb = PcxHeader(8, 3, 2, 2, 2);
  Append(rgb, {10, 20});  // red plane of the first row only
  TDibGraphic img;
  TMemoryStream s(rgb);
  GbmReadImage(s, img, "File.pcx");
  EXPECT_EQ(img.GetPixel(0, 0), PackColor(255, 255, 10));
  EXPECT_EQ(img.GetPixel(1, 1), 0xFFFFFFu);
}

// Once the data has ended, the rest of the picture is filled in one go; it must equal what
// decoding bytes of 255 gives (runs of 255), also when the file ends inside a run or a plane line.
TEST(Pcx, PaddingAfterTheEndEqualsDecodingBytesOf255) {
  // (8-bit files keep their palette after the pixels, so they cannot be cut short and read.)
  for (TImageFormat format : {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::TrueColor}) {
    TPcxGraphic image;
    MakeImage(image, format, 23, 9, 5);
    const Bytes whole = WritePcx(image);
    const size_t data = whole.size() - 128;
    for (size_t cut : {size_t{128}, size_t{129}, 128 + data / 3, 128 + data / 2, whole.size() - 1}) {
      SCOPED_TRACE(ImageFormatName(format) + " cut at " + std::to_string(cut));
      Bytes shortened(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
      Bytes padded = shortened;
      padded.insert(padded.end(), 3 * 23 * 9 * 2, 0xFF);
      TDibGraphic fromShort, fromPadded;
      TMemoryStream a(shortened), b(padded);
      GbmReadImage(a, fromShort, "File.pcx");
      GbmReadImage(b, fromPadded, "File.pcx");
      EXPECT_TRUE(SameIndices(fromShort, fromPadded));
      EXPECT_FALSE(fromShort.Warnings().empty());
    }
  }
}

TEST(Pcx, MissingTrailerIsRefused) {
  Bytes b = PcxHeader(8, 1, 2, 2, 2);
  Append(b, {1, 2, 3, 4});
  AppendGrayTrailer(b);
  b[b.size() - 769] = 11;
  TPcxGraphic image;
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(b, image); }), "gbm_read_header failed.");
  TMemoryStream s(b);
  gbm_header h{};
  gbm_rgb pal[256];
  ASSERT_EQ(gbm_read_header("f.pcx", TGbmStream(s).Handle(), 1, &h, ""), GBM_ERR_OK);
  EXPECT_EQ(gbm_read_palette(TGbmStream(s).Handle(), 1, &h, pal), GBM_ERR_PCX_BAD_TRAILER);
  // A file shorter than a trailer has none.
  Bytes tiny = PcxHeader(8, 1, 2, 2, 2);
  TMemoryStream t(tiny);
  gbm_header h2{};
  ASSERT_EQ(gbm_read_header("f.pcx", TGbmStream(t).Handle(), 1, &h2, ""), GBM_ERR_OK);
  EXPECT_EQ(gbm_read_palette(TGbmStream(t).Handle(), 1, &h2, pal), GBM_ERR_PCX_BAD_TRAILER);
}

TEST(Pcx, ShortHeaderIsRefused) {
  const Bytes b = PcxHeader(8, 1, 2, 2, 2);
  TPcxGraphic image;
  for (size_t n : {0, 10, 14, 69})
    EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(Bytes(b.begin(), b.begin() + n), image); }), "gbm_read_header failed.")
        << n;
}

TEST(Pcx, LineLengthLargerThanRowIsClipped) {
  // 2 pixels of 8 bits, but 10 bytes per line: the extra bytes are read and dropped.
  Bytes b = PcxHeader(8, 1, 2, 2, 10);
  Append(b, {1, 2, 0xCA - 2, 99});  // row 0: 1, 2, then 8 bytes of 99
  Append(b, {3, 4, 0xC8, 99});
  AppendGrayTrailer(b);
  TPcxGraphic image;
  ReadPcx(b, image);
  EXPECT_EQ(image.GetPixelIndex(0, 0), 1);
  EXPECT_EQ(image.GetPixelIndex(1, 0), 2);
  EXPECT_EQ(image.GetPixelIndex(0, 1), 3);
  EXPECT_EQ(image.GetPixelIndex(1, 1), 4);
}

TEST(Pcx, LineLengthSmallerThanRowNeedsIsRefused) {
  TPcxGraphic image;
  for (auto [bppl, planes, w, bpl] :
       {std::tuple{8, 1, 10, 9}, {1, 1, 17, 2}, {1, 4, 17, 2}, {8, 3, 5, 4}, {4, 1, 5, 2}, {8, 1, 1, 0}}) {
    Bytes b = PcxHeader(bppl, planes, w, 2, bpl);
    b.resize(2000, 0);
    EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(b, image); }), "gbm_read_header failed.") << bppl << "/" << w;
  }
}

TEST(Pcx, RegressionFiles) {
  TPcxGraphic image;
  ReadPcx(FileBytes(RegressionFile("pcx-bpl-larger-than-row.pcx")), image);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(FileBytes(RegressionFile("pcx-bpl-smaller-than-row.pcx")), image); }),
            "gbm_read_header failed.");
  // A run longer than the whole picture stops at the buffer's end.
  ReadPcx(FileBytes(RegressionFile("pcx-run-past-end-of-image.pcx")), image);
  EXPECT_EQ(image.GetPixelIndex(image.Width() - 1, 0), 0x2A);
  EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(FileBytes(RegressionFile("pcx-truncated-header.pcx")), image); }),
            "gbm_read_header failed.");
}

// Every plane layout, at widths around byte and row boundaries, with plane lines as long as the
// row needs, one byte shorter and longer: lines too short are refused, the others give exactly
// the pixels their first bytes carry (the reader never takes row bytes from the padding or from
// the next line, and never stores past the row).
TEST(Pcx, EveryPlaneLayoutAndLineLengthReadsItsOwnBytes) {
  const struct {
    int Bppl, Planes;
  } layouts[] = {{1, 1}, {1, 4}, {4, 1}, {8, 1}, {8, 3}, {2, 1}, {1, 3}, {4, 4}, {8, 4}};
  constexpr int h = 3;
  for (const auto& layout : layouts)
    for (int w : {1, 2, 3, 7, 8, 9, 17, 33})
      for (int extra : {-1, 0, 1, 6}) {
        SCOPED_TRACE(testing::Message() << layout.Bppl << " bits x " << layout.Planes << " planes, width " << w
                                        << ", line length needed " << extra);
        const bool supported = (layout.Bppl == 1 && (layout.Planes == 1 || layout.Planes == 4)) ||
                               (layout.Bppl == 4 && layout.Planes == 1) ||
                               (layout.Bppl == 8 && (layout.Planes == 1 || layout.Planes == 3));
        const int needed = layout.Planes == 1 ? (layout.Bppl * w + 7) / 8 : layout.Planes == 4 ? (w + 7) / 8 : w;
        const int bpl = needed + extra;
        // Literal bytes only (below 0xC0), so line byte i of plane p in row y is Line(y, p, i).
        const auto line = [](int y, int p, int i) { return static_cast<uint8_t>((i * 29 + y * 7 + p * 13) % 0xC0); };
        Bytes b = PcxHeader(layout.Bppl, layout.Planes, w, h, bpl);
        for (int y = 0; y < h; ++y)
          for (int p = 0; p < layout.Planes; ++p)
            for (int i = 0; i < bpl; ++i) b.push_back(line(y, p, i));
        if (layout.Bppl == 8 && layout.Planes == 1) AppendGrayTrailer(b);
        TPcxGraphic image;
        if (!supported || extra < 0) {
          EXPECT_EQ(MessageOf<EGbmError>([&] { ReadPcx(b, image); }), "gbm_read_header failed.");
          continue;
        }
        ReadPcx(b, image);
        ASSERT_EQ(image.Width(), w);
        ASSERT_EQ(image.Height(), h);
        EXPECT_TRUE(image.Warnings().empty());
        const auto bit = [&](int y, int p, int x) { return line(y, p, x / 8) >> (7 - x % 8) & 1; };
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            if (layout.Planes == 3) {
              ASSERT_EQ(image.GetPixel(x, y), PackColor(line(y, 2, x), line(y, 1, x), line(y, 0, x))) << x << "," << y;
              continue;
            }
            int index = 0;
            if (layout.Planes == 4)
              for (int p = 0; p < 4; ++p) index |= bit(y, p, x) << p;
            else if (layout.Bppl == 1)
              index = bit(y, 0, x);
            else if (layout.Bppl == 4)
              index = x % 2 ? line(y, 0, x / 2) & 0x0F : line(y, 0, x / 2) >> 4;
            else
              index = line(y, 0, x);
            ASSERT_EQ(image.GetPixelIndex(x, y), index) << x << "," << y;
          }
      }
}

namespace {

// The run-length rules written plainly, as references for the codec: a whole stream of plane
// lines decoded one byte at a time (bytes past the end read as 255), and one line encoded.
// Ended tells whether the lines needed more bytes than Codes holds.
Bytes ReferenceDecode(const Bytes& codes, size_t lineCount, int lineLength, bool trunc, bool& ended) {
  Bytes out;
  size_t at = 0;
  ended = false;
  auto next = [&]() -> int {
    if (at < codes.size()) return codes[at++];
    ended = true;
    return 0xFF;
  };
  int carry = 0, carryValue = 0;
  for (size_t line = 0; line < lineCount; ++line) {
    int i = 0;
    for (; i < lineLength && carry > 0; ++i, --carry) out.push_back(static_cast<uint8_t>(carryValue));
    while (i < lineLength) {
      const int b = next();
      if ((b & 0xC0) != 0xC0) {
        out.push_back(static_cast<uint8_t>(b));
        ++i;
        continue;
      }
      const int v = next();
      int count = b & 0x3F;
      for (; count > 0 && i < lineLength; --count, ++i) out.push_back(static_cast<uint8_t>(v));
      carry = count;
      carryValue = v;
    }
    if (trunc) carry = 0;
  }
  return out;
}

Bytes ReferenceEncode(const Bytes& line) {
  Bytes out;
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (run < 63 && i + run < line.size() && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
  return out;
}

// Pixel bytes of every kind the coder meets: noise (literal and escaped single bytes), runs
// shorter and longer than 63, and zeros up to the end of a line.
uint8_t MixedByte(uint32_t& state, size_t i) {
  state = state * 1664525u + 1013904223u;
  switch (i / 97 % 4) {
    case 0: return static_cast<uint8_t>(state >> 24);
    case 1: return 0xD0;
    case 2: return (i / 3) % 2 ? 0 : 0x41;
    default: return i % 101 > 90 ? 0 : static_cast<uint8_t>(state >> 30);
  }
}

}  // namespace

// Long streams of codes (a run header at the end of the reader's 16 KB buffer, its value in the
// next fill, runs carried across lines and planes, zero-length runs, data ending early) decode as
// the rules decode them one byte at a time, with and without "trunc", for one and three planes.
TEST(Pcx, LongCodeStreamsDecodeAsByteByByteRules) {
  for (int planes : {1, 3})
    for (bool trunc : {false, true})
      for (bool cut : {false, true}) {
        SCOPED_TRACE(testing::Message() << planes << " planes" << (trunc ? ", trunc" : "") << (cut ? ", cut" : ""));
        const int w = 331, h = 97, bpl = w + 1;
        uint32_t state = 99;
        Bytes codes;
        while (codes.size() < size_t{2} * h * planes * bpl) {
          state = state * 1664525u + 1013904223u;
          const uint8_t r = static_cast<uint8_t>(state >> 24);
          if (r < 0x90) {
            codes.push_back(r);
          } else if (r < 0xE0) {
            codes.push_back(static_cast<uint8_t>(0xC0 | (state >> 8) % (r % 16 ? 6 : 64)));
            codes.push_back(static_cast<uint8_t>(state >> 16));
          } else {
            codes.push_back(0xC0);  // a run of nothing
            codes.push_back(1);
          }
          if (codes.size() % 16384 == 16383) codes.push_back(0xC9);  // header ends a buffer fill
        }
        if (cut) codes.resize(codes.size() / 4);
        Bytes file = PcxHeader(8, planes, w, h, bpl);
        file.insert(file.end(), codes.begin(), codes.end());
        if (planes == 1) AppendGrayTrailer(file);
        TMemoryStream s(file);
        TDibGraphic image;
        GbmReadImage(s, image, "File.pcx", trunc ? "trunc" : "");
        bool ended = false;
        // One-plane files end with their palette, which reads as codes once the lines run past the data.
        const Bytes lines =
            ReferenceDecode(Bytes(file.begin() + 128, file.end()), size_t{h} * planes, bpl, trunc, ended);
        EXPECT_EQ(ended, cut);
        EXPECT_EQ(image.Warnings().empty(), !ended);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const size_t line = static_cast<size_t>(y * planes * bpl);
            if (planes == 1) {
              ASSERT_EQ(image.GetPixelIndex(x, y), lines[line + x]) << x << "," << y;
            } else {
              ASSERT_EQ(image.GetPixel(x, y),
                        PackColor(lines[line + 2 * bpl + x], lines[line + bpl + x], lines[line + x]))
                  << x << "," << y;
            }
          }
      }
}

// The writer's lines are those of the rules, also where zeros at the end of a 24-bit row run on
// into the padding byte of odd widths, and a decoded file gives the image back.
TEST(Pcx, WrittenLinesAreTheRulesEncoding) {
  for (TImageFormat format : {TImageFormat::Color256, TImageFormat::TrueColor})
    for (int w : {1, 2, 3, 62, 63, 64, 65, 127, 200}) {
      SCOPED_TRACE(ImageFormatName(format) + ", width " + std::to_string(w));
      const int h = 5, planes = format == TImageFormat::TrueColor ? 3 : 1;
      TPcxGraphic image;
      TDibPalette pal = TestPalette(256);
      image.NewImage(w, h, format, &pal, 0, 0);
      uint32_t state = static_cast<uint32_t>(w);
      for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * planes; ++i) image.ScanLine(y)[i] = MixedByte(state, static_cast<size_t>(i + 7 * y));
      if (w > 2) std::fill_n(image.ScanLine(h - 1) + (w - 2) * planes, 2 * planes, 0);  // zeros up to the end
      const Bytes file = WritePcx(image);
      const int bpl = (w + 1) / 2 * 2;
      Bytes expected;
      for (int y = 0; y < h; ++y)
        for (int p = planes - 1; p >= 0; --p) {
          Bytes line(bpl, 0);
          for (int x = 0; x < w; ++x) line[x] = image.ScanLine(y)[x * planes + p];
          const Bytes coded = ReferenceEncode(line);
          expected.insert(expected.end(), coded.begin(), coded.end());
        }
      ASSERT_GE(file.size(), 128 + expected.size());
      EXPECT_EQ(Bytes(file.begin() + 128, file.begin() + 128 + static_cast<ptrdiff_t>(expected.size())), expected);
      TPcxGraphic back;
      ReadPcx(file, back);
      EXPECT_TRUE(SameIndices(image, back));
    }
}
