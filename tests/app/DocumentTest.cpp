// What the window must never do to the user's pictures: undo across files, edits lost after
// "Save it? Yes" when the save is cancelled, pages re-encoded that nobody touched, and crashes on
// hostile files opened through Open.
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "WindowTestUtil.h"
#include "model/QvLimits.h"
#include "scan/ScanTestSupport.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;
using quorvane::TImageFormat;

QString Caption(const std::string& file) { return "Brindlex Imaging Tool - " + QString::fromStdString(file); }

std::string RegressionFolder() {
  const char* root = std::getenv("QV_TEST_DATA");
  return std::string(root ? root : "tests/data") + "/regression";
}

TEST_F(WindowTest, OpeningOrScanningLeavesNothingToUndo) {
  // Open A, change it, save it, open B: Undo must not bring A's picture back under B's name.
  const std::string a = OpenGradient("a.tga", 30, 20);
  Trigger(TImageCommand::Negative);
  Trigger("acSave");
  const std::string b = Path("b.tga");
  WriteImage(*Gradient(8, 6), b);
  Dialogs->OpenNames.push_back(QString::fromStdString(b));
  Trigger("acOpen");
  EXPECT_TRUE(Window->UndoGraphic().Empty());
  EXPECT_FALSE(Enabled("acUndo"));
  Trigger("acUndo");
  Trigger("acSave");
  EXPECT_TRUE(SamePixels(Image(), *Gradient(8, 6)));
  EXPECT_TRUE(SamePixels(*ReadPage(b, 1), *Gradient(8, 6)));

  // A scanned page replaces the picture just as well.
  Trigger(TImageCommand::Rotate90);
  ASSERT_TRUE(Enabled("acUndo"));
  const qvtest::TSaneSandbox sandbox(qvtest::TestSettings());
  Window->Scanner().ShowUI = false;
  Window->Scanner().XDpi = Window->Scanner().YDpi = 50;
  Dialogs->Answers.push_back(brindlex::TAnswer::No);        // the rotation is not saved
  Dialogs->Answers.push_back(brindlex::TAnswer::No);        // one page
  Dialogs->Forms.push_back([](QDialog&) { return true; });  // the scan dialog as it comes
  Trigger("acScan");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  EXPECT_EQ(Image().Width(), 78);  // 40 mm at 50 dpi
  EXPECT_TRUE(Window->UndoGraphic().Empty());
  EXPECT_FALSE(Enabled("acUndo"));
}

// "Image is not saved. Save it?" answered Yes, then the save cancelled (in the save dialog or at
// the overwrite question): the command that asked must not go on and lose the changes.
TEST_F(WindowTest, CancelledSaveAfterYesCancelsEveryCommandThatAsks) {
  const std::string other = Path("other.tga");
  WriteImage(*Gradient(8, 8), other);
  QMimeData drop;
  drop.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
  struct TCaller {
    const char* Name;
    std::function<void()> Run;
  };
  const TCaller callers[] = {
      {"Open", [&] { Trigger("acOpen"); }},
      {"Drop", [&] { SendDrop(*Window, drop); }},
      {"StartArgument", [&] { Window->Commands().Run([&] { Window->OpenFile(QString::fromStdString(other)); }); }},
      {"Paste", [&] { Trigger("acPaste"); }},
      {"Scan", [&] { Trigger("acScan"); }},
      {"Close", [&] { EXPECT_FALSE(Window->close()); }},
  };
  for (const TCaller& caller : callers) {
    for (const bool atOverwrite : {false, true}) {
      SCOPED_TRACE(std::string(caller.Name) + (atOverwrite ? ", No to overwriting" : ", save dialog cancelled"));
      if (Window->Modified()) Dialogs->Answers.push_back(brindlex::TAnswer::No);
      OpenGradient("start.tga", 30, 20);
      Trigger("acCopy");
      Trigger("acPaste");  // a changed picture without a file name: Save runs Convert To
      Trigger(TImageCommand::Negative);
      const auto before = std::make_unique<quorvane::TDibGraphic>();
      before->Assign(&Image());
      Dialogs->Questions.clear();

      Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
      if (atOverwrite) {
        Dialogs->SaveNames.push_back(QString::fromStdString(other));
        Dialogs->Answers.push_back(brindlex::TAnswer::No);
      } else {
        Dialogs->SaveNames.push_back(std::nullopt);
      }
      caller.Run();
      Window->UpdateCommands();

      EXPECT_TRUE(Window->isVisible());
      EXPECT_TRUE(Window->Modified());
      EXPECT_TRUE(SamePixels(Image(), *before));
      EXPECT_TRUE(SamePixels(*ReadPage(other, 1), *Gradient(8, 8)));
      ASSERT_FALSE(Dialogs->Questions.empty());
      EXPECT_EQ(Dialogs->Questions[0], "Image is not saved. Save it?");
      EXPECT_TRUE(Dialogs->Answers.empty() && Dialogs->SaveNames.empty());
      EXPECT_TRUE(Dialogs->Messages.empty()) << Dialogs->Messages[0].toStdString();
      EXPECT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
    }
  }
}

// A 3-page TIFF written by peers with a compression per page: an untouched page keeps its own,
// a changed page keeps its own where it can hold the page's format, else its format's.
TEST_F(WindowTest, SavingAPagedTiffKeepsEachPagesCompression) {
  if (!RunTool("command -v convert && command -v tiffcp && command -v tiffinfo"))
    GTEST_SKIP() << "ImageMagick and the libtiff tools are needed";
  const std::string file = Path("pages.tif");
  const std::string dir = Path("");
  ASSERT_TRUE(RunTool("cd '" + dir + "' && convert -size 40x30 gradient:red-blue -depth 8 -compress None p1.tif" +
                      " && convert -size 40x30 gradient:green-yellow -depth 8 -compress RLE p2.tif" +
                      " && convert -size 48x32 pattern:checkerboard -monochrome -compress Group4 p3.tif" +
                      " && tiffcp p1.tif p2.tif p3.tif pages.tif"));
  ASSERT_EQ(PageCompressions(file), (std::vector<std::string>{"None", "PackBits", "CCITT Group 4"}));
  const auto page1 = ReadPage(file, 1);
  const auto page2 = ReadPage(file, 2);

  Dialogs->OpenNames.push_back(QString::fromStdString(file));
  Trigger("acOpen");
  ASSERT_EQ(Window->lblPage->text(), "Page 1 of 3");
  Trigger("acNextPage");
  Trigger(TImageCommand::Negative);  // page 2 changed, still true colour
  const auto negated = std::make_unique<quorvane::TDibGraphic>();
  negated->Assign(&Image());
  Trigger("acNextPage");
  Dialogs->Forms.push_back([](QDialog&) { return true; });  // no format chosen: true colour
  Trigger(TImageCommand::FormatConversion);
  ASSERT_EQ(Image().ImageFormat(), TImageFormat::TrueColor);
  Trigger("acSave");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();

  EXPECT_EQ(PageCompressions(file), (std::vector<std::string>{"None", "PackBits", "JPEG"}));
  EXPECT_TRUE(SamePixels(*ReadPage(file, 1), *page1));
  EXPECT_TRUE(SamePixels(*ReadPage(file, 2), *negated));
  EXPECT_FALSE(SamePixels(*ReadPage(file, 2), *page2));
  EXPECT_EQ(ReadPage(file, 3)->ImageFormat(), TImageFormat::TrueColor);
}

// Every crafted file of the regression folder through the window's own Open: a picture under its
// caption (perhaps with the reader's warnings), or an error with the previous picture still shown
// under its caption; the window stays usable. The limits are those the resource targets are
// measured with.
TEST_F(WindowTest, OpensEveryRegressionFileWithAPictureOrAnError) {
  struct TLimitsScope {
    quorvane::TImageLimits Saved = quorvane::ImageLimits();
    ~TLimitsScope() { quorvane::SetImageLimits(Saved); }
  } scope;
  quorvane::TImageLimits limits = scope.Saved;
  limits.MaxArea = int64_t{16} * 1000 * 1000;
  quorvane::SetImageLimits(limits);
  const std::string marker = OpenGradient("marker.tga", 12, 9);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(RegressionFolder()))
    files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 10u);
  int opened = 0, refused = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    Dialogs->Errors.clear();
    Dialogs->Messages.clear();
    Dialogs->OpenNames.push_back(QString::fromStdString(file));
    Trigger("acOpen");
    if (Window->CurrentFileName() == QString::fromStdString(file)) {
      ++opened;
      EXPECT_FALSE(Image().Empty());
      EXPECT_EQ(Window->windowTitle(), Caption(file));
      EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(file));
      if (Window->ImageScrollBox().FrameCount() > 1) {
        Trigger("acNextPage");
        EXPECT_EQ(Window->ImageScrollBox().CurrentFrame(), 2);
      }
      Dialogs->Errors.clear();
      Dialogs->OpenNames.push_back(QString::fromStdString(marker));
      Trigger("acOpen");
      ASSERT_TRUE(Dialogs->Errors.empty());
    } else {
      ++refused;
      // The load's error, after any warnings the reader gave before it failed.
      ASSERT_FALSE(Dialogs->Errors.empty());
      EXPECT_FALSE(Dialogs->Errors.back().isEmpty());
      EXPECT_TRUE(Dialogs->ErrorCaptions.back().isEmpty());
      EXPECT_TRUE(SamePixels(Image(), *Gradient(12, 9)));
      EXPECT_EQ(Window->windowTitle(), Caption(marker));
    }
    EXPECT_TRUE(Dialogs->OpenNames.empty());
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
  Trigger(TImageCommand::Negative);
  EXPECT_TRUE(Window->Modified());
  EXPECT_FALSE(SamePixels(Image(), *Gradient(12, 9)));
}

}  // namespace
}  // namespace qvtest
