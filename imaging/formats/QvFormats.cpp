#include "formats/QvFormats.h"

#include <mutex>

#include "model/QvDiGrphRegistry.h"

void RegisterStandardGraphicFormats() {
  static std::once_flag once;
  std::call_once(once, []() {
    // The order fixes the order of the dialogs' all-formats masks: TIFF, PCX, DCX, Targa, JPEG, PNG.
  });
}

std::string QuorvaneVersion() { return QV_VERSION; }
