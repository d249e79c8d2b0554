// The Print and Printer Setup commands through the window, like every other command: the options
// dialog and the other questions answered by the script, the page printed into a PDF file that is
// rendered back to pixels.
#include <QFontMetrics>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QRadioButton>

#include "TPrintCommand.h"
#include "WindowTestUtil.h"
#include "print/PrintTestSupport.h"
#include "print/QvPrintOpt.h"

namespace qvtest {
namespace {

using quorvane::TImageFormat;
using quorvane::TPrintOptionForm;

constexpr uint32_t kRed = 0xFF0000;
// Where the printable area of the small paper starts, in device pixels.
constexpr int kOffsetX = 50;
constexpr int kOffsetY = 25;

bool IsRed(uint32_t rgb) { return IsNear(rgb, kRed); }

// Fills in the options dialog: the placement's button, the width and the height; OK or Cancel.
std::function<bool(QDialog&)> AnswerOptions(QRadioButton* TPrintOptionForm::*choice, const QString& width,
                                            const QString& height, bool ok = true) {
  return [=](QDialog& dialog) {
    auto* form = qobject_cast<TPrintOptionForm*>(&dialog);
    EXPECT_NE(form, nullptr) << "expected the print options, got " << dialog.metaObject()->className();
    if (form == nullptr) return false;
    (form->*choice)->click();
    form->WidthFld->setText(width);
    form->HeightFld->setText(height);
    return ok;
  };
}

class PrintCommandTest : public WindowTest {
 protected:
  // A red 60 x 40 picture of Dpi dots per inch in the window, and the window's printer printing
  // into the PDF file Name of the scratch folder (empty: a PDF file without a name) on small paper.
  std::string PrepareJob(const std::string& name, uint16_t dpi = 50) {
    auto image = qvtest::SolidImage(60, 40, TImageFormat::TrueColor, kRed, 50);
    image->SetXDpi(dpi);
    ShowPicture(*image);
    const std::string pdf = name.empty() ? std::string() : Path(name);
    qvtest::PrintIntoPdf(Window->Printer(), kSmallPaper, pdf);
    return pdf;
  }
};

TEST_F(PrintCommandTest, PrintsThePlacedImageWithTheCaptionUnderTheJobTitle) {
  const std::string pdf = PrepareJob("print.pdf");
  // Typed as the user's locale writes it.
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::SpecificWidthRB, QLocale().toString(2.5), "3"));
  Trigger("acPrint");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  EXPECT_TRUE(Dialogs->Forms.empty());

  EXPECT_EQ(PdfInfo(pdf, "Title"), brindlex::kPrintJobTitle);
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "1");
  EXPECT_EQ(Window->Printer().printerState(), QPrinter::Idle);
  const qvtest::TRaster page = RenderPage(pdf, kSmallPaper.Dpi);
  // 2.5 inches at 100 dpi: 250 x 166 device pixels at the printable area's corner.
  const TBox image = FindBox(page, IsRed);
  EXPECT_NEAR(image.Left, kOffsetX, 1);
  EXPECT_NEAR(image.Top, kOffsetY, 1);
  EXPECT_NEAR(image.Right, kOffsetX + 250, 1);
  EXPECT_NEAR(image.Bottom, kOffsetY + 166, 1);

  // The caption's top-left corner at (10, 10) device units, drawn in the canvas's font.
  const QFontMetrics metrics(QFont(), &Window->Printer());
  const QRect glyphs = metrics.tightBoundingRect(QString::fromLatin1(brindlex::kPrintCaption));
  const TBox caption = FindBox(page, qvtest::IsDark);
  EXPECT_NEAR(caption.Left, kOffsetX + 10 + glyphs.left(), 2);
  EXPECT_NEAR(caption.Top, kOffsetY + 10 + metrics.ascent() + glyphs.top(), 2);
  EXPECT_NEAR(caption.Right - caption.Left, glyphs.width(), 3);
  EXPECT_NEAR(caption.Bottom - caption.Top, glyphs.height(), 3);
}

TEST_F(PrintCommandTest, CancelPrintsNothing) {
  const std::string pdf = PrepareJob("cancel.pdf");
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::SpecificWidthRB, "2", "3", false));
  Trigger("acPrint");
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_TRUE(Dialogs->Errors.empty());
}

// Width and height are read in the user's locale or with a point; a text that is not a number
// stops the command with the conversion error before any job starts.
TEST_F(PrintCommandTest, ReadsWidthAndHeightInTheLocaleAndRefusesOtherTexts) {
  struct {
    const char* Locale;
    const char* Width;
    const char* Height;
    const char* Error;  // nullptr: printed
  } const cases[] = {
      {"en_US", "2.5", "3", nullptr},
      {"de_DE", "2,5", "3", nullptr},
      {"en_US", " 2.5 ", "3", nullptr},
      {"en_US", "abc", "3", "'abc' is not a valid floating point value"},
      {"en_US", "2.5", "", "'' is not a valid floating point value"},
      {"en_US", "1,000", "3", "'1,000' is not a valid floating point value"},
      {"de_DE", "2.5", "3", nullptr},
      {"de_DE", "1.500", "3", "'1.500' is not a valid floating point value"},
      {"en_US", "inf", "3", "'inf' is not a valid floating point value"},
  };
  const QLocale original;
  const std::string pdf = PrepareJob("locale.pdf");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Locale) + " '" + c.Width + "' '" + c.Height + "'");
    QLocale::setDefault(QLocale(QString::fromLatin1(c.Locale)));
    Dialogs->Errors.clear();
    Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::SpecificWidthRB, c.Width, c.Height));
    Trigger("acPrint");
    if (c.Error == nullptr) {
      EXPECT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
      const TBox image = FindBox(RenderPage(pdf, kSmallPaper.Dpi), IsRed);
      EXPECT_NEAR(image.Right - image.Left, 250, 1);
    } else {
      EXPECT_EQ(Dialogs->Errors, std::vector<QString>{QString::fromLatin1(c.Error)});
      EXPECT_FALSE(FileExists(pdf));
    }
    std::remove(pdf.c_str());
  }
  QLocale::setDefault(original);
}

// A step that fails inside the job aborts it: no half-printed file, and the printer is free for
// the next command.
TEST_F(PrintCommandTest, AFailureInsideTheJobReleasesThePrinter) {
  const std::string pdf = PrepareJob("failed.pdf", 0);  // no resolution: Original Size cannot place it
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::OriginalSizeRB, "5", "3"));
  Trigger("acPrint");
  EXPECT_EQ(Dialogs->Errors.size(), 1u);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_NE(Window->Printer().printerState(), QPrinter::Active);

  PrepareJob("failed.pdf");
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::OriginalSizeRB, "5", "3"));
  Trigger("acPrint");
  EXPECT_EQ(Dialogs->Errors.size(), 1u);
  const TBox image = FindBox(RenderPage(pdf, kSmallPaper.Dpi), IsRed);
  EXPECT_NEAR(image.Right - image.Left, 120, 1);
}

// A printer with nowhere to print (a PDF file without a name, as Qt sets up where no printer is
// installed) makes the command say so and offer a PDF file, for this job only.
TEST_F(PrintCommandTest, WithoutAPrinterOffersAPdfFile) {
  PrepareJob("");
  const std::string pdf = Path("chosen.pdf");
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::FullPageRB, "5", "3"));
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);  // OK to a PDF file
  Dialogs->SaveNames.push_back(QString::fromStdString(pdf));
  Trigger("acPrint");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  ASSERT_EQ(Dialogs->Questions.size(), 1u);
  EXPECT_TRUE(Dialogs->Questions[0].startsWith("No printer is installed on this computer."))
      << Dialogs->Questions[0].toStdString();
  EXPECT_EQ(Dialogs->QuestionCaptions, std::vector<QString>{"Print"});
  const brindlex::TFileRequest& request = Dialogs->LastSaveRequest;
  EXPECT_EQ(request.Caption, "Print to PDF File");
  EXPECT_EQ(request.Filter, "PDF files (*.pdf)");
  EXPECT_EQ(request.DefaultSuffix, "pdf");
  EXPECT_TRUE(request.ConfirmOverwrite);
  EXPECT_EQ(PdfInfo(pdf, "Title"), brindlex::kPrintJobTitle);
  EXPECT_TRUE(Window->Printer().outputFileName().isEmpty());
  EXPECT_EQ(Window->Printer().outputFormat(), QPrinter::PdfFormat);

  // Cancel to the offer: no file dialog, nothing printed.
  std::remove(pdf.c_str());
  Dialogs->Forms.push_back(AnswerOptions(&TPrintOptionForm::FullPageRB, "5", "3"));
  Dialogs->Answers.push_back(brindlex::TAnswer::Cancel);
  Trigger("acPrint");
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_TRUE(Dialogs->Answers.empty() && Dialogs->Errors.empty());
}

TEST_F(PrintCommandTest, AnEmptyImageAsksNothing) {
  EXPECT_FALSE(Enabled("acPrint"));
  Window->Commands().Run([this] { Window->Print(); });  // the shortcut's way past the disabled entry
  EXPECT_TRUE(Dialogs->Errors.empty());
}

TEST_F(PrintCommandTest, PrinterSetupShowsThePrintDialogOnTheSessionsPrinter) {
  const bool noPrinters = QPrinterInfo::availablePrinterNames().isEmpty();
  PrepareJob("unused.pdf");
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept ? "accepted" : "cancelled");
    Dialogs->Messages.clear();
    QString title;
    QPrinter* printer = nullptr;
    Dialogs->Forms.push_back([&](QDialog& dialog) {
      auto* print = qobject_cast<QPrintDialog*>(&dialog);
      EXPECT_NE(print, nullptr) << "expected the print dialog, got " << dialog.metaObject()->className();
      if (print == nullptr) return false;
      title = print->windowTitle();
      printer = print->printer();
      return accept;
    });
    Trigger("acPrintSetup");
    EXPECT_TRUE(Dialogs->Forms.empty());
    EXPECT_EQ(title, "Printer Setup");
    EXPECT_EQ(printer, &Window->Printer());
    if (noPrinters) {
      ASSERT_EQ(Dialogs->Messages.size(), 1u);
      EXPECT_TRUE(Dialogs->Messages[0].startsWith("No printer is installed on this computer."));
      EXPECT_EQ(Dialogs->MessageCaptions.back(), "Printer Setup");
    } else {
      EXPECT_TRUE(Dialogs->Messages.empty());
    }
  }
}

}  // namespace
}  // namespace qvtest
