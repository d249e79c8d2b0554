// brindlex-scan end to end over SANE's test backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "scan/ScanTestSupport.h"

using namespace quorvane;
using namespace scantest;

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
  for (const char* arguments : {"", "--mode sepia -o x.pcx", "--pages 0 -o x.pcx", "--resolution many -o x.pcx",
                                "--pages 2 -o x.pcx", "-o x.unknown", "--bogus"}) {
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

}  // namespace
