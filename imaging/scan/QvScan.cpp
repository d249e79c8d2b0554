#include "scan/QvScan.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "scan/QvScanPaper.h"

namespace quorvane {

namespace {

bool GInstanceExists = false;  // the single-instance flag
std::string GModuleFolder;     // empty: the program's module folder

// The program's module folder: beside the program's folder, as the build and the installation
// lay it out. Empty when the program's own path cannot be found.
std::string ProgramModuleFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  std::string program(path, static_cast<size_t>(length));
  const size_t slash = program.rfind('/');
  if (slash == std::string::npos) return {};
  return program.substr(0, slash) + "/../lib/brindlex";
}

void FillText(TW_STR32& target, const std::string& text) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, text.c_str(), std::min(text.size(), sizeof target - 2));
}

// The parent the manager is opened with. This platform's sources need no window of the caller's.
void* GParentWindow = nullptr;

}  // namespace

void SetSourceManagerFolder(const std::string& folder) { GModuleFolder = folder; }

std::string SourceManagerFolder() { return GModuleFolder.empty() ? ProgramModuleFolder() : GModuleFolder; }

TScanner::TScanner() {
  if (GInstanceExists) throw EScannerError("Only one scanner object is permitted");
  FAppIdentity.Version.MajorNum = 1;
  FAppIdentity.Version.MinorNum = 0;
  FAppIdentity.Version.Language = TWLG_ENGLISH;
  FAppIdentity.Version.Country = TWCY_USA;
  FAppIdentity.ProtocolMajor = 1;
  FAppIdentity.ProtocolMinor = 5;
  FAppIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  GInstanceExists = true;
  FHoldsInstanceFlag = true;
}

TScanner::~TScanner() {
  CloseSourceManager();
  if (FHoldsInstanceFlag) GInstanceExists = false;
}

TTwainSession TScanner::ManagerSession() { return {FEntry, &FAppIdentity, nullptr}; }
TTwainSession TScanner::SourceSession() { return {FEntry, &FAppIdentity, &FSourceIdentity}; }

void TScanner::OpenSourceManager() {
  if (FModule) return;
  std::string folder = SourceManagerFolder();
  if (folder.empty()) throw EScannerError("GetWindowsDirectory failed");
  if (folder.back() != '/' && folder.back() != '\\' && folder.back() != ':') folder += '/';
  const std::string path = folder + kSourceManagerModuleName;
  FModule = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FModule) throw EScannerError("LoadLibrary(" + path + ") failed");
  // A manager that cannot be opened is released again, so a later call starts afresh and the
  // entry of a module without one is never called.
  FEntry = reinterpret_cast<DSMENTRYPROC>(::dlsym(FModule, "DSM_Entry"));
  if (!FEntry) {
    CloseSourceManager();
    throw EScannerError(std::string("GetProcAddress failed:") + "DSM_Entry");
  }
  if (!TwainCall(ManagerSession(), DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &GParentWindow)) {
    CloseSourceManager();
    throw EScannerError("Unable to open TWAIN source manager");
  }
  FManagerOpen = true;
}

void TScanner::CloseSourceManager() {
  if (FManagerOpen) TwainCall(ManagerSession(), DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &GParentWindow);
  FManagerOpen = false;
  if (FModule) ::dlclose(FModule);
  FModule = nullptr;
  FEntry = nullptr;
}

bool TScanner::IsAvailable() {
  if (FModule) return true;
  try {
    OpenSourceManager();
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool TScanner::SelectSource() {
  OpenSourceManager();
  FSourceIdentity = {};
  return TwainCall(ManagerSession(), DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &FSourceIdentity);
}

std::vector<std::string> TScanner::SourceNames() {
  OpenSourceManager();
  std::vector<std::string> names;
  TW_IDENTITY identity{};
  TW_UINT16 message = MSG_GETFIRST;
  while (TwainCall(ManagerSession(), DG_CONTROL, DAT_IDENTITY, message, &identity)) {
    names.emplace_back(identity.ProductName);
    message = MSG_GETNEXT;
  }
  return names;
}

void TScanner::SetCapabilities() {
  uint16_t pixelType = 0;
  uint16_t bitDepth = 0;
  switch (ImageFormat) {
    case TImageFormat::BlackWhite: pixelType = TWPT_BW, bitDepth = 1; break;
    case TImageFormat::Gray16: pixelType = TWPT_GRAY, bitDepth = 4; break;
    case TImageFormat::Gray256: pixelType = TWPT_GRAY, bitDepth = 8; break;
    case TImageFormat::Color16: pixelType = TWPT_PALETTE, bitDepth = 4; break;
    case TImageFormat::Color256: pixelType = TWPT_PALETTE, bitDepth = 8; break;
    case TImageFormat::TrueColor: pixelType = TWPT_RGB, bitDepth = 24; break;
    default: throw ETwainError("Invalid image type");
  }
  const TTwainSession source = SourceSession();
  TwainSetOneValue(source, ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE);
  TwainSetOneValue(source, CAP_XFERCOUNT, TWTY_INT16, static_cast<uint16_t>(PageCount));
  TwainSetOneValue(source, ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
  // A TW_FIX32 in the item: the whole part in the low half, a zero fraction in the high one.
  TwainSetOneValue(source, ICAP_XRESOLUTION, TWTY_FIX32, XDpi);
  TwainSetOneValue(source, ICAP_YRESOLUTION, TWTY_FIX32, YDpi);
  TwainSetOneValue(source, ICAP_PIXELTYPE, TWTY_UINT16, pixelType);
  TwainSetOneValue(source, ICAP_BITDEPTH, TWTY_UINT16, bitDepth);
  if (Feeder != TFeeder::Default &&
      !TwainSetOneValue(source, CAP_FEEDERENABLED, TWTY_BOOL, Feeder != TFeeder::Flatbed) &&
      Feeder == TFeeder::Required)
    throw EScannerError(FormatMessage("The scanner %s has no document feeder", OpenSourceName().c_str()));
  if (PaperWidth > 0 || PaperHeight > 0) SetPaper();
}

std::string TScanner::OpenSourceName() const {
  return std::string(FSourceIdentity.ProductName, strnlen(FSourceIdentity.ProductName, sizeof(TW_STR32)));
}

namespace {

constexpr double kMillimetresPerInch = 25.4;

}  // namespace

void TScanner::SetPaper() {
  const std::string paper = MillimetreText(PaperWidth) + " x " + MillimetreText(PaperHeight) + " mm";
  if (!(PaperWidth > 0) || !(PaperHeight > 0))
    throw EScannerError(FormatMessage("The paper size %s is not valid", paper.c_str()));
  const TTwainSession source = SourceSession();
  double width = 0, height = 0;
  if (!TwainGetFix32(source, ICAP_PHYSICALWIDTH, width) || !TwainGetFix32(source, ICAP_PHYSICALHEIGHT, height))
    throw EScannerError(
        FormatMessage("The scanner %s cannot set its scan area to a paper size", OpenSourceName().c_str()));
  width *= kMillimetresPerInch;
  height *= kMillimetresPerInch;
  // The area's size went through 1/65536 inch; a hundredth of a millimetre covers its rounding.
  if (PaperWidth > width + 0.01 || PaperHeight > height + 0.01)
    throw EScannerError(FormatMessage("The paper (%s) is larger than the area the scanner %s scans (%s x %s mm)",
                                      paper.c_str(), OpenSourceName().c_str(), MillimetreText(width).c_str(),
                                      MillimetreText(height).c_str()));
  TW_IMAGELAYOUT layout{};
  layout.Frame.Right = DoubleToFix32(std::min(PaperWidth, width) / kMillimetresPerInch);
  layout.Frame.Bottom = DoubleToFix32(std::min(PaperHeight, height) / kMillimetresPerInch);
  if (!TwainCall(source, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout))
    throw EScannerError(
        FormatMessage("The scanner %s cannot set its scan area to a paper size", OpenSourceName().c_str()));
}

void TScanner::CloseSource() {
  if (FSourceIdentity.Id == 0) return;
  if (!TwainCall(ManagerSession(), DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &FSourceIdentity))
    throw ETwainError("Unable to close TWAIN data source");
  FSourceIdentity = {};
}

void TScanner::Acquire(void* userData, const TScanPageEvent& onPage) {
  OpenSourceManager();
  FSourceIdentity = {};
  FillText(FSourceIdentity.ProductName, SourceName);
  if (!TwainCall(ManagerSession(), DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &FSourceIdentity)) {
    FSourceIdentity = {};
    throw ETwainError("Unable to open TWAIN data source");
  }
  TW_USERINTERFACE ui{static_cast<TW_BOOL>(ShowUI ? 0xFFFF : 0), 0, &GParentWindow};
  try {
    SetCapabilities();
    if (!TwainCall(SourceSession(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui))
      throw ETwainError("Unable to enable twain source.");
    try {
      TwainMessageLoop(SourceSession(), userData, onPage);
    } catch (...) {
      TwainCall(SourceSession(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
      throw;
    }
    TwainCall(SourceSession(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  } catch (...) {
    // The first failure is the one reported; closing is still attempted.
    try {
      CloseSource();
    } catch (const Exception&) {
    }
    throw;
  }
  CloseSource();
}

}  // namespace quorvane
