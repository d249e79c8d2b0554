// The window's scanner commands: Select Scanner, and Scan (one page into the view, or any number
// of pages into one multi-page TIFF file), with the compression rule that the window's
// before-save handler shares. The window supplies what the commands need from it through
// IScanWindow; the commands own the scan job and restore the window on every way out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/QvDiGrph.h"
#include "scan/QvScan.h"
#include "scan/QvScanOutput.h"

class QWidget;

namespace quorvane {

enum class TMultiPageAnswer { Yes, No, Cancel };

class IScanWindow {
 public:
  virtual ~IScanWindow() = default;
  // The unsaved-changes prompt; false when the user cancelled (saving first when asked).
  virtual bool ConfirmSave() = 0;
  // "Multi-page scan ?" with Yes, No and Cancel (AskMultiPageScan below shows it).
  virtual TMultiPageAnswer AskMultiPage() = 0;
  // The save dialog "Output file name" for TIFF files (AskScanOutputFile below); empty when
  // cancelled.
  virtual std::string AskOutputFile() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void SetWindowEnabled(bool enabled) = 0;
  // Puts a copy of Page into the view, sets the document's modified flag to Modified, clears the
  // current file name and applies the zoom box.
  virtual void ShowScannedPage(const TDibGraphic& page, bool modified) = 0;
  // Opens the file as the Open command does (caption, view, file name, not modified, zoom).
  virtual void OpenScannedFile(const std::string& fileName) = 0;
  // Lets the window repaint between pages.
  virtual void ProcessMessages() = 0;
};

// The record a scan hands to the scanner as its user data.
struct TScanJob {
  bool MultiPage = false;
  std::unique_ptr<TDibGraphic> TiffImage;   // collects the pages (multi-page only)
  std::unique_ptr<TScanOutputFile> Output;  // the output file (multi-page only)
  int32_t PagesStored = 0;
};

extern const char* const kNoScannerMessage;  // "A scanner is not configured on your computer"

void SelectScannerCommand(TScanner& scanner, IScanWindow& window);
void ScanCommand(TScanner& scanner, IScanWindow& window);

// The page callback of ScanCommand.
void ScanPage(TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, TScanJob& job, IScanWindow& window);

// Reads a transferred page into Image with the page's resolution.
void LoadScannedPage(TDibGraphic& image, TW_HANDLE page, uint16_t xDpi, uint16_t yDpi);

// The TIFF compression for a page or a saved image: Group 4 for black and white, JPEG for true
// colour, PackBits for every other format. Images of other classes are left alone.
void ApplyScanCompression(TDibGraphic& image);

// The questions of the Scan command as message box and file dialog, for IScanWindow.
TMultiPageAnswer AskMultiPageScan(QWidget* parent);
std::string AskScanOutputFile(QWidget* parent, const std::string& directory);

}  // namespace quorvane
