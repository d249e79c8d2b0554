// The Scan and Select Scanner commands against a recording window, and the output file that
// replaces its target only once a page is stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvStream.h"
#include "scan/QvScanCommand.h"
#include "scan/ScanTestSupport.h"

using namespace quorvane;
using namespace scantest;

namespace {

class TRecordingWindow : public IScanWindow {
 public:
  TMultiPageAnswer Answer = TMultiPageAnswer::No;
  std::string OutputFile;
  bool SaveConfirmed = true;

  std::vector<std::string> Messages;
  std::vector<bool> Enabled;  // each SetWindowEnabled
  std::vector<bool> PagesShownModified;
  std::vector<std::string> Opened;
  int ShownWidth = 0;

  bool ConfirmSave() override { return SaveConfirmed; }
  TMultiPageAnswer AskMultiPage() override { return Answer; }
  std::string AskOutputFile() override { return OutputFile; }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void SetWindowEnabled(bool enabled) override { Enabled.push_back(enabled); }
  void ShowScannedPage(const TDibGraphic& page, bool modified) override {
    PagesShownModified.push_back(modified);
    ShownWidth = page.Width();
  }
  void OpenScannedFile(const std::string& fileName) override { Opened.push_back(fileName); }
  void ProcessMessages() override {}
};

std::string FileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A multi-image class whose pages are lines of text: "page N" per stored page.
class TLinePages : public TDibGraphic {
 public:
  void SaveToStream(TStream& stream) override {
    if (FailNext) throw EWriteError("Stream write error");
    stream.WriteBuffer("page 1\n", 7);
  }
  void AppendToStream(TStream& stream) override {
    const int64_t size = stream.Seek(0, TSeekOrigin::soEnd);
    const std::string line = "page " + std::to_string(size / 7 + 1) + "\n";
    stream.WriteBuffer(line.data(), line.size());
  }
  bool FailNext = false;
};

TEST(ScanOutputFile, TheTargetChangesOnlyOnceAPageIsStored) {
  modeltest::TScratchFolder folder;
  const std::string target = folder / "pages.tif";
  std::ofstream(target) << "old file";
  TLinePages pages;
  {
    TScanOutputFile output(target);
    EXPECT_EQ(folder.List().size(), 2u) << "the temporary file is made beside the target";
    EXPECT_EQ(FileText(target), "old file");
  }
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"})) << "no page: the temporary file is gone";
  EXPECT_EQ(FileText(target), "old file");
  {
    TScanOutputFile output(target);
    output.StorePage(pages);
    EXPECT_EQ(FileText(target), "page 1\n") << "complete after the first page";
    output.StorePage(pages);
    output.StorePage(pages);
    EXPECT_EQ(output.PagesStored(), 3);
  }
  EXPECT_EQ(FileText(target), "page 1\npage 2\npage 3\n");
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"}));
  {
    TScanOutputFile output(target);
    pages.FailNext = true;
    EXPECT_THROW(output.StorePage(pages), EWriteError);
  }
  EXPECT_EQ(FileText(target), "page 1\npage 2\npage 3\n") << "a first page that fails keeps the old file";
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"}));
}

TEST(ScanCommand, WithoutAManagerBothCommandsSayNoScannerIsConfigured) {
  modeltest::TScratchFolder empty;
  SetSourceManagerFolder(empty / "");
  TScanner scanner;
  TRecordingWindow window;
  EXPECT_NO_THROW(ScanCommand(scanner, window));
  EXPECT_NO_THROW(SelectScannerCommand(scanner, window));
  SetSourceManagerFolder("");
  EXPECT_EQ(window.Messages, (std::vector<std::string>{kNoScannerMessage, kNoScannerMessage}));
  EXPECT_EQ(std::string(kNoScannerMessage), "A scanner is not configured on your computer");
  EXPECT_TRUE(window.Enabled.empty());
}

TEST(ScanCommand, CancelledQuestionsEndTheCommandWithoutScanning) {
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  scanner.ShowUI = false;
  for (int step = 0; step < 3; ++step) {
    TRecordingWindow window;
    window.SaveConfirmed = step != 0;
    window.Answer = step == 1 ? TMultiPageAnswer::Cancel : TMultiPageAnswer::Yes;
    window.OutputFile = "";  // step 2: the save dialog is cancelled
    ScanCommand(scanner, window);
    EXPECT_TRUE(window.Enabled.empty() && window.PagesShownModified.empty() && window.Messages.empty()) << step;
  }
}

TEST(ScanCommand, SinglePageGoesIntoTheViewAsAModifiedDocument) {
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  scanner.ShowUI = false;
  scanner.XDpi = scanner.YDpi = 50;
  TRecordingWindow window;
  ScanCommand(scanner, window);
  EXPECT_EQ(window.PagesShownModified, (std::vector<bool>{true}));
  EXPECT_EQ(window.ShownWidth, 78);  // 40 mm at 50 dpi
  EXPECT_EQ(window.Enabled, (std::vector<bool>{false, true}));
  EXPECT_TRUE(window.Opened.empty());
}

TEST(ScanCommand, AFailingScanReEnablesTheWindowAndPassesTheErrorOn) {
  TSaneSandbox sandbox(TestSettings({{"read-status-code", "\"SANE_STATUS_JAMMED\""}}));
  TScanner scanner;
  scanner.ShowUI = false;
  TRecordingWindow window;
  EXPECT_THROW(ScanCommand(scanner, window), ETwainError);
  EXPECT_EQ(window.Enabled, (std::vector<bool>{false, true}));
}

// Multi-page scans need the TIFF class registered under "TIF".
bool TiffRegistered() {
  RegisterStandardGraphicFormats();
  return FindGraphicClass("TIF") != nullptr;
}

TEST(ScanCommand, MultiPageScanWithNoPageLeavesAnExistingFileAsItWas) {
  if (!TiffRegistered()) GTEST_SKIP() << "TIFF is not registered";
  TSaneSandbox sandbox(TestSettings({{"read-status-code", "\"SANE_STATUS_CANCELLED\""}}));
  modeltest::TScratchFolder folder;
  TScanner scanner;
  scanner.ShowUI = false;
  TRecordingWindow window;
  window.Answer = TMultiPageAnswer::Yes;
  window.OutputFile = folder / "keep.tif";
  std::ofstream(window.OutputFile) << "precious";
  ScanCommand(scanner, window);
  EXPECT_EQ(FileText(window.OutputFile), "precious");
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"keep.tif"}));
  EXPECT_TRUE(window.Opened.empty());
  EXPECT_EQ(window.Enabled, (std::vector<bool>{false, true}));
}

TEST(ScanCommand, MultiPageScanStoresEveryFeederPageWithItsCompressionAndOpensTheFile) {
  if (!TiffRegistered()) GTEST_SKIP() << "TIFF is not registered";
  TSaneSandbox sandbox(TestSettings());
  modeltest::TScratchFolder folder;
  for (const auto& [format, compression] :
       std::vector<std::pair<TImageFormat, std::string>>{{TImageFormat::BlackWhite, "CCITT Group 4"},
                                                         {TImageFormat::Gray256, "PackBits"},
                                                         {TImageFormat::TrueColor, "JPEG"}}) {
    TScanner scanner;
    scanner.ShowUI = false;
    scanner.ImageFormat = format;
    scanner.XDpi = scanner.YDpi = 50;
    scanner.PageCount = 3;
    scanner.Feeder = TScanner::TFeeder::Feeder;
    TRecordingWindow window;
    window.Answer = TMultiPageAnswer::Yes;
    window.OutputFile = folder / "pages.tif";
    ScanCommand(scanner, window);
    EXPECT_EQ(window.PagesShownModified, (std::vector<bool>(3, false)));
    EXPECT_EQ(window.Opened, (std::vector<std::string>{window.OutputFile}));
    std::string info;
    ASSERT_EQ(RunCommand("tiffinfo " + window.OutputFile, &info), 0) << info;
    size_t pages = 0;
    for (size_t at = 0; (at = info.find("Compression Scheme: " + compression, at)) != std::string::npos; ++at) ++pages;
    EXPECT_EQ(pages, 3u) << info;
    EXPECT_NE(info.find("Resolution: 50, 50 pixels/inch"), std::string::npos) << info;
  }
}

}  // namespace
