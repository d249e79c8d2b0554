// What a scanned page is measured by: its share of dark pixels (blank-page dropping) and the paper
// sizes the programs accept.
#include <gtest/gtest.h>

#include "model/QvDiGrph.h"
#include "scan/QvScanPage.h"
#include "scan/QvScanPaper.h"

using namespace quorvane;

namespace {

// A Width x Height image of Format filled with Fill (a palette index, or a colour for true
// colour), with Dark pixels of colour Ink along the top rows.
std::unique_ptr<TDibGraphic> Page(TImageFormat format, int width, int height, uint32_t fill, uint32_t ink, int dark) {
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, format, nullptr, 300, 300);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t value = y * width + x < dark ? ink : fill;
      if (format == TImageFormat::TrueColor)
        image->SetPixel(x, y, value);
      else
        image->SetPixelIndex(x, y, static_cast<int>(value));
    }
  return image;
}

TEST(DarkPixelPercent, CountsPixelsDarkerThanHalfByTheirColour) {
  // Black-and-white images: index 0 black, 1 white; gray: the index is the level; true colour:
  // blue in the low byte.
  const struct {
    const char* Name;
    TImageFormat Format;
    uint32_t Fill, Ink;
    int Dark;
    double Percent;
  } cases[] = {
      {"white sheet", TImageFormat::BlackWhite, 1, 0, 0, 0},
      {"black sheet", TImageFormat::BlackWhite, 0, 0, 0, 100},
      {"ten specks in ten thousand", TImageFormat::BlackWhite, 1, 0, 10, 0.1},
      {"gray 127 is dark", TImageFormat::Gray256, 255, 127, 2500, 25},
      {"gray 128 is not", TImageFormat::Gray256, 255, 128, 2500, 0},
      {"16 grays", TImageFormat::Gray16, 15, 0, 5000, 50},
      {"pure blue is dark", TImageFormat::TrueColor, 0xFFFFFF, 0x0000FF, 100, 1},
      {"yellow is not", TImageFormat::TrueColor, 0xFFFFFF, 0xFFFF00, 100, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_NEAR(DarkPixelPercent(*Page(c.Format, 125, 80, c.Fill, c.Ink, c.Dark)), c.Percent, 1e-9);
  }
  EXPECT_EQ(DarkPixelPercent(TDibGraphic()), 0);
  // The default threshold keeps ten specks in ten thousand pixels, drops nine.
  EXPECT_FALSE(IsBlankPage(*Page(TImageFormat::BlackWhite, 100, 100, 1, 0, 10), kDefaultBlankPercent));
  EXPECT_TRUE(IsBlankPage(*Page(TImageFormat::BlackWhite, 100, 100, 1, 0, 9), kDefaultBlankPercent));
}

TEST(PaperSize, NamedSizesAndWidthByHeightInMillimetres) {
  const struct {
    const char* Text;
    bool Valid;
    double Width, Height;
    const char* Caption;
  } cases[] = {
      {"a4", true, 210, 297, "A4 (210 x 297 mm)"},
      {"A6", true, 105, 148, "A6 (105 x 148 mm)"},
      {"Letter", true, 215.9, 279.4, "Letter (215.9 x 279.4 mm)"},
      {"legal", true, 215.9, 355.6, "Legal (215.9 x 355.6 mm)"},
      {"100x150", true, 100, 150, "100 x 150 mm"},
      {"85.6X54", true, 85.6, 54, "85.6 x 54 mm"},
      {"10000x1", true, 10000, 1, "10000 x 1 mm"},
      {"a3", false},
      {"100", false},
      {"100x", false},
      {"0x100", false},
      {"-5x100", false},
      {"100x150mm", false},
      {"10001x10", false},
      {"nanxinf", false},
      {"100,5x20", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const auto paper = ParsePaperSize(c.Text);
    ASSERT_EQ(paper.has_value(), c.Valid);
    if (!paper) continue;
    EXPECT_EQ(paper->Width, c.Width);
    EXPECT_EQ(paper->Height, c.Height);
    EXPECT_EQ(PaperSizeText(*paper), c.Caption);
  }
}

}  // namespace
