// The scanner: loads the source manager module, lets the user choose a source and acquires
// pages by native transfer, each handed to a callback as a packed device-independent bitmap with
// the page's resolution.
//
// The manager module is kSourceManagerModuleName in the source-manager folder: the program's
// module folder (<program folder>/../lib/brindlex) unless SetSourceManagerFolder chose another.
// It is loaded and opened by the first IsAvailable, SelectSource or Acquire and stays open until
// the scanner is destroyed. Only one TScanner may exist at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "scan/QvTwain.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EScannerError);

// What the programs say when no source manager can be opened.
inline constexpr const char* kNoScannerMessage = "A scanner is not configured on your computer";

// Where the next OpenSourceManager looks for the module; an empty folder restores the default.
void SetSourceManagerFolder(const std::string& folder);
std::string SourceManagerFolder();

class TScanner {
 public:
  // Raises EScannerError "Only one scanner object is permitted" while another one exists.
  TScanner();
  ~TScanner();
  TScanner(const TScanner&) = delete;
  TScanner& operator=(const TScanner&) = delete;

  // Settings used by the next Acquire.
  bool ShowUI = true;
  uint16_t XDpi = 200;
  uint16_t YDpi = 200;
  TImageFormat ImageFormat = TImageFormat::BlackWhite;
  // Beyond the window's use, for the command line: the source to open instead of the default
  // one (its name as SourceNames lists it), the number of pages (-1: as many as the source has)
  // and whether to use the document feeder (Default: the source's own choice; Feeder: the
  // feeder where the source has one; Required: the feeder, and Acquire raises EScannerError
  // before any page when the source has none).
  std::string SourceName;
  int16_t PageCount = -1;
  enum class TFeeder { Default, Flatbed, Feeder, Required };
  TFeeder Feeder = TFeeder::Default;
  // The paper: the area scanned from the top left corner of the source's area, in millimetres;
  // 0 x 0 is the source's own area. A source that cannot set its area, or whose area is smaller
  // than the paper, makes Acquire raise EScannerError before any page.
  double PaperWidth = 0;
  double PaperHeight = 0;

  // Raise EScannerError with the module's path or the failing step.
  void OpenSourceManager();
  void CloseSourceManager();
  bool IsAvailable();
  // Shows the manager's list of sources; false when it failed or the user cancelled.
  bool SelectSource();
  // The names of the sources the manager knows.
  std::vector<std::string> SourceNames();
  // Runs one scan: opens the source, sets the capabilities, enables it and calls OnPage once per
  // page until the source ends the transfers or asks to be closed. A cancel returns normally.
  // Raises ETwainError when the source cannot be opened, enabled or closed, or a transfer fails;
  // an exception from OnPage passes out after the source is disabled and closed.
  void Acquire(void* userData, const TScanPageEvent& onPage);

 private:
  TTwainSession ManagerSession();
  TTwainSession SourceSession();
  void SetCapabilities();
  void SetPaper();
  std::string OpenSourceName() const;
  void CloseSource();

  void* FModule = nullptr;
  DSMENTRYPROC FEntry = nullptr;
  bool FManagerOpen = false;
  TW_IDENTITY FAppIdentity{};
  TW_IDENTITY FSourceIdentity{};
  bool FHoldsInstanceFlag = false;
};

}  // namespace quorvane
