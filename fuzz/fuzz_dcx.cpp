// DCX reader: counting, reading the first pages from their own extents, and appending a page to
// the container; every refusal is the library's exception.
#include <algorithm>

#include "FuzzSupport.h"
#include "formats/QvDcxGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TDcxGraphic image;
  int count = 0;
  try {
    count = image.GetImageCount(stream);
  } catch (const Exception&) {
  }
  for (int page = 1; page <= std::min(count, 4) + 1; ++page) {
    try {
      stream.SetPosition(0);
      image.LoadImageFromStream(stream, page);
    } catch (const Exception&) {
    }
  }
  // Appending must either refuse the container untouched or add exactly one readable page.
  TDcxGraphic page;
  page.NewImage(3, 2, TImageFormat::Color16, nullptr, 0, 0);
  const std::vector<uint8_t> before = stream.Data();
  try {
    stream.SetPosition(0);
    page.AppendToStream(stream);
  } catch (const Exception&) {
    if (stream.Data() != before) std::abort();
    return 0;
  }
  try {
    stream.SetPosition(0);
    const int after = image.GetImageCount(stream);
    stream.SetPosition(0);
    image.LoadImageFromStream(stream, after);
    if (!fuzz::SamePicture(image, page)) std::abort();
  } catch (const Exception&) {
    std::abort();
  }
  return 0;
}
