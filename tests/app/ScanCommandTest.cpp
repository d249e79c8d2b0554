// The Scan and Select Scanner commands through the window, like every other command: pages from
// SANE's test backend in a private configuration, every question answered by the script.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QLabel>
#include <QSettings>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "TScanForm.h"
#include "WindowTestUtil.h"
#include "scan/QvScan.h"
#include "scan/ScanTestSupport.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;
using quorvane::TImageFormat;

const QString kNoScanner = QString::fromLatin1(quorvane::kNoScannerMessage);

// Records the window's enabled state at each change: the scan disables it while the scanner runs.
class TEnabledLog : public QObject {
 public:
  explicit TEnabledLog(QWidget& widget) : FWidget(widget) { widget.installEventFilter(this); }
  std::vector<bool> Changes;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object == &FWidget && event->type() == QEvent::EnabledChange) Changes.push_back(FWidget.isEnabled());
    return false;
  }

 private:
  QWidget& FWidget;
};

class ScanCommandTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Window->Scanner().ShowUI = false;
    Window->Scanner().XDpi = Window->Scanner().YDpi = 50;
    Log = std::make_unique<TEnabledLog>(*Window);
  }
  void TearDown() override {
    Log.reset();
    WindowTest::TearDown();
  }
  // Answers the scan dialog: Fill sets its controls (nothing: as it comes), then OK, or Cancel
  // when Fill says false.
  void AnswerScanForm(std::function<bool(brindlex::TScanForm&)> fill = {}) {
    Dialogs->Forms.push_back([fill](QDialog& dialog) {
      auto* form = dynamic_cast<brindlex::TScanForm*>(&dialog);
      if (form == nullptr) {
        ADD_FAILURE() << "not the scan dialog: " << dialog.windowTitle().toStdString();
        return false;
      }
      return fill ? fill(*form) : true;
    });
  }
  // The scan dialog with a paper size (its name, empty for the scanner's own area), the feeder and
  // blank-page dropping.
  void AnswerScanForm(const QString& paper, bool feeder, bool skipBlank = false) {
    AnswerScanForm([paper, feeder, skipBlank](brindlex::TScanForm& form) {
      form.PaperCombo->setCurrentIndex(form.PaperCombo->findData(paper));
      form.FeederCheck->setChecked(feeder);
      form.SkipBlankCheck->setChecked(skipBlank);
      return true;
    });
  }
  std::unique_ptr<TEnabledLog> Log;
};

TEST_F(ScanCommandTest, WithoutAManagerBothCommandsSayNoScannerIsConfigured) {
  const qvtest::TScratchFolder empty;
  struct TManagerFolder {
    explicit TManagerFolder(const std::string& folder) { quorvane::SetSourceManagerFolder(folder); }
    ~TManagerFolder() { quorvane::SetSourceManagerFolder(""); }
  } folder(empty / "");
  Trigger("acScan");
  Trigger("acSelectScanner");
  EXPECT_EQ(Dialogs->Messages, (std::vector<QString>{kNoScanner, kNoScanner}));
  EXPECT_EQ(kNoScanner, "A scanner is not configured on your computer");
  EXPECT_TRUE(Dialogs->Errors.empty());
  EXPECT_TRUE(Log->Changes.empty());
}

// Cancel to the unsaved-changes question, to "Multi-page scan ?" or in the output file's dialog
// ends the command: nothing scanned, the window never disabled, the picture as it was.
TEST_F(ScanCommandTest, CancelledQuestionsEndTheCommandWithoutScanning) {
  const TSaneSandbox sandbox(TestSettings());
  OpenGradient("start.tga", 30, 20);
  const struct {
    const char* Name;
    bool Modified;
    std::vector<brindlex::TAnswer> Answers;
    bool CancelFile;
    std::vector<QString> Questions;
  } cases[] = {
      {"multi-page question", false, {brindlex::TAnswer::Cancel}, false, {"Multi-page scan ?"}},
      {"output file", false, {brindlex::TAnswer::Yes}, true, {"Multi-page scan ?"}},
      {"unsaved changes", true, {brindlex::TAnswer::Cancel}, false, {"Image is not saved. Save it?"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Modified) Trigger(TImageCommand::Negative);
    const auto before = std::make_unique<quorvane::TDibGraphic>();
    before->Assign(&Image());
    Dialogs->Questions.clear();
    Dialogs->Answers.assign(c.Answers.begin(), c.Answers.end());
    if (c.CancelFile) Dialogs->SaveNames.push_back(std::nullopt);
    Trigger("acScan");
    EXPECT_EQ(Dialogs->Questions, c.Questions);
    EXPECT_TRUE(Dialogs->Answers.empty() && Dialogs->SaveNames.empty());
    EXPECT_TRUE(SamePixels(Image(), *before));
    EXPECT_EQ(Window->Modified(), c.Modified);
    EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(Path("start.tga")));
    EXPECT_TRUE(Log->Changes.empty());
    EXPECT_TRUE(Dialogs->Messages.empty() && Dialogs->Errors.empty());
  }
}

// One page into the view: an unsaved picture without a file name; the caption stays as it was.
TEST_F(ScanCommandTest, SinglePageGoesIntoTheViewAsAModifiedDocument) {
  const TSaneSandbox sandbox(TestSettings());
  const std::string start = OpenGradient("start.tga", 30, 20);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  AnswerScanForm();
  Trigger("acScan");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  EXPECT_EQ(Dialogs->Questions, std::vector<QString>{"Multi-page scan ?"});
  EXPECT_EQ(Image().Width(), 78);  // 40 mm at 50 dpi
  EXPECT_EQ(Window->lblX->text(), " 78");
  EXPECT_TRUE(Window->Modified());
  EXPECT_TRUE(Window->CurrentFileName().isEmpty());
  EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + QString::fromStdString(start) + "[*]");
  EXPECT_EQ(Log->Changes, (std::vector<bool>{false, true}));
}

TEST_F(ScanCommandTest, AFailingScanReEnablesTheWindowAndReportsTheError) {
  const TSaneSandbox sandbox(TestSettings({{"read-status-code", "\"SANE_STATUS_JAMMED\""}}));
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  AnswerScanForm();
  Trigger("acScan");
  EXPECT_EQ(Dialogs->Errors, std::vector<QString>{"The paper is jammed in the document feeder"});
  EXPECT_EQ(Log->Changes, (std::vector<bool>{false, true}));
  EXPECT_TRUE(Window->isEnabled());
  EXPECT_TRUE(Image().Empty());
}

TEST_F(ScanCommandTest, MultiPageScanWithNoPageLeavesAnExistingFileAsItWas) {
  const TSaneSandbox sandbox(TestSettings({{"read-status-code", "\"SANE_STATUS_CANCELLED\""}}));
  const qvtest::TScratchFolder folder;
  const std::string output = folder / "keep.tif";
  std::ofstream(output) << "precious";
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  Dialogs->SaveNames.push_back(QString::fromStdString(output));
  AnswerScanForm();
  Trigger("acScan");
  EXPECT_TRUE(Dialogs->Errors.empty());
  EXPECT_EQ(qvtest::FileBytes(output), (std::vector<uint8_t>{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"keep.tif"}));
  EXPECT_TRUE(Window->CurrentFileName().isEmpty());
  EXPECT_EQ(Log->Changes, (std::vector<bool>{false, true}));
  // The output file's dialog: TIFF files first, then the other formats of several pages, asking
  // before an existing file is replaced.
  const brindlex::TFileRequest& request = Dialogs->LastSaveRequest;
  EXPECT_EQ(request.Caption, "Output file name");
  EXPECT_EQ(request.Filter, "TIFF file (*.tif *.tiff);;DCX file (*.dcx);;Portable Document Format (*.pdf)");
  EXPECT_EQ(request.DefaultSuffix, "tif");
  EXPECT_TRUE(request.ConfirmOverwrite);
  EXPECT_EQ(request.Directory, Window->Directory());
}

// Yes to "Multi-page scan ?": every page of the feeder into one TIFF file, each with the
// compression of its format, and the file then open in the window, not modified.
TEST_F(ScanCommandTest, MultiPageScanStoresEveryFeederPageWithItsCompressionAndOpensTheFile) {
  if (!RunTool("command -v tiffinfo")) GTEST_SKIP() << "the libtiff tools are needed";
  const TSaneSandbox sandbox(TestSettings());
  for (const auto& [format, compression] :
       std::vector<std::pair<TImageFormat, std::string>>{{TImageFormat::BlackWhite, "CCITT Group 4"},
                                                         {TImageFormat::Gray256, "PackBits"},
                                                         {TImageFormat::TrueColor, "JPEG"}}) {
    SCOPED_TRACE(compression);
    quorvane::TScanner& scanner = Window->Scanner();
    scanner.ImageFormat = format;
    scanner.PageCount = 3;
    const std::string output = Path("pages" + std::to_string(static_cast<int>(format)) + ".tif");
    Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
    Dialogs->SaveNames.push_back(QString::fromStdString(output));
    AnswerScanForm(QString(), true);
    Log->Changes.clear();
    Trigger("acScan");
    ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
    EXPECT_EQ(PageCompressions(output), std::vector<std::string>(3, compression));
    EXPECT_NE(ToolOutput("tiffinfo '" + output + "'").find("Resolution: 50, 50 pixels/inch"), std::string::npos);
    EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(output));
    EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + QString::fromStdString(output));
    EXPECT_FALSE(Window->Modified());
    EXPECT_EQ(Window->lblPage->text(), "Page 1 of 3");
    EXPECT_EQ(Image().Width(), 78);
    EXPECT_EQ(Log->Changes, (std::vector<bool>{false, true}));
  }
}

// The multi-page scan into a PDF: the feeder's pages of the chosen paper size, one PDF page each;
// the scan dialog's choice is kept for the next scan. A PDF is not opened (it cannot be read):
// the view keeps the last page stored.
TEST_F(ScanCommandTest, MultiPageScanIntoAPdfWithThePaperSizeAndTheChoiceKept) {
  if (!RunTool("command -v pdfinfo && command -v pdfimages")) GTEST_SKIP() << "poppler's tools are needed";
  const TSaneSandbox sandbox(TestSettings());
  Window->Scanner().ImageFormat = TImageFormat::BlackWhite;
  const std::string output = Path("letters.pdf");
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  Dialogs->SaveNames.push_back(QString::fromStdString(output));
  AnswerScanForm([](brindlex::TScanForm& form) {
    EXPECT_EQ(form.PaperCombo->currentIndex(), 0);  // the scanner's own area at first
    EXPECT_EQ(form.PaperCombo->itemText(3), "A6 (105 x 148 mm)");
    EXPECT_TRUE(form.SkipBlankCheck->isEnabled());
    form.PaperCombo->setCurrentIndex(3);
    form.FeederCheck->setChecked(true);
    return true;
  });
  Trigger("acScan");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  const std::string info = ToolOutput("pdfinfo '" + output + "'");
  EXPECT_NE(info.find("Pages:           10\n"), std::string::npos) << info;
  // 105 x 148 mm at 50 dpi: 206 x 291 pixels, 296.64 x 419.04 points.
  EXPECT_NE(info.find("Page size:       296.64 x 419.04 pts"), std::string::npos) << info;
  const std::string images = ToolOutput("pdfimages -list '" + output + "'");
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 12) << images;  // two heading lines
  EXPECT_NE(images.find("   206   291  gray    1   1  ccitt"), std::string::npos) << images;
  EXPECT_EQ(Image().Width(), 206);
  EXPECT_FALSE(Window->Modified());
  EXPECT_TRUE(Window->CurrentFileName().isEmpty());
  EXPECT_EQ(Log->Changes, (std::vector<bool>{false, true}));

  // The next scan's dialog starts with the last choice, read from the settings.
  QSettings settings(QStringLiteral("QUELLMARK"), QStringLiteral("Brindlex"));
  EXPECT_EQ(settings.value("ImageTool/Scan/Paper").toString(), "a6");
  EXPECT_TRUE(settings.value("ImageTool/Scan/Feeder").toBool());
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  AnswerScanForm([](brindlex::TScanForm& form) {
    EXPECT_EQ(form.PaperCombo->currentData().toString(), "a6");
    EXPECT_TRUE(form.FeederCheck->isChecked());
    EXPECT_FALSE(form.SkipBlankCheck->isEnabled());  // one page goes into the view whatever it is
    return false;
  });
  Trigger("acScan");
  EXPECT_TRUE(Dialogs->Forms.empty() && Dialogs->Errors.empty());
}

// A multi-page output file gets the bytes of its extension's format; a format of one page is
// refused before anything is scanned, and so are a paper larger than the scanner's area and blank
// pages only (all dropped: no file, a message naming them).
TEST_F(ScanCommandTest, MultiPageOutputsByExtensionAndRefusalsBeforeAnyPage) {
  const struct {
    const char* Name;
    const char* Picture;
    QString Paper;
    bool SkipBlank;
    std::vector<uint8_t> Magic;  // the file's first bytes; none: no file
    QString Error;
    QString Message;
  } cases[] = {
      {"pages.dcx", "\"Color pattern\"", QString(), false, {0xB1, 0x68, 0xDE, 0x3A}, QString(), QString()},
      {"pages.tiff", "\"Color pattern\"", QString(), false, {'I', 'I', 42, 0}, QString(), QString()},
      {"page.png",
       "\"Color pattern\"",
       QString(),
       false,
       {},
       "%1 holds a single page: a multi-page scan needs a file of several pages (TIFF, DCX or PDF)",
       QString()},
      {"big.tif",
       "\"Color pattern\"",
       "letter",
       false,
       {},
       "The paper (215.9 x 279.4 mm) is larger than the area the scanner test:0 scans (200 x 200 mm)",
       QString()},
      {"blank.tif",
       "\"Solid white\"",
       QString(),
       true,
       {},
       QString(),
       "3 of 3 scanned pages were blank and dropped: 1, 2, 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSaneSandbox sandbox(TestSettings({{"test-picture", c.Picture}}));
    Window->Scanner().CloseSourceManager();  // SANE reads the new picture when it starts again
    Window->Scanner().PageCount = 3;
    const std::string output = Path(c.Name);
    Dialogs->Errors.clear();
    Dialogs->Messages.clear();
    Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
    Dialogs->SaveNames.push_back(QString::fromStdString(output));
    if (c.Error.isEmpty() || c.Paper.size()) AnswerScanForm(c.Paper, true, c.SkipBlank);
    Trigger("acScan");
    EXPECT_EQ(Dialogs->Errors,
              c.Error.isEmpty() ? std::vector<QString>{}
                                : std::vector<QString>{QString(c.Error).replace("%1", QString::fromStdString(output))});
    EXPECT_EQ(Dialogs->Messages, c.Message.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.Message});
    EXPECT_TRUE(Dialogs->Forms.empty());
    ASSERT_EQ(std::filesystem::exists(output), !c.Magic.empty());
    if (c.Magic.empty()) continue;
    std::vector<uint8_t> bytes = qvtest::FileBytes(output);
    bytes.resize(c.Magic.size());
    EXPECT_EQ(bytes, c.Magic);
    EXPECT_EQ(PageCount(output), 3);
  }
}

}  // namespace
}  // namespace qvtest
