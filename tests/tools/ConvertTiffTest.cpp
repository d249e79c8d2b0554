// brindlex-convert with TIFF output: the compression chosen per page, several inputs gathered
// into one multi-page file, and --info naming each page's compression.
#include "ToolTestSupport.h"
#include "formats/QvTifGr.h"

using namespace quorvane;
using namespace qvtest;

namespace {

TTiffCompression CompressionOf(const std::string& file, int page) {
  auto image = ReadImage(file, page);
  return dynamic_cast<TTiffGraphic&>(*image).Compression();
}

}  // namespace

TEST(ConvertTiff, SeveralInputsAppendEveryPageInOrder) {
  TScratchFolder dir;
  auto bw = MakeImage(TImageFormat::BlackWhite, 20, 10, 1);
  auto gray = MakeImage(TImageFormat::Gray16, 11, 13, 2);
  auto color = MakeImage(TImageFormat::Color256, 9, 8, 3);
  auto truecolor = MakeImage(TImageFormat::TrueColor, 16, 16, 4);
  WritePages({bw.get(), gray.get()}, dir / "doc.dcx");
  WriteImage(*color, dir / "c.pcx");
  WriteImage(*truecolor, dir / "t.tga");

  TRun run = RunConvert({"--all-pages", dir / "t.tga", dir / "doc.dcx", dir / "c.pcx", "-o", dir / "book.tif"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(PageCount(dir / "book.tif"), 4);
  // The window's rule: JPEG for true colour, Group 4 for black and white, PackBits otherwise.
  const TTiffCompression expected[] = {TTiffCompression::tcJpeg, TTiffCompression::tcGroup4,
                                       TTiffCompression::tcPackbits, TTiffCompression::tcPackbits};
  for (int page = 1; page <= 4; ++page) EXPECT_EQ(CompressionOf(dir / "book.tif", page), expected[page - 1]) << page;
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "book.tif", 2), *bw));
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "book.tif", 3), *gray));
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "book.tif", 4), *color));

  // --compression applies to every page; lossless, so the true-colour page is exact too.
  run = RunConvert({"--all-pages", "--compression", "zlib", dir / "t.tga", dir / "c.pcx", "-o", dir / "z.tif"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(CompressionOf(dir / "z.tif", 1), TTiffCompression::tcZLib);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "z.tif", 1), *truecolor));

  // The pages of several inputs need a format that holds several pages.
  run = RunConvert({"--all-pages", dir / "t.tga", dir / "c.pcx", "-o", dir / "x.pcx"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Several inputs need an output format that holds several pages"), std::string::npos);
}

TEST(ConvertTiff, CompressionOptionAndRefusedPairs) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 8, 8, 1), dir / "t.tga");
  WriteImage(*MakeImage(TImageFormat::BlackWhite, 8, 8, 2), dir / "b.pcx");
  struct Case {
    const char* Input;
    const char* Name;
    TTiffCompression Expected;
  };
  for (const Case& c :
       {Case{"b.pcx", "g3", TTiffCompression::tcGroup3_1D}, Case{"b.pcx", "g3-2d", TTiffCompression::tcGroup3_2D},
        Case{"b.pcx", "none", TTiffCompression::tcNone}, Case{"t.tga", "packbits", TTiffCompression::tcPackbits}}) {
    const TRun run = RunConvert({dir / c.Input, "--compression", c.Name, "-o", dir / "out.tif", "--overwrite"});
    ASSERT_EQ(run.Status, 0) << c.Name << run.Err;
    EXPECT_EQ(CompressionOf(dir / "out.tif", 1), c.Expected) << c.Name;
  }
  TRun run = RunConvert({dir / "t.tga", "--compression", "g4", "-o", dir / "refused.tif"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("CCITT Group 4 compression not supported with True color images"), std::string::npos);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"b.pcx", "out.tif", "t.tga"}));

  run = RunConvert({dir / "t.tga", "--compression", "lzw", "-o", dir / "x.tif"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("none|packbits|g3|g3-2d|g4|zlib|jpeg"), std::string::npos);
}

TEST(ConvertTiff, InfoNamesEachPagesCompression) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::BlackWhite, 8, 4, 1), dir / "b.pcx");
  WriteImage(*MakeImage(TImageFormat::Gray256, 5, 3, 2), dir / "g.pcx");
  ASSERT_EQ(RunConvert({"--all-pages", dir / "b.pcx", dir / "g.pcx", "-o", dir / "two.tif"}).Status, 0);
  const TRun run = RunConvert({"--info", dir / "two.tif"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("page 1: 8 x 4, Black and white, 150 x 75 dpi, CCITT Group 4\n"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("page 2: 5 x 3, 256 color, 150 x 75 dpi, Packbits\n"), std::string::npos) << run.Out;
}
