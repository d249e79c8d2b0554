// TDibGraphicPrinter: places an image on the printer's page by one of six rules and draws it
// there with one stretch into the computed rectangle (no banding, no tiling over pages).
//
// Everything is computed in device pixels from the printer's resolution and the image's own
// resolution. The image reaches the device with its own pixels and colours (black-and-white and
// palette images keep their palette); the device does the scaling. The device takes sRGB: an image
// with an embedded colour profile has its colours converted on the way (the image is unchanged).
#pragma once

#include <cstdint>
#include <string>

#include "model/QvDiGrph.h"
#include "print/QvPrinter.h"

namespace quorvane {

enum class TPrintPlacement : uint8_t {
  ppOriginalSize = 0,            // the image's size in inches from its resolution, shrunk to fit
  ppFullPage = 1,                // as large as the printable area allows, aspect ratio kept
  ppSpecificWidth = 2,           // PrintWidth inches wide, aspect ratio kept
  ppSpecificHeight = 3,          // PrintHeight inches high, aspect ratio kept
  ppSpecificWidthAndHeight = 4,  // PrintWidth x PrintHeight inches
  ppStretchToPage = 5,           // the whole printable area
};

class TDibGraphicPrinter {
 public:
  // Takes the printer's metrics at once, for ppFullPage.
  explicit TDibGraphicPrinter(TPrinter& printer);

  // Takes a fresh snapshot of the printer's metrics, then stores the placement. Nothing refreshes
  // the snapshot until the next call, so a caller that changes the printer, paper or orientation
  // calls this again.
  void SetPlacement(TPrintPlacement value);
  TPrintPlacement Placement() const { return FPlacement; }
  const TPrinterMetrics& Metrics() const { return FMetrics; }

  // The rectangle Print draws Image into, in device pixels relative to the printable area.
  // Raises EQuorvaneError "Floating point division by zero" when a rule divides by a size or
  // resolution of 0, and "Floating point overflow" for a coordinate beyond the 32-bit range.
  TRect PrintRect(const TDibGraphic& image) const;

  // Draws Image into PrintRect. With AutoJob it first turns the paper to landscape for an image
  // wider than high (portrait otherwise) and runs the job itself under Title, aborting it when
  // drawing fails; without AutoJob the caller's job must be running and stays open on failure.
  void Print(const TDibGraphic& image);

  double PrintWidth = 5.0;   // inches, for ppSpecificWidth and ppSpecificWidthAndHeight
  double PrintHeight = 5.0;  // inches, for ppSpecificHeight and ppSpecificWidthAndHeight
  double LeftMargin = 0.0;   // inches from the paper's left edge, for all but the two page fills
  double TopMargin = 0.0;    // inches from the paper's top edge, likewise
  bool AutoJob = true;
  std::string Title;

 private:
  void Draw(const TDibGraphic& image, const TRect& rect);

  TPrinter& FPrinter;
  TPrintPlacement FPlacement = TPrintPlacement::ppFullPage;
  TPrinterMetrics FMetrics;
};

}  // namespace quorvane
