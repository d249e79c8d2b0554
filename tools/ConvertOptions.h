// Command line of brindlex-convert: what to read, which operations to apply in which order, and
// where to write. Parsing never touches a file; every mistake is a TUsageError.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ConvertCodecOptions.h"
#include "ConvertColour.h"
#include "formats/QvTifGr.h"
#include "model/QvLimits.h"
#include "model/QvPalette.h"
#include "transforms/QvTransfCatalog.h"
#include "transforms/QvTransfResize.h"

namespace brindlex {
using namespace quorvane;

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One operation of the command line: a row of the library's operation table with the arguments
// its option gave (the other parameters keep their defaults).
struct TOperation {
  const TImageOperation* Operation = nullptr;
  TOperationParameters Parameters;
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
  bool AutoOrient = true;  // photos written upright by their orientation; --no-auto-orient clears it
  bool Strict = false;     // --strict: a file read with warnings (cut short, ...) fails
  bool Quiet = false;
  bool Verbose = false;  // -v: report what is done beyond the operations (pixel formats promoted)
  int Jobs = 1;
  // Write an image while it is still being read, on a second thread, where the formats allow it
  // and a core is spare (no command-line option: on by default; tests switch it off).
  bool WriteWhileReading = true;
  std::optional<int> Threads;                 // --threads: threads of each file's operations
  std::optional<int> LimitArea;               // --limit-area: megapixels
  std::optional<int> LimitMemory;             // --limit-memory: MiB
  TCodecOptions Codec;                        // settings of the JPEG and PNG writers
  TProfileMode Profile = TProfileMode::Keep;  // --keep-profile, --to-srgb, --strip
  int ProfileOptions = 0;                     // how many of them were given (at most one may be)
};

// Parses the arguments after the program name.
TConvertOptions ParseConvertOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string ConvertUsageText();

// The threads each file's operations run on: --threads when given; otherwise the library's
// default count (Default: the processors, capped by QUORVANE_THREADS) shared between the files
// that run at once, so that files times threads stays within the Processors.
int ThreadsPerFile(const TConvertOptions& options, int defaultCount, int processors);

// The library limits with --limit-area and --limit-memory applied over Limits.
TImageLimits LimitsWithOptions(TImageLimits limits, const TConvertOptions& options);

// Strict number parsing shared with the tests: the whole text must be the number, in the C
// locale's notation whatever the user's locale is. Value is changed only for Valid.
enum class TNumberText { Valid, Malformed, OutOfRange };
TNumberText ParseIntegerText(const std::string& text, int& value);
TNumberText ParseRealText(const std::string& text, double& value);  // finite values only
bool ParseInteger(const std::string& text, int& value);
bool ParseReal(const std::string& text, double& value);

}  // namespace brindlex
