// JPEG reader: any input either reads (perhaps with warnings) or is refused with an exception; a
// picture that reads can be written again and the result reads with the same size and format
// (JPEG coding is lossy, so the pixels may differ), also once turned upright by its EXIF
// orientation.
#include <cstdlib>

#include "FuzzSupport.h"
#include "formats/QvJpgGr.h"
#include "formats/QvOrient.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TJpegGraphic image;
  if (!fuzz::Reads(image, stream)) return 0;
  if (image.Empty() || static_cast<int64_t>(image.Width()) * image.Height() > (1 << 16)) return 0;
  AutoOrient(image);
  TMemoryStream written;
  image.SaveToStream(written);
  written.SetPosition(0);
  TJpegGraphic back;
  back.LoadFromStream(written);
  if (back.Width() != image.Width() || back.Height() != image.Height() || back.ImageFormat() != image.ImageFormat())
    std::abort();
  return 0;
}
