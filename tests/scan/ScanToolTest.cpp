// brindlex-scan end to end over SANE's test backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "scan/ScanTestSupport.h"

using namespace quorvane;
using namespace qvtest;

namespace {

std::string Tool(const std::string& arguments) { return std::string(BRINDLEX_SCAN) + " " + arguments; }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
  return n;
}

TEST(ScanTool, ListsTheSources) {
  TSaneSandbox sandbox(TestSettings({{"number_of_devices", "2"}}));
  std::string out;
  EXPECT_EQ(RunCommand(Tool("--list"), &out), 0);
  EXPECT_EQ(out, "test:0\ntest:1\n");
}

TEST(ScanTool, OnePageIntoAFileWithTheBackendsPixels) {
  TSaneSandbox sandbox(TestSettings());
  qvtest::TScratchFolder folder;
  const std::string output = folder / "page.pcx";
  std::string out;
  ASSERT_EQ(RunCommand(Tool("--source test:0 --mode color --resolution 60 -o " + output), &out), 0) << out;
  EXPECT_EQ(out, "brindlex-scan: page 1: 94 x 70 pixels, 60 x 60 dpi, True color\n");
  RegisterStandardGraphicFormats();
  auto image = CreateGraphicForFile(output);
  image->LoadFromFile(output);
  const TReferencePicture reference = ReferenceScan("color", 60);
  ASSERT_EQ(image->Width(), reference.Width);
  EXPECT_TRUE(ImageBgr(*image) == reference.Bgr);
  EXPECT_EQ(image->XDpi(), 60);
}

TEST(ScanTool, UsageErrorsExitWithTwo) {
  for (const char* arguments :
       {"", "--mode sepia -o x.pcx", "--pages 0 -o x.pcx", "--resolution many -o x.pcx", "--pages 2 -o x.pcx",
        "-o x.unknown", "--bogus", "--paper b5 -o x.pdf", "--paper 0x100 -o x.pdf", "--skip-blank=abc -o x.pdf",
        "--skip-blank=101 -o x.pdf", "--skip-blank 5 -o x.pdf", "--feeder -o x.png", "--feeder=yes -o x.pdf"}) {
    std::string out;
    EXPECT_EQ(RunCommand(Tool(arguments), &out), 2) << arguments;
    EXPECT_NE(out.find("Try 'brindlex-scan --help'"), std::string::npos) << out;
  }
}

TEST(ScanTool, AFailedScanLeavesAnExistingOutputAsItWas) {
  TSaneSandbox sandbox(TestSettings({{"read-status-code", "\"SANE_STATUS_JAMMED\""}}));
  qvtest::TScratchFolder folder;
  const std::string output = folder / "keep.pcx";
  std::ofstream(output) << "precious";
  std::string out;
  EXPECT_EQ(RunCommand(Tool("-o " + output), &out), 1);
  EXPECT_EQ(out, "brindlex-scan: The paper is jammed in the document feeder\n");
  std::ifstream in(output);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"keep.pcx"}));
}

TEST(ScanTool, WithoutTheManagerModuleNoScannerIsConfigured) {
  TSaneSandbox sandbox(TestSettings());
  qvtest::TScratchFolder folder;
  // A copy of the program finds no module beside it.
  std::filesystem::copy_file(BRINDLEX_SCAN, folder / "brindlex-scan");
  std::filesystem::permissions(folder / "brindlex-scan", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  for (const char* arguments : {"--list", "-o page.pcx"}) {
    std::string out;
    EXPECT_EQ(RunCommand("cd " + (folder / "") + " && ./brindlex-scan " + arguments, &out), 1);
    EXPECT_EQ(out.rfind("brindlex-scan: A scanner is not configured on your computer (LoadLibrary(", 0), 0u) << out;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "page.pcx"));
}

TEST(ScanTool, FeederPagesIntoAMultiPageTiff) {
  RegisterStandardGraphicFormats();
  if (!FindGraphicClass("TIF")) GTEST_SKIP() << "TIFF is not registered";
  TSaneSandbox sandbox(TestSettings());
  qvtest::TScratchFolder folder;
  const std::string output = folder / "pages.tif";
  std::string out;
  ASSERT_EQ(RunCommand(Tool("--mode lineart --resolution 50 --pages all -o " + output), &out), 0) << out;
  EXPECT_EQ(Count(out, "brindlex-scan: page "), 10u) << out;
  std::string info;
  ASSERT_EQ(RunCommand("tiffinfo " + output, &info), 0);
  EXPECT_EQ(Count(info, "Compression Scheme: CCITT Group 4"), 10u) << info;
}

// The lines of Text that contain Part.
std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(part) != std::string::npos) lines.push_back(line);
  return lines;
}

bool HavePdfTools() { return RunCommand("command -v pdfinfo && command -v pdfimages && command -v qpdf") == 0; }

// The acceptance scan of a document feeder: ten line-art A6 pages at 300 dpi into one PDF, as the
// peers read it.
TEST(ScanTool, FeederPagesOfAPaperSizeIntoOnePdf) {
  if (!HavePdfTools()) GTEST_SKIP() << "poppler's tools and qpdf are needed";
  TSaneSandbox sandbox(TestSettings());
  qvtest::TScratchFolder folder;
  const std::string output = folder / "doc.pdf";
  std::string out;
  ASSERT_EQ(RunCommand(Tool("--feeder --paper a6 --mode lineart --resolution 300 -o " + output), &out), 0) << out;
  EXPECT_EQ(Count(out, "1240 x 1748 pixels, 300 x 300 dpi, Black and white"), 10u) << out;

  std::string info;
  ASSERT_EQ(RunCommand("pdfinfo " + output, &info), 0) << info;
  EXPECT_EQ(LinesWith(info, "Pages:"), std::vector<std::string>{"Pages:           10"}) << info;
  // 1240 x 1748 pixels at 300 dpi: 297.6 x 419.52 points.
  EXPECT_EQ(LinesWith(info, "Page size:"), std::vector<std::string>{"Page size:       297.6 x 419.52 pts"});
  std::string images;
  ASSERT_EQ(RunCommand("pdfimages -list " + output, &images), 0) << images;
  const auto streams = LinesWith(images, "ccitt");
  ASSERT_EQ(streams.size(), 10u) << images;
  for (const std::string& line : streams) {
    EXPECT_NE(line.find(" 1240  1748  gray    1   1  ccitt"), std::string::npos) << line;
    EXPECT_NE(line.find("  300   300 "), std::string::npos) << line;
  }
  std::string check;
  EXPECT_EQ(RunCommand("qpdf --check " + output, &check), 0) << check;
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
  std::printf("[ figures  ] doc.pdf: 10 pages 1240 x 1748 (A6 at 300 dpi), %ju bytes\n",
              static_cast<uintmax_t>(std::filesystem::file_size(output)));

  // Gray and colour pages are JPEG pictures (gray pages arrive as palette images of the gray
  // levels).
  for (const char* mode : {"gray", "color"}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(RunCommand(Tool(std::string("--mode ") + mode + " --resolution 50 -o " + output), &out), 0) << out;
    ASSERT_EQ(RunCommand("pdfimages -list " + output, &images), 0) << images;
    // page num type width height color comp bpc enc ...
    const auto lines = LinesWith(images, " image ");
    ASSERT_EQ(lines.size(), 1u) << images;
    std::istringstream fields(lines[0]);
    const std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    ASSERT_GE(f.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(f.begin() + 3, f.begin() + 9),
              (std::vector<std::string>{"78", "59", mode[0] == 'g' ? "gray" : "rgb", mode[0] == 'g' ? "1" : "3", "8",
                                        "jpeg"}));
  }
}

// A paper larger than the scanner's area, or a feeder missing, fails before any page: nothing is
// written, an existing file is kept. A paper that fits sets the scanned area.
TEST(ScanTool, PaperSizeSetsTheAreaOrFailsBeforeAnyPage) {
  TSaneSandbox sandbox(TestSettings());
  qvtest::TScratchFolder folder;
  const struct {
    const char* Arguments;
    int Status;
    const char* Output;
  } cases[] = {
      {"--paper a4", 1,
       "brindlex-scan: The paper (210 x 297 mm) is larger than the area the scanner test:0 scans (200 x 200 mm)\n"},
      {"--paper legal --feeder", 1,
       "brindlex-scan: The paper (215.9 x 355.6 mm) is larger than the area the scanner test:0 scans (200 x 200 "
       "mm)\n"},
      {"--paper 200x200.5", 1,
       "brindlex-scan: The paper (200 x 200.5 mm) is larger than the area the scanner test:0 scans (200 x 200 mm)\n"},
      {"--paper 200x200", 0, "brindlex-scan: page 1: 393 x 393 pixels, 50 x 50 dpi, Black and white\n"},
      {"--paper 127x51", 0, "brindlex-scan: page 1: 250 x 100 pixels, 50 x 50 dpi, Black and white\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Arguments);
    const std::string output = folder / "page.tif";
    std::string out;
    EXPECT_EQ(RunCommand(Tool(std::string(c.Arguments) + " --mode lineart --resolution 50 -o " + output), &out),
              c.Status);
    EXPECT_EQ(out, c.Output);
    EXPECT_EQ(std::filesystem::exists(output), c.Status == 0);
    std::filesystem::remove(output);
    EXPECT_TRUE(folder.List().empty());
  }
}

// A device without a document feeder or a settable area (the "plain" backend): asking for them
// fails before any page and writes nothing; without them it scans.
TEST(ScanTool, OptionsTheDeviceLacksFailBeforeAnyPage) {
  TSaneSandbox sandbox({}, {"plain"});
  qvtest::TScratchFolder folder;
  const std::string output = folder / "page.pdf";
  const struct {
    const char* Arguments;
    int Status;
    const char* Output;
  } cases[] = {
      {"--feeder", 1, "brindlex-scan: The scanner plain:flatbed has no document feeder\n"},
      {"--paper a6", 1, "brindlex-scan: The scanner plain:flatbed cannot set its scan area to a paper size\n"},
      {"--pages 2", 0, "brindlex-scan: page 1: 20 x 10 pixels, 100 x 100 dpi, 256 shades of gray\n"},
      {"", 0, "brindlex-scan: page 1: 20 x 10 pixels, 100 x 100 dpi, 256 shades of gray\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Arguments);
    std::string out;
    EXPECT_EQ(RunCommand("LD_LIBRARY_PATH=" PLAIN_BACKEND_FOLDER " " +
                             Tool(std::string(c.Arguments) + " --resolution 100 -o " + output),
                         &out),
              c.Status);
    EXPECT_EQ(out, c.Output);
    EXPECT_EQ(std::filesystem::exists(output), c.Status == 0);
    std::filesystem::remove(output);
  }
}

// Blank pages (the backend's white picture) are dropped and named; patterned pages are kept.
TEST(ScanTool, BlankPagesAreDroppedAndNamed) {
  qvtest::TScratchFolder folder;
  const struct {
    const char* Picture;
    const char* Arguments;
    bool Quiet;
    size_t Stored;
  } cases[] = {
      {"\"Solid white\"", "--skip-blank", false, 0},
      {"\"Solid white\"", "--skip-blank --quiet", true, 0},
      {"\"Solid white\"", "", false, 3},
      {"\"Color pattern\"", "--skip-blank=2.5", false, 3},
      {"\"Grid\"", "--skip-blank", false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Picture) + " " + c.Arguments);
    TSaneSandbox sandbox(TestSettings({{"test-picture", c.Picture}}));
    const std::string output = folder / "pages.tif";
    std::string out;
    EXPECT_EQ(
        RunCommand(Tool(std::string(c.Arguments) + " --feeder --pages 3 --mode lineart --resolution 50 -o " + output),
                   &out),
        c.Stored == 0 ? 1 : 0);
    EXPECT_EQ(Count(out, "pixels, 50 x 50 dpi"), c.Quiet ? 0u : c.Stored) << out;
    if (c.Stored == 0) {
      EXPECT_EQ(Count(out, "dark pixels), dropped"), c.Quiet ? 0u : 3u) << out;
      EXPECT_NE(out.find("brindlex-scan: dropped 3 blank page(s) of 3 scanned: 1, 2, 3\n"
                         "brindlex-scan: every scanned page was blank; " +
                         output + " is unchanged\n"),
                std::string::npos)
          << out;
    } else {
      EXPECT_EQ(out.find("dropped"), std::string::npos) << out;
    }
    EXPECT_EQ(std::filesystem::exists(output), c.Stored > 0);
    std::filesystem::remove(output);
  }
}

}  // namespace
