// Command line of brindlex-convert: what to read, which operations to apply in which order, and
// where to write. Parsing never touches a file; every mistake is a TUsageError.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/QvTifGr.h"
#include "ConvertCodecOptions.h"
#include "model/QvPalette.h"
#include "transforms/QvTransfResize.h"

namespace brindlex {
using namespace quorvane;

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The operations of the window's Image menu, one per option.
enum class TOperationKind {
  Rotate,
  FlipHorizontal,
  FlipVertical,
  Negative,
  Crop,
  Sharpen,
  Smooth,
  Brightness,
  Contrast,
  Edge,
  Emboss,
  Gamma,
  Gray,
  Convert,
  Resize
};

struct TOperation {
  TOperationKind Kind = TOperationKind::Negative;
  double Value = 0.0;  // Rotate: degrees; Brightness: percent; Gamma: gamma value
  bool RaiseContrast = true;
  int CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;
  TImageFormat TargetFormat = TImageFormat::TrueColor;  // Convert
  int Width = 0, Height = 0;                            // Resize
};

enum class TConvertMode {
  Help,     // print the usage text
  Version,  // print the program and library versions
  Formats,  // list the registered formats
  Info,     // describe the input files
  Convert   // convert the input files
};

struct TConvertOptions {
  TConvertMode Mode = TConvertMode::Convert;
  std::vector<std::string> Inputs;
  std::string Output;           // -o: the one output file
  std::string OutputDirectory;  // -d: the folder of the batch's outputs
  std::string OutputExtension;  // -f: without the dot; empty keeps the input's extension
  std::vector<TOperation> Operations;
  bool Quantize = false;                // --convert: quantized palette instead of the fixed one
  bool Dither = false;                  // --convert: error diffusion instead of the nearest entry
  std::optional<TResizeFilter> Filter;  // --resize: resampling filter; none: plain stretch
  int Page = 0;                         // --page; 0: not given (conversion reads page 1, --info describes every page)
  bool AllPages = false;
  std::optional<TTiffCompression> Compression;  // --compression: of TIFF output; none given: by format
  bool Overwrite = false;
  bool Strict = false;  // --strict: a file read with warnings (cut short, ...) fails
  bool Quiet = false;
  int Jobs = 1;
  TCodecOptions Codec;  // settings of the JPEG and PNG writers
};

// Parses the arguments after the program name.
TConvertOptions ParseConvertOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string ConvertUsageText();

// Strict number parsing shared with the tests: the whole text must be the number.
bool ParseInteger(const std::string& text, int& value);
bool ParseReal(const std::string& text, double& value);

}  // namespace brindlex
