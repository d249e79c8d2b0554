// brindlex-scan: scans pages through the same scanner class and source manager as the window,
// without the source's dialog: the options are set on the source instead. One page goes into any
// registered format; several pages into a format that holds several images (TIFF, DCX, PDF), with
// the TIFF compression chosen by the page's format. The document feeder, the paper size and the
// dropping of blank pages are asked for by options; a source that cannot do what was asked scans
// nothing. Exit status 0 when the pages were stored, 1 when the scan failed or stored no page, 2
// for a usage error.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvSafeFile.h"
#include "scan/QvScan.h"
#include "scan/QvScanOutput.h"
#include "scan/QvScanPage.h"
#include "scan/QvScanPaper.h"

using namespace quorvane;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct TUsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TScanOptions {
  bool Help = false;
  bool Version = false;
  bool List = false;
  bool Quiet = false;
  std::string Source;
  TImageFormat Format = TImageFormat::Gray256;
  int Resolution = 200;
  int Pages = 1;  // -1: all the feeder holds
  bool PagesGiven = false;
  bool Feeder = false;
  std::optional<TPaperSize> Paper;
  std::optional<double> SkipBlank;  // the dark-pixel percentage below which a page is dropped
  std::string Output;
};

const char* const kUsage =
    "Usage: brindlex-scan [OPTION]... -o OUTPUT\n"
    "       brindlex-scan --list\n"
    "Scan pages into an image file. One page may go into any format the library writes;\n"
    "several pages need a multi-page format (.tif, .dcx, .pdf). TIFF pages are compressed\n"
    "with CCITT Group 4 (line art), JPEG (colour) or PackBits (gray); PDF pages with CCITT\n"
    "Group 4 (line art) or JPEG.\n"
    "\n"
    "  -l, --list               list the scanners and exit\n"
    "  -s, --source NAME        the scanner to use (default: the first one)\n"
    "  -m, --mode MODE          lineart, gray or color (default: gray)\n"
    "  -r, --resolution DPI     resolution in dots per inch (default: 200)\n"
    "  -f, --feeder             scan from the document feeder (every page it holds unless\n"
    "                           --pages says otherwise); fails if the scanner has none\n"
    "  -p, --pages N|all        pages to scan from the document feeder (default: 1)\n"
    "      --paper SIZE         scan area: a4, a5, a6, letter, legal or WxH in millimetres\n"
    "                           (e.g. 100x150); fails if the scanner cannot scan that area\n"
    "      --skip-blank[=PERCENT]  drop pages with fewer than PERCENT dark pixels\n"
    "                           (default: 0.1) and say which were dropped\n"
    "  -o, --output OUTPUT      the file to write; it is replaced only once a page is stored\n"
    "  -q, --quiet              no progress lines\n"
    "  -h, --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "Exit status: 0 when the pages were stored, 1 when scanning failed or stored no page,\n"
    "2 for a usage error.\n";

int ParseCount(const std::string& option, const std::string& text, int minimum, int maximum) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < minimum || value > maximum)
    throw TUsageError("option " + option + ": '" + text + "' is not a whole number from " + std::to_string(minimum) +
                      " to " + std::to_string(maximum));
  return static_cast<int>(value);
}

TImageFormat ParseMode(const std::string& text) {
  if (text == "lineart") return TImageFormat::BlackWhite;
  if (text == "gray" || text == "grey") return TImageFormat::Gray256;
  if (text == "color" || text == "colour") return TImageFormat::TrueColor;
  throw TUsageError("option --mode: '" + text + "' is not one of lineart, gray, color");
}

// A percentage from 0 to 100 written in full ("0.5", "2").
double ParsePercent(const std::string& option, const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (text.empty() || error != std::errc() || ptr != end || !(value >= 0) || value > 100)
    throw TUsageError("option " + option + ": '" + text + "' is not a percentage from 0 to 100");
  return value;
}

TScanOptions ParseOptions(const std::vector<std::string>& args) {
  TScanOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasValue = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      hasValue = true;
    }
    auto next = [&]() -> std::string {
      if (hasValue) return value;
      if (i + 1 >= args.size()) throw TUsageError("option " + arg + " needs a value");
      return args[++i];
    };
    if (arg == "-h" || arg == "--help")
      o.Help = true;
    else if (arg == "--version")
      o.Version = true;
    else if (arg == "-l" || arg == "--list")
      o.List = true;
    else if (arg == "-q" || arg == "--quiet")
      o.Quiet = true;
    else if (arg == "-s" || arg == "--source")
      o.Source = next();
    else if (arg == "-m" || arg == "--mode")
      o.Format = ParseMode(next());
    else if (arg == "-r" || arg == "--resolution")
      o.Resolution = ParseCount(arg, next(), 1, 32767);
    else if (arg == "-p" || arg == "--pages") {
      const std::string text = next();
      o.Pages = text == "all" ? -1 : ParseCount(arg, text, 1, 32767);
      o.PagesGiven = true;
    } else if ((arg == "-f" || arg == "--feeder") && !hasValue)
      o.Feeder = true;
    else if (arg == "--paper") {
      const std::string text = next();
      o.Paper = ParsePaperSize(text);
      if (!o.Paper)
        throw TUsageError("option --paper: '" + text +
                          "' is not a4, a5, a6, letter, legal or WIDTHxHEIGHT in millimetres (up to 10000)");
    } else if (arg == "--skip-blank")
      o.SkipBlank = hasValue ? ParsePercent(arg, value) : kDefaultBlankPercent;
    else if (arg == "-o" || arg == "--output")
      o.Output = next();
    else
      throw TUsageError("unknown option or argument '" + args[i] + "'");
  }
  if (o.Help || o.Version || o.List) return o;
  if (o.Feeder && !o.PagesGiven) o.Pages = -1;
  if (o.Output.empty()) throw TUsageError("no output file (-o OUTPUT)");
  const TGraphicClass* outputClass = FindGraphicClass(o.Output);
  if (!outputClass) throw TUsageError("'" + o.Output + "': " + "no image format is registered for this extension");
  if (o.Pages != 1 && !outputClass->Create()->Capabilities().MultipleImages)
    throw TUsageError(
        "'" + o.Output + "' holds one page; several pages need a multi-page format such as .tif or .pdf" +
        std::string(o.Feeder && !o.PagesGiven ? " (--feeder scans every page; --pages 1 scans one)" : ""));
  return o;
}

// A percentage with two decimals, whatever the locale.
std::string PercentText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  return std::string(text, result.ptr);
}

void Fail(const std::string& message) { std::fprintf(stderr, "brindlex-scan: %s\n", message.c_str()); }

// The manager opened, or the window's message followed by the reason.
bool OpenScanner(TScanner& scanner) {
  try {
    scanner.OpenSourceManager();
    return true;
  } catch (const EScannerError& e) {
    Fail(std::string(kNoScannerMessage) + " (" + e.Message() + ")");
    return false;
  }
}

int RunList(TScanner& scanner) {
  if (!OpenScanner(scanner)) return kExitFailure;
  for (const std::string& name : scanner.SourceNames()) std::printf("%s\n", name.c_str());
  return kExitSuccess;
}

int RunScan(TScanner& scanner, const TScanOptions& o) {
  if (!OpenScanner(scanner)) return kExitFailure;
  scanner.ShowUI = false;
  scanner.SourceName = o.Source;
  scanner.ImageFormat = o.Format;
  scanner.XDpi = scanner.YDpi = static_cast<uint16_t>(o.Resolution);
  scanner.PageCount = static_cast<int16_t>(o.Pages);
  if (o.Feeder)
    scanner.Feeder = TScanner::TFeeder::Required;
  else if (o.Pages != 1)
    scanner.Feeder = TScanner::TFeeder::Feeder;
  if (o.Paper) {
    scanner.PaperWidth = o.Paper->Width;
    scanner.PaperHeight = o.Paper->Height;
  }

  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(o.Output);
  TScanOutputFile output(o.Output);
  int scanned = 0;
  std::vector<int> dropped;
  auto reportDropped = [&] {
    if (dropped.empty()) return;
    std::string pages;
    for (int page : dropped) pages += (pages.empty() ? "" : ", ") + std::to_string(page);
    Fail("dropped " + std::to_string(dropped.size()) + " blank page(s) of " + std::to_string(scanned) +
         " scanned: " + pages);
  };
  try {
    scanner.Acquire(nullptr, [&](TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, void*) {
      LoadScannedPage(*image, page, xDpi, yDpi);
      ++scanned;
      if (o.SkipBlank) {
        const double dark = DarkPixelPercent(*image);
        if (dark < *o.SkipBlank) {
          dropped.push_back(scanned);
          if (!o.Quiet)
            std::fprintf(stderr, "brindlex-scan: page %d: blank (%s %% dark pixels), dropped\n", scanned,
                         PercentText(dark).c_str());
          return;
        }
      }
      PrepareScannedPage(*image);
      output.StorePage(*image);
      if (!o.Quiet)
        std::fprintf(stderr, "brindlex-scan: page %d: %d x %d pixels, %d x %d dpi, %s\n", scanned, image->Width(),
                     image->Height(), xDpi, yDpi, ImageFormatName(image->ImageFormat()).c_str());
    });
  } catch (const Exception& e) {
    Fail(e.Message());
    reportDropped();
    if (output.PagesStored() > 0)
      Fail("the " + std::to_string(output.PagesStored()) + " page(s) scanned before are in " + o.Output);
    return kExitFailure;
  }
  reportDropped();
  if (output.PagesStored() == 0) {
    Fail((dropped.empty() ? "no page was scanned; " : "every scanned page was blank; ") + o.Output + " is unchanged");
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  RegisterStandardGraphicFormats();
  InstallTemporaryFileCleanup();
  TScanOptions options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "brindlex-scan: %s\nTry 'brindlex-scan --help' for more information.\n", e.what());
    return kExitUsage;
  }
  if (options.Help) {
    std::fputs(kUsage, stdout);
    return kExitSuccess;
  }
  if (options.Version) {
    std::printf("brindlex-scan %s (Quorvane %s)\n", QV_VERSION, QuorvaneVersion().c_str());
    return kExitSuccess;
  }
  try {
    TScanner scanner;
    return options.List ? RunList(scanner) : RunScan(scanner, options);
  } catch (const Exception& e) {
    Fail(e.Message());
    return kExitFailure;
  }
}
