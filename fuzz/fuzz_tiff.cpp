// TIFF reader: counting the pages, reading the first pages (and one past the last), and writing
// every page read back through our writer, which must give the same picture.
//
// Seeds (fuzz/corpus/fuzz_tiff): make-seeds' pages, the pages of the layout table test
// (QV_TIFF_LAYOUT_DUMP=<folder> test_formats --gtest_filter='TiffLayout*') and files written by
// ImageMagick and tiffcp, minimised with -merge=1. Dictionary: fuzz/dict/fuzz_tiff.dict.
#include <algorithm>

#include "FuzzSupport.h"
#include "formats/QvTifGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TTiffGraphic image;
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
      continue;
    }
    fuzz::RoundTrip<TTiffGraphic>(image);
  }
  return 0;
}
