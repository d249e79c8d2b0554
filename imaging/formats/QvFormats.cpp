#include "formats/QvFormats.h"

#include <mutex>

#include "formats/QvDcxGr.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPcxGr.h"
#include "formats/QvPdfGr.h"
#include "formats/QvPngGr.h"
#include "formats/QvTgaGr.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrphRegistry.h"

namespace quorvane {

void RegisterStandardGraphicFormats() {
  static std::once_flag once;
  std::call_once(once, []() {
    // The order fixes the order of the dialogs' all-formats masks: TIFF, PCX, DCX, Targa, JPEG, PNG,
    // PDF.
    RegisterGraphicFormat("TIF", "TIFF file", TTiffGraphic::StaticClass());
    RegisterGraphicFormat("TIFF", "TIFF file", TTiffGraphic::StaticClass());
    RegisterGraphicFormat("PCX", "ZSoft PC Paintbrush", TPcxGraphic::StaticClass());
    RegisterGraphicFormat("PCC", "ZSoft PC Paintbrush", TPcxGraphic::StaticClass());
    RegisterGraphicFormat("DCX", "DCX file", TDcxGraphic::StaticClass());
    RegisterGraphicFormat("TGA", "Truevision Targa", TTgaGraphic::StaticClass());
    RegisterGraphicFormat("VST", "Truevision Vista", TTgaGraphic::StaticClass());
    RegisterGraphicFormat("AFI", "Truevision Targa", TTgaGraphic::StaticClass());
    RegisterGraphicFormat("JPG", "JPEG", TJpegGraphic::StaticClass());
    RegisterGraphicFormat("JPEG", "JPEG", TJpegGraphic::StaticClass());
    RegisterGraphicFormat("PNG", "Portable Network Graphic", TPngGraphic::StaticClass());
    // Written only: listed for saving, not for opening.
    RegisterGraphicFormat("PDF", "Portable Document Format", TPdfGraphic::StaticClass());
  });
}

std::string QuorvaneVersion() { return QV_VERSION; }

bool WritesWhileReading(const TGraphicClass& graphicClass) {
  // Targa and BMP files are mostly stored bottom row first, and a DCX page is read by a PCX
  // image of its own: their images are handed over once read.
  return &graphicClass == &TPngGraphic::StaticClass() || &graphicClass == &TJpegGraphic::StaticClass() ||
         &graphicClass == &TTiffGraphic::StaticClass() || &graphicClass == &TPcxGraphic::StaticClass();
}

}  // namespace quorvane
