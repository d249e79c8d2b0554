// Settings of the output codecs on the command line: JPEG quality, progressive and optimised
// coding (also for the JPEG pages of PDF files); PNG deflate effort and interlacing. Each applies
// to the outputs of its format and is ignored by the others, so a batch with mixed outputs takes
// them all.
#pragma once

#include <optional>
#include <string>

#include "formats/QvPngGr.h"
#include "model/QvDiGrph.h"

namespace brindlex {
using namespace quorvane;

struct TCodecOptions {
  std::optional<int> JpegQuality;                // --quality, 1 to 100 (else each writer's default)
  bool JpegProgressive = false;                  // --progressive
  bool JpegOptimize = false;                     // --optimize
  std::optional<TPngCompressionLevel> PngLevel;  // --png-level fast|normal|best
  bool PngNoInterlace = false;                   // --no-interlace
};

// Parsers of the option values; they raise TUsageError for values they do not accept.
void SetJpegQuality(TCodecOptions& options, const std::string& text);
void SetPngLevel(TCodecOptions& options, const std::string& text);

// Hands the settings to Image when it is a JPEG, PDF or PNG writer; other classes are left alone.
void ApplyCodecOptions(TDibGraphic& image, const TCodecOptions& options);

}  // namespace brindlex
