// A picture with an embedded colour profile reaches the printer in sRGB; the picture itself is
// not changed.
#include <gtest/gtest.h>

#include "PrintTestSupport.h"
#include "colour/QvColour.h"
#include "print/QvPrint.h"
#include "support/PictureCompare.h"
#include "support/TestProfiles.h"

namespace qvtest {

using quorvane::TDibGraphic;
using quorvane::TDibGraphicPrinter;
using quorvane::TImageFormat;
using quorvane::TPrinter;
using quorvane::TPrintPlacement;

TEST(PrintedColours, ProfiledPicturesArePrintedInSrgb) {
  TScratchFolder folder;
  for (const TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color256}) {
    SCOPED_TRACE(quorvane::ImageFormatName(format));
    // A wide-gamut green: far from its own numbers in sRGB.
    auto image = SolidImage(8, 4, format, format == TImageFormat::TrueColor ? 0x28C83C : 7, 50);
    if (format != TImageFormat::TrueColor) image->PaletteRecord().Entries[7] = {0x3C, 0xC8, 0x28, 0};
    image->SetIccProfile(qvtest::WideGamutProfile());
    TDibGraphic before, expected;
    before.Assign(image.get());
    expected.Assign(image.get());
    ASSERT_TRUE(quorvane::ConvertToSrgb(expected));

    const std::string pdf = folder / "colours.pdf";
    auto device = PdfPrinter(kSmallPaper, pdf);
    TPrinter printer(*device);
    TDibGraphicPrinter graphicPrinter(printer);
    graphicPrinter.SetPlacement(TPrintPlacement::ppSpecificWidthAndHeight);
    graphicPrinter.PrintWidth = 2.0;
    graphicPrinter.PrintHeight = 1.0;
    graphicPrinter.AutoJob = false;
    printer.BeginDoc();
    graphicPrinter.Print(*image);
    printer.EndDoc();
    const TRaster page = RenderPage(pdf, kSmallPaper.Dpi);

    EXPECT_EQ(page.At(50 + 100, 25 + 50), expected.GetPixel(4, 2) & 0xFFFFFF);
    EXPECT_NE(expected.GetPixel(4, 2), before.GetPixel(4, 2));
    EXPECT_TRUE(qvtest::SamePicture(*image, before));
    EXPECT_TRUE(image->HasIccProfile());
  }
}

}  // namespace qvtest
