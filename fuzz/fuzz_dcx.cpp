// DCX reader: counting, reading every page from its own extent, and appending a page to the
// container; every refusal is the library's exception.
#include <algorithm>

#include "FuzzSupport.h"
#include "formats/QvDcxGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  TMemoryStream stream = fuzz::InputStream(data, size);
  TDcxGraphic image;
  int count = 0;
  try {
    count = image.GetImageCount(stream);
  } catch (const Exception&) {
  }
  // Every page the table lists, and one past them. A table may name the same large page a
  // thousand times, so the pages share a budget of decoded bytes (each page costs at least 16 KB)
  // that keeps one input fast.
  int64_t budget = 16 << 20;
  for (int page = 1; page <= count + 1 && budget > 0; ++page) {
    try {
      stream.SetPosition(0);
      image.LoadImageFromStream(stream, page);
    } catch (const Exception&) {
    }
    budget -= std::max<int64_t>(16 << 10, static_cast<int64_t>(image.ImageSize()));
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
