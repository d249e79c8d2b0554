#include "TScanCommand.h"

#include <QStringList>
#include <algorithm>
#include <exception>

#include "TUserDialogs.h"
#include "model/QvDiGrphRegistry.h"
#include "scan/QvScanPage.h"
#include "scan/QvScanPaper.h"

namespace brindlex {

using quorvane::TDibGraphic;

namespace {

// The extension of the first filter and the default suffix of the output file.
constexpr const char* kMultiPageExtension = "TIF";

// Scan's steps after Acquire, run on every way out of it.
class TScanWindowRestore {
 public:
  explicit TScanWindowRestore(IScanWindow& window) : FWindow(window) { FWindow.SetWindowEnabled(false); }
  ~TScanWindowRestore() { FWindow.SetWindowEnabled(true); }
  TScanWindowRestore(const TScanWindowRestore&) = delete;
  TScanWindowRestore& operator=(const TScanWindowRestore&) = delete;

 private:
  IScanWindow& FWindow;
};

// The save dialog "Output file name" with one filter per registered class that holds several
// pages (TIFF first, the default extension) and the default extension of TIFF; empty when
// cancelled.
QString AskOutputFile(IScanWindow& window) {
  const quorvane::TGraphicClass* tiffClass = quorvane::FindGraphicClass(kMultiPageExtension);
  std::vector<const quorvane::TGraphicClass*> classes;
  if (tiffClass) classes.push_back(tiffClass);
  for (const quorvane::TGraphicFormatEntry& entry : quorvane::GraphicFormatList())
    if (std::find(classes.begin(), classes.end(), entry.GraphicClass) == classes.end() &&
        entry.GraphicClass->Create()->Capabilities().MultipleImages)
      classes.push_back(entry.GraphicClass);
  TFileRequest request{QStringLiteral("Output file name"), QString(), window.Directory()};
  QStringList filters;
  for (const quorvane::TGraphicClass* pageClass : classes) {
    QString description;
    QStringList patterns;
    for (const quorvane::TGraphicFormatEntry& entry : quorvane::GraphicFormatList()) {
      if (entry.GraphicClass != pageClass) continue;
      if (description.isEmpty()) description = QString::fromStdString(entry.Description);
      const QString extension = QString::fromStdString(entry.Extension).toLower();
      if (request.DefaultSuffix.isEmpty()) request.DefaultSuffix = extension;
      patterns << QStringLiteral("*.") + extension;
    }
    filters << description + QStringLiteral(" (") + patterns.join(' ') + ')';
  }
  request.Filter = filters.join(QStringLiteral(";;"));
  // The dialog asks before an existing file is chosen: the scan replaces it.
  request.ConfirmOverwrite = true;
  return window.Dialogs().SaveFileName(window.DialogParent(), request).value_or(QString());
}

}  // namespace

void SelectScannerCommand(quorvane::TScanner& scanner, IScanWindow& window) {
  if (scanner.IsAvailable())
    scanner.SelectSource();
  else
    window.Dialogs().ShowMessage(window.DialogParent(), QString(), QString::fromLatin1(quorvane::kNoScannerMessage));
}

void ScanPage(TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, TScanJob& job, IScanWindow& window) {
  if (job.MultiPage) {
    quorvane::LoadScannedPage(*job.PageImage, page, xDpi, yDpi);
    ++job.PagesScanned;
    if (job.SkipBlank && quorvane::IsBlankPage(*job.PageImage, *job.SkipBlank)) {
      job.Dropped.push_back(job.PagesScanned);
      window.ProcessMessages();
      return;
    }
    quorvane::PrepareScannedPage(*job.PageImage);
    job.Output->StorePage(*job.PageImage);
    window.ShowScannedPage(*job.PageImage, false);
    window.ProcessMessages();
    ++job.PagesStored;
  } else {
    TDibGraphic image;
    quorvane::LoadScannedPage(image, page, xDpi, yDpi);
    window.ShowScannedPage(image, true);
  }
}

void ScanCommand(quorvane::TScanner& scanner, IScanWindow& window) {
  if (!window.ConfirmSave()) return;
  if (!scanner.IsAvailable()) {
    window.Dialogs().ShowMessage(window.DialogParent(), QString(), QString::fromLatin1(quorvane::kNoScannerMessage));
    return;
  }
  TScanJob job;
  const TAnswer answer = window.Dialogs().Confirm(window.DialogParent(), QStringLiteral("Multi-page scan ?"), true);
  if (answer == TAnswer::Cancel) return;
  job.MultiPage = answer == TAnswer::Yes;
  QString fileName;
  if (job.MultiPage) {
    fileName = AskOutputFile(window);
    if (fileName.isEmpty()) return;
    // The pages get the bytes of the name's format; one that holds a single page is refused
    // before anything is scanned (an unknown extension raises the registry's message).
    job.PageImage = quorvane::CreateGraphicForFile(fileName.toStdString());
    if (!job.PageImage->Capabilities().MultipleImages)
      throw quorvane::Exception(quorvane::FormatMessage(
          "%s holds a single page: a multi-page scan needs a file of several pages (TIFF, DCX or PDF)",
          fileName.toStdString().c_str()));
  }
  TScanForm form(window.LastScanChoices(), job.MultiPage, window.DialogParent());
  if (!window.Dialogs().Execute(form)) return;
  const TScanChoices choices = form.Choices();
  window.KeepScanChoices(choices);
  scanner.Feeder = choices.Feeder ? quorvane::TScanner::TFeeder::Required : quorvane::TScanner::TFeeder::Default;
  const auto paper = quorvane::ParsePaperSize(choices.Paper.toStdString());
  scanner.PaperWidth = paper ? paper->Width : 0;
  scanner.PaperHeight = paper ? paper->Height : 0;
  if (job.MultiPage) {
    if (choices.SkipBlank) job.SkipBlank = choices.BlankPercent;
    job.Output = std::make_unique<quorvane::TScanOutputFile>(fileName.toStdString());
  }
  std::exception_ptr failure;
  {
    TScanWindowRestore restore(window);
    try {
      scanner.Acquire(&job, [&window](TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, void* data) {
        ScanPage(page, xDpi, yDpi, *static_cast<TScanJob*>(data), window);
      });
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (job.MultiPage) {
    const bool readable = job.PageImage->Capabilities().Readable;
    // Closing the output removes the temporary file when no page was stored.
    job.PageImage.reset();
    job.Output.reset();
    if (job.PagesStored > 0 && readable) window.OpenScannedFile(fileName);
    if (!job.Dropped.empty()) {
      QStringList pages;
      for (int number : job.Dropped) pages << QString::number(number);
      window.Dialogs().ShowMessage(window.DialogParent(), QString(),
                                   QStringLiteral("%1 of %2 scanned pages were blank and dropped: %3")
                                       .arg(job.Dropped.size())
                                       .arg(job.PagesScanned)
                                       .arg(pages.join(QStringLiteral(", "))));
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace brindlex
