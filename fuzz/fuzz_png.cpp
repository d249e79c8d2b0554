// PNG reader: any input either reads or is refused with an exception; a picture that reads
// survives a write/read round trip unchanged.
#include "FuzzSupport.h"
#include "formats/QvPngGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TPngGraphic image;
  try {
    image.LoadFromStream(stream);
  } catch (const Exception&) {
    return 0;
  }
  fuzz::RoundTrip<TPngGraphic>(image);
  return 0;
}
