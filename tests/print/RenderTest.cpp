// Pages printed through TDibGraphicPrinter into PDF files on the 100-dpi small paper (printable
// area 325 x 425 at (50, 25)), rendered back at 100 dpi: the image lands on the rectangle the
// rules give, with its own pixels and colours.
#include <gtest/gtest.h>

#include <QPainter>

#include "PrintTestSupport.h"
#include "model/QvExcept.h"
#include "print/QvPrint.h"

namespace qvtest {
namespace {

using quorvane::TDibGraphic;
using quorvane::TDibGraphicPrinter;
using quorvane::TImageFormat;
using quorvane::TPrinter;
using quorvane::TPrintPlacement;
using P = TPrintPlacement;

constexpr uint32_t kRed = 0xFF0000;
constexpr int kOffsetX = 50;
constexpr int kOffsetY = 25;

// Prints Image in a job of the test's own (AutoJob off) and renders the page.
TRaster PrintAndRender(const std::string& pdf, const TDibGraphic& image,
                       const std::function<void(TDibGraphicPrinter&)>& configure) {
  auto device = PdfPrinter(kSmallPaper, pdf);
  TPrinter printer(*device);
  TDibGraphicPrinter graphicPrinter(printer);
  configure(graphicPrinter);
  graphicPrinter.AutoJob = false;
  printer.BeginDoc();
  graphicPrinter.Print(image);
  printer.EndDoc();
  return RenderPage(pdf, kSmallPaper.Dpi);
}

// Edges may blend with the paper when rendered; one pixel of slack on every side.
void ExpectBoxNear(const TBox& box, int left, int top, int right, int bottom) {
  EXPECT_NEAR(box.Left, left, 1);
  EXPECT_NEAR(box.Top, top, 1);
  EXPECT_NEAR(box.Right, right, 1);
  EXPECT_NEAR(box.Bottom, bottom, 1);
}

struct TRenderCase {
  const char* Name;
  P Placement;
  int Width, Height;  // a 50-dpi red image
  double LeftMargin, TopMargin;
  quorvane::TRect Expected;  // device pixels in the printable area
};

const TRenderCase kRenderCases[] = {
    {"original size", P::ppOriginalSize, 60, 40, 0, 0, {0, 0, 120, 80}},
    {"original size shrunk to fit", P::ppOriginalSize, 600, 400, 0, 0, {0, 0, 325, 216}},
    {"full page", P::ppFullPage, 60, 40, 0, 0, {0, 0, 325, 216}},
    {"full page by height", P::ppFullPage, 40, 60, 0, 0, {0, 0, 283, 425}},
    {"specific width", P::ppSpecificWidth, 60, 40, 0, 0, {0, 0, 250, 166}},
    {"specific height", P::ppSpecificHeight, 60, 40, 0, 0, {0, 0, 225, 150}},
    {"specific width and height", P::ppSpecificWidthAndHeight, 60, 40, 0, 0, {0, 0, 250, 150}},
    {"stretch to page", P::ppStretchToPage, 60, 40, 0, 0, {0, 0, 324, 424}},
    {"specific width at the margins", P::ppSpecificWidth, 60, 40, 1.0, 0.5, {50, 25, 300, 191}},
};

TEST(PrintedPage, EachPlacementLandsOnItsRectangle) {
  TScratchFolder folder;
  for (const TRenderCase& c : kRenderCases) {
    SCOPED_TRACE(c.Name);
    auto image = SolidImage(c.Width, c.Height, TImageFormat::TrueColor, kRed, 50);
    quorvane::TRect computed;
    const TRaster page = PrintAndRender(folder / "page.pdf", *image, [&](TDibGraphicPrinter& p) {
      p.SetPlacement(c.Placement);
      p.PrintWidth = 2.5;
      p.PrintHeight = 1.5;
      p.LeftMargin = c.LeftMargin;
      p.TopMargin = c.TopMargin;
      computed = p.PrintRect(*image);
    });
    EXPECT_EQ(computed.Left, c.Expected.Left);
    EXPECT_EQ(computed.Top, c.Expected.Top);
    EXPECT_EQ(computed.Right, c.Expected.Right);
    EXPECT_EQ(computed.Bottom, c.Expected.Bottom);
    ASSERT_EQ(page.Width, 400);
    ASSERT_EQ(page.Height, 500);
    ExpectBoxNear(FindBox(page, [](uint32_t rgb) { return IsNear(rgb, kRed); }), c.Expected.Left + kOffsetX,
                  c.Expected.Top + kOffsetY, c.Expected.Right + kOffsetX, c.Expected.Bottom + kOffsetY);
  }
}

// A palette of its own for each palette format: the page must show these colours, not the
// format's defaults or a black-and-white rendering.
struct TColorCase {
  const char* Name;
  TImageFormat Format;
  int Index;
  uint32_t Rgb;
};

const TColorCase kColorCases[] = {
    {"black and white", TImageFormat::BlackWhite, 1, 0x2040C0}, {"16 grays", TImageFormat::Gray16, 9, 0x999999},
    {"256 grays", TImageFormat::Gray256, 200, 0xC8C8C8},        {"16 colours", TImageFormat::Color16, 14, 0x10A030},
    {"256 colours", TImageFormat::Color256, 255, 0xE07010},
};

TEST(PrintedPage, PaletteImagesKeepTheirColoursAndPixels) {
  TScratchFolder folder;
  for (const TColorCase& c : kColorCases) {
    SCOPED_TRACE(c.Name);
    // Left half entry 0 (yellow), right half entry Index with the wanted colour.
    auto image = SolidImage(8, 4, c.Format, 0, 50);
    quorvane::TDibPalette& palette = image->PaletteRecord();
    palette.Entries[0] = {0x00, 0xFF, 0xFF, 0};
    palette.Entries[c.Index] = {uint8_t(c.Rgb), uint8_t(c.Rgb >> 8), uint8_t(c.Rgb >> 16), 0};
    for (int y = 0; y < 4; ++y)
      for (int x = 4; x < 8; ++x) image->SetPixelIndex(x, y, c.Index);
    const std::string pdf = folder / "colours.pdf";
    const TRaster page = PrintAndRender(pdf, *image, [](TDibGraphicPrinter& p) {
      p.SetPlacement(P::ppSpecificWidthAndHeight);
      p.PrintWidth = 2.0;
      p.PrintHeight = 1.0;
    });
    // 8 x 4 pixels on 200 x 100 device pixels: each image pixel is 25 device pixels square.
    EXPECT_EQ(page.At(kOffsetX + 50, kOffsetY + 50), 0xFFFF00u);
    EXPECT_EQ(page.At(kOffsetX + 150, kOffsetY + 50), c.Rgb);
    // The device got the image's own pixels to scale, not a copy resampled to the page.
    const std::vector<TPdfImage> images = PdfImages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Width, 8);
    EXPECT_EQ(images[0].Height, 4);
    EXPECT_NE(images[0].Encoding, "jpeg");
  }
}

TEST(PrintedPage, AutoJobTurnsThePaperAndRunsTheJobUnderItsTitle) {
  TScratchFolder folder;
  struct {
    int Width, Height;
    const char* PageSize;
  } cases[] = {{60, 40, "360 x 288 pts"}, {40, 60, "288 x 360 pts"}, {50, 50, "288 x 360 pts"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.PageSize);
    const std::string pdf = folder / "auto.pdf";
    auto device = PdfPrinter(kSmallPaper, pdf);
    TPrinter printer(*device);
    TDibGraphicPrinter graphicPrinter(printer);
    graphicPrinter.Title = "Auto job";
    graphicPrinter.Print(*SolidImage(c.Width, c.Height, TImageFormat::TrueColor, kRed, 50));
    EXPECT_FALSE(printer.Printing());
    EXPECT_EQ(PdfInfo(pdf, "Title"), "Auto job");
    EXPECT_EQ(PdfInfo(pdf, "Page size").substr(0, 13), c.PageSize);
  }
}

TEST(PrintedPage, AFailedPlacementStartsNoJob) {
  TScratchFolder folder;
  const std::string pdf = folder / "never.pdf";
  auto device = PdfPrinter(kSmallPaper, pdf);
  TPrinter printer(*device);
  TDibGraphicPrinter graphicPrinter(printer);
  graphicPrinter.SetPlacement(P::ppOriginalSize);
  auto image = SolidImage(10, 10, TImageFormat::TrueColor, kRed, 50);
  image->SetXDpi(0);
  EXPECT_THROW(graphicPrinter.Print(*image), quorvane::EQuorvaneError);
  EXPECT_FALSE(printer.Printing());
  EXPECT_FALSE(FileExists(pdf));
  // Without AutoJob the caller's job must be running.
  graphicPrinter.AutoJob = false;
  graphicPrinter.SetPlacement(P::ppFullPage);
  EXPECT_THROW(graphicPrinter.Print(*image), quorvane::EQuorvaneError);
}

}  // namespace
}  // namespace qvtest
