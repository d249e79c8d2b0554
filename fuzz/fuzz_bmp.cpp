// BMP reader of the bitmap-format library, reached through the bridge with a BMP hint; any input
// either reads or is refused with the bridge's exception. The same input then goes the way the
// window opens 16 and 32-bit bitmaps: its header, masks and pixels as a packed bitmap.
#include "FuzzSupport.h"
#include "formats/QvDiGrphDib.h"
#include "formats/QvGbm.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  TMemoryStream stream = fuzz::InputStream(data, size);
  TDibGraphic image;
  try {
    // The options only post-process a picture that was read; alternate them by input length.
    GbmReadImage(stream, image, "File.bmp", size % 2 ? "inv invb" : "");
  } catch (const Exception&) {
  }
  TDibGraphic deep;
  try {
    // An exact-size copy, so that reading past the file is caught.
    LoadDeepBitmapFile(deep, std::vector<uint8_t>(data, data + size));
  } catch (const Exception&) {
  }
  return 0;
}
