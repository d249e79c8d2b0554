#include "TPrintCommand.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <optional>

#include "TUserDialogs.h"
#include "model/QvDiGrph.h"
#include "print/QvPrint.h"
#include "print/QvPrintOpt.h"
#include "print/QvPrinter.h"

namespace brindlex {

using quorvane::TDibGraphic;
using quorvane::TPrintPlacement;

namespace {

const char* const kNoPrinterText = "No printer is installed on this computer.";

// Whether the job has nowhere to go: a PDF file without a name, or the platform's printer where
// none is installed.
bool NeedsPdfFile(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) return printer.outputFileName().isEmpty();
  return QPrinterInfo::availablePrinterNames().isEmpty();
}

// Offers a PDF file to print into instead of a printer; empty when the user declines.
QString AskPdfFile(TUserDialogs& dialogs, QWidget* parent) {
  if (!dialogs.ConfirmOk(
          parent, QStringLiteral("Print"),
          QString::fromLatin1(kNoPrinterText) + QStringLiteral(" The image can be printed into a PDF file instead.")))
    return {};
  TFileRequest request{QStringLiteral("Print to PDF File"), QStringLiteral("PDF files (*.pdf)"), QString()};
  request.DefaultSuffix = QStringLiteral("pdf");
  request.ConfirmOverwrite = true;
  return dialogs.SaveFileName(parent, request).value_or(QString());
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

// Runs the options dialog; nothing when it is not closed with OK.
std::optional<TPrintChoice> AskPrintOptions(TUserDialogs& dialogs, QWidget* parent) {
  quorvane::TPrintOptionForm form(parent);
  if (!dialogs.Execute(form)) return std::nullopt;
  return TPrintChoice{form.GetPlacement(), form.WidthInches(), form.HeightInches()};
}

void RunPrintJob(const TDibGraphic& image, QPrinter& device, const TPrintChoice& choice) {
  quorvane::TPrinter printer(device);  // aborts the job on the way out when a step below fails
  quorvane::TDibGraphicPrinter graphicPrinter(printer);
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

void PrintImage(TUserDialogs& dialogs, QWidget* parent, const TDibGraphic& image, QPrinter& printer) {
  if (image.Empty()) return;  // the window offers Print only while it shows an image
  const std::optional<TPrintChoice> choice = AskPrintOptions(dialogs, parent);
  if (!choice) return;
  if (!NeedsPdfFile(printer)) {
    RunPrintJob(image, printer, *choice);
    return;
  }
  const QString fileName = AskPdfFile(dialogs, parent);
  if (fileName.isEmpty()) return;
  TPdfFileForOneJob pdf(printer, fileName);
  RunPrintJob(image, printer, *choice);
}

bool PrinterSetup(TUserDialogs& dialogs, QWidget* parent, QPrinter& printer) {
  if (QPrinterInfo::availablePrinterNames().isEmpty()) {
    dialogs.ShowMessage(
        parent, QStringLiteral("Printer Setup"),
        QString::fromLatin1(kNoPrinterText) + QStringLiteral(" Pages can be printed into a PDF file instead."));
  }
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("PrinterSetupDialog"));
  dialog.setWindowTitle(QStringLiteral("Printer Setup"));
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  return dialogs.Execute(dialog);
}

}  // namespace brindlex
