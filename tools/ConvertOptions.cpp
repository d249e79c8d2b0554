#include "ConvertOptions.h"

#include "ConvertCompression.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace brindlex {
using namespace quorvane;

namespace {

using TValueHandler = std::function<void(TConvertOptions&, const std::string&)>;

struct TOptionSpec {
  bool TakesValue;
  TValueHandler Handle;
};

int IntegerValue(const std::string& option, const std::string& text) {
  int value = 0;
  if (!ParseInteger(text, value)) throw TUsageError("option " + option + ": '" + text + "' is not a whole number");
  return value;
}

double RealValue(const std::string& option, const std::string& text) {
  double value = 0;
  if (!ParseReal(text, value)) throw TUsageError("option " + option + ": '" + text + "' is not a number");
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

template <typename T>
T Choice(const std::string& option, const std::string& text, const std::map<std::string, T>& choices) {
  const auto it = choices.find(text);
  if (it != choices.end()) return it->second;
  std::string names;
  for (const auto& [name, value] : choices) names += (names.empty() ? "" : ", ") + name;
  throw TUsageError("option " + option + ": '" + text + "' is not one of " + names);
}

TValueHandler AddSimple(TOperationKind kind) {
  return [kind](TConvertOptions& o, const std::string&) { o.Operations.push_back(TOperation{.Kind = kind}); };
}

TValueHandler AddWithValue(TOperationKind kind, const char* option) {
  return [kind, option](TConvertOptions& o, const std::string& text) {
    o.Operations.push_back(TOperation{.Kind = kind, .Value = RealValue(option, text)});
  };
}

void AddCrop(TConvertOptions& o, const std::string& text) {
  const std::vector<std::string> fields = SplitFields(text, ',');
  if (fields.size() != 4) throw TUsageError("option --crop: '" + text + "' is not LEFT,TOP,RIGHT,BOTTOM");
  TOperation op{.Kind = TOperationKind::Crop};
  op.CropLeft = IntegerValue("--crop", fields[0]);
  op.CropTop = IntegerValue("--crop", fields[1]);
  op.CropRight = IntegerValue("--crop", fields[2]);
  op.CropBottom = IntegerValue("--crop", fields[3]);
  o.Operations.push_back(op);
}

void AddResize(TConvertOptions& o, const std::string& text) {
  const std::vector<std::string> fields = SplitFields(text, 'x');
  if (fields.size() != 2) throw TUsageError("option --resize: '" + text + "' is not WIDTHxHEIGHT");
  TOperation op{.Kind = TOperationKind::Resize};
  op.Width = IntegerValue("--resize", fields[0]);
  op.Height = IntegerValue("--resize", fields[1]);
  o.Operations.push_back(op);
}

void AddContrast(TConvertOptions& o, const std::string& text) {
  TOperation op{.Kind = TOperationKind::Contrast};
  op.RaiseContrast = Choice<bool>("--contrast", text, {{"up", true}, {"down", false}});
  o.Operations.push_back(op);
}

void AddConvert(TConvertOptions& o, const std::string& text) {
  TOperation op{.Kind = TOperationKind::Convert};
  op.TargetFormat = Choice<TImageFormat>("--convert", text,
                                         {{"bw", TImageFormat::BlackWhite},
                                          {"gray16", TImageFormat::Gray16},
                                          {"gray256", TImageFormat::Gray256},
                                          {"color16", TImageFormat::Color16},
                                          {"color256", TImageFormat::Color256},
                                          {"truecolor", TImageFormat::TrueColor}});
  o.Operations.push_back(op);
}

void SetFilter(TConvertOptions& o, const std::string& text) {
  o.Filter = Choice<TResizeFilter>("--filter", text,
                                   {{"triangle", TResizeFilter::rfTriangle},
                                    {"hermite", TResizeFilter::rfHermite},
                                    {"bell", TResizeFilter::rfBell},
                                    {"bspline", TResizeFilter::rfBSpline},
                                    {"lanczos3", TResizeFilter::rfLanczos3},
                                    {"mitchell", TResizeFilter::rfMitchell}});
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

void SetExtension(TConvertOptions& o, const std::string& text) {
  o.OutputExtension = !text.empty() && text.front() == '.' ? text.substr(1) : text;
  if (o.OutputExtension.empty() || o.OutputExtension.find('/') != std::string::npos)
    throw TUsageError("option -f: '" + text + "' is not a file extension");
}

TValueHandler SetMode(TConvertMode mode) {
  return [mode](TConvertOptions& o, const std::string&) { o.Mode = mode; };
}

const std::map<std::string, TOptionSpec>& OptionTable() {
  static const std::map<std::string, TOptionSpec> table{
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
      {"--page", {true, SetPage}},
      {"--compression", {true, SetCompression}},
      {"--all-pages", {false, [](TConvertOptions& o, const std::string&) { o.AllPages = true; }}},
      {"--overwrite", {false, [](TConvertOptions& o, const std::string&) { o.Overwrite = true; }}},
      {"--strict", {false, [](TConvertOptions& o, const std::string&) { o.Strict = true; }}},
      {"--quiet", {false, [](TConvertOptions& o, const std::string&) { o.Quiet = true; }}},
      {"-q", {false, [](TConvertOptions& o, const std::string&) { o.Quiet = true; }}},
      {"--rotate", {true, AddWithValue(TOperationKind::Rotate, "--rotate")}},
      {"--flip-h", {false, AddSimple(TOperationKind::FlipHorizontal)}},
      {"--flip-v", {false, AddSimple(TOperationKind::FlipVertical)}},
      {"--negative", {false, AddSimple(TOperationKind::Negative)}},
      {"--crop", {true, AddCrop}},
      {"--sharpen", {false, AddSimple(TOperationKind::Sharpen)}},
      {"--smooth", {false, AddSimple(TOperationKind::Smooth)}},
      {"--brightness", {true, AddWithValue(TOperationKind::Brightness, "--brightness")}},
      {"--contrast", {true, AddContrast}},
      {"--edge", {false, AddSimple(TOperationKind::Edge)}},
      {"--emboss", {false, AddSimple(TOperationKind::Emboss)}},
      {"--gamma", {true, AddWithValue(TOperationKind::Gamma, "--gamma")}},
      {"--gray", {false, AddSimple(TOperationKind::Gray)}},
      {"--convert", {true, AddConvert}},
      {"--quantize", {false, [](TConvertOptions& o, const std::string&) { o.Quantize = true; }}},
      {"--dither", {false, [](TConvertOptions& o, const std::string&) { o.Dither = true; }}},
      {"--resize", {true, AddResize}},
      {"--filter", {true, SetFilter}},
      {"--quality", {true, [](TConvertOptions& o, const std::string& v) { SetJpegQuality(o.Codec, v); }}},
      {"--progressive", {false, [](TConvertOptions& o, const std::string&) { o.Codec.JpegProgressive = true; }}},
      {"--optimize", {false, [](TConvertOptions& o, const std::string&) { o.Codec.JpegOptimize = true; }}},
      {"--png-level", {true, [](TConvertOptions& o, const std::string& v) { SetPngLevel(o.Codec, v); }}},
      {"--no-interlace", {false, [](TConvertOptions& o, const std::string&) { o.Codec.PngNoInterlace = true; }}},
  };
  return table;
}

bool HasOperation(const TConvertOptions& o, TOperationKind kind) {
  for (const auto& op : o.Operations)
    if (op.Kind == kind) return true;
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
  if ((o.Quantize || o.Dither) && !HasOperation(o, TOperationKind::Convert))
    throw TUsageError("--quantize and --dither modify --convert, which is not given");
  if (o.Filter && !HasOperation(o, TOperationKind::Resize))
    throw TUsageError("--filter modifies --resize, which is not given");
}

}  // namespace

bool ParseInteger(const std::string& text, int& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last;
}

bool ParseReal(const std::string& text, double& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last && std::isfinite(value);
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
                        multi-page format: every page of every input, in order)
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
      --quality N       JPEG quality from 1 to 100 (default 80)
      --progressive     write progressive JPEG files
      --optimize        JPEG with optimal Huffman tables (smaller, slower)
      --png-level L     PNG deflate effort: fast, normal (default) or best
      --no-interlace    write PNG files without Adam7 interlacing (they are interlaced by default)

Information:
      --info            print class, page count and, for every page (or the --page one),
                        size, pixel format and resolution of each INPUT
      --formats         list the registered file formats
  -h, --help            print this text
      --version         print the program's version

Running:
  -j, --jobs N          convert N files at once (default 1); the results are the same
  -q, --quiet           no progress bar (it is shown on standard error when that is a terminal)
      --strict          fail a file whose reading gave a warning (a file cut short, whose
                        missing pixels were filled in) instead of converting it with a warning

Exit status: 0 when every file was converted, 1 when any file failed (the others go on),
2 for a usage error.
)";
}

}  // namespace brindlex
