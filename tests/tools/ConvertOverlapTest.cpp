// Conversions that write the image while it is still being read: the outputs are those of
// reading first and writing after, and a reader's failure or warning (with --strict) leaves no
// output behind, whichever thread noticed what first.
#include <gtest/gtest.h>

#include <filesystem>

#include "ConvertFile.h"
#include "ConvertOptions.h"
#include "ToolTestSupport.h"
#include "formats/QvFormats.h"
#include "formats/QvTifGr.h"

using namespace quorvane;
using namespace brindlex;
using namespace qvtest;

namespace {

// Converts Input to Output in this process, writing while reading or not.
std::vector<TConvertFailure> Convert(const std::string& input, const std::string& output, bool overlap,
                                     std::vector<std::string> options = {}) {
  RegisterStandardGraphicFormats();
  options.insert(options.begin(), {input, "-o", output, "--overwrite"});
  TConvertOptions parsed = ParseConvertOptions(options);
  parsed.WriteWhileReading = overlap;
  std::vector<TConvertFailure> warnings;
  std::vector<TConvertFailure> failures = ConvertFile(
      {input, output, {}}, parsed, {}, [&](const TConvertFailure& warning) { warnings.push_back(warning); });
  failures.insert(failures.end(), warnings.begin(), warnings.end());
  return failures;
}

std::string Text(const std::vector<TConvertFailure>& failures) {
  std::string text;
  for (const auto& f : failures) text += f.File + ": " + f.Message + "\n";
  return text;
}

}  // namespace

TEST(ConvertOverlap, OutputsEqualThoseWrittenAfterReading) {
  TScratchFolder dir;
  struct TCase {
    std::string Name;
    TImageFormat Format;
    std::vector<std::string> Options;
  };
  const TCase cases[] = {
      {"photo.png", TImageFormat::TrueColor, {}},
      {"plain.png", TImageFormat::Gray256, {"--no-interlace"}},
      {"photo.jpg", TImageFormat::TrueColor, {"--quality", "90"}},
      {"photo-p.jpg", TImageFormat::TrueColor, {"--progressive"}},
      {"photo.tif", TImageFormat::TrueColor, {}},
      {"none.tif", TImageFormat::TrueColor, {"--compression", "none"}},
      {"palette.tif", TImageFormat::Color256, {"--compression", "packbits"}},
      {"photo.pcx", TImageFormat::TrueColor, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // Large enough to be worth a writer thread.
    WriteImage(*MakeImage(c.Format, 700, 400, 3), dir / c.Name);
    EXPECT_EQ(Text(Convert(dir / c.Name, dir / ("overlap-" + c.Name), true, c.Options)), "");
    EXPECT_EQ(Text(Convert(dir / c.Name, dir / ("after-" + c.Name), false, c.Options)), "");
    const std::vector<uint8_t> overlapped = FileBytes(dir / ("overlap-" + c.Name));
    const std::vector<uint8_t> after = FileBytes(dir / ("after-" + c.Name));
    if (c.Name.ends_with(".tif")) {
      // TIFF files carry the time they were written.
      EXPECT_EQ(overlapped.size(), after.size());
      const auto a = ReadImage(dir / ("overlap-" + c.Name)), b = ReadImage(dir / ("after-" + c.Name));
      EXPECT_TRUE(SamePicture(*a, *b));
      EXPECT_EQ(dynamic_cast<TTiffGraphic&>(*a).Compression(), dynamic_cast<TTiffGraphic&>(*b).Compression());
    } else {
      EXPECT_EQ(overlapped, after);
    }
  }
}

TEST(ConvertOverlap, ReadersFailureOrStrictWarningLeavesNoOutput) {
  TScratchFolder dir;
  WriteWholeAndCut(dir, *MakeImage(TImageFormat::TrueColor, 700, 400, 5), {"png", "jpg"});
  struct TCase {
    std::string Input;
    std::vector<std::string> Options;
    bool Fails;
  };
  const TCase cases[] = {
      {"cut.png", {}, true},            // libpng's error after two thirds of the rows
      {"cut.jpg", {}, false},           // rows libjpeg fills in, with a warning
      {"cut.jpg", {"--strict"}, true},  // that warning fails the file
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Input + (c.Options.empty() ? "" : " " + c.Options[0]));
    const std::string input = dir / c.Input;
    const std::string output = dir / ("out." + c.Input.substr(4));
    const std::string overlapped = Text(Convert(input, output, true, c.Options));
    const bool written = std::filesystem::exists(output);
    std::filesystem::remove(output);
    EXPECT_EQ(overlapped, Text(Convert(input, output, false, c.Options)));
    EXPECT_EQ(written, !c.Fails);
    EXPECT_EQ(std::filesystem::exists(output), !c.Fails);
    if (c.Fails) {
      EXPECT_TRUE(overlapped.starts_with(input + ": ")) << overlapped;
    }
    std::filesystem::remove(output);
    // No temporary file is left beside the output.
    for (const std::string& entry : dir.List()) EXPECT_FALSE(entry.starts_with(".out")) << entry;
  }
}
