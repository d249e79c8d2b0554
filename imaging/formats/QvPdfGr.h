// PDF document: written only, one page per image, through QPDF.
//
// A page is as large as the image at its resolution (a resolution of 0 counts as 96 dots per
// inch), and the picture covers it. Each picture is stored without needless loss:
// - black-and-white images (black and white entries) as CCITT Group 4, coded by libtiff as TIFF
//   pages are;
// - true-colour images and gray ones (256 grays of the standard ramp) as JPEG at Quality, or by
//   the JPEG file they were read from, unchanged, while their pixels are that file's
//   (TDibGraphic::OriginalEncoding);
// - every other palette image losslessly: deflated indices with an indexed colour space of its
//   depth (1, 4 or 8 bits).
//
// Appending reads the whole PDF, adds the page and writes the document again over the old one
// (never shorter than it was). QPDF's exceptions become EPdfError naming what failed; no exception
// crosses a C library's frames (QPDF is C++; libtiff and libjpeg are reached through their bridges).
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EPdfError);

// How a page's picture is stored.
enum class TPdfPageCoding : uint8_t { pcCcittGroup4, pcJpeg, pcOriginalJpeg, pcFlate };

// The coding the writer chooses for Image (see above).
TPdfPageCoding PdfPageCoding(const TDibGraphic& image);

class TPdfGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TPdfGraphic)

  TGraphicCapabilities Capabilities() const override { return {true, kAllImageFormats, false}; }

  static constexpr uint8_t kDefaultQuality = 85;

  // Number of pages of the PDF from the stream's position to its end; raises EPdfError when QPDF
  // cannot read it.
  int GetImageCount(TStream& stream) override;
  // Refuses: raises EPdfError "PDF files can only be written, not read".
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes a PDF holding the image as its only page at the stream's position.
  void SaveToStream(TStream& stream) override;
  // Adds the image as the last page of the PDF the stream holds from position 0 (an empty stream
  // gets a new one through SaveToStream). Encrypted files are refused, unchanged.
  void AppendToStream(TStream& stream) override;

  // JPEG settings of re-encoded pages (an unchanged JPEG page keeps its own): quality 1 to 100,
  // progressive scans, optimal Huffman tables. Tables made for the page are the default: every
  // decoder reads them, and they make pages smaller (progressive scans would save more, but not
  // every printer's interpreter reads them).
  uint8_t Quality() const { return FQuality; }
  void SetQuality(uint8_t value) { FQuality = value; }
  bool Progressive() const { return FProgressive; }
  void SetProgressive(bool value) { FProgressive = value; }
  bool OptimizeCoding() const { return FOptimizeCoding; }
  void SetOptimizeCoding(bool value) { FOptimizeCoding = value; }

 private:
  uint8_t FQuality = kDefaultQuality;
  bool FProgressive = false;
  bool FOptimizeCoding = true;
};

}  // namespace quorvane
