// Placement arithmetic of TDibGraphicPrinter on a 600-dpi PDF printer whose printable area is
// 4800 x 6600 device pixels, 150 pixels in from the paper's edges; and the printer object's jobs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PrintTestSupport.h"
#include "model/QvExcept.h"
#include "print/QvPrint.h"

namespace qvtest {
namespace {

using quorvane::EQuorvaneError;
using quorvane::TDibGraphicPrinter;
using quorvane::TImageFormat;
using quorvane::TPrinter;
using quorvane::TPrinterOrientation;
using quorvane::TPrintPlacement;
using quorvane::TRect;
using P = TPrintPlacement;

struct TPlacementCase {
  const char* Name;
  P Placement;
  int Width, Height, XDpi, YDpi;
  double PrintWidth, PrintHeight, LeftMargin, TopMargin;
  TRect Expected;
};

constexpr double kNone = 0.0;

// clang-format off
const TPlacementCase kPlacements[] = {
    {"full page, wide image", P::ppFullPage, 1200, 600, 300, 300, 5, 5, kNone, kNone, {0, 0, 4800, 2400}},
    {"full page, tall image fits the height", P::ppFullPage, 600, 1200, 300, 300, 5, 5, kNone, kNone, {0, 0, 3300, 6600}},
    {"full page, exactly the page's shape", P::ppFullPage, 48, 66, 300, 300, 5, 5, kNone, kNone, {0, 0, 4800, 6600}},
    {"full page ignores margins", P::ppFullPage, 1200, 600, 300, 300, 5, 5, 2.0, 2.0, {0, 0, 4800, 2400}},
    {"an unknown placement is full page", static_cast<P>(9), 1200, 600, 300, 300, 5, 5, kNone, kNone, {0, 0, 4800, 2400}},
    {"original size that fits", P::ppOriginalSize, 1200, 600, 300, 300, 5, 5, kNone, kNone, {0, 0, 2400, 1200}},
    {"original size shrunk by the fit factor", P::ppOriginalSize, 3000, 3000, 300, 300, 5, 5, kNone, kNone, {0, 0, 4800, 4800}},
    {"original size, own resolution per axis", P::ppOriginalSize, 300, 200, 100, 200, 5, 5, kNone, kNone, {0, 0, 1800, 600}},
    {"stretch to page, whatever the image", P::ppStretchToPage, 7, 3, 72, 72, 5, 5, 1.0, 1.0, {0, 0, 4799, 6599}},
    {"specific width of 2.5 inches", P::ppSpecificWidth, 1200, 600, 300, 300, 2.5, 5, kNone, kNone, {0, 0, 1500, 750}},
    {"specific width truncates the height", P::ppSpecificWidth, 7, 3, 300, 300, 2.5, 5, kNone, kNone, {0, 0, 1500, 642}},
    {"specific height", P::ppSpecificHeight, 1200, 600, 300, 300, 5, 2.0, kNone, kNone, {0, 0, 2400, 1200}},
    {"specific height truncates the width", P::ppSpecificHeight, 3, 7, 300, 300, 5, 2.5, kNone, kNone, {0, 0, 642, 1500}},
    {"specific width and height", P::ppSpecificWidthAndHeight, 10, 10, 300, 300, 2.5, 1.5, kNone, kNone, {0, 0, 1500, 900}},
    // Margins count from the paper's edge: the 150-pixel printing offset is taken off them.
    {"margins move the image", P::ppSpecificWidth, 1200, 600, 300, 300, 2.5, 5, 1.0, 0.5, {450, 150, 1950, 900}},
    {"a margin inside the offset moves nothing", P::ppSpecificWidthAndHeight, 10, 10, 300, 300, 1, 1, 0.1, 0.3, {0, 30, 600, 630}},
    {"original size with margins", P::ppOriginalSize, 1200, 600, 300, 300, 5, 5, 0.5, 0.5, {150, 150, 2550, 1350}},
};
// clang-format on

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TPlacementCase& c, std::ostream* os) { *os << c.Name; }

class PlacementTest : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(PlacementTest, ComputesTheRectangle) {
  const TPlacementCase& c = GetParam();
  auto device = PdfPrinter(kLargePaper, "");
  TPrinter printer(*device);
  TDibGraphicPrinter graphicPrinter(printer);
  graphicPrinter.SetPlacement(c.Placement);
  graphicPrinter.PrintWidth = c.PrintWidth;
  graphicPrinter.PrintHeight = c.PrintHeight;
  graphicPrinter.LeftMargin = c.LeftMargin;
  graphicPrinter.TopMargin = c.TopMargin;
  quorvane::TDibGraphic image;
  image.NewImage(c.Width, c.Height, TImageFormat::BlackWhite, nullptr, 72, 72);
  image.SetXDpi(static_cast<uint16_t>(c.XDpi));
  image.SetYDpi(static_cast<uint16_t>(c.YDpi));

  const TRect rect = graphicPrinter.PrintRect(image);
  EXPECT_EQ(rect.Left, c.Expected.Left);
  EXPECT_EQ(rect.Top, c.Expected.Top);
  EXPECT_EQ(rect.Right, c.Expected.Right);
  EXPECT_EQ(rect.Bottom, c.Expected.Bottom);
}

INSTANTIATE_TEST_SUITE_P(Placements, PlacementTest, ::testing::ValuesIn(kPlacements), [](const auto& info) {
  std::string name = info.param.Name;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(GraphicPrinter, StartsWithFullPageFiveInchesNoMarginsAndAutoJob) {
  auto device = PdfPrinter(kLargePaper, "");
  TPrinter printer(*device);
  TDibGraphicPrinter graphicPrinter(printer);
  EXPECT_EQ(graphicPrinter.Placement(), P::ppFullPage);
  EXPECT_EQ(graphicPrinter.PrintWidth, 5.0);
  EXPECT_EQ(graphicPrinter.PrintHeight, 5.0);
  EXPECT_EQ(graphicPrinter.LeftMargin, 0.0);
  EXPECT_EQ(graphicPrinter.TopMargin, 0.0);
  EXPECT_TRUE(graphicPrinter.AutoJob);
  const quorvane::TPrinterMetrics& m = graphicPrinter.Metrics();
  EXPECT_EQ(m.PageWidth, 4800);
  EXPECT_EQ(m.PageHeight, 6600);
  EXPECT_EQ(m.PixelsPerInchX, 600);
  EXPECT_EQ(m.PixelsPerInchY, 600);
  EXPECT_EQ(m.OffsetX, 150);
  EXPECT_EQ(m.OffsetY, 150);
}

TEST(GraphicPrinter, MetricsAreASnapshotTakenBySetPlacement) {
  auto device = PdfPrinter(kLargePaper, "");
  TPrinter printer(*device);
  TDibGraphicPrinter graphicPrinter(printer);
  printer.SetOrientation(TPrinterOrientation::poLandscape);
  EXPECT_EQ(graphicPrinter.Metrics().PageWidth, 4800);
  graphicPrinter.SetPlacement(P::ppStretchToPage);
  EXPECT_EQ(graphicPrinter.Metrics().PageWidth, 6600);
  EXPECT_EQ(graphicPrinter.Metrics().PageHeight, 4800);
}

// Rules that divide by a size or resolution of 0, or give coordinates beyond 32 bits, raise
// instead of producing a rectangle.
struct TFailureCase {
  const char* Name;
  P Placement;
  int Width, Height, Dpi;
  double PrintWidth;
  const char* Message;
};

// clang-format off
const TFailureCase kFailures[] = {
    {"resolution 0", P::ppOriginalSize, 10, 10, 0, 5, "Floating point division by zero"},
    {"natural size 0 pixels", P::ppOriginalSize, 1, 1, 65535, 5, "Floating point division by zero"},
    {"empty image, full page", P::ppFullPage, 0, 0, 300, 5, "Floating point division by zero"},
    {"empty image, specific width", P::ppSpecificWidth, 0, 0, 300, 5, "Floating point division by zero"},
    {"a width beyond 32 bits", P::ppSpecificWidth, 10, 10, 300, 1e10, "Floating point overflow"},
    {"a width that is not a number", P::ppSpecificWidthAndHeight, 10, 10, 300, std::nan(""), "Floating point overflow"},
};
// clang-format on

TEST(GraphicPrinter, RefusesRectanglesItCannotCompute) {
  auto device = PdfPrinter(kLargePaper, "");
  TPrinter printer(*device);
  for (const TFailureCase& c : kFailures) {
    SCOPED_TRACE(c.Name);
    TDibGraphicPrinter graphicPrinter(printer);
    graphicPrinter.SetPlacement(c.Placement);
    graphicPrinter.PrintWidth = c.PrintWidth;
    quorvane::TDibGraphic image;
    if (c.Width > 0) image.NewImage(c.Width, c.Height, TImageFormat::TrueColor, nullptr, 72, 72);
    image.SetXDpi(static_cast<uint16_t>(c.Dpi));
    image.SetYDpi(static_cast<uint16_t>(c.Dpi));
    try {
      graphicPrinter.PrintRect(image);
      ADD_FAILURE() << "no exception";
    } catch (const EQuorvaneError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST(Printer, RunsOneJobAtATimeAndReleasesItOnEveryPath) {
  TScratchFolder folder;
  const std::string pdf = folder / "job.pdf";
  auto device = PdfPrinter(kSmallPaper, pdf);
  {
    TPrinter printer(*device);
    EXPECT_THROW(printer.Canvas(), EQuorvaneError);
    EXPECT_THROW(printer.EndDoc(), EQuorvaneError);
    printer.BeginDoc();
    EXPECT_TRUE(printer.Printing());
    EXPECT_THROW(printer.BeginDoc(), EQuorvaneError);
    EXPECT_THROW(printer.SetOrientation(TPrinterOrientation::poLandscape), EQuorvaneError);
    printer.EndDoc();
    EXPECT_FALSE(printer.Printing());
  }
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "1");

  // A job left running is aborted, and the half-written file does not pass for a printed one.
  {
    TPrinter printer(*device);
    printer.BeginDoc();
  }
  EXPECT_FALSE(FileExists(pdf));

  auto nowhere = PdfPrinter(kSmallPaper, folder / "missing/folder/job.pdf");
  TPrinter printer(*nowhere);
  try {
    printer.BeginDoc();
    ADD_FAILURE() << "no exception";
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "The printer could not start the print job");
  }
  EXPECT_FALSE(printer.Printing());
}

}  // namespace
}  // namespace qvtest
