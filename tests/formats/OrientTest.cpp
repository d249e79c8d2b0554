// Photos upright: AutoOrient for the eight orientations, the orientation the JPEG and TIFF readers
// report (every TIFF reading path turned exactly once), and EXIF blocks that are damaged or hostile.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "FormatTestUtil.h"
#include "TiffTestUtil.h"
#include "formats/QvExif.h"
#include "formats/QvJpgGr.h"
#include "formats/QvOrient.h"
#include "formats/QvTifGr.h"

using namespace quorvane;
using namespace qvtest;

namespace {

constexpr int kW = 5, kH = 3;  // the upright picture; no symmetry hides a wrong turn

uint32_t UprightColor(int x, int y) { return PackColor(uint8_t(x * 50), uint8_t(y * 100), uint8_t(7 + x + 10 * y)); }

// Where stored pixel (sx, sy) of a picture with Orientation lies in the upright kW x kH picture.
std::array<int, 2> UprightPosition(uint16_t orientation, int sx, int sy) {
  switch (orientation) {
    case 2: return {kW - 1 - sx, sy};
    case 3: return {kW - 1 - sx, kH - 1 - sy};
    case 4: return {sx, kH - 1 - sy};
    case 5: return {sy, sx};
    case 6: return {kW - 1 - sy, sx};
    case 7: return {kW - 1 - sy, kH - 1 - sx};
    case 8: return {sy, kH - 1 - sx};
    default: return {sx, sy};
  }
}

bool Transposed(uint16_t orientation) { return orientation >= 5; }

// The pixels a camera stores for the upright picture with Orientation.
void MakeStored(TDibGraphic& image, uint16_t orientation) {
  const int w = Transposed(orientation) ? kH : kW, h = Transposed(orientation) ? kW : kH;
  image.NewImage(w, h, TImageFormat::TrueColor, nullptr, 100, 200);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto [ux, uy] = UprightPosition(orientation, x, y);
      image.SetPixel(x, y, UprightColor(ux, uy));
    }
}

::testing::AssertionResult IsUpright(const TDibGraphic& image) {
  if (image.Width() != kW || image.Height() != kH)
    return ::testing::AssertionFailure() << "size " << image.Width() << "x" << image.Height();
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (image.GetPixel(x, y) != UprightColor(x, y)) return ::testing::AssertionFailure() << "pixel " << x << "," << y;
  return ::testing::AssertionSuccess();
}

// A little-endian EXIF block (TIFF header and one directory) with the given entries, each
// (tag, type, count, value or offset); Extra follows the directory (values that need more than
// four bytes point into it).
struct TEntry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};
Bytes ExifBlock(const std::vector<TEntry>& entries, const Bytes& extra = {}) {
  Bytes b{'I', 'I', 42, 0};
  Put32(b, 8);
  Put16(b, static_cast<unsigned>(entries.size()));
  for (const TEntry& e : entries) {
    Put16(b, e.Tag);
    Put16(b, e.Type);
    Put32(b, e.Count);
    Put32(b, e.Value);
  }
  Put32(b, 0);
  b.insert(b.end(), extra.begin(), extra.end());
  return b;
}
// Where Extra starts in a block of N entries.
uint32_t ExtraOffset(size_t n) { return static_cast<uint32_t>(8 + 2 + 12 * n + 4); }

Bytes OrientationBlock(uint16_t orientation) { return ExifBlock({{0x0112, 3, 1, orientation}}); }

// The JPEG with an APP1 segment holding Payload inserted right after its start-of-image marker.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const size_t length = payload.size() + 2;
  Append(out, {0xFF, 0xE1, int(length >> 8), int(length & 0xFF)});
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}
Bytes ExifPayload(const Bytes& block) {
  Bytes payload{'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), block.begin(), block.end());
  return payload;
}

template <class Graphic>
std::unique_ptr<Graphic> Read(const Bytes& bytes) {
  auto image = std::make_unique<Graphic>();
  ReadFromBytes(bytes, *image);
  return image;
}

}  // namespace

TEST(Orient, EveryOrientationTurnsUprightOnce) {
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    TTiffGraphic image;
    MakeStored(image, orientation);
    image.SetCompression(TTiffCompression::tcZLib);
    image.Metadata().Orientation = orientation;
    EXPECT_EQ(AutoOrient(image), orientation != 1);
    EXPECT_TRUE(IsUpright(image));
    EXPECT_EQ(image.Metadata().Orientation, 1);
    // Resolutions follow the axes; the page keeps its settings.
    EXPECT_EQ(image.XDpi(), Transposed(orientation) ? 200 : 100);
    EXPECT_EQ(image.YDpi(), Transposed(orientation) ? 100 : 200);
    EXPECT_EQ(image.Compression(), TTiffCompression::tcZLib);
    // A second call finds nothing left to do.
    EXPECT_FALSE(AutoOrient(image));
    EXPECT_TRUE(IsUpright(image));
  }
}

TEST(Orient, ValuesOutsideOneToEightLeaveThePixels) {
  for (uint16_t orientation : {0, 9, 0xFFFF}) {
    TDibGraphic image;
    MakeStored(image, 1);
    image.Metadata().Orientation = orientation;
    EXPECT_FALSE(AutoOrient(image));
    EXPECT_TRUE(IsUpright(image));
    EXPECT_EQ(image.Metadata().Orientation, 1);
  }
}

// Every reading path of the TIFF reader takes libtiff's RGBA-conversion flips (2 to 4 come out
// upright); AutoOrient does the rest, so each page is turned exactly once: strips, tiles (through
// the conversion) and palette pages read by index.
TEST(Orient, TiffPagesOfEveryPathTurnExactlyOnce) {
  const auto write = [](uint16_t orientation, bool tiled) {
    TDibGraphic stored;
    MakeStored(stored, orientation);
    const auto w = static_cast<uint32_t>(stored.Width()), h = static_cast<uint32_t>(stored.Height());
    return MakeTiff([&](TIFF* t) {
      SetBasicFields(t, w, h, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
      const auto rgb = [&](uint32_t x, uint32_t y, uint8_t* p) {
        const uint32_t c = stored.GetPixel(int(std::min(x, w - 1)), int(std::min(y, h - 1)));
        p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
      };
      if (!tiled) {
        WriteRows(t, h, w * 3, [&](uint32_t y, uint8_t* r) {
          for (uint32_t x = 0; x < w; ++x) rgb(x, y, r + 3 * x);
        });
        return;
      }
      TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
      TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
      std::vector<uint8_t> tile(16 * 16 * 3);
      for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) rgb(x, y, &tile[(y * 16 + x) * 3]);
      TIFFWriteTile(t, tile.data(), 0, 0, 0, 0);
    });
  };
  for (uint16_t orientation = 1; orientation <= 8; ++orientation)
    for (bool tiled : {false, true}) {
      SCOPED_TRACE(testing::Message() << "orientation " << orientation << (tiled ? ", tiles" : ", strips"));
      auto page = Read<TTiffGraphic>(write(orientation, tiled));
      EXPECT_EQ(page->Metadata().Orientation, OrientationAfterTiffFlips(orientation));
      AutoOrient(*page);
      EXPECT_TRUE(IsUpright(*page));
    }
}

TEST(Orient, TiffPagesOfOneFileTurnEachByItsOwnOrientation) {
  const std::array<uint16_t, 3> orientations{6, 1, 3};
  const Bytes file = MakeTiff([&](TIFF* t) {
    for (uint16_t orientation : orientations) {
      TDibGraphic stored;
      MakeStored(stored, orientation);
      const auto w = static_cast<uint32_t>(stored.Width()), h = static_cast<uint32_t>(stored.Height());
      SetBasicFields(t, w, h, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
      WriteRows(t, h, w * 3, [&](uint32_t y, uint8_t* r) {
        for (uint32_t x = 0; x < w; ++x) {
          const uint32_t c = stored.GetPixel(int(x), int(y));
          r[3 * x] = uint8_t(c >> 16), r[3 * x + 1] = uint8_t(c >> 8), r[3 * x + 2] = uint8_t(c);
        }
      });
      TIFFWriteDirectory(t);
    }
  });
  TTiffGraphic image;
  image.SetMultiImage(true);
  ReadFromBytes(file, image);
  ASSERT_EQ(image.FrameCount(), 3);
  AutoOrientPages(image);
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(IsUpright(image.GetFrame(i)));
  }
  // The image shows its current frame, turned.
  EXPECT_TRUE(IsUpright(image));
}

// The orientation of the EXIF block of a JPEG file; the pixels turned by it are the pixels of the
// same file without the block, turned by hand. A turn is a change: the kept original encoding
// goes, while an upright photo keeps it.
TEST(Orient, JpegExifOrientationTurnsThePixels) {
  TJpegGraphic source;
  MakeStored(source, 6);
  const Bytes plain = SavedBytes(source);
  const auto decoded = Read<TJpegGraphic>(plain);
  ASSERT_NE(decoded->OriginalEncoding(), nullptr);
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    auto image = Read<TJpegGraphic>(WithApp1(plain, ExifPayload(OrientationBlock(orientation))));
    EXPECT_TRUE(image->Metadata().HasExif);
    EXPECT_EQ(image->Metadata().Orientation, orientation);
    EXPECT_TRUE(SamePicture(*image, *decoded));
    EXPECT_NE(image->OriginalEncoding(), nullptr);
    TDibGraphic expected;
    expected.Assign(decoded.get());
    expected.Metadata().Orientation = orientation;
    AutoOrient(expected);
    AutoOrient(*image);
    EXPECT_TRUE(SamePicture(*image, expected));
    EXPECT_EQ(image->OriginalEncoding() != nullptr, orientation == 1);
    // The kept block says what the pixels now are.
    EXPECT_EQ(ReadExifBlock(image->Metadata().Exif).Orientation, 1);
  }
}

TEST(Orient, JpegCameraDataAndTheFirstExifSegment) {
  TJpegGraphic source;
  MakeStored(source, 1);
  const Bytes plain = SavedBytes(source);
  // IFD0: Make "Phone", orientation 8 and the EXIF directory, which holds exposure 1/125 and
  // f/2.8. After IFD0 (3 entries) at 50: the EXIF directory (2 entries, 30 bytes), the make at
  // 80 and the two rationals at 88 and 96.
  const uint32_t exifAt = ExtraOffset(3), makeAt = exifAt + 30;
  Bytes extra;
  Put16(extra, 2);
  for (const TEntry& e : {TEntry{0x829A, 5, 1, makeAt + 8}, TEntry{0x829D, 5, 1, makeAt + 16}})
    Put16(extra, e.Tag), Put16(extra, e.Type), Put32(extra, e.Count), Put32(extra, e.Value);
  Put32(extra, 0);
  for (uint8_t c : std::string("Phone\0\0\0", 8)) extra.push_back(c);
  Put32(extra, 1), Put32(extra, 125), Put32(extra, 28), Put32(extra, 10);
  const Bytes camera = ExifBlock({{0x010F, 2, 6, makeAt}, {0x0112, 3, 1, 8}, {0x8769, 4, 1, exifAt}}, extra);
  // An XMP segment first and a second Exif segment after: the first Exif segment counts.
  const Bytes xmp{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, 'x'};
  const Bytes file = WithApp1(WithApp1(WithApp1(plain, ExifPayload(OrientationBlock(3))), ExifPayload(camera)), xmp);
  auto image = Read<TJpegGraphic>(file);
  const TImageMetadata& metadata = image->Metadata();
  EXPECT_EQ(metadata.Orientation, 8);
  EXPECT_EQ(metadata.Camera.Make, "Phone");
  EXPECT_DOUBLE_EQ(metadata.Camera.ExposureTime, 1.0 / 125);
  EXPECT_DOUBLE_EQ(metadata.Camera.FNumber, 2.8);
  // Reading afresh forgets what the last file said.
  ReadFromBytes(plain, *image);
  EXPECT_FALSE(image->Metadata().HasExif);
  EXPECT_TRUE(image->Metadata().Camera.Empty());
}

// Damaged and hostile blocks: never an exception, orientation 1 unless a proper value is read.
TEST(Orient, DamagedExifBlocksReadAsUpright) {
  Bytes bigEndian{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes looping = OrientationBlock(6);
  looping[looping.size() - 4] = 8;  // the next directory is the first one again
  Bytes oversized = OrientationBlock(6);
  oversized.resize(kMaxKeptExifBytes + 1);
  const struct {
    const char* Name;
    Bytes Block;
    bool Valid;
    uint16_t Orientation;
  } cases[] = {
      {"big-endian block", bigEndian, true, 6},
      {"empty", {}, false, 1},
      {"header only, cut short", {'I', 'I', 42, 0}, false, 1},
      {"not a TIFF header", {'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0}, false, 1},
      {"directory offset past the end", Bytes{'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0}, false, 1},
      {"orientation 0", OrientationBlock(0), true, 1},
      {"orientation 9", OrientationBlock(9), true, 1},
      {"orientation as text", ExifBlock({{0x0112, 2, 2, '6'}}), true, 1},
      {"entry count past the end", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0x12, 0x01}, false, 1},
      {"value offset past the end", ExifBlock({{0x0112, 3, 4, 0x7FFFFFF0}}), true, 1},
      {"directory that links to itself", looping, true, 6},
      {"larger than an APP1 segment holds", oversized, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TExifInfo info = ReadExifBlock(c.Block);
    EXPECT_EQ(info.Orientation, c.Orientation);
    if (c.Valid) {
      EXPECT_TRUE(info.Valid);
    }
    // Rewriting gives a block that says 1, or nothing.
    const Bytes upright = ExifWithOrientation(c.Block, 1);
    if (!upright.empty()) {
      EXPECT_EQ(ReadExifBlock(upright).Orientation, 1);
    }
  }
}

// An Exif segment that fails to read leaves the picture as stored, and a damaged segment does not
// stop the JPEG from being read.
TEST(Orient, JpegWithDamagedExifReadsAsStored) {
  TJpegGraphic source;
  MakeStored(source, 1);
  const Bytes plain = SavedBytes(source);
  const auto decoded = Read<TJpegGraphic>(plain);
  for (const Bytes& payload : {Bytes{'E', 'x', 'i', 'f', 0, 0}, ExifPayload({'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF}),
                               Bytes{'E', 'x', 'i', 'f'}}) {
    auto image = Read<TJpegGraphic>(WithApp1(plain, payload));
    EXPECT_EQ(image->Metadata().Orientation, 1);
    EXPECT_TRUE(SamePicture(*image, *decoded));
  }
}

TEST(Orient, CleanExifText) {
  EXPECT_EQ(CleanExifText(std::string_view("  Canon\0junk", 12)), "Canon");
  EXPECT_EQ(CleanExifText("a\tb\nc"), "a b c");
  EXPECT_EQ(CleanExifText(std::string(500, 'x')).size(), 128u);
  EXPECT_EQ(CleanExifText("   "), "");
}

// A damaged block whose values overlap: writing the orientation in place changed the f-number
// stored where another value points. Such a block is not kept.
TEST(Orient, RegressionBlockIsDroppedRatherThanChanged) {
  const Bytes block = FileBytes(RegressionFile("exif-overlapping-values-change-on-rewrite.exif"));
  const TExifInfo info = ReadExifBlock(block);
  ASSERT_TRUE(info.Valid);
  EXPECT_EQ(info.Orientation, 6);
  EXPECT_TRUE(ExifWithOrientation(block, 1).empty());
}
