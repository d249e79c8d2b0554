// Targa reader: any input either reads or is refused with the library's exception; a picture that
// reads survives a write/read round trip unchanged (every picture it yields is writable).
#include "FuzzSupport.h"
#include "formats/QvTgaGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  TMemoryStream stream = fuzz::InputStream(data, size);
  TTgaGraphic image;
  if (!fuzz::Reads(image, stream)) return 0;
  fuzz::RoundTrip<TTgaGraphic>(image);
  return 0;
}
