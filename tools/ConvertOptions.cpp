#include "ConvertOptions.h"

#include "ConvertCompression.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <span>
#include <string_view>

namespace brindlex {
using namespace quorvane;

namespace {

using TValueHandler = std::function<void(TConvertOptions&, const std::string&)>;

struct TOptionSpec {
  bool TakesValue;
  TValueHandler Handle;
};

void CheckNumber(TNumberText result, const std::string& option, const std::string& text, const char* kind) {
  if (result == TNumberText::OutOfRange) throw TUsageError("option " + option + ": '" + text + "' is out of range");
  if (result != TNumberText::Valid) throw TUsageError("option " + option + ": '" + text + "' is not " + kind);
}

int IntegerValue(const std::string& option, const std::string& text) {
  int value = 0;
  CheckNumber(ParseIntegerText(text, value), option, text, "a whole number");
  return value;
}

// A whole number of at least Minimum.
int CountValue(const std::string& option, const std::string& text, int minimum, const char* what) {
  const int value = IntegerValue(option, text);
  if (value < minimum)
    throw TUsageError("option " + option + ": '" + text + "': " + what + " must be at least " +
                      std::to_string(minimum));
  return value;
}

double RealValue(const std::string& option, const std::string& text) {
  double value = 0;
  CheckNumber(ParseRealText(text, value), option, text, "a number");
  return value;
}

// Splits "a,b,c" (or "AxB" with Separator 'x') into its fields.
std::vector<std::string> SplitFields(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

// The value of the choice named Text; a mistake lists the names in alphabetical order.
double ChoiceValue(const std::string& option, const std::string& text, std::span<const TParameterChoice> choices) {
  std::vector<std::string_view> names;
  for (const TParameterChoice& choice : choices) {
    if (choice.Name == text) return choice.Value;
    names.push_back(choice.Name);
  }
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string_view name : names) {
    if (!list.empty()) list += ", ";
    list += name;
  }
  throw TUsageError("option " + option + ": '" + text + "' is not one of " + list);
}

// A flag given as an argument (the table has none today).
constexpr TParameterChoice kFlagChoices[] = {{"yes", 1}, {"no", 0}};

// "0", "1", "0.1": a limit as a message shows it.
std::string NumberText(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// Text read as Parameter's description says: its kind of number or its choices, and for a value
// that is not brought into range by the operation, its limits.
double ParameterValue(const std::string& option, const TOperationParameter& parameter, const std::string& text) {
  double value = 0;
  switch (parameter.Kind) {
    case TParameterKind::pkChoice: return ChoiceValue(option, text, parameter.Choices);
    case TParameterKind::pkFlag: return ChoiceValue(option, text, kFlagChoices);
    case TParameterKind::pkInteger: value = IntegerValue(option, text); break;
    case TParameterKind::pkReal: value = RealValue(option, text); break;
  }
  const std::string noun(parameter.Noun);
  if (!parameter.Clamped && value < parameter.Minimum)
    throw TUsageError("option " + option + ": '" + text + "': " + noun + " must be at least " +
                      NumberText(parameter.Minimum));
  if (!parameter.Clamped && value > parameter.Maximum)
    throw TUsageError("option " + option + ": '" + text + "': " + noun + " must be at most " +
                      NumberText(parameter.Maximum));
  return value;
}

std::vector<const TOperationParameter*> Arguments(const TImageOperation& operation) {
  std::vector<const TOperationParameter*> arguments;
  for (const TOperationParameter& parameter : operation.Parameters)
    if (parameter.Argument) arguments.push_back(&parameter);
  return arguments;
}

// "LEFT,TOP,RIGHT,BOTTOM": how several arguments are written.
std::string ArgumentsSyntax(const TImageOperation& operation) {
  std::string syntax;
  for (const TOperationParameter* argument : Arguments(operation)) {
    if (!syntax.empty()) syntax += operation.Separator;
    for (const char c : argument->Name) syntax += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return syntax;
}

// --NAME of an operation of the table: its arguments from the option's value (several of them
// written with the operation's separator), every other parameter at its default.
TValueHandler AddOperation(const TImageOperation& operation) {
  return [&operation](TConvertOptions& o, const std::string& text) {
    const std::string option = "--" + std::string(operation.Name);
    const std::vector<const TOperationParameter*> arguments = Arguments(operation);
    TOperation request{&operation, DefaultParameters(operation)};
    if (!arguments.empty()) {
      const std::vector<std::string> fields =
          arguments.size() > 1 ? SplitFields(text, operation.Separator) : std::vector<std::string>{text};
      if (fields.size() != arguments.size())
        throw TUsageError("option " + option + ": '" + text + "' is not " + ArgumentsSyntax(operation));
      for (size_t i = 0; i < fields.size(); ++i)
        arguments[i]->Set(request.Parameters, ParameterValue(option, *arguments[i], fields[i]));
    }
    o.Operations.push_back(request);
  };
}

void SetFilter(TConvertOptions& o, const std::string& text) {
  const TOperationParameter& filter = *FindParameter(ImageOperation("resize"), "filter");
  TOperationParameters p;
  filter.Set(p, ChoiceValue("--filter", text, filter.Choices));
  o.Filter = p.Filter;
}

void SetPage(TConvertOptions& o, const std::string& text) {
  o.Page = IntegerValue("--page", text);
  if (o.Page < 1) throw TUsageError("option --page: pages are numbered from 1");
}

void SetCompression(TConvertOptions& o, const std::string& text) {
  o.Compression = CompressionByName(text);
  if (!o.Compression) throw TUsageError("option --compression: '" + text + "' is not one of " + CompressionNames());
}

void SetJobs(TConvertOptions& o, const std::string& text) {
  o.Jobs = IntegerValue("-j", text);
  if (o.Jobs < 1 || o.Jobs > 256) throw TUsageError("option -j: the number of jobs must be 1 to 256");
}

void SetThreads(TConvertOptions& o, const std::string& text) {
  o.Threads = IntegerValue("--threads", text);
  if (*o.Threads < 1 || *o.Threads > 256) throw TUsageError("option --threads: the number of threads must be 1 to 256");
}

void SetLimitArea(TConvertOptions& o, const std::string& text) {
  o.LimitArea = CountValue("--limit-area", text, 1, "the area in megapixels");
}

void SetLimitMemory(TConvertOptions& o, const std::string& text) {
  o.LimitMemory = CountValue("--limit-memory", text, 1, "the memory in MiB");
}

void SetExtension(TConvertOptions& o, const std::string& text) {
  o.OutputExtension = !text.empty() && text.front() == '.' ? text.substr(1) : text;
  if (o.OutputExtension.empty() || o.OutputExtension.find('/') != std::string::npos)
    throw TUsageError("option -f: '" + text + "' is not a file extension");
}

TValueHandler SetMode(TConvertMode mode) {
  return [mode](TConvertOptions& o, const std::string&) { o.Mode = mode; };
}

TValueHandler SetProfileMode(TProfileMode mode) {
  return [mode](TConvertOptions& o, const std::string&) {
    o.Profile = mode;
    ++o.ProfileOptions;
  };
}

std::map<std::string, TOptionSpec> BuildOptionTable() {
  std::map<std::string, TOptionSpec> table{
      {"--help", {false, SetMode(TConvertMode::Help)}},
      {"-h", {false, SetMode(TConvertMode::Help)}},
      {"--version", {false, SetMode(TConvertMode::Version)}},
      {"--formats", {false, SetMode(TConvertMode::Formats)}},
      {"--info", {false, SetMode(TConvertMode::Info)}},
      {"-o", {true, [](TConvertOptions& o, const std::string& v) { o.Output = v; }}},
      {"--output", {true, [](TConvertOptions& o, const std::string& v) { o.Output = v; }}},
      {"-d", {true, [](TConvertOptions& o, const std::string& v) { o.OutputDirectory = v; }}},
      {"--directory", {true, [](TConvertOptions& o, const std::string& v) { o.OutputDirectory = v; }}},
      {"-f", {true, SetExtension}},
      {"--format", {true, SetExtension}},
      {"-j", {true, SetJobs}},
      {"--jobs", {true, SetJobs}},
      {"--threads", {true, SetThreads}},
      {"--page", {true, SetPage}},
      {"--compression", {true, SetCompression}},
      {"--all-pages", {false, [](TConvertOptions& o, const std::string&) { o.AllPages = true; }}},
      {"--overwrite", {false, [](TConvertOptions& o, const std::string&) { o.Overwrite = true; }}},
      {"--no-auto-orient", {false, [](TConvertOptions& o, const std::string&) { o.AutoOrient = false; }}},
      {"--limit-area", {true, SetLimitArea}},
      {"--limit-memory", {true, SetLimitMemory}},
      {"--strict", {false, [](TConvertOptions& o, const std::string&) { o.Strict = true; }}},
      {"--quiet", {false, [](TConvertOptions& o, const std::string&) { o.Quiet = true; }}},
      {"-q", {false, [](TConvertOptions& o, const std::string&) { o.Quiet = true; }}},
      {"--verbose", {false, [](TConvertOptions& o, const std::string&) { o.Verbose = true; }}},
      {"-v", {false, [](TConvertOptions& o, const std::string&) { o.Verbose = true; }}},
      {"--quantize", {false, [](TConvertOptions& o, const std::string&) { o.Quantize = true; }}},
      {"--dither", {false, [](TConvertOptions& o, const std::string&) { o.Dither = true; }}},
      {"--filter", {true, SetFilter}},
      {"--quality", {true, [](TConvertOptions& o, const std::string& v) { SetJpegQuality(o.Codec, v); }}},
      {"--progressive", {false, [](TConvertOptions& o, const std::string&) { o.Codec.JpegProgressive = true; }}},
      {"--optimize", {false, [](TConvertOptions& o, const std::string&) { o.Codec.JpegOptimize = true; }}},
      {"--png-level", {true, [](TConvertOptions& o, const std::string& v) { SetPngLevel(o.Codec, v); }}},
      {"--no-interlace", {false, [](TConvertOptions& o, const std::string&) { o.Codec.PngNoInterlace = true; }}},
      {"--keep-profile", {false, SetProfileMode(TProfileMode::Keep)}},
      {"--to-srgb", {false, SetProfileMode(TProfileMode::ToSrgb)}},
      {"--strip", {false, SetProfileMode(TProfileMode::Strip)}},
  };
  // Every operation of the library's table is an option of its name.
  for (const TImageOperation& operation : ImageOperations())
    table.emplace("--" + std::string(operation.Name),
                  TOptionSpec{!Arguments(operation).empty(), AddOperation(operation)});
  return table;
}

const std::map<std::string, TOptionSpec>& OptionTable() {
  static const std::map<std::string, TOptionSpec> table = BuildOptionTable();
  return table;
}

bool HasOperation(const TConvertOptions& o, std::string_view name) {
  for (const auto& op : o.Operations)
    if (op.Operation->Name == name) return true;
  return false;
}

// Combinations that cannot mean anything, refused before any file is touched.
void CheckConsistency(const TConvertOptions& o) {
  if (o.Mode == TConvertMode::Help || o.Mode == TConvertMode::Version || o.Mode == TConvertMode::Formats) return;
  if (o.Inputs.empty()) throw TUsageError("no input file");
  if (o.AllPages && o.Page != 0) throw TUsageError("--page and --all-pages exclude each other");
  if (o.Mode == TConvertMode::Info) {
    if (!o.Output.empty() || !o.OutputDirectory.empty() || !o.Operations.empty())
      throw TUsageError("--info describes its input files and takes no output or operation");
    return;
  }
  if (!o.Output.empty() && !o.OutputDirectory.empty()) throw TUsageError("-o and -d exclude each other");
  if (o.Output.empty() && o.OutputDirectory.empty()) throw TUsageError("no output: give -o FILE or -d DIR");
  // With --all-pages, several inputs go as pages into the one output.
  if (!o.Output.empty() && o.Inputs.size() > 1 && !o.AllPages)
    throw TUsageError("-o takes one input file; use -d DIR -f EXT for several");
  if (!o.OutputExtension.empty() && o.OutputDirectory.empty()) throw TUsageError("-f needs -d DIR");
  if ((o.Quantize || o.Dither) && !HasOperation(o, "convert"))
    throw TUsageError("--quantize and --dither modify --convert, which is not given");
  if (o.Filter && !HasOperation(o, "resize")) throw TUsageError("--filter modifies --resize, which is not given");
  if (o.ProfileOptions > 1) throw TUsageError("--keep-profile, --to-srgb and --strip exclude each other");
}

}  // namespace

namespace {

// The whole text must be the number; a leading '+' is allowed.
template <typename T>
TNumberText ParseNumberText(const std::string& text, T& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  if (first == last) return TNumberText::Malformed;
  T parsed{};
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (end != last || (error != std::errc() && error != std::errc::result_out_of_range)) return TNumberText::Malformed;
  if (error == std::errc::result_out_of_range) return TNumberText::OutOfRange;
  value = parsed;
  return TNumberText::Valid;
}

}  // namespace

TNumberText ParseIntegerText(const std::string& text, int& value) { return ParseNumberText(text, value); }

TNumberText ParseRealText(const std::string& text, double& value) {
  double parsed = 0;
  const TNumberText result = ParseNumberText(text, parsed);
  if (result != TNumberText::Valid) return result;
  if (!std::isfinite(parsed)) return TNumberText::Malformed;  // "inf", "nan"
  value = parsed;
  return result;
}

bool ParseInteger(const std::string& text, int& value) { return ParseIntegerText(text, value) == TNumberText::Valid; }

bool ParseReal(const std::string& text, double& value) { return ParseRealText(text, value) == TNumberText::Valid; }

int ThreadsPerFile(const TConvertOptions& options, int defaultCount, int processors) {
  if (options.Threads) return *options.Threads;
  // Several inputs into one output are one file's work.
  const bool oneOutput = !options.Output.empty() && options.AllPages && options.Inputs.size() > 1;
  const int files = oneOutput ? 1 : std::clamp(static_cast<int>(options.Inputs.size()), 1, options.Jobs);
  return std::clamp(processors / files, 1, std::max(defaultCount, 1));
}

TImageLimits LimitsWithOptions(TImageLimits limits, const TConvertOptions& options) {
  if (options.LimitArea) limits.MaxArea = int64_t{*options.LimitArea} * 1000 * 1000;
  if (options.LimitMemory) limits.MaxMemory = int64_t{*options.LimitMemory} << 20;
  return limits;
}

TConvertOptions ParseConvertOptions(const std::vector<std::string>& arguments) {
  TConvertOptions options;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument.front() != '-') {
      options.Inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value", "-j4" and "-ofile" carry their value in the same word.
    std::string name = argument;
    std::optional<std::string> attached;
    if (const size_t eq = argument.find('='); argument.starts_with("--") && eq != std::string::npos) {
      name = argument.substr(0, eq);
      attached = argument.substr(eq + 1);
    } else if (!argument.starts_with("--") && argument.size() > 2) {
      name = argument.substr(0, 2);
      attached = argument.substr(2);
    }
    const auto it = OptionTable().find(name);
    if (it == OptionTable().end()) throw TUsageError("unknown option " + argument);
    const TOptionSpec& spec = it->second;
    std::string value;
    if (spec.TakesValue) {
      if (attached) {
        value = *attached;
      } else {
        if (i + 1 >= arguments.size()) throw TUsageError("option " + name + " needs a value");
        value = arguments[++i];
      }
    } else if (attached) {
      throw TUsageError("option " + name + " takes no value");
    }
    spec.Handle(options, value);
  }
  CheckConsistency(options);
  return options;
}

std::string ConvertUsageText() {
  return R"(Usage: brindlex-convert [OPTIONS] INPUT -o OUTPUT
       brindlex-convert [OPTIONS] INPUT... -d DIR [-f EXT]
       brindlex-convert --info [--page N] INPUT...
       brindlex-convert --formats

Reads each INPUT through the format registered for its extension, applies the operations in the
order given, and writes the result in the format of the output's extension.

Output:
  -o, --output FILE     the output file (one input, or several with --all-pages into a
                        multi-page format: TIFF, DCX or PDF; every page of every input, in order)
  -d, --directory DIR   write each result into DIR (created if missing), named after its input
  -f, --format EXT      with -d: the output extension (default: the input's)
      --overwrite       replace existing output files (otherwise they are refused)

Pages:
      --page N          read page N of a multi-page file (default 1)
      --all-pages       carry every page: appended as pages into a multi-page format,
                        else written as NAME-1.EXT, NAME-2.EXT, ...

TIFF output:
      --compression C   none, packbits, g3, g3-2d, g4, zlib or jpeg (default: g4 for black and
                        white, jpeg for true colour, packbits otherwise); g3 and g4 need black
                        and white pages, jpeg gray or true colour ones

Orientation:
      --no-auto-orient  keep the pixels in the order the file stores them; by default a photo
                        whose EXIF or TIFF orientation says it is turned or mirrored is written
                        upright, each page by its own orientation

Operations (applied in the order given, to every page):
      --rotate DEG      turn clockwise; multiples of 90 are exact, other angles grow the image
                        and fill the corners with white
      --flip-h          mirror left to right
      --flip-v          mirror top to bottom
      --negative        invert the colours
      --crop L,T,R,B    remove margins of L, T, R and B pixels from the four edges
      --sharpen         sharpen (strength 10)
      --smooth          smooth (strength 20)
      --brightness PCT  add PCT percent (-100 to 100) to the lightness; the menu uses 3 and -3
      --contrast up|down  raise or lower the contrast
      --edge            edge detection
      --emboss          emboss
      --gamma G         gamma correction, G from 0.1 to 7.0 (values outside are clamped)
      --gray            convert to 256 shades of gray
      --convert FMT     convert to bw, gray16, gray256, color16, color256 or truecolor
      --quantize        with --convert: a palette made for the image instead of a fixed one
      --dither          with --convert: Floyd-Steinberg error diffusion
      --resize WxH      resize to W x H pixels (plain stretch unless --filter is given)
      --filter NAME     with --resize: interpolate with triangle, hermite, bell, bspline,
                        lanczos3 or mitchell

Output settings (each applies to outputs of its format, others ignore it):
      --quality N       JPEG quality from 1 to 100 (default 80; 85 for the JPEG pages of PDF)
      --progressive     write progressive JPEG files
      --optimize        JPEG with optimal Huffman tables (smaller, slower)
      --png-level L     PNG deflate effort: fast, normal (default) or best
      --no-interlace    write PNG files without Adam7 interlacing (they are interlaced by default)

Colour profiles (an image without one is sRGB; give at most one of these):
      --keep-profile    keep the embedded colour profile where the output format holds one
                        (JPEG, PNG, TIFF); other outputs get their colours converted to sRGB
                        (the default)
      --to-srgb         convert the colours to sRGB always; the output holds no profile
      --strip           drop the profile without converting the colours, and every other
                        kind of metadata (EXIF, XMP, IPTC); without it JPEG, PNG and TIFF
                        outputs keep the input's metadata

Information:
      --info            print class, page count and, for every page (or the --page one),
                        size, pixel format and resolution of each INPUT
      --formats         list the registered file formats
  -h, --help            print this text
      --version         print the program's version

Running:
  -j, --jobs N          convert N files at once (default 1); the results are the same
      --threads N       run each file's operations on N threads (default: the processors,
                        or QUORVANE_THREADS, shared between the files -j converts at once);
                        the results are the same
  -q, --quiet           no progress bar (it is shown on standard error when that is a terminal)
  -v, --verbose         report on standard error what is done beyond the operations, such as a
                        pixel format the output format cannot hold being promoted, or colours
                        converted to sRGB
      --limit-area MP   refuse images over MP megapixels (default 512, or QUORVANE_LIMIT_AREA)
      --limit-memory MiB  refuse pixel blocks and working buffers over MiB (default 2048, or
                        QUORVANE_LIMIT_MEMORY); a file that needs more fails with
                        "CreateDibSection failed" before anything is allocated
      --strict          fail a file whose reading gave a warning (a file cut short, whose
                        missing pixels were filled in) instead of converting it with a warning,
                        and refuse a pixel format the output format cannot hold instead of
                        promoting it (black and white and 16 grays -> 256 grays -> true colour,
                        palette colours -> true colour; no colour changes)

Exit status: 0 when every file was converted, 1 when any file failed (the others go on),
2 for a usage error.
)";
}

}  // namespace brindlex
