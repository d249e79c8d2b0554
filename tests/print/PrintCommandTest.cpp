// The Print and Printer Setup commands end to end on the offscreen platform: the options dialog
// is answered by a script, the page goes into a PDF file that is rendered back to pixels.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>

#include "PrintTestSupport.h"
#include "model/QvExcept.h"
#include "print/QvPrintCommand.h"
#include "print/QvPrintOpt.h"

namespace printtest {
namespace {

using quorvane::TImageFormat;
using quorvane::TPrintOptionForm;

constexpr uint32_t kRed = 0xFF0000;
constexpr int kOffsetX = 50;
constexpr int kOffsetY = 25;

// An action that fills in the options dialog and presses OK, or Cancel when Ok is false.
TModalScript::TAction AnswerOptions(QRadioButton* TPrintOptionForm::*choice, const QString& width,
                                    const QString& height, bool ok = true) {
  return [=](QWidget* modal) {
    auto* form = qobject_cast<TPrintOptionForm*>(modal);
    ASSERT_NE(form, nullptr) << "expected the print options, got " << modal->metaObject()->className();
    (form->*choice)->click();
    form->WidthFld->setText(width);
    form->HeightFld->setText(height);
    (ok ? form->OkBtn : form->BitBtn1)->click();
  };
}

TModalScript::TAction AnswerMessage(QMessageBox::StandardButton button, QString* text = nullptr) {
  return [=](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
    if (text) *text = box->text();
    box->button(button)->click();
  };
}

TModalScript::TAction ChooseFile(const std::string& fileName) {
  return [=](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr) << "expected a file dialog, got " << modal->metaObject()->className();
    // The name typed into the dialog's own field, as a user does; selectFile would depend on the
    // folder's contents having loaded.
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(fileName));
    static_cast<QDialog*>(dialog)->done(QDialog::Accepted);  // QFileDialog::done is protected
  };
}

// Runs the Print command on a red 60 x 40 image of Dpi with the dialogs answered by Actions.
void RunPrint(QPrinter& printer, std::vector<TModalScript::TAction> actions, uint16_t dpi = 50) {
  TModalScript script(std::move(actions));
  auto image = SolidImage(60, 40, TImageFormat::TrueColor, kRed, 50);
  image->SetXDpi(dpi);
  quorvane::PrintImage(nullptr, *image, printer);
  EXPECT_EQ(script.Unexpected(), 0) << "a dialog was left open";
}

TEST(PrintCommand, PrintsThePlacedImageWithTheCaptionUnderTheJobTitle) {
  TScratchFolder folder;
  const std::string pdf = folder / "print.pdf";
  auto printer = PdfPrinter(kSmallPaper, pdf);
  // Typed as the user's locale writes it.
  RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::SpecificWidthRB, QLocale().toString(2.5), "3")});

  EXPECT_EQ(PdfInfo(pdf, "Title"), quorvane::kPrintJobTitle);
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "1");
  EXPECT_EQ(printer->printerState(), QPrinter::Idle);
  const TRaster page = RenderPage(pdf, kSmallPaper.Dpi);
  // 2.5 inches at 100 dpi: 250 x 166 device pixels at the printable area's corner.
  const TBox image = FindBox(page, [](uint32_t rgb) { return IsNear(rgb, kRed); });
  EXPECT_NEAR(image.Left, kOffsetX, 1);
  EXPECT_NEAR(image.Top, kOffsetY, 1);
  EXPECT_NEAR(image.Right, kOffsetX + 250, 1);
  EXPECT_NEAR(image.Bottom, kOffsetY + 166, 1);

  // The caption's top-left corner at (10, 10) device units, drawn in the canvas's font.
  const QFontMetrics metrics(QFont(), printer.get());
  const QRect glyphs = metrics.tightBoundingRect(QString::fromLatin1(quorvane::kPrintCaption));
  const TBox caption = FindBox(page, IsDark);
  EXPECT_NEAR(caption.Left, kOffsetX + 10 + glyphs.left(), 2);
  EXPECT_NEAR(caption.Top, kOffsetY + 10 + metrics.ascent() + glyphs.top(), 2);
  EXPECT_NEAR(caption.Right - caption.Left, glyphs.width(), 3);
  EXPECT_NEAR(caption.Bottom - caption.Top, glyphs.height(), 3);
}

TEST(PrintCommand, CancelPrintsNothing) {
  TScratchFolder folder;
  const std::string pdf = folder / "cancel.pdf";
  auto printer = PdfPrinter(kSmallPaper, pdf);
  RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::SpecificWidthRB, "2", "3", false)});
  EXPECT_FALSE(FileExists(pdf));
}

// Width and height are read in the user's locale or with a point; a text that is not a number
// stops the command with the conversion error before any job starts.
TEST(PrintCommand, ReadsWidthAndHeightInTheLocaleAndRefusesOtherTexts) {
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
  TScratchFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Locale) + " '" + c.Width + "' '" + c.Height + "'");
    QLocale::setDefault(QLocale(QString::fromLatin1(c.Locale)));
    const std::string pdf = folder / "locale.pdf";
    auto printer = PdfPrinter(kSmallPaper, pdf);
    try {
      RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::SpecificWidthRB, c.Width, c.Height)});
      EXPECT_EQ(c.Error, nullptr) << "no exception";
      const TBox image = FindBox(RenderPage(pdf, kSmallPaper.Dpi), [](uint32_t rgb) { return IsNear(rgb, kRed); });
      EXPECT_NEAR(image.Right - image.Left, 250, 1);
    } catch (const quorvane::EConvertError& e) {
      ASSERT_NE(c.Error, nullptr) << e.Message();
      EXPECT_EQ(e.Message(), c.Error);
      EXPECT_FALSE(FileExists(pdf));
    }
    std::remove(pdf.c_str());
  }
  QLocale::setDefault(original);
}

// A step that fails inside the job aborts it: no half-printed file, and the printer is free for
// the next command.
TEST(PrintCommand, AFailureInsideTheJobReleasesThePrinter) {
  TScratchFolder folder;
  const std::string pdf = folder / "failed.pdf";
  auto printer = PdfPrinter(kSmallPaper, pdf);
  EXPECT_THROW(RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::OriginalSizeRB, "5", "3")}, 0),
               quorvane::EQuorvaneError);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_NE(printer->printerState(), QPrinter::Active);
  RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::OriginalSizeRB, "5", "3")});
  const TBox image = FindBox(RenderPage(pdf, kSmallPaper.Dpi), [](uint32_t rgb) { return IsNear(rgb, kRed); });
  EXPECT_NEAR(image.Right - image.Left, 120, 1);
}

// A printer with nowhere to print (a PDF file without a name, as Qt sets up where no printer is
// installed) makes the command say so and ask for a PDF file, for this job only.
TEST(PrintCommand, WithoutAPrinterOffersAPdfFile) {
  TScratchFolder folder;
  const std::string pdf = folder / "chosen.pdf";
  auto printer = PdfPrinter(kSmallPaper, "");
  QString message;
  RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::FullPageRB, "5", "3"), AnswerMessage(QMessageBox::Ok, &message),
                      ChooseFile(pdf)});
  EXPECT_TRUE(message.startsWith("No printer is installed on this computer.")) << message.toStdString();
  EXPECT_EQ(PdfInfo(pdf, "Title"), quorvane::kPrintJobTitle);
  EXPECT_TRUE(printer->outputFileName().isEmpty());
  EXPECT_EQ(printer->outputFormat(), QPrinter::PdfFormat);

  std::remove(pdf.c_str());
  RunPrint(*printer, {AnswerOptions(&TPrintOptionForm::FullPageRB, "5", "3"), AnswerMessage(QMessageBox::Cancel)});
  EXPECT_FALSE(FileExists(pdf));
}

TEST(PrintCommand, AnEmptyImageOpensNoDialog) {
  auto printer = PdfPrinter(kSmallPaper, "");
  TModalScript script({});
  quorvane::TDibGraphic empty;
  quorvane::PrintImage(nullptr, empty, *printer);
  EXPECT_EQ(script.Unexpected(), 0);
}

TEST(PrinterSetupCommand, ShowsThePrintDialogOnTheSessionsPrinter) {
  const bool noPrinters = QPrinterInfo::availablePrinterNames().isEmpty();
  auto printer = PdfPrinter(kSmallPaper, "/tmp/unused.pdf");
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept ? "accepted" : "cancelled");
    std::vector<TModalScript::TAction> actions;
    QString message;
    if (noPrinters) actions.push_back(AnswerMessage(QMessageBox::Ok, &message));
    QString title;
    actions.push_back([&](QWidget* modal) {
      auto* dialog = qobject_cast<QPrintDialog*>(modal);
      ASSERT_NE(dialog, nullptr) << "expected the print dialog, got " << modal->metaObject()->className();
      title = dialog->windowTitle();
      accept ? dialog->accept() : dialog->reject();
    });
    TModalScript script(std::move(actions));
    EXPECT_EQ(quorvane::PrinterSetup(nullptr, *printer), accept);
    EXPECT_EQ(script.Unexpected(), 0);
    EXPECT_EQ(title, "Printer Setup");
    if (noPrinters) {
      EXPECT_TRUE(message.startsWith("No printer is installed on this computer."));
    }
  }
}

}  // namespace
}  // namespace printtest
