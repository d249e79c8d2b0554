#include "ConvertInfo.h"

#include <cctype>
#include <new>

#include "ConvertCompression.h"
#include "ConvertFile.h"
#include "ConvertInput.h"
#include "model/QvBufferedStream.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvIccProfile.h"
#include "model/QvPlatform.h"

namespace brindlex {
using namespace quorvane;

namespace {

// The descriptions of a dialog filter "A (*.a)|*.a|B (*.b)|*.b": every other field.
std::vector<std::string> FilterDescriptions(const std::string& filter) {
  std::vector<std::string> descriptions;
  size_t start = 0;
  bool description = true;
  while (start <= filter.size()) {
    const size_t end = filter.find('|', start);
    if (description) descriptions.push_back(filter.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    description = !description;
    start = end + 1;
  }
  return descriptions;
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// ", RGB colour profile (580 bytes)" for a page with an embedded profile.
std::string ProfileInfo(const TDibGraphic& image) {
  if (!image.HasIccProfile()) return {};
  std::string space = IccColourSpace(image.IccProfile());
  while (!space.empty() && space.back() == ' ') space.pop_back();
  return FormatMessage(", %s colour profile (%zu bytes)", space.c_str(), image.IccProfile().size());
}

std::string PageLine(int page, const TDibGraphic& image) {
  return FormatMessage("  page %d: %d x %d, %s, %d x %d dpi%s%s\n", page, image.Width(), image.Height(),
                       ImageFormatName(image.ImageFormat()).c_str(), image.XDpi(), image.YDpi(),
                       CompressionInfo(image).c_str(), ProfileInfo(image).c_str());
}

std::string Describe(const std::string& file, const TConvertOptions& options, std::vector<std::string>* warnings) {
  TInputPages input(file);
  const int count = input.Count();
  std::string text =
      FormatMessage("%s: %s, %d %s\n", file.c_str(), input.ClassName().c_str(), count, count == 1 ? "page" : "pages");
  int first = 1, last = count;
  if (options.Page > 0) first = last = options.Page;
  if (first > count) throw EQuorvaneError(MissingPageMessage(first, count));
  for (int page = first; page <= last; ++page) {
    const std::unique_ptr<TDibGraphic> image = AttemptOnPage(file, page, count, [&] { return input.Load(page); });
    for (std::string& warning : PageWarnings(*image, page, count, options.Strict))
      if (warnings) warnings->push_back(std::move(warning));
    text += PageLine(page, *image);
  }
  return text;
}

}  // namespace

std::string FormatsText() {
  // The last description is the "Any File" entry, which names no registered format.
  std::vector<std::string> lines = FilterDescriptions(SortGraphicFilter(GraphicFilter(false)));
  if (!lines.empty()) lines.pop_back();
  // Formats that are only written say so.
  for (const TGraphicFormatEntry& entry : GraphicFormatList()) {
    if (entry.GraphicClass->Create()->Capabilities().Readable) continue;
    const std::string pair = entry.Description + " (*." + LowerCase(entry.Extension) + ")";
    for (std::string& line : lines)
      if (line == pair) line += ", write only";
  }
  std::string text;
  for (const auto& line : lines)
    if (!line.empty()) text += line + "\n";
  // What the platform's picture loader reads and nothing here writes.
  for (const TPlatformPictureFormat& format : PictureLoader().Formats())
    text += format.Description + " (*." + format.Extension + "), read only\n";
  return text;
}

std::string DescribeFile(const std::string& file, const TConvertOptions& options, std::vector<std::string>* warnings) {
  return AttemptOnFile(file, [&] { return Describe(file, options, warnings); });
}

}  // namespace brindlex
