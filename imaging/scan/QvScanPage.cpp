#include "scan/QvScanPage.h"

#include "formats/QvDiGrphDib.h"
#include "formats/QvTifGr.h"

namespace quorvane {

void LoadScannedPage(TDibGraphic& image, TW_HANDLE page, uint16_t xDpi, uint16_t yDpi) {
  LoadFromDibHandle(image, QvMemLock(page), QvMemSize(page));
  image.SetXDpi(xDpi);
  image.SetYDpi(yDpi);
}

void ApplyScanCompression(TDibGraphic& image) {
  if (auto* tiff = dynamic_cast<TTiffGraphic*>(&image))
    tiff->SetCompression(DefaultSaveCompression(image.ImageFormat()));
}

}  // namespace quorvane
