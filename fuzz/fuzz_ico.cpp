// The icon reader: directory, entry choice, BMP-style and PNG-style pictures. Any input either
// reads or is refused with an exception; a picture that was read writes as an icon that reads
// back at the standard size. Besides the picture the chooser takes, each further entry is read on
// its own (the directory cut to that entry), so both kinds of picture are decoded whatever the
// sizes say.
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "formats/QvIcoGr.h"

using namespace quorvane;

namespace {

bool ReadIcon(const uint8_t* data, size_t size, TIconGraphic& icon) {
  TMemoryStream stream = fuzz::InputStream(data, size);
  try {
    icon.LoadFromStream(stream);
  } catch (const Exception&) {
    return false;
  }
  if (icon.Empty() || icon.ImageFormat() != TImageFormat::TrueColor) std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize(fuzz::kBitmapFormatLimit);
  constexpr size_t kDirectory = 6, kEntry = 16, kMaxEntries = 4;
  if (size >= kDirectory + 2 * kEntry) {
    const size_t count = std::min<size_t>(data[4] | data[5] << 8, std::min(kMaxEntries, (size - kDirectory) / kEntry));
    std::vector<uint8_t> single(data, data + size);
    for (size_t i = 1; i < count; ++i) {
      single[4] = 1;
      single[5] = 0;
      std::memcpy(single.data() + kDirectory, data + kDirectory + i * kEntry, kEntry);
      TIconGraphic entry;
      ReadIcon(single.data(), single.size(), entry);
    }
  }
  TIconGraphic icon;
  if (!ReadIcon(data, size, icon)) return 0;
  TMemoryStream written;
  icon.SaveToStream(written);
  written.SetPosition(0);
  TIconGraphic back;
  back.LoadFromStream(written);
  if (back.Width() != TIconGraphic::kStandardIconSize || back.Height() != TIconGraphic::kStandardIconSize) std::abort();
  return 0;
}
