#include "TScanCommand.h"

#include <QStringList>
#include <exception>

#include "TUserDialogs.h"
#include "model/QvDiGrphRegistry.h"
#include "scan/QvScanPage.h"

namespace brindlex {

using quorvane::TDibGraphic;

namespace {

// The extension whose registered class collects the pages of a multi-page scan.
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

// The save dialog "Output file name" with the filter and default extension of the class that
// stores the pages; empty when cancelled.
QString AskOutputFile(IScanWindow& window) {
  const quorvane::TGraphicClass* pageClass = quorvane::FindGraphicClass(kMultiPageExtension);
  QString description;
  QStringList patterns;
  TFileRequest request{QStringLiteral("Output file name"), QString(), window.Directory()};
  for (const quorvane::TGraphicFormatEntry& entry : quorvane::GraphicFormatList()) {
    if (entry.GraphicClass != pageClass) continue;
    if (description.isEmpty()) description = QString::fromStdString(entry.Description);
    const QString extension = QString::fromStdString(entry.Extension).toLower();
    if (request.DefaultSuffix.isEmpty()) request.DefaultSuffix = extension;
    patterns << QStringLiteral("*.") + extension;
  }
  if (!patterns.isEmpty()) request.Filter = description + QStringLiteral(" (") + patterns.join(' ') + ')';
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
    quorvane::LoadScannedPage(*job.TiffImage, page, xDpi, yDpi);
    quorvane::ApplyScanCompression(*job.TiffImage);
    job.Output->StorePage(*job.TiffImage);
    window.ShowScannedPage(*job.TiffImage, false);
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
  if (job.MultiPage) {
    const QString fileName = AskOutputFile(window);
    if (fileName.isEmpty()) return;
    job.TiffImage = quorvane::CreateGraphicForFile(std::string(".") + kMultiPageExtension);
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
    const std::string fileName = job.Output->FileName();
    // Closing the output removes the temporary file when no page was stored.
    job.TiffImage.reset();
    job.Output.reset();
    if (job.PagesStored > 0) window.OpenScannedFile(QString::fromStdString(fileName));
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace brindlex
