// Scanning tests drive SANE's test backend through a private configuration folder. The
// backend's pictures are checked against what SANE's own command-line frontend reads from the
// same backend with the same settings.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "scan/QvScan.h"
#include "support/ScratchFolder.h"

namespace qvtest {

// A SANE configuration naming only the test backend (or the Backends given), with test.conf
// settings (key -> value, values quoted as the file wants them). SANE_CONFIG_DIR points at it
// while the object lives.
class TSaneSandbox {
 public:
  explicit TSaneSandbox(const std::map<std::string, std::string>& settings = {},
                        const std::vector<std::string>& backends = {"test"});
  ~TSaneSandbox();
  std::string Path() const { return FFolder + "/"; }

 private:
  std::string FFolder;
};

// The test backend's defaults for these tests: one device, the colour pattern, a small area.
std::map<std::string, std::string> TestSettings(std::map<std::string, std::string> changes = {});

// A page as the callback received it.
struct TScannedPage {
  std::unique_ptr<quorvane::TDibGraphic> Image;
  uint16_t XDpi = 0;
  uint16_t YDpi = 0;
};

// Acquires with the scanner's settings and collects the pages.
std::vector<TScannedPage> AcquirePages(quorvane::TScanner& scanner);

// The picture the frontend "scanimage" reads from test:0 with Mode (lineart, gray, color) and
// Resolution, as a top-down 24-bit image (blue, green, red).
struct TReferencePicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Bgr;
};
TReferencePicture ReferenceScan(const std::string& mode, int resolution);

// Image as top-down 24-bit rows (blue, green, red), whatever its format.
std::vector<uint8_t> ImageBgr(const quorvane::TDibGraphic& image);

// Keeps SANE's library and its test backend loaded until the process ends. The source manager
// unloads them after every scan; what they allocate and keep in their own globals (sane_init's
// strings, for one) would then look leaked to the leak checker, whose owner is gone. A program
// that scans in the same process as other tests (the window's) calls this once at start.
void KeepSaneLoaded();

// Runs a shell command (within 15 seconds, once more if it hangs); its exit status, with standard
// output and error in Output.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace qvtest
