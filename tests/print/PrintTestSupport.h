// Shared pieces of the printing tests (and of the window's Print tests): PDF printers with a known
// page, and the rendering of a printed page back to pixels with pdftoppm.
#pragma once

#include <QPrinter>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "support/ScratchFolder.h"

namespace qvtest {

// A PDF printer of Dpi dots per inch on paper of PaperWidth x PaperHeight inches whose printable
// area starts MarginLeft, MarginTop inches from the paper's edge and ends MarginRight,
// MarginBottom inches before the other edges.
struct TPaper {
  int Dpi;
  double PaperWidth, PaperHeight;
  double MarginLeft, MarginTop, MarginRight, MarginBottom;
};
// 600 dpi, 8.5 x 11.5 inches with a quarter inch all round: a printable area of 4800 x 6600
// device pixels that starts 150 pixels from the paper's edges.
inline constexpr TPaper kLargePaper{600, 8.5, 11.5, 0.25, 0.25, 0.25, 0.25};
// 100 dpi, 4 x 5 inches: printable area 325 x 425 pixels at (50, 25); small enough to render.
inline constexpr TPaper kSmallPaper{100, 4.0, 5.0, 0.5, 0.25, 0.25, 0.5};

void SetUpPaper(QPrinter& printer, const TPaper& paper);
// Points Printer at the PDF file FileName (empty: a PDF file without a name) on Paper.
void PrintIntoPdf(QPrinter& printer, const TPaper& paper, const std::string& fileName);
std::unique_ptr<QPrinter> PdfPrinter(const TPaper& paper, const std::string& fileName);

bool FileExists(const std::string& fileName);
// The value of one line of pdfinfo's report ("Title", "Page size", ...), or empty.
std::string PdfInfo(const std::string& pdf, const std::string& key);

// The pictures embedded in a PDF as pdfimages lists them: size in pixels and encoding.
struct TPdfImage {
  int Width = 0;
  int Height = 0;
  std::string Encoding;
};
std::vector<TPdfImage> PdfImages(const std::string& pdf);

// The first page of a PDF rendered at Dpi (pdftoppm), as 8-bit RGB pixels.
struct TRaster {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
  uint32_t At(int x, int y) const;  // 0xRRGGBB
};
TRaster RenderPage(const std::string& pdf, int dpi);

// The smallest rectangle (Right and Bottom exclusive) of the pixels that Match accepts; all zero
// when none does.
struct TBox {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
TBox FindBox(const TRaster& raster, const std::function<bool(uint32_t)>& match);
// Colour classes that survive the rendering's anti-aliasing at the edges.
bool IsNear(uint32_t rgb, uint32_t wanted, int tolerance = 40);
bool IsDark(uint32_t rgb);

// A Width x Height image of Format filled with palette entry or colour Fill, at Dpi.
std::unique_ptr<quorvane::TDibGraphic> SolidImage(int width, int height, quorvane::TImageFormat format, uint32_t fill,
                                                  int dpi);

}  // namespace qvtest
