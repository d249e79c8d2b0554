#include "scan/QvScanCommand.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <exception>

#include "formats/QvDiGrphDib.h"
#include "model/QvDiGrphRegistry.h"

#include "formats/QvTifGr.h"

namespace quorvane {

const char* const kNoScannerMessage = "A scanner is not configured on your computer";

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

}  // namespace

void LoadScannedPage(TDibGraphic& image, TW_HANDLE page, uint16_t xDpi, uint16_t yDpi) {
  LoadFromDibHandle(image, QvMemLock(page), QvMemSize(page));
  image.SetXDpi(xDpi);
  image.SetYDpi(yDpi);
}

void ApplyScanCompression(TDibGraphic& image) {
  if (auto* tiff = dynamic_cast<TTiffGraphic*>(&image))
    tiff->SetCompression(DefaultSaveCompression(image.ImageFormat()));
}

void SelectScannerCommand(TScanner& scanner, IScanWindow& window) {
  if (scanner.IsAvailable())
    scanner.SelectSource();
  else
    window.ShowMessage(kNoScannerMessage);
}

void ScanPage(TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, TScanJob& job, IScanWindow& window) {
  if (job.MultiPage) {
    LoadScannedPage(*job.TiffImage, page, xDpi, yDpi);
    ApplyScanCompression(*job.TiffImage);
    job.Output->StorePage(*job.TiffImage);
    window.ShowScannedPage(*job.TiffImage, false);
    window.ProcessMessages();
    ++job.PagesStored;
  } else {
    TDibGraphic image;
    LoadScannedPage(image, page, xDpi, yDpi);
    window.ShowScannedPage(image, true);
  }
}

void ScanCommand(TScanner& scanner, IScanWindow& window) {
  if (!window.ConfirmSave()) return;
  if (!scanner.IsAvailable()) {
    window.ShowMessage(kNoScannerMessage);
    return;
  }
  TScanJob job;
  const TMultiPageAnswer answer = window.AskMultiPage();
  if (answer == TMultiPageAnswer::Cancel) return;
  job.MultiPage = answer == TMultiPageAnswer::Yes;
  if (job.MultiPage) {
    const std::string fileName = window.AskOutputFile();
    if (fileName.empty()) return;
    job.TiffImage = CreateGraphicForFile(std::string(".") + kMultiPageExtension);
    job.Output = std::make_unique<TScanOutputFile>(fileName);
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
    if (job.PagesStored > 0) window.OpenScannedFile(fileName);
  }
  if (failure) std::rethrow_exception(failure);
}

TMultiPageAnswer AskMultiPageScan(QWidget* parent) {
  switch (QMessageBox::question(parent, QString(), "Multi-page scan ?",
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes: return TMultiPageAnswer::Yes;
    case QMessageBox::No: return TMultiPageAnswer::No;
    default: return TMultiPageAnswer::Cancel;
  }
}

std::string AskScanOutputFile(QWidget* parent, const std::string& directory) {
  // The filter and default extension of the class that stores the pages.
  const TGraphicClass* pageClass = FindGraphicClass(kMultiPageExtension);
  QString description;
  QStringList patterns;
  QString defaultSuffix;
  for (const TGraphicFormatEntry& entry : GraphicFormatList()) {
    if (entry.GraphicClass != pageClass) continue;
    if (description.isEmpty()) description = QString::fromStdString(entry.Description);
    const QString extension = QString::fromStdString(entry.Extension).toLower();
    if (defaultSuffix.isEmpty()) defaultSuffix = extension;
    patterns << "*." + extension;
  }
  QFileDialog dialog(parent, "Output file name", QString::fromStdString(directory));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (!patterns.isEmpty()) dialog.setNameFilter(description + " (" + patterns.join(' ') + ")");
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace quorvane
