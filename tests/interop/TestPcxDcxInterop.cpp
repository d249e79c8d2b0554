// PCX and DCX against ImageMagick, both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "formats/QvDcxGr.h"
#include "formats/QvPcxGr.h"
#include "interop/InteropSupport.h"

using namespace quorvane;

using namespace qvtest;

namespace {

constexpr int kWidth = 61, kHeight = 29;  // odd sizes: padded lines and a partial last byte

void EncodePcxLine(const uint8_t* line, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count;) {
    size_t run = 1;
    while (i + run < count && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
}

int Index16(int x, int y) { return (x / 3 + y * 5 + (x * y) / 7) % 16; }

// A 4-bit PCX in either layout; ImageMagick writes neither.
std::vector<uint8_t> FourBitPcx(int width, int height, bool fourPlanes) {
  const int bitsPerPlane = fourPlanes ? 1 : 4;
  const int planes = fourPlanes ? 4 : 1;
  int bytesPerLine = (bitsPerPlane * width + 7) / 8;
  bytesPerLine += bytesPerLine & 1;
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[1] = 5;
  file[2] = 1;
  file[3] = static_cast<uint8_t>(bitsPerPlane);
  file[8] = static_cast<uint8_t>(width - 1);
  file[9] = static_cast<uint8_t>((width - 1) >> 8);
  file[10] = static_cast<uint8_t>(height - 1);
  file[11] = static_cast<uint8_t>((height - 1) >> 8);
  for (int i = 0; i < 16; ++i) {
    file[16 + 3 * i] = static_cast<uint8_t>(i * 16 + 5);
    file[17 + 3 * i] = static_cast<uint8_t>(255 - i * 13);
    file[18 + 3 * i] = static_cast<uint8_t>((i * 71) & 0xFF);
  }
  file[65] = static_cast<uint8_t>(planes);
  file[66] = static_cast<uint8_t>(bytesPerLine);
  file[68] = 1;
  std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine));
  for (int y = 0; y < height; ++y) {
    for (int plane = 0; plane < planes; ++plane) {
      std::fill(line.begin(), line.end(), 0);
      for (int x = 0; x < width; ++x) {
        const int index = Index16(x, y);
        if (fourPlanes) {
          if ((index >> plane) & 1) line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else {
          line[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
      }
      EncodePcxLine(line.data(), line.size(), file);
    }
  }
  return file;
}

// Every pixel of Ours is white where ImageMagick's is black and black where it is white.
::testing::AssertionResult InvertedBlackWhite(const TRgbPicture& ours, const TRgbPicture& theirs) {
  TRgbPicture inverted = theirs;
  for (uint8_t& c : inverted.Rgb) {
    if (c != 0 && c != 255) return ::testing::AssertionFailure() << "ImageMagick's picture is not black and white";
    c = static_cast<uint8_t>(255 - c);
  }
  return SamePixels(ours, inverted);
}

TEST(PcxInterop, ReadsImageMagickFilesOfEveryDepth) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 7));
  struct TCase {
    const char* Name;
    const char* Options;
    TImageFormat Format;
  };
  // ImageMagick writes 24-bit files as three planes and palette images as one 8-bit plane with the
  // trailer palette.
  for (const TCase& c :
       {TCase{"rgb.pcx", "", TImageFormat::TrueColor}, TCase{"pal200.pcx", "-colors 200", TImageFormat::Color256},
        TCase{"pal7.pcx", "-colors 7", TImageFormat::Color256}}) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(Convert(dir / "in.ppm " + c.Options + " " + dir / c.Name));
    auto ours = ReadThroughRegistry(dir / c.Name);
    EXPECT_EQ(ours->ImageFormat(), c.Format);
    EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / c.Name, kWidth, kHeight)));
  }
}

TEST(PcxInterop, OneBitFilesHaveTheOppositePolarityInImageMagick) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(kWidth, kHeight, 3));
  ASSERT_TRUE(Convert(dir / "in.ppm -dither none -remap pattern:gray50 -depth 1 " + dir / "bw.pcx"));
  const std::vector<uint8_t> file = FileBytes(dir / "bw.pcx");
  ASSERT_EQ(file[3], 1);
  ASSERT_EQ(file[65], 1);
  auto ours = ReadThroughRegistry(dir / "bw.pcx");
  ASSERT_EQ(ours->ImageFormat(), TImageFormat::BlackWhite);
  // A 1-bit PCX reads with index 0 black and index 1 white whatever the header palette says.
  // ImageMagick shows a set bit as black (its writer stores black as 1), so every pixel is the
  // opposite colour there; our reading is the format's rule.
  EXPECT_TRUE(InvertedBlackWhite(OurPixels(*ours), MagickPixels(dir / "bw.pcx", kWidth, kHeight)));

  // Our own 1-bit file, whatever the image's palette order, reaches ImageMagick the same way.
  for (bool whiteFirst : {false, true}) {
    auto image = MakeImage(TImageFormat::BlackWhite, kWidth, kHeight, 5);
    if (whiteFirst) std::swap(image->PaletteRecord().Entries[0], image->PaletteRecord().Entries[1]);
    WriteThroughRegistry(*image, dir / "ours.pcx");
    EXPECT_TRUE(InvertedBlackWhite(OurPixels(*image), MagickPixels(dir / "ours.pcx", kWidth, kHeight)));
    EXPECT_TRUE(SamePixels(OurPixels(*image), OurPixels(*ReadThroughRegistry(dir / "ours.pcx"))));
  }
}

TEST(PcxInterop, ReadsHandBuiltFourBitFilesLikeImageMagick) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (bool fourPlanes : {false, true}) {
    SCOPED_TRACE(fourPlanes ? "four planes" : "one plane");
    PutFileBytes(dir / "f4.pcx", FourBitPcx(kWidth, kHeight, fourPlanes));
    auto ours = ReadThroughRegistry(dir / "f4.pcx");
    ASSERT_EQ(ours->ImageFormat(), TImageFormat::Color16);
    for (int y = 0; y < kHeight; y += 7)
      for (int x = 0; x < kWidth; ++x) ASSERT_EQ(ours->GetPixelIndex(x, y), Index16(x, y)) << x << "," << y;
    EXPECT_TRUE(SamePixels(OurPixels(*ours), MagickPixels(dir / "f4.pcx", kWidth, kHeight)));
  }
}

TEST(PcxInterop, ImageMagickReadsOurFilesOfEveryFormat) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color256, TImageFormat::Gray256,
                              TImageFormat::Color16, TImageFormat::Gray16}) {
    SCOPED_TRACE(ImageFormatName(format));
    auto image = MakeImage(format, kWidth, kHeight, 11);
    WriteThroughRegistry(*image, dir / "ours.pcc");
    EXPECT_TRUE(SamePixels(OurPixels(*image), MagickPixels("pcx:" + dir / "ours.pcc", kWidth, kHeight)));
  }
}

TEST(DcxInterop, ReadsEveryPageOfAnImageMagickContainer) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  WritePpm(dir / "a.ppm", TestPicture(kWidth, kHeight, 1));
  WritePpm(dir / "b.ppm", TestPicture(23, 40, 2));
  // The palette page sits in the middle: its trailer is at the end of its own extent.
  ASSERT_TRUE(
      Convert(dir / "a.ppm \\( " + dir / "b.ppm -colors 30 \\) \\( " + dir / "a.ppm -flip \\) " + dir / "pages.dcx"));
  const int widths[] = {kWidth, 23, kWidth}, heights[] = {kHeight, 40, kHeight};

  TDcxGraphic counter;
  TMemoryStream stream(FileBytes(dir / "pages.dcx"));
  ASSERT_EQ(counter.GetImageCount(stream), 3);
  auto all = std::make_unique<TDcxGraphic>();
  all->SetMultiImage(true);
  all->LoadFromFile(dir / "pages.dcx");
  ASSERT_EQ(all->FrameCount(), 3);
  for (int page = 1; page <= 3; ++page) {
    SCOPED_TRACE(page);
    const TRgbPicture theirs =
        MagickPixels(dir / "pages.dcx[" + std::to_string(page - 1) + "]", widths[page - 1], heights[page - 1]);
    TDcxGraphic single;
    stream.SetPosition(0);
    single.LoadImageFromStream(stream, page);
    EXPECT_TRUE(SamePixels(OurPixels(single), theirs));
    EXPECT_TRUE(SamePixels(OurPixels(all->GetFrame(page)), theirs));
  }
}

TEST(DcxInterop, ImageMagickReadsEveryPageWeAppend) {
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  std::vector<std::unique_ptr<TDibGraphic>> pages;
  pages.push_back(MakeImage(TImageFormat::Color256, kWidth, kHeight, 1));
  pages.push_back(MakeImage(TImageFormat::TrueColor, 17, 33, 2));
  pages.push_back(MakeImage(TImageFormat::Color16, 40, 9, 3));
  pages.push_back(MakeImage(TImageFormat::Color256, 8, 8, 4));
  TMemoryStream stream;
  for (const auto& page : pages) {
    TDcxGraphic writer;
    writer.Assign(page.get());
    stream.SetPosition(0);
    writer.AppendToStream(stream);
  }
  stream.SaveToFile(dir / "ours.dcx");
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_TRUE(SamePixels(OurPixels(*pages[i]), MagickPixels(dir / "ours.dcx[" + std::to_string(i) + "]",
                                                              pages[i]->Width(), pages[i]->Height())));
  }
}

}  // namespace

TEST(PcxInterop, ReadsNetpbmFilesOfEveryLayoutLikeNetpbm) {
  QV_REQUIRE_IMAGEMAGICK();
  QV_REQUIRE_NETPBM();
  TScratchFolder dir;
  WritePpm(dir / "full.ppm", TestPicture(kWidth, kHeight, 11));
  ASSERT_TRUE(Shell("pnmquant 16 " + dir / "full.ppm" + " >" + dir / "16.ppm" + " 2>/dev/null"));
  ASSERT_TRUE(Shell("pnmquant 200 " + dir / "full.ppm" + " >" + dir / "200.ppm" + " 2>/dev/null"));
  ASSERT_TRUE(Shell("pnmquant 2 " + dir / "full.ppm" + " >" + dir / "2.ppm" + " 2>/dev/null"));
  // Picture, ppmtopcx options, and the layout (bits per plane pixel, planes) netpbm chooses.
  const struct {
    const char* Picture;
    const char* Options;
    int Bits, Planes;
  } cases[] = {{"full.ppm", "", 8, 3},
               {"200.ppm", "", 8, 1},
               {"16.ppm", "", 1, 4},
               {"16.ppm", "-packed", 4, 1},
               {"2.ppm", "", 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Picture) + " " + c.Options);
    ASSERT_TRUE(
        Shell(std::string("ppmtopcx ") + c.Options + " " + dir / c.Picture + " >" + dir / "n.pcx" + " 2>/dev/null"));
    const std::vector<uint8_t> file = FileBytes(dir / "n.pcx");
    ASSERT_EQ(file[3], c.Bits);
    ASSERT_EQ(file[65], c.Planes);
    ASSERT_TRUE(Shell("pcxtoppm " + dir / "n.pcx" + " >" + dir / "theirs.ppm" + " 2>/dev/null"));
    auto ours = ReadThroughRegistry(dir / "n.pcx");
    TRgbPicture theirs = MagickPixels(dir / "theirs.ppm", kWidth, kHeight);
    if (c.Bits == 1 && c.Planes == 1) {
      // 1-bit files read as black and white whatever the header's palette says: netpbm shows
      // the header's second colour where ours shows white.
      for (size_t i = 0; i + 2 < theirs.Rgb.size(); i += 3) {
        const bool second = std::equal(file.begin() + 19, file.begin() + 22, theirs.Rgb.begin() + i);
        std::fill(theirs.Rgb.begin() + i, theirs.Rgb.begin() + i + 3, second ? 255 : 0);
      }
    }
    EXPECT_TRUE(SamePixels(OurPixels(*ours), theirs));
  }
}
