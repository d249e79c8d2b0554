// Packed bitmaps from memory, as a scanner or clipboard hands them over: any block either loads
// or is refused with an exception, and a loaded picture survives a save and a load unchanged.
#include "FuzzSupport.h"
#include "formats/QvDiGrphDib.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  // An exact-size copy, so that reading past the block is caught.
  const std::vector<uint8_t> block(data, data + size);
  TDibGraphic image;
  try {
    LoadFromDibHandle(image, block.data(), block.size());
  } catch (const Exception&) {
    return 0;
  }
  const std::vector<uint8_t> saved = SaveToDibHandle(image);
  TDibGraphic back;
  LoadFromDibHandle(back, saved.data(), saved.size());
  if (!fuzz::SamePicture(image, back)) std::abort();
  return 0;
}
