// PCX reader: any input either reads or is refused with the library's exception; a picture that
// reads survives a write/read round trip unchanged, and reads again with runs cut at every line
// end (the codec's "trunc" option) without leaving its buffers.
#include "FuzzSupport.h"
#include "formats/QvGbm.h"
#include "formats/QvPcxGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  TMemoryStream stream = fuzz::InputStream(data, size);
  TPcxGraphic image;
  if (!fuzz::Reads(image, stream)) return 0;
  fuzz::RoundTrip<TPcxGraphic>(image);
  if (!fuzz::SmallPicture(image)) return 0;
  TDibGraphic truncated;
  stream.SetPosition(0);
  GbmReadImage(stream, truncated, "File.pcx", "trunc");
  if (truncated.Width() != image.Width() || truncated.Height() != image.Height()) std::abort();
  return 0;
}
