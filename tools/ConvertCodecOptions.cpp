#include "ConvertCodecOptions.h"

#include "ConvertOptions.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPdfGr.h"

namespace brindlex {

void SetJpegQuality(TCodecOptions& options, const std::string& text) {
  int quality = 0;
  if (!ParseInteger(text, quality) || quality < 1 || quality > 100)
    throw TUsageError("option --quality: '" + text + "' is not a whole number from 1 to 100");
  options.JpegQuality = quality;
}

void SetPngLevel(TCodecOptions& options, const std::string& text) {
  if (text == "fast") {
    options.PngLevel = TPngCompressionLevel::clFast;
  } else if (text == "normal") {
    options.PngLevel = TPngCompressionLevel::clNormal;
  } else if (text == "best") {
    options.PngLevel = TPngCompressionLevel::clBest;
  } else {
    throw TUsageError("option --png-level: '" + text + "' is not one of fast, normal, best");
  }
}

void ApplyCodecOptions(TDibGraphic& image, const TCodecOptions& options) {
  if (auto* jpeg = dynamic_cast<TJpegGraphic*>(&image)) {
    if (options.JpegQuality) jpeg->SetQuality(static_cast<uint8_t>(*options.JpegQuality));
    if (options.JpegProgressive) jpeg->SetProgressive(true);
    if (options.JpegOptimize) jpeg->SetOptimizeCoding(true);
  } else if (auto* pdf = dynamic_cast<TPdfGraphic*>(&image)) {
    // The JPEG settings serve the pages PDF stores as JPEG.
    if (options.JpegQuality) pdf->SetQuality(static_cast<uint8_t>(*options.JpegQuality));
    if (options.JpegProgressive) pdf->SetProgressive(true);
    if (options.JpegOptimize) pdf->SetOptimizeCoding(true);
  } else if (auto* png = dynamic_cast<TPngGraphic*>(&image)) {
    if (options.PngLevel) png->SetCompressionLevel(*options.PngLevel);
    if (options.PngNoInterlace) png->SetInterlaced(false);
  }
}

}  // namespace brindlex
