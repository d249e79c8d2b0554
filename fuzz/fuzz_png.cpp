// PNG reader: any input either reads or is refused with an exception; a picture that reads
// survives a write/read round trip unchanged, both through a new image and saved again by the
// image that read it (with the gamma its pixels carry, so nothing is corrected twice).
#include "FuzzSupport.h"
#include "formats/QvPngGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TPngGraphic image;
  if (!fuzz::Reads(image, stream)) return 0;
  fuzz::RoundTrip<TPngGraphic>(image);
  if (image.Empty() || static_cast<int64_t>(image.Width()) * image.Height() > (1 << 16)) return 0;
  TMemoryStream saved;
  image.SaveToStream(saved);
  saved.SetPosition(0);
  TPngGraphic back;
  back.LoadFromStream(saved);
  if (!fuzz::SamePicture(image, back)) std::abort();
  return 0;
}
