// The window's scanner commands: Select Scanner, and Scan (one page into the view, or any number
// of pages into one multi-page file: TIFF, DCX or PDF, by the name's extension), with the scan
// dialog's paper size, document feeder and dropping of blank pages. The window supplies what the commands need from it
// through IScanWindow, its questions included, which go through its TUserDialogs; the commands
// own the scan job and restore the window on every way out.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "TScanForm.h"
#include "model/QvDiGrph.h"
#include "scan/QvScan.h"
#include "scan/QvScanOutput.h"

class QWidget;

namespace brindlex {

class TUserDialogs;

class IScanWindow {
 public:
  virtual ~IScanWindow() = default;
  // Where the commands ask their questions, and the window the questions belong to.
  virtual TUserDialogs& Dialogs() = 0;
  virtual QWidget* DialogParent() = 0;
  // The folder the file dialogs start in.
  virtual QString Directory() const = 0;
  // The unsaved-changes prompt; false when the user cancelled (saving first when asked).
  virtual bool ConfirmSave() = 0;
  virtual void SetWindowEnabled(bool enabled) = 0;
  // Puts a copy of Page into the view, sets the document's modified flag to Modified, clears the
  // current file name and applies the zoom box.
  virtual void ShowScannedPage(const quorvane::TDibGraphic& page, bool modified) = 0;
  // Opens the file as the Open command does (caption, view, file name, not modified, zoom).
  virtual void OpenScannedFile(const QString& fileName) = 0;
  // Lets the window repaint between pages.
  virtual void ProcessMessages() = 0;
  // The scan dialog's last choice, kept in the settings.
  virtual TScanChoices LastScanChoices() = 0;
  virtual void KeepScanChoices(const TScanChoices& choices) = 0;
};

// The record a scan hands to the scanner as its user data.
struct TScanJob {
  bool MultiPage = false;
  // Collects the pages (multi-page only): an instance of the class registered for the output
  // file's extension.
  std::unique_ptr<quorvane::TDibGraphic> PageImage;
  std::unique_ptr<quorvane::TScanOutputFile> Output;  // the output file (multi-page only)
  int32_t PagesStored = 0;
  // Multi-page only: the dark-pixel percentage below which a page is dropped, the pages
  // delivered and the numbers of those dropped.
  std::optional<double> SkipBlank;
  int32_t PagesScanned = 0;
  std::vector<int> Dropped;
};

// Without a source manager both say kNoScannerMessage and do nothing else.
void SelectScannerCommand(quorvane::TScanner& scanner, IScanWindow& window);
// Asks about unsaved changes, "Multi-page scan ?" (Yes, No, Cancel), for several pages the output
// file (a format that holds one page is refused with a message), and the scan dialog; then scans
// with the window disabled. Cancel anywhere ends silently; a failure passes out after the window
// is enabled again and the pages stored so far are opened (a file that cannot be read, PDF,
// stays closed: the view keeps the last page stored). Dropped blank pages are named in a message.
void ScanCommand(quorvane::TScanner& scanner, IScanWindow& window);

// The page callback of ScanCommand.
void ScanPage(TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, TScanJob& job, IScanWindow& window);

}  // namespace brindlex
