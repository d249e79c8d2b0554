// The icon reader: directory, entry choice, BMP-style and PNG-style pictures. Any input either
// reads or is refused with an exception; a picture that was read writes as an icon that reads
// back at the standard size.
#include "FuzzSupport.h"
#include "formats/QvIcoGr.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  TIconGraphic icon;
  try {
    icon.LoadFromStream(stream);
  } catch (const Exception&) {
    return 0;
  }
  if (icon.Empty() || icon.ImageFormat() != TImageFormat::TrueColor) std::abort();
  TMemoryStream written;
  icon.SaveToStream(written);
  written.SetPosition(0);
  TIconGraphic back;
  back.LoadFromStream(written);
  if (back.Width() != TIconGraphic::kStandardIconSize || back.Height() != TIconGraphic::kStandardIconSize) std::abort();
  return 0;
}
