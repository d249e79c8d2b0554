// Pixel formats the output format cannot hold are promoted without changing a colour, reported
// with --verbose, and refused with --strict.
#include "ConvertFile.h"
#include "ConvertPromotion.h"
#include "ToolTestSupport.h"
#include "formats/QvDcxGr.h"
#include "formats/QvPcxGr.h"
#include "formats/QvTgaGr.h"

using namespace quorvane;
using namespace brindlex;
using namespace qvtest;

namespace {

std::unique_ptr<TDibGraphic> RedAndBlueBlackWhite() {
  TDibPalette palette = DefaultPalette(TImageFormat::BlackWhite);
  palette.Entries[0] = TPaletteEntry{0, 0, 200, 0};
  palette.Entries[1] = TPaletteEntry{220, 0, 0, 0};
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(9, 4, TImageFormat::BlackWhite, &palette, 72, 72);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) image->SetPixelIndex(x, y, (x + y) % 2);
  return image;
}

TEST(ConvertPromotion, TargetIsTheNearestFormatThatKeepsEveryColour) {
  const TGraphicCapabilities targa = TTgaGraphic().Capabilities();
  const TGraphicCapabilities trueColorOnly{false, FormatSet({TImageFormat::TrueColor})};
  const TGraphicCapabilities nothing{};
  struct TCase {
    std::unique_ptr<TDibGraphic> Image;
    TGraphicCapabilities Writer;
    std::optional<TImageFormat> Expected;
  };
  TCase cases[] = {
      {MakeImage(TImageFormat::BlackWhite, 5, 5, 1), targa, TImageFormat::Gray256},
      {MakeImage(TImageFormat::Gray16, 5, 5, 1), targa, TImageFormat::Gray256},
      {MakeImage(TImageFormat::Color16, 5, 5, 1), targa, TImageFormat::TrueColor},
      {RedAndBlueBlackWhite(), targa, TImageFormat::TrueColor},
      {MakeImage(TImageFormat::Gray256, 5, 5, 1), targa, std::nullopt},
      {MakeImage(TImageFormat::BlackWhite, 5, 5, 1), trueColorOnly, TImageFormat::TrueColor},
      {MakeImage(TImageFormat::Gray256, 5, 5, 1), trueColorOnly, TImageFormat::TrueColor},
      {MakeImage(TImageFormat::BlackWhite, 5, 5, 1), nothing, std::nullopt},
      {MakeImage(TImageFormat::TrueColor, 5, 5, 1), nothing, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(ImageFormatName(c.Image->ImageFormat()));
    EXPECT_EQ(PromotionTarget(*c.Image, c.Writer), c.Expected);
    if (c.Expected) {
      EXPECT_TRUE(SamePicture(*Promote(*c.Image, *c.Expected), *c.Image));
    }
  }
}

TEST(ConvertPromotion, ClassesSayWhatTheyHoldAndWrite) {
  EXPECT_FALSE(SupportsMultipleImages(TPcxGraphic::StaticClass()));
  EXPECT_TRUE(SupportsMultipleImages(TDcxGraphic::StaticClass()));
  EXPECT_FALSE(SupportsMultipleImages(TTgaGraphic::StaticClass()));
  EXPECT_EQ(TPcxGraphic().Capabilities().WritableFormats, kAllImageFormats);
  EXPECT_EQ(TDcxGraphic().Capabilities().WritableFormats, kAllImageFormats);
  // What Targa's writer refuses, its capabilities leave out.
  for (int f = 0; f <= static_cast<int>(TImageFormat::TrueColor); ++f) {
    const auto format = static_cast<TImageFormat>(f);
    TTgaGraphic image;
    image.Assign(MakeImage(format, 3, 3, 1).get());
    TMemoryStream stream;
    bool written = true;
    try {
      image.SaveToStream(stream);
    } catch (const Exception&) {
      written = false;
    }
    EXPECT_EQ(written, image.Capabilities().CanWrite(format)) << ImageFormatName(format);
  }
}

TEST(ConvertPromotion, ConverterPromotesReportsWithVerboseAndRefusesWithStrict) {
  TScratchFolder dir;
  auto bw = MakeImage(TImageFormat::BlackWhite, 12, 7, 3);
  auto c16 = MakeImage(TImageFormat::Color16, 12, 7, 4);
  WriteImage(*bw, dir / "bw.pcx");
  WritePages({bw.get(), c16.get()}, dir / "doc.dcx");

  TRun run = RunConvert({dir / "bw.pcx", "-o", dir / "bw.tga"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "") << "promotion is reported only with --verbose";
  EXPECT_EQ(ReadImage(dir / "bw.tga")->BitCount(), 8);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "bw.tga"), *bw));

  run = RunConvert({dir / "doc.dcx", "--all-pages", "-v", "-o", dir / "page.tga"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "doc.dcx" +
                         ": page 1: Black and white written as 256 shades of gray (the TTgaGraphic format does not "
                         "hold black and white)\n"
                         "brindlex-convert: " +
                         dir / "doc.dcx" +
                         ": page 2: 16 color written as true color (the TTgaGraphic format does not hold 16 color)\n");
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "page-1.tga"), *bw));
  EXPECT_EQ(ReadImage(dir / "page-2.tga")->BitCount(), 24);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "page-2.tga"), *c16));

  run = RunConvert({dir / "bw.pcx", "--strict", "-o", dir / "strict.tga"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "bw.pcx -> " +
                         dir / "strict.tga: TARGA image must be true color or 8 bit with palette\n");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"bw.pcx", "bw.tga", "doc.dcx", "page-1.tga", "page-2.tga"}));
}

}  // namespace
