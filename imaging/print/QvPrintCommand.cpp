#include "print/QvPrintCommand.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <optional>

#include "model/QvDiGrph.h"
#include "print/QvPrint.h"
#include "print/QvPrintOpt.h"
#include "print/QvPrinter.h"

namespace quorvane {

namespace {

const char* const kNoPrinterText = "No printer is installed on this computer.";

// Whether the job has nowhere to go: a PDF file without a name, or the platform's printer where
// none is installed.
bool NeedsPdfFile(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) return printer.outputFileName().isEmpty();
  return QPrinterInfo::availablePrinterNames().isEmpty();
}

// Asks for a PDF file to print into instead of a printer; empty when the user declines.
QString AskPdfFile(QWidget* parent) {
  const auto answer = QMessageBox::information(
      parent, QStringLiteral("Print"),
      QString::fromLatin1(kNoPrinterText) + QStringLiteral(" The image can be printed into a PDF file instead."),
      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
  if (answer != QMessageBox::Ok) return {};
  QFileDialog dialog(parent, QStringLiteral("Print to PDF File"), QString(), QStringLiteral("PDF files (*.pdf)"));
  dialog.setObjectName(QStringLiteral("PrintToPdfDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("pdf"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

// Points the printer at a PDF file for one job and puts its own output back afterwards, so the
// next Print asks again instead of overwriting this file.
class TPdfFileForOneJob {
 public:
  TPdfFileForOneJob(QPrinter& printer, const QString& fileName)
      : FPrinter(printer), FFormat(printer.outputFormat()), FFileName(printer.outputFileName()) {
    FPrinter.setOutputFormat(QPrinter::PdfFormat);
    FPrinter.setOutputFileName(fileName);
  }
  ~TPdfFileForOneJob() {
    FPrinter.setOutputFileName(FFileName);
    FPrinter.setOutputFormat(FFormat);
  }
  TPdfFileForOneJob(const TPdfFileForOneJob&) = delete;
  TPdfFileForOneJob& operator=(const TPdfFileForOneJob&) = delete;

 private:
  QPrinter& FPrinter;
  QPrinter::OutputFormat FFormat;
  QString FFileName;
};

struct TPrintChoice {
  TPrintPlacement Placement;
  double Width;
  double Height;
};

// Shows the options dialog; nothing when it is not closed with OK.
std::optional<TPrintChoice> AskPrintOptions(QWidget* parent) {
  TPrintOptionForm form(parent);
  if (form.exec() != QDialog::Accepted) return std::nullopt;
  return TPrintChoice{form.GetPlacement(), form.WidthInches(), form.HeightInches()};
}

void RunPrintJob(TDibGraphic& image, QPrinter& device, const TPrintChoice& choice) {
  TPrinter printer(device);  // aborts the job on the way out when a step below fails
  TDibGraphicPrinter graphicPrinter(printer);
  graphicPrinter.SetPlacement(choice.Placement);
  graphicPrinter.PrintWidth = choice.Width;
  graphicPrinter.PrintHeight = choice.Height;
  // The command runs the job itself, and the page keeps the orientation of the printer settings.
  graphicPrinter.AutoJob = false;
  printer.SetTitle(kPrintJobTitle);
  printer.BeginDoc();
  graphicPrinter.Print(image);
  // The caption's top-left corner sits at (10, 10) in device units, over the image.
  QPainter& canvas = printer.Canvas();
  canvas.drawText(QPoint(10, 10 + canvas.fontMetrics().ascent()), QString::fromLatin1(kPrintCaption));
  printer.EndDoc();
}

}  // namespace

void PrintImage(QWidget* parent, TDibGraphic& image, QPrinter& printer) {
  if (image.Empty()) return;  // the window offers Print only while it shows an image
  const std::optional<TPrintChoice> choice = AskPrintOptions(parent);
  if (!choice) return;
  if (!NeedsPdfFile(printer)) {
    RunPrintJob(image, printer, *choice);
    return;
  }
  const QString fileName = AskPdfFile(parent);
  if (fileName.isEmpty()) return;
  TPdfFileForOneJob pdf(printer, fileName);
  RunPrintJob(image, printer, *choice);
}

bool PrinterSetup(QWidget* parent, QPrinter& printer) {
  if (QPrinterInfo::availablePrinterNames().isEmpty()) {
    QMessageBox::information(
        parent, QStringLiteral("Printer Setup"),
        QString::fromLatin1(kNoPrinterText) + QStringLiteral(" Pages can be printed into a PDF file instead."));
  }
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("PrinterSetupDialog"));
  dialog.setWindowTitle(QStringLiteral("Printer Setup"));
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace quorvane
