// TIFF pages: round trips of every format and compression the class allows, multi-page files,
// streams positioned away from the start, failing streams, and files made directly with libtiff
// for the read rules and the refusals.
#include <tiffio.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "FormatTestUtil.h"
#include "TiffTestUtil.h"
#include "formats/QvTifGr.h"
#include "model/QvExcept.h"
#include "support/FailingStream.h"

using namespace qvtest;
using TC = TTiffCompression;
using TF = TImageFormat;

namespace {

std::unique_ptr<TTiffGraphic> Load(const Bytes& bytes, int index = 1) {
  auto image = std::make_unique<TTiffGraphic>();
  TMemoryStream stream(bytes);
  image->LoadImageFromStream(stream, index);
  return image;
}

Bytes Save(TTiffGraphic& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Data();
}

// Every pixel within Tolerance per channel.
::testing::AssertionResult ClosePicture(const TDibGraphic& a, const TDibGraphic& b, int tolerance) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return ::testing::AssertionFailure() << "size";
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TColorValue p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) > tolerance)
          return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") " << std::hex << p << " vs " << q;
    }
  return ::testing::AssertionSuccess();
}

// A smooth picture, which JPEG keeps within a few levels.
void FillSmooth(TDibGraphic& image) {
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      image.SetPixel(x, y, PackColor(static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), 128));
}

// A page with known pixels: gray and black-and-white pages carry their standard ramps (they are
// written by index), colour pages the test palette.
void MakePage(TDibGraphic& image, TF format, int w, int h, unsigned seed = 1) {
  if (format == TF::BlackWhite || format == TF::Gray16 || format == TF::Gray256) {
    image.NewImage(w, h, format, nullptr, 0, 0);
    FillPattern(image, seed);
  } else {
    MakeImage(image, format, w, h, seed);
  }
}

}  // namespace

TEST(Tiff, CompressionNamesDefaultsAndRefusals) {
  const char* names[] = {"None", "Packbits", "CCITT Group 3, 1D", "CCITT Group 3, 2D", "CCITT Group 4", "ZLib", "JPEG"};
  for (int c = 0; c < kTiffCompressionCount; ++c) EXPECT_EQ(TiffCompressionName(static_cast<TC>(c)), names[c]);

  TTiffGraphic image;
  EXPECT_EQ(image.Compression(), TC::tcNone);
  for (int f = 0; f < kImageFormatCount; ++f) {
    MakeImage(image, static_cast<TF>(f), 3, 2);
    EXPECT_EQ(image.Compression(), f == 0 ? TC::tcGroup4 : TC::tcPackbits);
    EXPECT_EQ(DefaultSaveCompression(static_cast<TF>(f)), f == 0 ? TC::tcGroup4 : f == 5 ? TC::tcJpeg : TC::tcPackbits);
  }
  MakeImage(image, TF::TrueColor, 3, 2);
  EXPECT_EQ(MessageOf<EQuorvaneError>([&] { image.SetCompression(TC::tcGroup4); }),
            "CCITT Group 4 compression not supported with True color images");
  EXPECT_EQ(image.Compression(), TC::tcPackbits);
  MakeImage(image, TF::Color256, 3, 2);
  EXPECT_EQ(MessageOf<EQuorvaneError>([&] { image.SetCompression(TC::tcJpeg); }),
            "JPEG compression not supported with 256 color images");
  EXPECT_EQ(MessageOf<EQuorvaneError>([&] { image.SetCompression(TC::tcGroup3_2D); }),
            "CCITT Group 3, 2D compression not supported with 256 color images");
}

TEST(Tiff, EveryAllowedPairRoundTrips) {
  for (int f = 0; f < kImageFormatCount; ++f)
    for (int c = 0; c < kTiffCompressionCount; ++c) {
      const auto format = static_cast<TF>(f);
      const auto compression = static_cast<TC>(c);
      if (!TiffCompressionAllowed(compression, format)) continue;
      SCOPED_TRACE(ImageFormatName(format) + " / " + TiffCompressionName(compression));
      TTiffGraphic image;
      // Odd width: the last byte of a row holds padding bits in the 1 and 4-bit formats.
      MakePage(image, format, 37, 21, 5);
      if (compression == TC::tcJpeg) FillSmooth(image);
      image.SetXDpi(300);
      image.SetYDpi(150);
      image.SetCompression(compression);
      auto back = Load(Save(image));
      EXPECT_EQ(back->ImageFormat(), format);
      EXPECT_EQ(back->Compression(), compression);
      EXPECT_EQ(back->XDpi(), 300);
      EXPECT_EQ(back->YDpi(), 150);
      if (compression == TC::tcJpeg)
        EXPECT_TRUE(ClosePicture(image, *back, 8));
      else
        EXPECT_TRUE(SameIndices(image, *back));
    }
}

TEST(Tiff, WrittenFieldsAsPeersSeeThem) {
  struct Case {
    TF Format;
    TC Compression;
    uint16_t Photometric, Bits, Samples, TagValue;
    uint32_t RowsPerStrip;
  };
  const Case cases[] = {
      {TF::BlackWhite, TC::tcGroup4, PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX4, 256},
      {TF::BlackWhite, TC::tcNone, PHOTOMETRIC_MINISBLACK, 1, 1, COMPRESSION_NONE, 16},
      {TF::Gray16, TC::tcZLib, PHOTOMETRIC_MINISBLACK, 4, 1, COMPRESSION_DEFLATE, 16},
      {TF::Color16, TC::tcPackbits, PHOTOMETRIC_PALETTE, 4, 1, COMPRESSION_PACKBITS, 16},
      {TF::Color256, TC::tcNone, PHOTOMETRIC_PALETTE, 8, 1, COMPRESSION_NONE, 16},
      {TF::TrueColor, TC::tcJpeg, PHOTOMETRIC_RGB, 8, 3, COMPRESSION_JPEG, 8},
  };
  for (const Case& c : cases) {
    TTiffGraphic image;
    MakeImage(image, c.Format, 9, 4, 3);
    image.SetCompression(c.Compression);
    const Bytes bytes = Save(image);
    const TScratchFolder folder;
    const std::string path = folder / "fields.tif";
    TMemoryStream(bytes).SaveToFile(path);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint16_t photometric = 0, bits = 0, samples = 0, compression = 0;
    uint32_t rows = 0;
    char* software = nullptr;
    char* dateTime = nullptr;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    TIFFGetField(tif, TIFFTAG_SOFTWARE, &software);
    TIFFGetField(tif, TIFFTAG_DATETIME, &dateTime);
    EXPECT_EQ(photometric, c.Photometric);
    EXPECT_EQ(bits, c.Bits);
    EXPECT_EQ(samples, c.Samples);
    EXPECT_EQ(compression, c.TagValue);
    EXPECT_EQ(rows, c.RowsPerStrip);
    EXPECT_STREQ(software, "Quorvane Image Library");
    ASSERT_NE(dateTime, nullptr);
    EXPECT_EQ(std::string(dateTime).size(), 19u);
    if (c.Photometric == PHOTOMETRIC_PALETTE) {
      uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
      TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b);
      const TPaletteEntry e = image.PaletteRecord().Entries[1];
      EXPECT_EQ(r[1], e.Red * 257);
      EXPECT_EQ(g[1], e.Green * 257);
      EXPECT_EQ(b[1], e.Blue * 257);
    }
    if (c.Compression == TC::tcGroup4) {
      // Min-is-white rows: the image's black index 0 is stored as 1 bits.
      std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
      TIFFReadScanline(tif, row.data(), 0, 0);
      EXPECT_EQ(row[0], static_cast<uint8_t>(~image.ScanLine(0)[0]));
    }
    TIFFClose(tif);
  }
}

TEST(Tiff, DateTimeText) {
  std::tm t{};
  t.tm_year = 101;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  EXPECT_EQ(TiffDateTime(t), "2001:03:05 14:07:09");
}

TEST(Tiff, PagesAppendInOrderAndIndexSelectsThem) {
  TMemoryStream stream;
  TTiffGraphic pages[3];
  const TF formats[] = {TF::BlackWhite, TF::Color256, TF::TrueColor};
  for (int i = 0; i < 3; ++i) {
    MakePage(pages[i], formats[i], 10 + i, 7, static_cast<unsigned>(i + 1));
    pages[i].AppendToStream(stream);  // the first call meets an empty stream
  }
  stream.SetPosition(0);
  TTiffGraphic reader;
  EXPECT_EQ(reader.GetImageCount(stream), 3);
  for (int index : {2, 3, 1, 5, 0}) {
    SCOPED_TRACE(index);
    auto page = Load(stream.Data(), index);
    const int expected = index >= 1 && index <= 3 ? index - 1 : 0;
    EXPECT_TRUE(SameIndices(pages[expected], *page));
  }
  TTiffGraphic all;
  all.SetMultiImage(true);
  stream.SetPosition(0);
  all.LoadFromStream(stream);
  ASSERT_EQ(all.FrameCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameIndices(pages[i], all.GetFrame(i + 1)));

  // An empty stream gets exactly what SaveToStream writes (the time stamp aside).
  TMemoryStream appended;
  pages[1].AppendToStream(appended);
  EXPECT_EQ(appended.Size(), static_cast<int64_t>(Save(pages[1]).size()));
}

TEST(Tiff, StreamPositionedAwayFromStart) {
  TTiffGraphic image;
  MakeImage(image, TF::Color16, 13, 6, 8);
  for (bool bytesAfter : {false, true}) {
    SCOPED_TRACE(bytesAfter);
    TMemoryStream stream(Bytes(bytesAfter ? 300 : 100, 0xA5));
    stream.SetPosition(100);
    image.SaveToStream(stream);
    const Bytes& data = stream.Data();
    EXPECT_TRUE(std::all_of(data.begin(), data.begin() + 100, [](uint8_t b) { return b == 0xA5; }));
    // The TIFF counts its offsets from its own first byte.
    const Bytes own(data.begin() + 100, data.end());
    EXPECT_TRUE(SameIndices(image, *Load(own)));
    // And reads in place from the position.
    TTiffGraphic back;
    stream.SetPosition(100);
    EXPECT_EQ(back.GetImageCount(stream), 1);
    stream.SetPosition(100);
    back.LoadImageFromStream(stream, 1);
    EXPECT_TRUE(SameIndices(image, back));
  }
}

namespace {}  // namespace

TEST(Tiff, StreamFailureInsideLibraryRaisesTheStreamsError) {
  TTiffGraphic image;
  MakeImage(image, TF::TrueColor, 40, 40, 2);
  image.SetCompression(TC::tcNone);
  for (size_t budget : {size_t{0}, size_t{8}, size_t{2000}}) {
    TFailingStream out({}, budget);
    EXPECT_EQ(MessageOf<EWriteError>([&] { image.SaveToStream(out); }), kWriteGone) << budget;
  }
  const Bytes good = Save(image);
  for (size_t budget : {size_t{0}, size_t{8}, size_t{300}}) {
    TFailingStream in(good, budget);
    TTiffGraphic back;
    EXPECT_EQ(MessageOf<EReadError>([&] { back.LoadImageFromStream(in, 1); }), kReadGone) << budget;
  }
}

TEST(Tiff, RefusedFiles) {
  const auto gray = [](int compression) {
    return MakeTiff([=](TIFF* tif) {
      SetBasicFields(tif, 8, 2, 8, 1, PHOTOMETRIC_MINISBLACK, compression);
      WriteRows(tif, 2, 8, [](uint32_t, uint8_t* r) { std::fill_n(r, 8, 7); });
    });
  };
  EXPECT_EQ(MessageOf<EQuorvaneError>([&] { Load(gray(COMPRESSION_LZW)); }), "LZW compression not supported");
  EXPECT_EQ(Load(gray(COMPRESSION_ADOBE_DEFLATE))->Compression(), TC::tcZLib);
  EXPECT_EQ(MessageOf<ETiffError>([&] { Load(gray(COMPRESSION_ZSTD)); }), "Unsupported compression tag, 50000");
  EXPECT_EQ(Load(gray(COMPRESSION_DEFLATE))->Compression(), TC::tcZLib);

  const Bytes noBits = MakeTiff([](TIFF* tif) {
    SetBasicFields(tif, 8, 2, 0, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    WriteRows(tif, 2, 1, [](uint32_t, uint8_t* r) { r[0] = 0x0F; });
  });
  EXPECT_EQ(MessageOf<ETiffError>([&] { Load(noBits); }), "ETiffError TIFFGetField: Tag = 258");

  const Bytes twoBit = MakeTiff([](TIFF* tif) {
    SetBasicFields(tif, 8, 2, 2, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    WriteRows(tif, 2, 2, [](uint32_t, uint8_t* r) { r[0] = r[1] = 0x1B; });
  });
  EXPECT_EQ(MessageOf<ETiffError>([&] { Load(twoBit); }), "ETiffError Unsupported bit count: 2");

  const Bytes jpegPalette = MakeTiff([](TIFF* tif) {
    SetBasicFields(tif, 16, 16, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_JPEG);
    WriteRows(tif, 16, 16, [](uint32_t y, uint8_t* r) { std::fill_n(r, 16, y * 8); });
  });
  // A gray JPEG page is fine; the message for a forbidden pair comes from SetCompression.
  EXPECT_EQ(Load(jpegPalette)->ImageFormat(), TF::Gray256);

  EXPECT_EQ(MessageOf<ETiffError>([&] {
              Load(Bytes{'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
            }),
            "ETiffError TIFFOpen");
}

TEST(Tiff, HugeDeclaredPageIsRefusedBeforeAllocating) {
  const Bytes huge = MakeTiff([](TIFF* tif) {
    SetBasicFields(tif, 1u << 20, 1u << 20, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS);
    // One strip of a few bytes, written raw: nothing is sized from the declared page.
    uint8_t strip[16] = {};
    TIFFWriteRawStrip(tif, 0, strip, sizeof strip);
  });
  ASSERT_LT(huge.size(), 200000u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MessageOf<EQuorvaneError>([&] { Load(huge); }), "CreateDibSection failed");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

namespace {

// A page written by libtiff and what reading it must give.
struct TReadCase {
  const char* Name;
  std::function<void(TIFF*)> Fill;
  TF Format;
  std::function<TColorValue(int x, int y)> Expected;  // colour at each pixel
};

constexpr TColorValue kBlack = 0, kWhite = 0xFFFFFF;

// 8 x 4 one-bit rows: the left half of each row set, the right half clear.
void FillHalfBits(TIFF* tif) {
  WriteRows(tif, 4, 1, [](uint32_t, uint8_t* r) { r[0] = 0xF0; });
}

void SetTiles(TIFF* tif, uint32_t w, uint32_t h, int bits, int photometric, int compression) {
  SetBasicFields(tif, w, h, bits, 1, photometric, compression);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
}

// One 16 x 16 tile of one-bit pixels, the left half set.
void WriteHalfTile(TIFF* tif) {
  std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)), 0);
  for (size_t row = 0; row < 16; ++row) tile[row * 2] = 0xFF;
  TIFFWriteEncodedTile(tif, 0, tile.data(), static_cast<tmsize_t>(tile.size()));
}

}  // namespace

TEST(Tiff, ReadRulesOfPagesMadeByLibtiff) {
  const auto halfSetIs = [](TColorValue set, TColorValue clear) {
    return [=](int x, int) { return x < 4 ? set : clear; };
  };
  const auto tileHalfSetIs = [](TColorValue set, TColorValue clear) {
    return [=](int x, int) { return x < 8 ? set : clear; };
  };
  const std::vector<TReadCase> cases = {
      {"min-is-black",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kWhite, kBlack)},
      {"min-is-white",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kBlack, kWhite)},
      {"no photometric reads as min-is-white",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, -1, COMPRESSION_PACKBITS);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kBlack, kWhite)},
      {"G4 min-is-black keeps its label",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX4);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kWhite, kBlack)},
      {"G3 without BitsPerSample",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 0, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3);
         TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kBlack, kWhite)},
      {"G3 without Group3Options reads as one-dimensional",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3);
         FillHalfBits(t);
         TIFFUnsetField(t, TIFFTAG_GROUP3OPTIONS);
       },
       TF::BlackWhite, halfSetIs(kBlack, kWhite)},
      {"no PlanarConfiguration",
       [](TIFF* t) {
         TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8);
         TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
         TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
         TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
         FillHalfBits(t);
       },
       TF::BlackWhite, halfSetIs(kWhite, kBlack)},
      {"one-bit palette",
       [](TIFF* t) {
         SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_PALETTE, COMPRESSION_NONE);
         uint16_t r[2] = {0xFFFF, 0}, g[2] = {0, 0}, b[2] = {0, 0xFFFF};
         TIFFSetField(t, TIFFTAG_COLORMAP, r, g, b);
         FillHalfBits(t);
       },
       TF::Color16, halfSetIs(0x0000FF, 0xFF0000)},
      {"tiled min-is-white is inverted once",
       [](TIFF* t) {
         SetTiles(t, 16, 16, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE);
         WriteHalfTile(t);
       },
       TF::BlackWhite, tileHalfSetIs(kBlack, kWhite)},
      {"tiled G4",
       [](TIFF* t) {
         SetTiles(t, 16, 16, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
         WriteHalfTile(t);
       },
       TF::BlackWhite, tileHalfSetIs(kBlack, kWhite)},
      {"RGBA strips",
       [](TIFF* t) {
         SetBasicFields(t, 3, 2, 8, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE);
         uint16_t extra = EXTRASAMPLE_UNASSALPHA;
         TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
         WriteRows(t, 2, 12, [](uint32_t y, uint8_t* r) {
           for (int x = 0; x < 3; ++x)
             std::copy_n(std::array<uint8_t, 4>{10, uint8_t(20 * x), uint8_t(y), 0}.data(), 4, r + 4 * x);
         });
       },
       TF::TrueColor, [](int x, int y) { return PackColor(uint8_t(y), uint8_t(20 * x), 10); }},
      {"five samples: the first three are the colour",
       [](TIFF* t) {
         SetBasicFields(t, 3, 2, 8, 5, PHOTOMETRIC_RGB, COMPRESSION_NONE);
         uint16_t extra[2] = {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNSPECIFIED};
         TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 2, extra);
         WriteRows(t, 2, 15, [](uint32_t y, uint8_t* r) {
           for (int x = 0; x < 3; ++x)
             std::copy_n(std::array<uint8_t, 5>{1, 2, uint8_t(y), 99, 99}.data(), 5, r + 5 * x);
         });
       },
       TF::TrueColor, [](int, int y) { return PackColor(uint8_t(y), 2, 1); }},
      {"16-bit RGB through the RGBA conversion",
       [](TIFF* t) {
         SetBasicFields(t, 2, 2, 16, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE);
         WriteRows(t, 2, 12, [](uint32_t, uint8_t* r) {
           const uint16_t v[6] = {0xFFFF, 0x8000, 0, 0, 0x1234, 0xFFFF};
           std::memcpy(r, v, 12);
         });
       },
       TF::TrueColor, [](int x, int) { return x == 0 ? PackColor(0, 0x80, 0xFF) : PackColor(0xFF, 0x12, 0); }},
      {"two four-bit samples: the first is the gray level, the alpha is skipped",
       [](TIFF* t) {
         SetBasicFields(t, 8, 2, 4, 2, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
         uint16_t extra = EXTRASAMPLE_UNASSALPHA;
         TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
         WriteRows(t, 2, 8, [](uint32_t, uint8_t* r) { std::fill_n(r, 8, 0xF0); });
       },
       TF::Gray16, [](int, int) { return kWhite; }},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto image = Load(MakeTiff(c.Fill));
    ASSERT_EQ(image->ImageFormat(), c.Format);
    for (int y = 0; y < image->Height(); ++y)
      for (int x = 0; x < image->Width(); ++x) ASSERT_EQ(image->GetPixel(x, y), c.Expected(x, y)) << x << "," << y;
  }
}

TEST(Tiff, ResolutionUnits) {
  struct Case {
    int Unit;  // 0: no resolution fields
    float X, Y;
    int Dpi;
  };
  for (const Case& c :
       {Case{RESUNIT_INCH, 299.5f, 299.5f, 300}, Case{RESUNIT_CENTIMETER, 118.11f, 118.11f, 300}, Case{0, 0, 0, 96}}) {
    auto image = Load(MakeTiff([&](TIFF* t) {
      SetBasicFields(t, 8, 4, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
      if (c.Unit) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, c.Unit);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, c.X);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, c.Y);
      }
      FillHalfBits(t);
    }));
    EXPECT_EQ(image->XDpi(), c.Dpi) << c.Unit;
    EXPECT_EQ(image->YDpi(), c.Dpi) << c.Unit;
  }
}

namespace {

// libtiff's RGBA conversion of a file, rows from the top.
std::vector<uint32_t> RgbaConversion(const Bytes& file, uint32_t w, uint32_t h) {
  const TScratchFolder folder;
  const std::string path = folder / "rgba.tif";
  TMemoryStream(file).SaveToFile(path);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
  EXPECT_TRUE(TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1));
  TIFFClose(tif);
  return raster;
}

const std::string kLayoutWarning = "The TIFF image's sample layout is not supported (";

}  // namespace

// Pixels of sub-byte samples were counted in whole bytes (2 bits x 14 samples = 3.5 bytes read as
// 4), and the colour path read past the strip: by 2 bytes in the small files, by 200 KB in a row
// 400000 pixels wide, which crashed the converter.
TEST(Tiff, PixelsOfPartBytesNeverReadPastTheStoredRow) {
  const Bytes wide = MakeTiff([](TIFF* t) {
    SetBasicFields(t, 400000, 1, 2, 14, PHOTOMETRIC_RGB, COMPRESSION_NONE);
    std::vector<uint16_t> extra(11, EXTRASAMPLE_UNSPECIFIED);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 11, extra.data());
    WriteRows(t, 1, 1400000, [](uint32_t, uint8_t* r) { std::fill_n(r, 1400000, 0x5A); });
  });
  const std::pair<std::string, Bytes> files[] = {
      {"2 bits x 14", FileBytes(RegressionFile("tif-rgb-2-bit-14-samples.tif"))},
      {"1 bit x 28", FileBytes(RegressionFile("tif-rgb-1-bit-28-samples.tif"))},
      {"400000 pixels wide", wide},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    auto image = Load(bytes);
    EXPECT_EQ(image->ImageFormat(), TF::TrueColor);
    ASSERT_EQ(image->Warnings().size(), 1u);
    EXPECT_EQ(image->Warnings()[0].rfind(kLayoutWarning, 0), 0u) << image->Warnings()[0];
    for (int x = 0; x < image->Width(); x += 997) EXPECT_EQ(image->GetPixel(x, 0), kBlack);
  }
  EXPECT_EQ(Load(files[2].second)->Width(), 400000);

  auto fax = Load(FileBytes(RegressionFile("tif-g3-without-group3options.tif")));
  EXPECT_EQ(fax->Compression(), TC::tcGroup3_1D);
  EXPECT_TRUE(fax->Warnings().empty());
}

// The RGBA conversion's refusals are about the layout, not the data; damaged data says so.
TEST(Tiff, WarningSaysWhetherTheLayoutOrTheDataIsAtFault) {
  const auto page = [](int bits, int samples, int photometric, int format, int compression) {
    return MakeTiff([=](TIFF* t) {
      SetBasicFields(t, 4, 2, bits, samples, photometric, compression);
      TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, format);
      const size_t row = static_cast<size_t>(TIFFScanlineSize(t));
      WriteRows(t, 2, row, [=](uint32_t, uint8_t* r) { std::fill_n(r, row, 0x40); });
    });
  };
  struct Case {
    const char* Name;
    Bytes File;
    std::string Warning;
  };
  Bytes damaged = page(16, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, COMPRESSION_DEFLATE);
  std::fill_n(damaged.begin() + 8, 6, 0xFF);  // the strip's deflate header
  const Case cases[] = {
      {"12-bit gray", page(12, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, COMPRESSION_NONE),
       kLayoutWarning + "can not handle images with 12-bit samples): the pixels are left blank."},
      {"32-bit float gray", page(32, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP, COMPRESSION_NONE),
       kLayoutWarning + "can not handle images with 32-bit samples): the pixels are left blank."},
      {"16-bit CMYK", page(16, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, COMPRESSION_NONE),
       kLayoutWarning + "4 samples of 16 bits per pixel, photometric interpretation 5): the pixels are left blank."},
      {"damaged 16-bit RGB", damaged,
       "The TIFF image data is damaged or ends early: the pixels that could not be read are left blank."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto image = Load(c.File);
    EXPECT_EQ(image->Width(), 4);
    ASSERT_EQ(image->Warnings().size(), 1u);
    EXPECT_EQ(image->Warnings()[0], c.Warning);
  }
}

// A page reads the same in strips, in tiles and as JPEG strips: libtiff's RGBA conversion (which
// tiles and most JPEG pages go through) flips a page to top-left order, and every other path gives
// the same flips. It never transposes: orientations 5 to 8 take the flips of 1 to 4.
TEST(Tiff, EveryStorageOfAnOrientedPageReadsTheSame) {
  constexpr uint32_t w = 32, h = 24;
  const auto stored = [](uint32_t x, uint32_t y) {
    return std::array<uint8_t, 3>{uint8_t(x * 7), uint8_t(y * 9), uint8_t(x * y)};
  };
  const auto write = [&](uint16_t orientation, bool tiled, int compression) {
    return MakeTiff([=](TIFF* t) {
      SetBasicFields(t, w, h, 8, 3, PHOTOMETRIC_RGB, compression);
      TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
      if (!tiled) {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
        WriteRows(t, h, w * 3, [&](uint32_t y, uint8_t* r) {
          for (uint32_t x = 0; x < w; ++x) std::copy_n(stored(x, y).data(), 3, r + 3 * x);
        });
        return;
      }
      TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
      TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
      std::vector<uint8_t> tile(16 * 16 * 3);
      for (uint32_t ty = 0; ty < h; ty += 16)
        for (uint32_t tx = 0; tx < w; tx += 16) {
          for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x < 16; ++x)
              std::copy_n(stored(tx + x, std::min(ty + y, h - 1)).data(), 3, &tile[(y * 16 + x) * 3]);
          TIFFWriteTile(t, tile.data(), tx, ty, 0, 0);
        }
    });
  };
  for (uint16_t orientation = ORIENTATION_TOPLEFT; orientation <= ORIENTATION_LEFTBOT; ++orientation) {
    SCOPED_TRACE(orientation);
    auto strips = Load(write(orientation, false, COMPRESSION_NONE));
    auto tiles = Load(write(orientation, true, COMPRESSION_NONE));
    EXPECT_TRUE(SamePicture(*strips, *tiles));
    const int turn = (orientation - 1) % 4;  // 0 none, 1 mirrored, 2 both, 3 upside down
    const uint32_t sx = turn == 1 || turn == 2 ? w - 1 : 0, sy = turn >= 2 ? h - 1 : 0;
    const auto corner = stored(sx, sy);
    EXPECT_EQ(strips->GetPixel(0, 0), PackColor(corner[2], corner[1], corner[0]));
    const Bytes jpeg = write(orientation, false, COMPRESSION_JPEG);
    auto ours = Load(jpeg);
    const std::vector<uint32_t> theirs = RgbaConversion(jpeg, w, h);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        const uint32_t v = theirs[y * w + x];
        ASSERT_EQ(ours->GetPixel(int(x), int(y)),
                  PackColor(uint8_t(TIFFGetB(v)), uint8_t(TIFFGetG(v)), uint8_t(TIFFGetR(v))))
            << x << "," << y;
      }
  }
}
